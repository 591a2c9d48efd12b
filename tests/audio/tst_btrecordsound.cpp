// The recorder against a private PulseAudio server: a null sink and a source on its monitor,
// both described as the adapter; a tone played into the sink is the headset's microphone.

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <memory>

#include "audio/BTRecordSound.h"
#include "audio/PulseDevices.h"
#include "audio/ToneWav.h"
#include "audiodriver/MediaBackend.h"
#include "audiodriver/ORVAudioDriver.h"
#include "config/Settings.h"

using orv::CBTRecordSound;

namespace {

// The signals in the order they came: "pass", "fail", "done".
class SignalLog final : public QObject {
public:
    explicit SignalLog(CBTRecordSound& r) {
        connect(&r, &CBTRecordSound::recordPass, this, [this] { events << "pass"; });
        connect(&r, &CBTRecordSound::recordFail, this, [this] { events << "fail"; });
        connect(&r, &CBTRecordSound::recordDone, this, [this] { events << "done"; });
    }
    QStringList events;
};

}  // namespace

class TestBTRecordSound final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void loudMicrophonePasses();
    void silentMicrophoneFails();
    void recordingWithoutBlocksFails();
    void noCaptureDevice();
    void fileThatCannotBeCreated();
    void destroyedWhileRecording();

private:
    void PlayTone(bool on);
    std::unique_ptr<orv::test::PulseAdapterDevices> m_devices;
    QTemporaryDir m_dir;
    QString m_config;
    orv::CORVAudioDriver m_tone;  // plays the "microphone" into the sink
};

void TestBTRecordSound::initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "needs the ctest fixture \"pulse\"");
    QVERIFY(m_dir.isValid());
    m_devices = std::make_unique<orv::test::PulseAdapterDevices>("ORV318Pro", "rec");
    QVERIFY2(m_devices->Loaded(), "pactl load-module failed");
    QVERIFY(m_devices->WaitVisible());
    QVERIFY(orv::test::WriteToneWav(m_dir.filePath("tone.wav"), 1.0, -12.5));
    m_config = m_dir.filePath("config.ini");
    QVERIFY(orv::SetRecordCaptureTimes(m_config, 3.0));
    QVERIFY(orv::SetRecordCapLowerLimit(m_config, -20.0));
}

void TestBTRecordSound::cleanupTestCase() {
    m_tone.DirectSound_StopPlayAudioData();
    m_devices.reset();
}

void TestBTRecordSound::PlayTone(bool on) {
    if (!on) {
        m_tone.DirectSound_StopPlayAudioData();
        return;
    }
    const QAudioDevice out = m_devices->Output();
    QCOMPARE(m_tone.DirectSound_InitPlayAudioSound(m_dir.filePath("tone.wav"), &out), 1);
    QCOMPARE(m_tone.DirectSound_PlayAudioData(orv::kPlayLooping), 1);
}

// Time over: "fail", then the final "pass", then "done"; the level is what was played.
void TestBTRecordSound::loudMicrophonePasses() {
    PlayTone(true);
    const QString temp = m_dir.filePath("temp.wav");
    {
        QFile old(temp);  // the last recording is deleted first
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500000, 'x'));
    }
    CBTRecordSound rec(m_config, temp);
    SignalLog log(rec);
    QSignalSpy done(&rec, &CBTRecordSound::recordDone);
    QSignalSpy texts(&rec, &CBTRecordSound::levelTextChanged);
    QCOMPARE(rec.StartRecord(), 1);
    QVERIFY(rec.IsRecording());
    QCOMPARE(rec.DeviceDescription(), QString("ORV318Pro"));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.count(), 1);
    QVERIFY(!rec.IsRecording());

    const QStringList& e = log.events;
    QCOMPARE(e.count("fail"), 1);  // the time over, once
    QCOMPARE(e.count("done"), 1);
    QCOMPARE(e.mid(e.size() - 2), QStringList({"pass", "done"}));
    const int timeOver = e.indexOf("fail");
    QVERIFY(timeOver < e.size() - 2);
    QVERIFY(e.count("pass") >= 2);  // blocks at or above the limit, and the verdict

    QCOMPARE(rec.IsLevelPass(), 1);
    QVERIFY2(std::abs(rec.MaxLevel() - -12.5) <= 0.5, qPrintable(QString::number(rec.MaxLevel())));
    QCOMPARE(rec.TimeText(), QString("00:00:03"));
    QVERIFY(rec.BlockCount() > 0);
    QCOMPARE(texts.count(), rec.BlockCount());
    QVERIFY(rec.LevelText().endsWith(" dBFS"));
    QVERIFY(std::abs(rec.LevelText().section(' ', 0, 0).toDouble() - -12.5) <= 0.5);
    QCOMPARE(rec.Meter(), 77);

    QFile f(temp);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    QCOMPARE(file.left(4), QByteArray("RIFF"));
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 44), 0u);
    QCOMPARE(file.size(), 56 + rec.BlockCount() * 24000);
    PlayTone(false);
}

