// The driver against a private PulseAudio server: a null sink described as the adapter, and a
// source remapped from its monitor, so what the driver plays it also records.

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFile>
#include <QMediaDevices>
#include <QMutex>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <memory>

#include "audio/Level.h"
#include "audio/PulseDevices.h"
#include "audio/ToneWav.h"
#include "audiodriver/MediaBackend.h"
#include "audiodriver/ORVAudioDriver.h"

using orv::CORVAudioDriver;

namespace {

// Keeps a copy of every block and checks that GetCaptureData agrees inside the call.
class BlockRecorder final : public orv::ICaptureListener {
public:
    void OnCaptureChunk(const unsigned char* data, unsigned long length) override {
        unsigned char* got = nullptr;
        unsigned long gotLength = 0;
        driver->GetCaptureData(&got, &gotLength);
        QMutexLocker guard(&lock);
        if (got != data || gotLength != length) {
            mismatches++;
        }
        blocks.append(QByteArray(reinterpret_cast<const char*>(data), int(length)));
        count = blocks.size();
    }
    QByteArray All() {
        QMutexLocker guard(&lock);
        return blocks.join();
    }
    QByteArray Last() {
        QMutexLocker guard(&lock);
        return blocks.isEmpty() ? QByteArray() : blocks.last();
    }
    CORVAudioDriver* driver = nullptr;
    QMutex lock;  // guards blocks and mismatches
    QList<QByteArray> blocks;
    int mismatches = 0;
    std::atomic<int> count{0};
};

quint32 U32At(const QByteArray& b, int offset) {
    return qFromLittleEndian<quint32>(b.constData() + offset);
}

}  // namespace

class TestAudioDriver final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void captureOfAPlayedTone();
    void captureWithoutOpenFails();
    void captureThatCannotStartEndsCleanly();
    void playToggleAndStop();
    void nonLoopingSoundEndsAndPlaysAgain();
    void soundFromACompiledInResource();
    void unplayableFilesFailToLoad();

private:
    std::unique_ptr<orv::test::PulseAdapterDevices> m_devices;
    QTemporaryDir m_dir;
};

void TestAudioDriver::initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "needs the ctest fixture \"pulse\"");
    QVERIFY(m_dir.isValid());
    m_devices = std::make_unique<orv::test::PulseAdapterDevices>("ORV318Pro", "drv");
    QVERIFY2(m_devices->Loaded(), "pactl load-module failed");
    QVERIFY(m_devices->WaitVisible());
    QVERIFY(orv::test::WriteToneWav(m_dir.filePath("tone.wav"), 1.0, -12.5));
    QCOMPARE(CORVAudioDriver().DirectSound_PlayAudioData(0), 0);  // nothing loaded yet
}

void TestAudioDriver::cleanupTestCase() {
    CORVAudioDriver driver;
    driver.DirectSound_StopPlayAudioData();
    m_devices.reset();
}

