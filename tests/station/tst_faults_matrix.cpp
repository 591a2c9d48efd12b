// Faults in every item of the one-key test, end to end through the simulated adapter: the
// adapter pulled out, or the headset going out of range, while one item runs. Each case must end
// with the test concluded as failed at that item, the row saved, the operator told, and the same
// station testing the next headset.
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include <atomic>

#include "audio/BTPlayMusic.h"
#include "audio/BTRecordSound.h"
#include "audiodriver/MediaBackend.h"
#include "keytest/BTKeyTest.h"
#include "keytest/KeyTestCug.h"
#include "station/ColorStatic.h"
#include "station/StationFixture.h"
#include "station/StationUi.h"

using namespace orv;
using orv::test::StationFixture;

namespace {

// Items of the one-key test and what each case switches on: the name check always runs, the
// item under test runs alone after it (HFP listening needs the recording before it).
enum Item : int { kName, kBattery, kRssi, kA2dp, kRecord, kListening, kKey, kRing };

QStringList ItemsFor(Item item) {
    QStringList s = test::NameOnlyItems();
    switch (item) {
        case kName:
            // The name is asked of the headset (not taken from the connection) when checked.
            s << QStringLiteral("General Info/NameTest=1")
              << QStringLiteral("General Info/CheckName=Line Headset");
            break;
        case kBattery:
            s << QStringLiteral("AutoTest/3=1");
            break;
        case kRssi:
            s << QStringLiteral("AutoTest/4=1");
            break;
        case kA2dp:
            s << QStringLiteral("AutoTest/5=1") << QStringLiteral("Play/PlayTimes=4.0");
            break;
        case kRecord:
            s << QStringLiteral("AutoTest/6=1") << QStringLiteral("Record/CaptureTimes=4.0");
            break;
        case kListening:
            s << QStringLiteral("AutoTest/6=1") << QStringLiteral("AutoTest/7=1")
              << QStringLiteral("PlayRecord/PlayTimes=4.0");
            break;
        case kKey:
            s << QStringLiteral("AutoTest/8=1");
            break;
        case kRing:
            s << QStringLiteral("RingCheckTest/RingCheckTest=1")
              << QStringLiteral("RingCheckTest/Interval=4");
            break;
    }
    return s;
}

// Fires a simulator command once while the item under test runs. Items that wait on a player,
// the recorder or the key test are caught by their test stage; the quick readouts are caught on
// the thread that finished the item before them, so the fault is there before they read.
class FaultTrigger final : public QObject {
public:
    FaultTrigger(StationFixture& f, Item item, QString command)
        : m_f(f), m_item(item), m_command(std::move(command)) {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        connect(
            &f.Window()->Results().record(), &CTestRecord::rowChanged, this,
            [this](int) { OnRow(); }, Qt::DirectConnection);
        m_timer.start();
    }
    bool Fired() const { return m_fired.load(); }
    QString Answer() const { return m_answer; }

private:
    // Result (or information) of the row whose item is string `id`, spaces and case ignored.
    QString RowText(int id, bool info) const {
        const QString want = UiString(id).remove(QLatin1Char(' ')).toLower();
        for (const ItemRow& r : m_f.Window()->Results().record().Rows()) {
            if (QString(r.item).remove(QLatin1Char(' ')).toLower() == want)
                return info ? r.info : r.result;
        }
        return {};
    }
    QString RssiResult() const {
        for (const ItemRow& r : m_f.Window()->Results().record().Rows())
            if (r.item == QLatin1String("RSSI"))
                return r.result;
        return {};
    }

    void Fire() {
        if (m_fired.exchange(true))
            return;
        m_answer = m_f.sim->Control(m_command);
    }

    // On the thread that changed a row (the one-key test's for its items).
    void OnRow() {
        if (m_item == kBattery && !RowText(159, false).isEmpty())
            Fire();  // the name is read: the battery comes next
        else if (m_item == kRssi && !RowText(159, false).isEmpty())
            Fire();  // the battery is off in this case
        else if (m_item == kRing && !RowText(191, true).isEmpty())
            Fire();  // "1times ring": the headset rings
    }

    // On the GUI thread.
    void Poll() {
        if (m_fired.load()) {
            m_timer.stop();
            return;
        }
        const int stage = m_f.dlg->TestStage();
        switch (m_item) {
            case kName:
                // The name request takes its page time (ConnectMs) in the module.
                if (m_f.dlg->TestRunning() && RowText(159, false).isEmpty())
                    Fire();
                break;
            case kA2dp:
                if (stage == 5 && m_f.dlg->MusicPlayer()->GetState() == CBTPlayMusic::Running)
                    Fire();
                break;
            case kRecord:
                if (stage == 6 && m_f.dlg->Recorder()->IsRecording())
                    Fire();
                break;
            case kListening:
                if (stage == 7 && m_f.dlg->RecordPlayer()->GetState() == CBTPlayMusic::Running)
                    Fire();
                break;
            case kKey:
                if (stage == 8 && m_f.dlg->KeyTest()->IsRunning())
                    Fire();
                break;
            default:
                break;
        }
    }

    StationFixture& m_f;
    Item m_item;
    QString m_command;
    QTimer m_timer;
    std::atomic<bool> m_fired{false};
    QString m_answer;
};

// The failed step each item concludes with, and the saved column holding its verdict (-1: step
// 1, which has no column of its own).
struct Expect {
    int step;
    int column;
};
Expect Expected(Item item) {
    switch (item) {
        case kA2dp:
            return {5, test::kSavedA2dp};
        case kRecord:
            return {6, test::kSavedHfpRecord};
        case kListening:
            return {7, test::kSavedHfpListening};
        case kKey:
            return {8, test::kSavedKey};
        case kRing:
            return {9, test::kSavedRing};
        default:
            return {1, -1};
    }
}

}  // namespace