// A silent microphone: blocks come, their level is minus infinity, the verdict is a FAIL.
void TestBTRecordSound::silentMicrophoneFails() {
    PlayTone(false);
    CBTRecordSound rec(m_config, m_dir.filePath("temp.wav"));
    SignalLog log(rec);
    QSignalSpy done(&rec, &CBTRecordSound::recordDone);
    QCOMPARE(rec.StartRecord(), 1);
    QVERIFY(done.wait(10000));
    QCOMPARE(log.events, QStringList({"fail", "fail", "done"}));
    QVERIFY(rec.BlockCount() > 0);
    QCOMPARE(rec.MaxLevel(), -std::numeric_limits<double>::infinity());
    QCOMPARE(rec.LevelText(), QString("-inf dBFS"));
    QCOMPARE(rec.Meter(), 0);
    QCOMPARE(rec.IsLevelPass(), 0);
}

// Stopped before its first block: no level at all is a FAIL, even against the lowest limit.
void TestBTRecordSound::recordingWithoutBlocksFails() {
    QVERIFY(orv::SetRecordCapLowerLimit(m_config, -200.0));
    CBTRecordSound rec(m_config, m_dir.filePath("temp.wav"));
    SignalLog log(rec);
    QSignalSpy done(&rec, &CBTRecordSound::recordDone);
    QCOMPARE(rec.StartRecord(), 1);
    rec.StopRecord();
    QVERIFY(done.wait(5000));
    QVERIFY(orv::SetRecordCapLowerLimit(m_config, -20.0));
    if (rec.BlockCount() > 0) {
        QSKIP("a block arrived before the stop; the no-block case did not occur");
    }
    QCOMPARE(log.events, QStringList({"fail", "done"}));
    QCOMPARE(rec.IsLevelPass(), 0);
}

void TestBTRecordSound::noCaptureDevice() {
    CBTRecordSound rec(m_config, m_dir.filePath("temp.wav"));
    SignalLog log(rec);
    QSignalSpy initFailed(&rec, &CBTRecordSound::soundCardInitFailed);
    rec.SetDeviceB(1);  // there is no "ORV318Pro B"
    QCOMPARE(rec.StartRecord(), 0);
    QVERIFY(!rec.IsRecording());
    rec.StopRecord();
    QCOMPARE(initFailed.count(), 0);
    QVERIFY(log.events.isEmpty());
}

// The device is there but the recording's file cannot be created: the operator is told.
void TestBTRecordSound::fileThatCannotBeCreated() {
    CBTRecordSound rec(m_config, m_dir.filePath("no/such/folder/temp.wav"));
    SignalLog log(rec);
    QSignalSpy initFailed(&rec, &CBTRecordSound::soundCardInitFailed);
    QCOMPARE(rec.StartRecord(), 0);
    QCOMPARE(initFailed.count(), 1);
    QVERIFY(!rec.IsRecording());
    QVERIFY(log.events.isEmpty());
}

// Destroying the page mid-recording ends the capture and leaves a finished WAV.
void TestBTRecordSound::destroyedWhileRecording() {
    const QString temp = m_dir.filePath("temp.wav");
    {
        CBTRecordSound rec(m_config, temp);
        QCOMPARE(rec.StartRecord(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(rec.BlockCount() > 0, 5000);
    }
    QFile f(temp);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    QVERIFY(file.size() >= 56 + 24000);
    QCOMPARE((file.size() - 56) % 24000, 0);
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 44), 0u);
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 52), quint32(file.size() - 56));
    orv::CORVAudioDriver driver;
    QCOMPARE(driver.IsCaptureFinish(), 1);
}

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    QCoreApplication app(argc, argv);
    TestBTRecordSound test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_btrecordsound.moc"
