// The one-key test's steps, stop rules and conclusions against a scripted station.
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <limits>

#include "config/Config.h"
#include "station/OneKeyTest.h"

using namespace orv;

namespace {

// Records what the test does to the window; rows as "item|info|PASS/FAIL".
class FakeWindow final : public IOneKeyTestWindow {
public:
    bool shown = true;
    QStringList rows;
    QStringList infos;
    int finishedStep = -1;  // 0 passed, >0 failed step, -1 not concluded
    int finishes = 0;
    double level = 0;

    bool IsShown() const override { return shown; }
    void SetItemInfo(const QString& item, const QString& info) override {
        infos << item + QLatin1Char('|') + info;
    }
    void SetItemResult(const QString& item, const QString& info, bool pass) override {
        rows << item + QLatin1Char('|') + info + (pass ? QStringLiteral("|PASS") : "|FAIL");
    }
    void RestartItemClock() override {}
    void SetHfpMaxLevel(double dbfs) override { level = dbfs; }
    void FinishFailed(int step) override {
        finishedStep = step;
        ++finishes;
    }
    void FinishPassed() override {
        finishedStep = 0;
        ++finishes;
    }
};

// A station whose players and key test run for a set number of polls.
class FakeHost final : public IOneKeyHost {
public:
    FakeWindow window;
    bool withWindow = true;
    QString name = QStringLiteral("Line Headset");
    int battery = 80;
    QList<int> rssiReads{-47};
    bool hfp = true;
    bool a2dp = true;
    bool switchOk = true;
    int musicPolls = 3;  // polls the music player reports playing after Play; 0: never started
    int playbackPolls = 3;
    int recordPolls = 3;
    int keyPolls = 3;
    double maxLevel = -12.0;
    bool levelPass = true;
    int stopAtStage = -1;  // the operator presses "Stop test" once this stage is reached
    bool stopInRing = false;
    int stopInRingAtLook = 0;  // with stopInRing: the look after RingTest that sees the stop
    int ringLooks = 0;

    std::atomic<int> stage{0};
    int testDone = 0;
    int rssiCalls = 0;
    QStringList calls;
    QStringList messages;
    QString batteryLabel, rssiLabel;

    QString ReadName() override { return name; }
    int Battery() override { return battery; }
    int ReadRssi() override {
        ++rssiCalls;
        return rssiReads.isEmpty() ? -1 : rssiReads.takeFirst();
    }
    bool HfpReady() override { return hfp; }
    bool A2dpReady() override { return a2dp; }
    int StartA2dp() override {
        calls << QStringLiteral("StartA2dp");
        return switchOk ? 1 : 0;
    }
    int OpenHfpAudio(int kind) override {
        calls << QStringLiteral("OpenHfpAudio %1").arg(kind);
        return switchOk ? 1 : 0;
    }
    void RingTest() override { calls << QStringLiteral("RingTest"); }
    int Hangup() override {
        calls << QStringLiteral("Hangup");
        return 1;
    }
    int SendCallIndicator(int ringing) override {
        calls << QStringLiteral("CallIndicator %1").arg(ringing);
        return 1;
    }
    void SetBluetoothLabel(const QString&, bool) override {}
    void SetBatteryLabel(const QString& text, bool) override { batteryLabel = text; }
    void SetRssiLabel(const QString& text, bool) override {
        if (!text.isEmpty())
            rssiLabel = text;
    }
    void RefreshDeviceList() override {}
    void SetTestStage(int s) override { stage = s; }
    void ShowMessage(const QString& text) override { messages << text; }
    void TestDone() override { ++testDone; }
    bool TakeStopRequest() override {
        if (stopInRing && calls.contains(QStringLiteral("RingTest")) &&
            ringLooks++ >= stopInRingAtLook) {
            stopInRing = false;
            return true;
        }
        if (stopAtStage > 0 && stage == stopAtStage) {
            stopAtStage = -1;
            return true;
        }
        return false;
    }
    void PressPlay() override { calls << QStringLiteral("Play"); }
    void PressStop() override { calls << QStringLiteral("Stop"); }
    bool MusicPlaying() override { return musicPolls-- > 0; }
    void PressRecord() override { calls << QStringLiteral("Record"); }
    bool Recording() override { return recordPolls-- > 0; }
    void StopRecord() override { calls << QStringLiteral("StopRecord"); }
    double RecordMaxLevel() override { return maxLevel; }
    bool RecordLevelPass() override { return levelPass; }
    void PressRecordPlay() override { calls << QStringLiteral("RecordPlay"); }
    void PressRecordStop() override { calls << QStringLiteral("RecordStop"); }
    bool PlaybackPlaying() override { return playbackPolls-- > 0; }
    void PressKeyStart() override { calls << QStringLiteral("KeyStart"); }
    bool KeyTestRunning() override { return keyPolls-- > 0; }
    void StopKeyTest() override { calls << QStringLiteral("StopKeyTest"); }
    IOneKeyTestWindow* TestWindow() override { return withWindow ? &window : nullptr; }
    QString Text(int id) override { return QStringLiteral("#%1").arg(id); }
};

constexpr OneKeyPacing kFast{1, 1, 1, 1, 1, 1, 1};

}  // namespace