// A -12.5 dBFS tone played looping into the adapter's sink is recorded from its source: whole
// 24000-byte blocks, the same bytes in the file as reported, the header kept valid while
// recording and finished at the close, and the level within 0.5 dB of what was played.
void TestAudioDriver::captureOfAPlayedTone() {
    const QAudioDevice out = m_devices->Output();
    const QAudioDevice in = m_devices->Input();
    CORVAudioDriver driver;
    QVERIFY(driver.DirectSound_InitPlayAudioSound(m_dir.filePath("tone.wav"), &out));
    QCOMPARE(driver.DirectSound_PlayAudioData(orv::kPlayLooping), 1);

    BlockRecorder rec;
    rec.driver = &driver;
    const QString wav = m_dir.filePath("capture.wav");
    driver.SetMsgWnd(&rec);
    QCOMPARE(driver.DirectSound_InitCaptureAudioSound(wav, &in), 1);
    unsigned char* data = reinterpret_cast<unsigned char*>(1);
    unsigned long length = 1;
    driver.GetCaptureData(&data, &length);
    QVERIFY(data == nullptr);
    QCOMPARE(length, 0ul);
    QCOMPARE(driver.DirectSound_CaptureAudioData(), 1);
    QCOMPARE(driver.IsCaptureFinish(), 0);

    // The null sink can take two seconds to deliver its first samples; the tone settles after.
    QTRY_VERIFY_WITH_TIMEOUT(rec.count >= 2, 6000);
    {
        QFile f(wav);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.readAll();
        QCOMPARE(head.left(4), QByteArray("RIFF"));
        QCOMPARE(head.mid(36, 4), QByteArray("fact"));
        QCOMPARE(U32At(head, 44), 0xFFFFFFFFu);  // still capturing
        // Sizes are kept up to date while capturing: a crash leaves a readable file.
        const quint32 dataSize = U32At(head, 52);
        QVERIFY(dataSize > 0);
        QCOMPARE(dataSize % CORVAudioDriver::kBlockBytes, 0u);
        QVERIFY(qint64(dataSize) + 56 <= head.size());
        QCOMPARE(U32At(head, 4), dataSize + 48);
    }
    QTRY_VERIFY_WITH_TIMEOUT(rec.count >= 6, 4000);
    const double level = orv::BlockLevel(
        reinterpret_cast<const unsigned char*>(rec.Last().constData()), size_t(rec.Last().size()));
    QVERIFY2(qAbs(level - -12.5) <= 0.5, qPrintable(QString::number(level)));

    QCOMPARE(driver.DirectSound_StopCaptureAudioData(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(driver.IsCaptureFinish(), 1, 3000);
    driver.DirectSound_StopPlayAudioData();

    QFile f(wav);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    const QByteArray expectHead = QByteArray::fromHex(
        "52494646"          // "RIFF"
        "00000000"          // patched below
        "57415645666d7420"  // "WAVE" "fmt "
        "10000000"          // 16
        "0100"
        "0200"  // PCM, 2 channels
        "80bb0000"
        "00ee0200"  // 48000 Hz, 192000 bytes/s
        "0400"
        "1000"  // block align 4, 16 bits
        "66616374"
        "04000000"    // "fact" 4
        "00000000"    // 0: finished
        "64617461");  // "data"
    QCOMPARE(file.size(), 56 + qsizetype(rec.count) * 24000);
    QCOMPARE(file.left(4), expectHead.left(4));
    QCOMPARE(U32At(file, 4), quint32(file.size() - 8));
    QCOMPARE(file.mid(8, 44), expectHead.mid(8, 44));
    QCOMPARE(U32At(file, 52), quint32(file.size() - 56));
    // Exactly the reported blocks, nothing of the part block at the stop.
    QCOMPARE(file.mid(56), rec.All());
    QCOMPARE(rec.mismatches, 0);
    // The last block stays readable after the end.
    driver.GetCaptureData(&data, &length);
    QCOMPARE(length, 24000ul);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(data), int(length)), rec.Last());
    driver.SetMsgWnd(nullptr);
}

void TestAudioDriver::captureWithoutOpenFails() {
    CORVAudioDriver driver;
    QCOMPARE(driver.IsCaptureFinish(), 1);
    QCOMPARE(driver.DirectSound_CaptureAudioData(), 0);
    QVERIFY(!driver.LastErrorText().isEmpty());
    QCOMPARE(driver.IsCaptureFinish(), 1);
    QCOMPARE(
        driver.DirectSound_InitCaptureAudioSound(m_dir.filePath("no/such/dir/x.wav"), nullptr), 0);
}

// The device vanishes between opening and starting: the start fails, no thread is left running
// and the file is a finished, empty WAV.
void TestAudioDriver::captureThatCannotStartEndsCleanly() {
    auto gone = std::make_unique<orv::test::PulseAdapterDevices>("ORV318Pro Gone", "gone");
    QVERIFY(gone->Loaded());
    QVERIFY(gone->WaitVisible());
    const QAudioDevice in = gone->Input();
    const QString wav = m_dir.filePath("gone.wav");
    CORVAudioDriver driver;
    QCOMPARE(driver.DirectSound_InitCaptureAudioSound(wav, &in), 1);
    gone.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::audioInputs().contains(in), 5000);
    QCOMPARE(driver.DirectSound_CaptureAudioData(), 0);
    QCOMPARE(driver.WaitCaptureFinish(3000), 1);
    QFile f(wav);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    QCOMPARE(file.size(), 56);
    QCOMPARE(U32At(file, 44), 0u);
    QCOMPARE(U32At(file, 52), 0u);
}