class TestFaultsMatrix final : public QObject {
    Q_OBJECT

private:
    StationFixture m_f;

    void addItemRows(const char* fault) {
        const struct {
            const char* name;
            Item item;
        } items[] = {{"name", kName},         {"battery", kBattery},
                     {"RSSI", kRssi},         {"A2DP listening", kA2dp},
                     {"HFP record", kRecord}, {"HFP listening", kListening},
                     {"key test", kKey},      {"ring test", kRing}};
        for (const auto& i : items)
            QTest::addRow("%s in %s", fault, i.name) << int(i.item);
    }

    // Runs one case up to the verdict: the station built, the item's switches set, the fault
    // fired while the item runs. Checks the verdict, the saved row and the counters.
    void RunFaultCase(Item item, const QString& command) {
        m_f.NewCase(ItemsFor(item) +
                    QStringList{QStringLiteral("General Info/AutoTestAfterMacConnected=1")});
        // Name requests take 400 ms, so that a fault can land while the name is read.
        const QStringList adapter =
            item == kName ? QStringList{QStringLiteral("ConnectMs=400")} : QStringList{};
        const QString made = m_f.MakeStation(test::FixtureScenario({}, adapter));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        FaultTrigger trigger(m_f, item, command);

        QString text;
        const int code = m_f.Run(&text, 60000);
        QVERIFY2(trigger.Fired(), qPrintable(text));
        QCOMPARE(trigger.Answer(), QStringLiteral("OK"));
        const Expect want = Expected(item);
        QVERIFY2(code == kAutoTestFail, qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Verdict: FAIL (step %1)").arg(want.step)),
                 qPrintable(text));

        // The test thread ends and the window is idle again: nothing hangs on the lost link.
        QTRY_VERIFY_WITH_TIMEOUT(!m_f.TestThreadRunning(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_f.dlg->TestRunning(), 5000);
        QVERIFY(m_f.Window()->Results().WaitForSaves(10000));
        QCOMPARE(m_f.Window()->Results().statistics().FailCount(), 1);
        QCOMPARE(m_f.Window()->Results().statistics().PassCount(), 0);
        QCOMPARE(m_f.Window()->Results().JournalCount(), 0);

        // Exactly one row, failed, with the failing item's own verdict column.
        const auto rows = m_f.Rows();
        QCOMPARE(rows.size(), 1);
        const QStringList& v = rows.first().values;
        QCOMPARE(v.value(test::kSavedResult), QStringLiteral("FAIL"));
        QCOMPARE(v.value(test::kSavedMac), test::kFixtureMac);
        if (want.column >= 0)
            QCOMPARE(v.value(want.column), QStringLiteral("FAIL"));
        const int columns[] = {test::kSavedA2dp, test::kSavedHfpRecord, test::kSavedHfpListening,
                               test::kSavedKey, test::kSavedRing};
        for (int c : columns)
            QVERIFY2(c == want.column || v.value(c) != QLatin1String("FAIL"),
                     qPrintable(v.join(QLatin1Char('|'))));
    }

private slots:
    void initTestCase() {
        const QString error = m_f.Init();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { m_f.CloseStation(); }

    // The adapter is pulled out during the item and plugged in again afterwards.
    void unplugDuringItem_data() {
        QTest::addColumn<int>("item");
        addItemRows("unplug");
    }
    void unplugDuringItem() {
        QFETCH(int, item);
        const qint64 mark = StationFixture::LogMark();
        RunFaultCase(Item(item), QStringLiteral("unplug"));
        if (QTest::currentTestFailed())
            return;
        // Told: the banner of the simple window and the log.
        auto* banner =
            m_f.Window()->findChild<CColorStatic*>(CTestWnd::ControlName(CTestWnd::IDC_BANNER));
        QVERIFY(banner);
        QCOMPARE(banner->GetText(), UiString(168));
        QVERIFY(StationFixture::LogSince(mark).contains(QStringLiteral("DEVICE REMOVE COMPLETE")));
        QVERIFY(!m_f.dlg->Link()->IsOpen());

        QSignalSpy opened(m_f.dlg.get(), &CORV318PRODlg::adapterOpened);
        QCOMPARE(m_f.sim->Control(QStringLiteral("plug")), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(m_f.dlg->Link()->IsOpen(), 10000);
        QCOMPARE(banner->GetText(), UiString(167));
        m_f.NextHeadsetPasses(1);
    }

    // The headset goes out of range during the item (every link lost at once).
    void dropDuringItem_data() {
        QTest::addColumn<int>("item");
        addItemRows("drop");
    }
    void dropDuringItem() {
        QFETCH(int, item);
        const qint64 mark = StationFixture::LogMark();
        RunFaultCase(Item(item), QStringLiteral("drop ") + test::kFixtureMac);
        if (QTest::currentTestFailed())
            return;
        // Told: the "Auto disconnect" box (in the log with the headless UI).
        QTRY_VERIFY_WITH_TIMEOUT(
            StationFixture::LogSince(mark).contains(QStringLiteral("ORV318Pro: ") +
                                                    UiString(IDS_AUTO_DISCONNECT)),
            5000);
        m_f.NextHeadsetPasses(1);
    }
};

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    QApplication app(argc, argv);
    TestFaultsMatrix test;
    const int code = QTest::qExec(&test, argc, argv);
    if (orv::CBTPlayMusic::PlayersLeftBehind() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);  // as the program does: see CBTPlayMusic::PlayersLeftBehind
    }
    return code;
}
#include "tst_faults_matrix.moc"