class TestOneKey final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_config;

    // [AutoTest] 3…8 and the ring switch; everything else default.
    void Switches(int battery, int rssi, int a2dp, int record, int listen, int key, int ring) {
        QFile::remove(m_config);
        const int values[6] = {battery, rssi, a2dp, record, listen, key};
        for (int i = 0; i < 6; ++i)
            WriteConfigInt(m_config, QStringLiteral("AutoTest"), QString::number(i + 3),
                           values[i]);
        WriteConfigInt(m_config, QStringLiteral("RingCheckTest"), QStringLiteral("RingCheckTest"),
                       ring);
        WriteConfigInt(m_config, QStringLiteral("RingCheckTest"), QStringLiteral("Interval"), 1);
    }

    int Run(FakeHost& host) {
        COneKeyTest test(&host, m_config, kFast);
        return test.RunSteps();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_config = m_dir.filePath(QStringLiteral("config.ini"));
    }

    void nameOnlyConcludesPassed() {
        Switches(0, 0, 0, 0, 0, 0, 0);
        FakeHost host;
        QCOMPARE(Run(host), 0);
        QCOMPARE(host.window.rows, QStringList{QStringLiteral("#159|Line Headset|PASS")});
        QCOMPARE(host.window.finishedStep, 0);
        QCOMPARE(host.window.finishes, 1);
        QCOMPARE(host.testDone, 1);
        QVERIFY(host.calls.isEmpty());
    }

    void fullRunPasses() {
        Switches(1, 1, 1, 1, 1, 1, 1);
        FakeHost host;
        QCOMPARE(Run(host), 0);
        QCOMPARE(host.window.finishedStep, 0);
        QCOMPARE(host.testDone, 1);
        QVERIFY(host.window.rows.contains(QStringLiteral("#164|80%|PASS")));
        QVERIFY(host.window.rows.contains(QStringLiteral("RSSI|-47 dBm|PASS")));
        QVERIFY(host.window.rows.contains(QStringLiteral("#182|OK|PASS")));
        QVERIFY(host.window.rows.contains(QStringLiteral("#185|(-12.00dB)OK|PASS")));
        QVERIFY(host.window.rows.contains(QStringLiteral("#187|OK|PASS")));
        QVERIFY(host.window.rows.contains(QStringLiteral("#191|OK|PASS")));
        QCOMPARE(host.window.level, -12.0);
        QVERIFY(host.window.infos.contains(QStringLiteral("#191|1#193")));
        // Ring by audio call, hung up after the interval, back to music afterwards.
        const int ring = host.calls.indexOf(QStringLiteral("RingTest"));
        QVERIFY(ring >= 0);
        QCOMPARE(host.calls.mid(ring),
                 (QStringList{QStringLiteral("RingTest"), QStringLiteral("Hangup"),
                              QStringLiteral("StartA2dp")}));
    }

    // Failures: the step concluded, the row left behind and how often the end was signalled.
    void failures_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("trace");  // a row or info the failure leaves
        QTest::newRow("battery unknown") << "battery" << 1 << "#164|NAN|FAIL";
        QTest::newRow("RSSI out of limits") << "rssi" << 1 << "RSSI|5 dBm|FAIL";
        QTest::newRow("A2DP missing") << "a2dp" << 5 << "#182|#184";
        QTest::newRow("player never started") << "noplay" << 5 << "#182|#183|FAIL";
        QTest::newRow("stop while listening") << "stop5" << 5 << "#182|#183";
        QTest::newRow("HFP switch fails") << "hfpswitch" << 5 << "#182|#184";
        QTest::newRow("HFP missing") << "hfp" << 6 << "#185|#186";
        QTest::newRow("quiet microphone") << "quiet" << 6 << "#185|(-inf dB)Fail|FAIL";
        QTest::newRow("stop during playback") << "stop7" << 7 << "#187|#188";
        QTest::newRow("recording cannot be played") << "noplayback" << 7 << "#187|#188|FAIL";
        QTest::newRow("key test stopped") << "stop8" << 8 << "#213|#190";
        QTest::newRow("ring stopped") << "stopring" << 9 << "#191|#192|FAIL";
        // Interval 1: the stop comes while the headset rings, after the look before the sleep.
        QTest::newRow("ring stopped in its last second")
            << "stopringlate" << 9 << "#191|#192|FAIL";
        QTest::newRow("ring without HFP after the other items")
            << "ringnohfp" << 9 << "#191|#192|FAIL";
    }

    void failures() {
        QFETCH(QString, fault);
        QFETCH(int, step);
        QFETCH(QString, trace);
        Switches(1, 1, 1, 1, 1, 1, 1);
        FakeHost host;
        if (fault == QLatin1String("battery"))
            host.battery = -1;
        if (fault == QLatin1String("rssi"))
            host.rssiReads = {5};
        if (fault == QLatin1String("a2dp"))
            host.a2dp = false;
        if (fault == QLatin1String("noplay"))
            host.musicPolls = 0;
        if (fault == QLatin1String("stop5"))
            host.stopAtStage = 5;
        if (fault == QLatin1String("hfpswitch"))
            host.switchOk = false;
        if (fault == QLatin1String("hfp"))
            host.hfp = false;
        if (fault == QLatin1String("quiet")) {
            host.maxLevel = -std::numeric_limits<double>::infinity();
            host.levelPass = false;
        }
        if (fault == QLatin1String("stop7"))
            host.stopAtStage = 7;
        if (fault == QLatin1String("noplayback"))
            host.playbackPolls = 0;
        if (fault == QLatin1String("stop8"))
            host.stopAtStage = 8;
        if (fault == QLatin1String("stopring"))
            host.stopInRing = true;
        if (fault == QLatin1String("stopringlate")) {
            host.stopInRing = true;
            host.stopInRingAtLook = 1;
        }
        if (fault == QLatin1String("ringnohfp")) {
            Switches(1, 1, 1, 0, 0, 1, 1);
            host.hfp = false;
        }

        QCOMPARE(Run(host), step);
        QCOMPARE(host.window.finishedStep, step);
        QCOMPARE(host.window.finishes, 1);
        QCOMPARE(host.testDone, 1);
        QVERIFY2(host.window.rows.contains(trace) || host.window.infos.contains(trace),
                 qPrintable((host.window.rows + host.window.infos).join(QLatin1Char(';'))));
        if (fault.startsWith(QLatin1String("stopring"))) {
            // Left at once: no hang-up, but back to A2DP.
            QVERIFY(!host.calls.contains(QStringLiteral("Hangup")));
            QCOMPARE(host.calls.last(), QStringLiteral("StartA2dp"));
        }
        if (fault == QLatin1String("stop8"))
            QVERIFY(host.calls.contains(QStringLiteral("StopKeyTest")));
    }

    void unreadableRssiPassesWithDefaultLimits() {
        Switches(0, 1, 0, 0, 0, 0, 0);
        FakeHost host;
        host.rssiReads = {-1, -1, -1, -1};
        QCOMPARE(Run(host), 0);
        QCOMPARE(host.rssiCalls, 3);
        QCOMPARE(host.rssiLabel, QStringLiteral("NAN"));
        QVERIFY(host.window.rows.contains(QStringLiteral("RSSI|NAN|PASS")));
    }

    void nameMismatchShowsMessage() {
        Switches(1, 1, 1, 1, 1, 1, 0);
        WriteConfigInt(m_config, QStringLiteral("General Info"), QStringLiteral("NameTest"), 1);
        WriteConfigText(m_config, QStringLiteral("General Info"), QStringLiteral("CheckName"),
                        QStringLiteral("Headset"));
        FakeHost host;
        QCOMPARE(Run(host), 0);  // "contains" mode
        WriteConfigInt(m_config, QStringLiteral("General Info"), QStringLiteral("NameTestMode"),
                       1);
        FakeHost exact;
        QCOMPARE(Run(exact), 1);
        QCOMPARE(exact.messages, QStringList{QStringLiteral("设备名称不匹配")});
        QCOMPARE(exact.window.rows, QStringList{QStringLiteral("#159|Line Headset|FAIL")});
        QCOMPARE(exact.testDone, 1);
    }

    void stopDuringRecordEndsWithoutVerdict() {
        Switches(1, 1, 1, 1, 1, 1, 1);
        FakeHost host;
        host.recordPolls = 1000;
        host.stopAtStage = 6;
        QCOMPARE(Run(host), kOneKeyNoVerdict);
        QCOMPARE(host.window.finishes, 0);
        QCOMPARE(host.testDone, 1);
        QVERIFY(host.calls.contains(QStringLiteral("StopRecord")));
        for (const QString& row : host.window.rows)
            QVERIFY2(!row.startsWith(QStringLiteral("#185")), qPrintable(row));
    }

    void listeningNeedsTheRecording() {
        Switches(0, 0, 0, 0, 1, 0, 0);
        FakeHost host;
        QCOMPARE(Run(host), 0);
        QVERIFY(!host.calls.contains(QStringLiteral("RecordPlay")));
    }

    // The main window's view: missing profiles skip their items, nothing is concluded.
    void mainViewSkipsWhatItCannotSwitchTo() {
        Switches(1, 1, 1, 1, 1, 1, 1);
        FakeHost host;
        host.withWindow = false;
        host.a2dp = false;
        host.hfp = false;
        QCOMPARE(Run(host), 0);
        QCOMPARE(host.testDone, 1);
        QCOMPARE(host.window.finishes, 0);
        QVERIFY(!host.calls.contains(QStringLiteral("Play")));
        QVERIFY(!host.calls.contains(QStringLiteral("Record")));
    }

    void callIndicatorRings() {
        Switches(0, 0, 0, 0, 0, 0, 1);
        WriteConfigInt(m_config, QStringLiteral("RingCheckTest"), QStringLiteral("ATRingCmd"), 1);
        WriteConfigInt(m_config, QStringLiteral("RingCheckTest"), QStringLiteral("TestTimes"), 2);
        FakeHost host;
        QCOMPARE(Run(host), 0);
        QCOMPARE(host.calls, (QStringList{"CallIndicator 1", "CallIndicator 0", "CallIndicator 1",
                                          "CallIndicator 0", "StartA2dp"}));
        QVERIFY(host.window.infos.contains(QStringLiteral("#191|2#193")));
    }

    // The worker: one test at a time, and Abort ends a test that waits for a player.
    void oneRunAtATimeAndAbort() {
        Switches(0, 0, 1, 0, 0, 0, 0);
        FakeHost host;
        host.musicPolls = 1 << 30;
        COneKeyTest test(&host, m_config, kFast);
        QVERIFY(test.Start());
        QVERIFY(!test.Start());
        QTRY_VERIFY(host.stage == 5);
        test.Abort();
        test.Join();
        QVERIFY(!test.IsRunning());
        QCOMPARE(host.window.finishes, 0);
    }
};

QTEST_GUILESS_MAIN(TestOneKey)
#include "tst_onekey.moc"