// Play, pause (the position stays), resume from the pause, stop (rewound), play from the start.
void TestAudioDriver::playToggleAndStop() {
    const QAudioDevice out = m_devices->Output();
    CORVAudioDriver driver;
    QCOMPARE(driver.DirectSound_InitPlayAudioSound(m_dir.filePath("tone.wav"), &out), 1);
    QCOMPARE(driver.PlayPosition(), 0);
    QCOMPARE(driver.DirectSound_PlayAudioData(orv::kPlayLooping), 1);
    QCOMPARE(driver.IsPlaying(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(driver.PlayPosition() > 0, 3000);

    QCOMPARE(driver.DirectSound_PlayAudioData(orv::kPlayLooping), 1);  // pause
    QCOMPARE(driver.IsPlaying(), 0);
    const qint64 paused = driver.PlayPosition();
    QCoreApplication::processEvents();
    QCOMPARE(driver.PlayPosition(), paused);

    QCOMPARE(driver.DirectSound_PlayAudioData(orv::kPlayLooping), 1);  // resume
    QCOMPARE(driver.IsPlaying(), 1);
    QVERIFY(driver.PlayPosition() >= paused);
    QTRY_VERIFY_WITH_TIMEOUT(driver.PlayPosition() != paused, 3000);

    driver.DirectSound_StopPlayAudioData();
    QCOMPARE(driver.IsPlaying(), 0);
    QCOMPARE(driver.PlayPosition(), 0);
    QCOMPARE(driver.DirectSound_PlayAudioData(0), 1);
    QCOMPARE(driver.IsPlaying(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(driver.PlayPosition() > 0, 3000);
    driver.DirectSound_StopPlayAudioData();
}

// A sound without the loop flag stops at its end; the next toggle plays it from the start.
void TestAudioDriver::nonLoopingSoundEndsAndPlaysAgain() {
    const QAudioDevice out = m_devices->Output();
    QVERIFY(orv::test::WriteToneWav(m_dir.filePath("short.wav"), 0.5));
    CORVAudioDriver driver;
    QCOMPARE(driver.DirectSound_InitPlayAudioSound(m_dir.filePath("short.wav"), &out), 1);
    QCOMPARE(driver.DirectSound_PlayAudioData(0), 1);
    QTRY_COMPARE_WITH_TIMEOUT(driver.IsPlaying(), 0, 5000);
    QCOMPARE(driver.PlayPosition(), 0.5 * 192000);
    QCOMPARE(driver.DirectSound_PlayAudioData(0), 1);
    QCOMPARE(driver.IsPlaying(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(driver.IsPlaying(), 0, 5000);
    driver.DirectSound_StopPlayAudioData();
}

// A name that is no file plays the WAV resource of that name (here 8-bit mono, 8000 Hz).
void TestAudioDriver::soundFromACompiledInResource() {
    const QAudioDevice out = m_devices->Output();
    CORVAudioDriver driver;
    QCOMPARE(driver.DirectSound_InitPlayAudioSound("beep.wav", &out), 1);
    QCOMPARE(driver.DirectSound_PlayAudioData(0), 1);
    QTRY_COMPARE_WITH_TIMEOUT(driver.IsPlaying(), 0, 5000);
    QCOMPARE(driver.PlayPosition(), 400);
    driver.DirectSound_StopPlayAudioData();
}

void TestAudioDriver::unplayableFilesFailToLoad() {
    const QAudioDevice out = m_devices->Output();
    CORVAudioDriver driver;
    QFile text(m_dir.filePath("text.wav"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("RIFF....WAVEnot really");
    text.close();
    QCOMPARE(driver.DirectSound_InitPlayAudioSound(text.fileName(), &out), 0);
    QVERIFY(driver.LastErrorText().contains("text.wav"));
    QCOMPARE(driver.DirectSound_InitPlayAudioSound(m_dir.filePath("none.wav"), &out), 0);
    QCOMPARE(driver.DirectSound_PlayAudioData(0), 0);  // the previous sound was dropped
}

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    QCoreApplication app(argc, argv);
    TestAudioDriver test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_audiodriver.moc"
