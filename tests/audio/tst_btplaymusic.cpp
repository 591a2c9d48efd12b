// The music player against a private PulseAudio server with a sink described as the adapter.

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "audio/BTPlayMusic.h"
#include "audio/PulseDevices.h"
#include "audio/TestItemInfo.h"
#include "audio/ToneWav.h"
#include "audiodriver/MediaBackend.h"

using orv::CBTPlayMusic;

namespace {

class FakeItemInfo final : public orv::ITestItemInfo {
public:
    bool IsTestWindowShown() const override { return shown; }
    int TestStage() const override { return stage; }
    void SetItemInfo(int item, const QString& text) override { rows.append({item, text}); }
    bool shown = true;
    int stage = 0;
    QList<QPair<int, QString>> rows;
};

}  // namespace

class TestBTPlayMusic final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { m_devices.reset(); }
    void playFailsWithoutFileOrDevice();
    void playPauseResumeStop();
    void timeLimitReloadsAndSignalsOnce();
    void completionReloadsAndSignalsOnce();
    void itemInfoFollowsTheTestStage_data();
    void itemInfoFollowsTheTestStage();

private:
    std::unique_ptr<orv::test::PulseAdapterDevices> m_devices;
    QTemporaryDir m_dir;
};

void TestBTPlayMusic::initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "needs the ctest fixture \"pulse\"");
    QVERIFY(m_dir.isValid());
    m_devices = std::make_unique<orv::test::PulseAdapterDevices>("ORV318Pro", "play");
    QVERIFY2(m_devices->Loaded(), "pactl load-module failed");
    QVERIFY(m_devices->WaitVisible());
    QVERIFY(orv::test::WriteToneWav(m_dir.filePath("three.wav"), 3.0));
    QVERIFY(orv::test::WriteToneWav(m_dir.filePath("one.wav"), 1.0));
}

void TestBTPlayMusic::playFailsWithoutFileOrDevice() {
    CBTPlayMusic player;
    QSignalSpy done(&player, &CBTPlayMusic::playDone);
    player.SetFileName(m_dir.filePath("missing.wav"));
    QCOMPARE(player.Play(), 0);
    player.SetFileName(m_dir.filePath("three.wav"));
    player.SetDeviceB(1);  // there is no "ORV318Pro B"
    QCOMPARE(player.Play(), 0);
    QVERIFY(player.ErrorText().contains("ORV318Pro B"));
    player.SetDeviceB(0);
    QFile junk(m_dir.filePath("junk.wav"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4000, 'j'));
    junk.close();
    player.SetFileName(junk.fileName());
    QCOMPARE(player.Play(), 0);  // not a sound file
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Stopped));
    player.Pause();
    player.Resume();
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Stopped));
    QCOMPARE(done.count(), 0);
}

void TestBTPlayMusic::playPauseResumeStop() {
    CBTPlayMusic player;
    player.SetFileName(m_dir.filePath("three.wav"));
    QCOMPARE(player.Play(), 1);
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Running));
    QCOMPARE(player.DeviceDescription(), QString("ORV318Pro"));
    QTRY_VERIFY_WITH_TIMEOUT(player.PositionMs() > 600, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(
        QRegularExpression("^00:0[0-2]\\|00:03$").match(player.TimeText()).hasMatch(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(player.Meter() > 0, 2000);

    player.Pause();
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Paused));
    player.Pause();  // nothing in the wrong state
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Paused));
    player.Resume();
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Running));
    player.Resume();
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Running));

    player.Stop();
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Stopped));
    QCOMPARE(player.Meter(), 0);
    QCOMPARE(player.TimeText(), QString("00:00|00:03"));
}

// At the first 500 ms tick at or past the limit: stopped, loaded again at 0, one playDone.
void TestBTPlayMusic::timeLimitReloadsAndSignalsOnce() {
    CBTPlayMusic player;
    QSignalSpy done(&player, &CBTPlayMusic::playDone);
    player.SetFileName(m_dir.filePath("three.wav"));
    player.SetLimitSeconds(1.0);
    QCOMPARE(player.Play(), 1);
    QVERIFY(done.wait(5000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).value<CBTPlayMusic*>(), &player);
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Stopped));
    QCOMPARE(player.PositionMs(), 0);
    QCOMPARE(player.TimeText(), QString("00:00|00:03"));
    QVERIFY(!done.wait(1200));  // the file's own end never comes: it was stopped
    // Play starts it from the beginning.
    QCOMPARE(player.Play(), 1);
    QVERIFY(player.PositionMs() < 1000);
    player.Stop();
}

// A file shorter than the limit ends by its completion: loaded again at 0, one playDone.
void TestBTPlayMusic::completionReloadsAndSignalsOnce() {
    CBTPlayMusic player;
    QSignalSpy done(&player, &CBTPlayMusic::playDone);
    player.SetFileName(m_dir.filePath("one.wav"));
    player.SetLimitSeconds(8.0);
    QCOMPARE(player.Play(), 1);
    QVERIFY(done.wait(6000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(player.GetState(), int(CBTPlayMusic::Stopped));
    QCOMPARE(player.PositionMs(), 0);
    QCOMPARE(player.TimeText(), QString("00:00|00:01"));
    QVERIFY(!done.wait(1200));
    QCOMPARE(player.Play(), 1);
    QVERIFY(done.wait(6000));  // and it plays to its end again
    QCOMPARE(done.count(), 2);
}

void TestBTPlayMusic::itemInfoFollowsTheTestStage_data() {
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("item");
    QTest::newRow("A2DP listening") << true << 5 << orv::kItemA2dpListening;
    QTest::newRow("HFP listening") << true << 7 << orv::kItemHfpListening;
    QTest::newRow("another stage") << true << 6 << 0;
    QTest::newRow("window hidden") << false << 5 << 0;
}

void TestBTPlayMusic::itemInfoFollowsTheTestStage() {
    QFETCH(bool, shown);
    QFETCH(int, stage);
    QFETCH(int, item);
    FakeItemInfo info;
    info.shown = shown;
    info.stage = stage;
    CBTPlayMusic player;
    player.SetItemInfo(&info);
    player.SetFileName(m_dir.filePath("three.wav"));
    QCOMPARE(player.Play(), 1);
    // Shown at the load and at each tick.
    QTRY_VERIFY_WITH_TIMEOUT(player.PositionMs() > 600, 5000);
    player.Stop();
    if (item == 0) {
        QVERIFY(info.rows.isEmpty());
        return;
    }
    QVERIFY(!info.rows.isEmpty());
    for (const auto& row : info.rows) {
        QCOMPARE(row.first, item);
        QVERIFY(row.second.endsWith("|00:03"));
    }
}

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    QCoreApplication app(argc, argv);
    TestBTPlayMusic test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_btplaymusic.moc"
