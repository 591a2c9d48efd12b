// The simple test window's flow against the simulated adapter on the offscreen platform: one
// headset connected, tested by the one-key test, saved to SQLite and counted.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidget>

#include "adapter/AdapterLink.h"
#include "audio/BTRecordSound.h"
#include "audiodriver/MediaBackend.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "lang/Language.h"
#include "module/ModuleParser.h"
#include "results/AutoTestRun.h"
#include "results/ResultDbCheck.h"
#include "results/SimpleTestSetup.h"
#include "results/StatisticsCug.h"
#include "results/TestWnd.h"
#include "shell/AppOptions.h"
#include "sim/SimulatedBus.h"
#include "station/ColorStatic.h"
#include "station/ORV318PRODlg.h"
#include "station/OneKeyDialogHost.h"

using namespace orv;

namespace {

const QString kMac = QStringLiteral("00:1a:7d:da:71:13");

// One headset; `extra` lines replace the defaults of the same key (later keys win in the file).
QString Scenario(const QStringList& headsetKeys) {
    QMap<QString, QString> keys{
        {QStringLiteral("Name"), QStringLiteral("Line Headset")},
        {QStringLiteral("Mac"), kMac},
        {QStringLiteral("Rssi"), QStringLiteral("-47")},
        {QStringLiteral("Battery"), QStringLiteral("80")},
        {QStringLiteral("BatteryReport"), QStringLiteral("iphoneaccev")},
        {QStringLiteral("Profiles"), QStringLiteral("hfp,a2dp,avrcp")},
        {QStringLiteral("MicLevelDb"), QStringLiteral("-12")},
        {QStringLiteral("MicToneHz"), QStringLiteral("1000")},
        {QStringLiteral("Keys"),
         QStringLiteral("20:VOL+,40:VOL-,60:PLAY/PAUSE,80:NEXT,100:PREVIOUS")},
        {QStringLiteral("KeysRepeatMs"), QStringLiteral("150")},
    };
    for (const QString& kv : headsetKeys) {
        const int eq = kv.indexOf(QLatin1Char('='));
        keys.insert(kv.left(eq), kv.mid(eq + 1));
    }
    QString text = QStringLiteral(
        "[Adapter]\nProductId=0x5750\nReplyDelayMs=1\nControlSocket=\n[Headset1]\n");
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        text += it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n');
    return text;
}

// Saved columns after No: time, result, MAC, name, battery, RSSI, A2DP listening, HFP record,
// HFP max level, HFP listening, key test, key counts, ring test.
enum SavedColumn : int {
    kColResult = 1,
    kColMac = 2,
    kColName = 3,
    kColA2dp = 6,
    kColHfpRecord = 7,
    kColMaxLevel = 8,
    kColHfpListening = 9,
    kColKey = 10,
    kColKeyCounts = 11,
    kColRing = 12,
};

}  // namespace

class TestTestWnd final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    int m_case = 0;
    IReportBus* m_lastBus = nullptr;  // owned by the window made last

    QString DbPath() const { return m_home.filePath(QStringLiteral("results-%1.db").arg(m_case)); }

    // A fresh config.ini: short play and record times, auto-save to this case's database.
    void WriteConfig(const QStringList& settings) {
        ++m_case;
        const QString p = GetConfigPath();
        QFile::remove(p);
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        WriteConfigText(p, QStringLiteral("AutoSave"), QStringLiteral("IsSave"),
                        QStringLiteral("1"));
        WriteConfigText(p, QStringLiteral("AutoSave"), QStringLiteral("FilePath"), DbPath());
        WriteConfigText(p, QStringLiteral("Play"), QStringLiteral("PlayTimes"),
                        QStringLiteral("1.0"));
        WriteConfigText(p, QStringLiteral("PlayRecord"), QStringLiteral("PlayTimes"),
                        QStringLiteral("1.0"));
        WriteConfigText(p, QStringLiteral("Record"), QStringLiteral("CaptureTimes"),
                        QStringLiteral("1.0"));
        WriteConfigText(p, QStringLiteral("Search Setup"), QStringLiteral("TimeOut"),
                        QStringLiteral("3"));
        WriteConfigText(p, QStringLiteral("General Info"), QStringLiteral("TopMost"),
                        QStringLiteral("0"));
        for (const QString& s : settings) {
            // "Section/Key=value"
            const int slash = s.indexOf(QLatin1Char('/'));
            const int eq = s.indexOf(QLatin1Char('='));
            WriteConfigText(p, s.left(slash), s.mid(slash + 1, eq - slash - 1), s.mid(eq + 1));
        }
    }

    std::unique_ptr<CORV318PRODlg> MakeStation(const QStringList& headsetKeys) {
        const QString file = m_home.filePath(QStringLiteral("scenario-%1.ini").arg(m_case));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return nullptr;
        f.write(Scenario(headsetKeys).toUtf8());
        f.close();
        QString error;
        auto bus = sim::CSimulatedBus::Create(file, &error);
        if (!bus) {
            qWarning() << error;
            return nullptr;
        }
        m_lastBus = bus.get();
        return std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
    }

    QList<test::SavedRow> SavedRows() {
        QString error;
        auto rows = test::ReadRows(
            QStringLiteral("QSQLITE"), [this](QSqlDatabase& db) { db.setDatabaseName(DbPath()); },
            QStringLiteral("SELECT * FROM TEST_EN ORDER BY 1"), &error);
        if (!error.isEmpty())
            qWarning() << error;
        return rows;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        SetHeadlessUi(true);
        QVERIFY(LoadLanguage(1, {QStringLiteral(ORV_BINARY_DIR "/bin")}));
        // The play file the one-key test's A2DP item plays.
        QDir().mkpath(m_home.filePath(QStringLiteral("wav")));
        QVERIFY(QFile::copy(QStringLiteral(ORV_BINARY_DIR "/bin/wav/20-20k.wav"),
                            m_home.filePath(QStringLiteral("wav/20-20k.wav"))));
    }

    // One headset through the command-line run's flow: verdict, failed step, exit code, the
    // saved verdict columns and the counters.
    void oneHeadset_data() {
        QTest::addColumn<QStringList>("headset");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("stopWhileListening");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("step");
        // A2DP, HFP record, HFP listening, key test, ring test
        QTest::addColumn<QStringList>("verdicts");

        const QString p = QStringLiteral("PASS");
        const QString f = QStringLiteral("FAIL");
        const QString u = QStringLiteral("UNTESTED");
        const QStringList ring{QStringLiteral("RingCheckTest/RingCheckTest=1"),
                               QStringLiteral("RingCheckTest/Interval=1")};
        QTest::newRow("passing headset, ring on")
            << QStringList{} << ring << false << 0 << 0 << QStringList{p, p, p, p, p};
        QTest::newRow("name mismatch")
            << QStringList{}
            << QStringList{QStringLiteral("General Info/NameTest=1"),
                           QStringLiteral("General Info/CheckName=Other")}
            << false << 1 << 1 << QStringList{u, u, u, u, u};
        QTest::newRow("low battery") << QStringList{QStringLiteral("Battery=20")}
                                     << QStringList{QStringLiteral("Battery/Lower=50")} << false
                                     << 1 << 1 << QStringList{u, u, u, u, u};
        QTest::newRow("RSSI below the lower limit")
            << QStringList{} << QStringList{QStringLiteral("RSSI/Lower=-40")} << false << 1 << 1
            << QStringList{u, u, u, u, u};
        QTest::newRow("A2DP refused")
            << QStringList{QStringLiteral("Profiles=hfp")}
            << QStringList{QStringLiteral("Connect Setup/A2DPConnect=0"),
                           QStringLiteral("Connect Setup/AvrcpConnect=0")}
            << false << 1 << 5 << QStringList{f, u, u, u, u};
        // The link state is emptied by the link loss before the conclusion saves: the row
        // still names the headset.
        QTest::newRow("link lost mid-test")
            << QStringList{QStringLiteral("Faults=drop-after-ms=1500")} << QStringList{} << false
            << 1 << 5 << QStringList{f, u, u, u, u};
        QTest::newRow("silent microphone")
            << QStringList{QStringLiteral("MicLevelDb=")} << QStringList{} << false << 1 << 6
            << QStringList{p, f, u, u, u};
        QTest::newRow("operator stop while listening")
            << QStringList{} << QStringList{QStringLiteral("Play/PlayTimes=30")} << true << 1 << 5
            << QStringList{f, u, u, u, u};
    }

    void oneHeadset() {
        QFETCH(QStringList, headset);
        QFETCH(QStringList, settings);
        QFETCH(bool, stopWhileListening);
        QFETCH(int, exitCode);
        QFETCH(int, step);
        QFETCH(QStringList, verdicts);

        WriteConfig(settings);
        auto dlg = MakeStation(headset);
        QVERIFY(dlg);
        auto* setup = new CSimpleTestSetup(dlg.get());

        // The operator presses "Stop test" once the music plays.
        QTimer stopper;
        if (stopWhileListening) {
            stopper.setInterval(20);
            connect(&stopper, &QTimer::timeout, this, [&] {
                if (dlg->TestRunning() && dlg->TestStage() == 5) {
                    stopper.stop();
                    setup->Window()
                        ->findChild<QPushButton*>(CTestWnd::ControlName(CTestWnd::IDC_TEST_FAIL))
                        ->click();
                }
            });
            stopper.start();
        }

        QString text;
        QTextStream out(&text);
        const int code = RunAutoTest(dlg.get(), setup, kMac, out, 60000);
        QVERIFY2(code == exitCode, qPrintable(text));
        QVERIFY2(text.contains(step == 0 ? QStringLiteral("Verdict: PASS")
                                         : QStringLiteral("Verdict: FAIL (step %1)").arg(step)),
                 qPrintable(text));
        CTestWnd* wnd = setup->Window();
        QCOMPARE(wnd->Results().statistics().PassCount(), step == 0 ? 1 : 0);
        QCOMPARE(wnd->Results().statistics().FailCount(), step == 0 ? 0 : 1);

        const auto rows = SavedRows();
        QCOMPARE(rows.size(), 1);
        const QStringList& v = rows.first().values;
        QCOMPARE(v.value(kColResult), step == 0 ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
        QCOMPARE(v.value(kColMac), kMac);
        QCOMPARE(v.value(kColName), QStringLiteral("Line Headset"));
        const QStringList saved{v.value(kColA2dp), v.value(kColHfpRecord),
                                v.value(kColHfpListening), v.value(kColKey), v.value(kColRing)};
        QCOMPARE(saved, verdicts);
        if (step == 0) {
            QCOMPARE(v.value(kColMaxLevel), QStringLiteral("MAX=-12.00dB"));
            // Five key counts, each pressed at least once by the simulated operator.
            QCOMPARE(v.value(kColKeyCounts).count(QLatin1Char('=')), 5);
            QVERIFY2(!v.value(kColKeyCounts).contains(QStringLiteral("=0")),
                     qPrintable(v.value(kColKeyCounts)));
            // Every item row was printed with its result and time.
            QVERIFY2(text.count(QStringLiteral("| PASS |")) >= 10, qPrintable(text));
        }
        // The test thread has ended: every way out signalled the end of the test.
        QTRY_VERIFY(!setup->OneKey()->Test().IsRunning());
        QVERIFY(!dlg->TestRunning());
    }

    // "Stop test" during the HFP record ends the test with no verdict: nothing saved, nothing
    // counted.
    void stopDuringRecordWritesNothing() {
        WriteConfig({QStringLiteral("Record/CaptureTimes=30"),
                     QStringLiteral("General Info/AutoTestAfterMacConnected=1")});
        auto dlg = MakeStation({});
        QVERIFY(dlg);
        auto* setup = new CSimpleTestSetup(dlg.get());
        QSignalSpy opened(dlg.get(), &CORV318PRODlg::adapterOpened);
        QVERIFY(opened.wait(10000));
        CTestWnd* wnd = setup->Window();
        wnd->show();
        wnd->OnStartTest();
        dlg->PressMacPair(kMac);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->TestStage() == 6, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->Recorder()->IsRecording(), 10000);
        dlg->OnOneKeyTest();  // "Stop test"
        QTRY_VERIFY_WITH_TIMEOUT(!setup->OneKey()->Test().IsRunning(), 10000);
        QVERIFY(!dlg->TestRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->Recorder()->IsRecording(), 5000);
        QCOMPARE(wnd->Results().statistics().Total(), 0);
        QVERIFY(wnd->Results().WaitForSaves(10000));
        QVERIFY(!QFile::exists(DbPath()) || SavedRows().isEmpty());
        QCOMPARE(wnd->Results().JournalCount(), 0);
    }

    // The station closes while a test plays music: the test ends with the window, nothing
    // hangs and nothing runs on a link that is gone.
    void closedDuringTest() {
        WriteConfig({QStringLiteral("Play/PlayTimes=30"),
                     QStringLiteral("General Info/AutoTestAfterMacConnected=1")});
        auto dlg = MakeStation({});
        QVERIFY(dlg);
        auto* setup = new CSimpleTestSetup(dlg.get());
        QSignalSpy opened(dlg.get(), &CORV318PRODlg::adapterOpened);
        QVERIFY(opened.wait(10000));
        CTestWnd* wnd = setup->Window();
        wnd->show();
        wnd->OnStartTest();
        dlg->PressMacPair(kMac);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->TestStage() == 5, 30000);
        QVERIFY(setup->OneKey()->Test().IsRunning());
        dlg.reset();
    }

    // The headset goes out of range while its music plays: the lost links conclude the test
    // with step 5, and the item that then fails does not save or count the headset again.
    void linkLostConcludesOnce() {
        WriteConfig({QStringLiteral("Play/PlayTimes=30"),
                     QStringLiteral("General Info/AutoTestAfterMacConnected=1")});
        auto dlg = MakeStation({});
        QVERIFY(dlg);
        auto* sim = dynamic_cast<sim::CSimulatedBus*>(m_lastBus);
        QVERIFY(sim);
        auto* setup = new CSimpleTestSetup(dlg.get());
        QSignalSpy opened(dlg.get(), &CORV318PRODlg::adapterOpened);
        QVERIFY(opened.wait(10000));
        CTestWnd* wnd = setup->Window();
        wnd->show();
        dlg->hide();
        wnd->OnStartTest();
        dlg->PressMacPair(kMac);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->TestStage() == 5, 30000);
        QCOMPARE(sim->Control(QStringLiteral("drop ") + kMac), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(wnd->Results().statistics().Total() >= 1, 20000);
        // The music ends with the link; the test's own item fails then.
        dlg->OnOneKeyTest();
        QTRY_VERIFY_WITH_TIMEOUT(!setup->OneKey()->Test().IsRunning(), 20000);
        QVERIFY(wnd->Results().WaitForSaves(10000));
        QCOMPARE(wnd->Results().statistics().FailCount(), 1);
        QCOMPARE(wnd->Results().statistics().PassCount(), 0);
        const auto rows = SavedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().values.value(kColA2dp), QStringLiteral("FAIL"));
    }

    // A database that cannot be written: the row waits in the journal, the window says so, the
    // test is counted and the verdict stands.
    void unsavedResultIsJournalledAndShown() {
        WriteConfig({QStringLiteral("AutoTest/5=0"), QStringLiteral("AutoTest/6=0"),
                     QStringLiteral("AutoTest/7=0"), QStringLiteral("AutoTest/8=0"),
                     QStringLiteral("AutoSave/FilePath=") +
                         m_home.filePath(QStringLiteral("missing/results.db"))});
        auto dlg = MakeStation({});
        QVERIFY(dlg);
        auto* setup = new CSimpleTestSetup(dlg.get());
        QString text;
        QTextStream out(&text);
        QCOMPARE(RunAutoTest(dlg.get(), setup, kMac, out, 60000), int(kAutoTestPass));
        CTestWnd* wnd = setup->Window();
        QCOMPARE(wnd->Results().statistics().PassCount(), 1);
        QCOMPARE(wnd->Results().JournalCount(), 1);
        auto* status = wnd->findChild<QLabel*>(QStringLiteral("SaveStatus"));
        QVERIFY(status);
        QTRY_VERIFY(status->isVisible());
        QVERIFY2(status->text().contains(QStringLiteral("journal")), qPrintable(status->text()));

        // The folder appears: the next save writes the waiting row first, then its own.
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("missing")));
        QString again;
        QTextStream out2(&again);
        QCOMPARE(RunAutoTest(dlg.get(), setup, kMac, out2, 60000), int(kAutoTestPass));
        QCOMPARE(wnd->Results().JournalCount(), 0);
        QTRY_VERIFY(!status->isVisible());
        QString error;
        const auto rows = test::ReadRows(
            QStringLiteral("QSQLITE"),
            [this](QSqlDatabase& db) {
                db.setDatabaseName(m_home.filePath(QStringLiteral("missing/results.db")));
            },
            QStringLiteral("SELECT * FROM TEST_EN ORDER BY 1"), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(wnd->Results().statistics().PassCount(), 2);
    }

    // The window's own controls: banner, buttons, statistics grid, Enter in the MAC field.
    void windowControls() {
        WriteConfig({});
        auto dlg = MakeStation({});
        QVERIFY(dlg);
        auto* setup = new CSimpleTestSetup(dlg.get());
        CTestWnd* wnd = setup->Window();
        wnd->show();
        auto* banner = wnd->findChild<CColorStatic*>(CTestWnd::ControlName(CTestWnd::IDC_BANNER));
        QVERIFY(banner);
        auto* start =
            wnd->findChild<QPushButton*>(CTestWnd::ControlName(CTestWnd::IDC_START_TEST));
        auto* stop = wnd->findChild<QPushButton*>(CTestWnd::ControlName(CTestWnd::IDC_STOP_TEST));
        auto* fail = wnd->findChild<QPushButton*>(CTestWnd::ControlName(CTestWnd::IDC_TEST_FAIL));
        QVERIFY(start && stop && fail);
        QVERIFY(start->isEnabled());
        QVERIFY(!stop->isEnabled() && !fail->isEnabled());

        // The adapter is not open before the window's start-up timer: "Dongle\nDisconnected".
        wnd->SetAdapterState(0);
        QCOMPARE(banner->GetText(), UiString(168));
        QCOMPARE(banner->GetBkColor(), QColor(255, 0, 0));

        auto* list = wnd->findChild<QTreeWidget*>(CTestWnd::ControlName(CTestWnd::IDC_ITEM_LIST));
        QVERIFY(list);
        QCOMPARE(list->columnCount(), 4);
        QCOMPARE(list->headerItem()->text(0), UiString(198));
        QCOMPARE(list->columnWidth(1), 250);
        QCOMPARE(list->selectionMode(), QAbstractItemView::NoSelection);
        QCOMPARE(list->topLevelItemCount(), 2);  // the two groups
        QCOMPARE(list->topLevelItem(0)->childCount(), 2);

        // Enter in the MAC field outside a test run starts nothing.
        auto* mac = wnd->findChild<QLineEdit*>(CTestWnd::ControlName(CTestWnd::IDC_MAC));
        QVERIFY(mac);
        mac->setText(kMac);
        QTest::keyClick(mac, Qt::Key_Return);
        QVERIFY(!dlg->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        QVERIFY(wnd->isVisible());  // Enter never closes the window

        start->click();
        QCOMPARE(wnd->Testing(), 1);
        QVERIFY(!start->isEnabled() && stop->isEnabled() && fail->isEnabled());
        QVERIFY(wnd->TimerActive(CTestWnd::TIMER_RUN));
        // During a run a scanned MAC ends with Enter and connects that headset.
        QTRY_VERIFY_WITH_TIMEOUT(dlg->Link()->IsOpen(), 10000);
        QTest::keyClick(mac, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->Link()->Parser().IsConnected(), 20000);
        QCOMPARE(dlg->MacEdit()->text(), kMac);
        stop->click();  // disconnects the headset
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->Link()->Parser().IsConnected(), 20000);
        QCOMPARE(wnd->Testing(), 0);
        QVERIFY(!wnd->TimerActive(CTestWnd::TIMER_RUN));
        QVERIFY(start->isEnabled() && !stop->isEnabled());

        // Statistics: counts and rate, and the context menu's reset.
        auto* stats =
            wnd->findChild<CStatisticsCug*>(CTestWnd::ControlName(CTestWnd::IDC_STATISTICS));
        QVERIFY(stats);
        QCOMPARE(stats->QuickGetText(2, 0), QString());
        QCOMPARE(stats->QuickGetText(0, 0), QStringLiteral("0"));
        CStatistics& counts = wnd->Results().statistics();
        counts.Count(true);
        counts.Count(false);
        counts.Count(false);
        QTRY_COMPARE(stats->QuickGetText(3, 0), QStringLiteral("3"));
        QCOMPARE(stats->QuickGetText(2, 0), QStringLiteral("33.33%"));
        emit stats->menuCommand(CStatisticsCug::kResetCommand, 0, 0);
        QTRY_COMPARE(stats->QuickGetText(3, 0), QStringLiteral("0"));
        QCOMPARE(stats->QuickGetText(2, 0), QString());
        QCOMPARE(stats->y(), wnd->height() - 85);
        QCOMPARE(stats->width(), wnd->width());

        // The main window's simple-window command and Back swap the two windows.
        wnd->close();
        dlg->show();
        dlg->OnMenuCommand(CORV318PRODlg::ID_SIMPLE_WINDOW);
        QVERIFY(wnd->isVisible());
        QVERIFY(!dlg->isVisible());
        QVERIFY(wnd->IsShown());
        QTRY_VERIFY_WITH_TIMEOUT(dlg->Link()->IsOpen(), 10000);
        QCOMPARE(banner->GetText(), UiString(167));  // "Dongle\nConnected", caught up on show
        QCOMPARE(banner->GetBkColor(), QColor(0, 255, 0));
        wnd->findChild<QPushButton*>(CTestWnd::ControlName(CTestWnd::IDC_BACK))->click();
        QVERIFY(!wnd->isVisible());
        QVERIFY(!wnd->IsShown());
        QVERIFY(dlg->isVisible());
    }
};

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    QApplication app(argc, argv);
    TestTestWnd test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_testwnd.moc"
