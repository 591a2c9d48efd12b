#pragma once

// A whole station for end-to-end tests: a temporary home folder with config.ini and the play
// file, the simulated adapter with one headset, the main window with the simple test window and
// the one-key test, the command-line run's flow, the rows saved to the SQLite file and the log.
// Construct it once per test program (it sets the process's home folder); every NewCase starts
// a fresh config.ini and database, every MakeStation a fresh station.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>

#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "lang/Language.h"
#include "results/AutoTestRun.h"
#include "results/ResultDbCheck.h"
#include "results/SimpleTestSetup.h"
#include "results/TestWnd.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"
#include "sim/SimulatedBus.h"
#include "station/ORV318PRODlg.h"
#include "station/OneKeyDialogHost.h"
#include "station/StationUi.h"

namespace orv::test {

inline const QString kFixtureMac = QStringLiteral("00:1a:7d:da:71:13");
inline const QString kSecondMac = QStringLiteral("00:1a:7d:da:71:14");  // healthy, see below

// Saved columns after "No": time, result, MAC, name, battery, RSSI, A2DP listening, HFP record,
// HFP max level, HFP listening, key test, key counts, ring test.
enum FixtureColumn : int {
    kSavedResult = 1,
    kSavedMac = 2,
    kSavedName = 3,
    kSavedA2dp = 6,
    kSavedHfpRecord = 7,
    kSavedHfpListening = 9,
    kSavedKey = 10,
    kSavedRing = 12,
};

// Key=value lines; a later entry replaces an earlier one of the same key.
inline QMap<QString, QString> KeyValues(const QStringList& entries,
                                        QMap<QString, QString> keys = {}) {
    for (const QString& kv : entries) {
        const int eq = kv.indexOf(QLatin1Char('='));
        keys.insert(kv.left(eq), kv.mid(eq + 1));
    }
    return keys;
}

// One headset that passes every item with the short times of NewCase; `headset` and `adapter`
// entries ("Key=value") replace its defaults. With `second`, a second headset of the same kind
// ("Second Headset", kSecondMac) that keeps none of the first one's faults.
inline QString FixtureScenario(const QStringList& headset, const QStringList& adapter = {},
                               bool second = false) {
    const auto adapterKeys = KeyValues(adapter, {
                                                    {QStringLiteral("ProductId"), "0x5750"},
                                                    {QStringLiteral("ReplyDelayMs"), "1"},
                                                    {QStringLiteral("ControlSocket"), ""},
                                                });
    const auto headsetKeys = KeyValues(
        headset,
        {
            {QStringLiteral("Name"), QStringLiteral("Line Headset")},
            {QStringLiteral("Mac"), kFixtureMac},
            {QStringLiteral("Rssi"), QStringLiteral("-47")},
            {QStringLiteral("Battery"), QStringLiteral("80")},
            {QStringLiteral("Profiles"), QStringLiteral("hfp,a2dp,avrcp")},
            {QStringLiteral("MicLevelDb"), QStringLiteral("-12")},
            {QStringLiteral("Keys"), QStringLiteral("20:VOL+,40:VOL-,60:PLAY/PAUSE,80:NEXT,"
                                                    "100:PREVIOUS")},
            {QStringLiteral("KeysRepeatMs"), QStringLiteral("150")},
        });
    QString text = QStringLiteral("[Adapter]\n");
    for (auto it = adapterKeys.cbegin(); it != adapterKeys.cend(); ++it)
        text += it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n');
    text += QStringLiteral("[Headset1]\n");
    for (auto it = headsetKeys.cbegin(); it != headsetKeys.cend(); ++it)
        text += it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n');
    if (second)
        text += QStringLiteral("[Headset2]\nName=Second Headset\nMac=") + kSecondMac +
                QStringLiteral("\nBattery=80\nMicLevelDb=-12\n");
    return text;
}

// The item switches of a one-key test that runs only the name check (a quick passing test).
inline QStringList NameOnlyItems() {
    return {QStringLiteral("AutoTest/3=0"),
            QStringLiteral("AutoTest/4=0"),
            QStringLiteral("AutoTest/5=0"),
            QStringLiteral("AutoTest/6=0"),
            QStringLiteral("AutoTest/7=0"),
            QStringLiteral("AutoTest/8=0"),
            QStringLiteral("RingCheckTest/RingCheckTest=0")};
}

// The simulated adapter with a side door: raw module text the simulator could not print
// (bytes that are no UTF-8) goes to the station between the simulator's own reports.
class InjectingBus final : public IReportBus {
public:
    explicit InjectingBus(std::unique_ptr<sim::CSimulatedBus> inner)
        : m_inner(std::move(inner)), m_queue(std::make_shared<Queue>()) {
        connect(m_inner.get(), &IReportBus::deviceArrived, this, &IReportBus::deviceArrived);
        connect(m_inner.get(), &IReportBus::deviceRemoved, this, &IReportBus::deviceRemoved);
    }
    sim::CSimulatedBus* Sim() const { return m_inner.get(); }

    // `bytes` (CR LF included by the caller) as reports of 64 bytes, read before anything the
    // simulator prints next.
    void Inject(const QByteArray& bytes) {
        std::lock_guard<std::mutex> lock(m_queue->lock);
        for (qsizetype at = 0; at < bytes.size(); at += kReportSize - 1) {
            Report r{};
            const QByteArray part = bytes.mid(at, kReportSize - 1);
            std::copy(part.begin(), part.end(), r.begin() + 1);
            m_queue->reports.push_back(r);
        }
    }

    QList<ReportDeviceInfo> Enumerate() override { return m_inner->Enumerate(); }
    std::unique_ptr<IReportDevice> Open(std::uint16_t vendorId, std::uint16_t productId) override {
        auto device = m_inner->Open(vendorId, productId);
        if (!device)
            return nullptr;
        return std::make_unique<Device>(std::move(device), m_queue);
    }
    void StartWatching() override { m_inner->StartWatching(); }

private:
    struct Queue {
        std::mutex lock;  // guards reports
        std::deque<Report> reports;
    };
    class Device final : public IReportDevice {
    public:
        Device(std::unique_ptr<IReportDevice> inner, std::shared_ptr<Queue> queue)
            : m_inner(std::move(inner)), m_queue(std::move(queue)) {}
        int ReadReport(Report& report, int timeoutMs) override {
            // Short slices of the simulator's read, so that injected text goes out promptly.
            QDeadlineTimer deadline(timeoutMs);
            for (;;) {
                {
                    std::lock_guard<std::mutex> lock(m_queue->lock);
                    if (!m_queue->reports.empty()) {
                        report = m_queue->reports.front();
                        m_queue->reports.pop_front();
                        return kReportSize;
                    }
                }
                const int slice = int(std::clamp<qint64>(deadline.remainingTime(), 0, 20));
                const int n = m_inner->ReadReport(report, slice);
                if (n != 0 || deadline.hasExpired())
                    return n;
            }
        }
        bool WriteReport(const Report& report, int timeoutMs) override {
            return m_inner->WriteReport(report, timeoutMs);
        }
        void Interrupt() override { m_inner->Interrupt(); }

    private:
        std::unique_ptr<IReportDevice> m_inner;
        std::shared_ptr<Queue> m_queue;
    };

    std::unique_ptr<sim::CSimulatedBus> m_inner;
    std::shared_ptr<Queue> m_queue;
};

class StationFixture final {
public:
    // Home folder, headless message boxes (they go to the log), English texts, the play file.
    // Empty when ready, else what went wrong.
    QString Init() {
        if (!m_home.isValid())
            return QStringLiteral("no temporary folder");
        SetAppHome(m_home.path());
        SetHeadlessUi(true);
        if (!LoadLanguage(1, {QStringLiteral(ORV_BINARY_DIR "/bin")}))
            return QStringLiteral("UiLangEn not loaded");
        QDir().mkpath(m_home.filePath(QStringLiteral("wav")));
        if (!QFile::copy(QStringLiteral(ORV_BINARY_DIR "/bin/wav/20-20k.wav"),
                         m_home.filePath(QStringLiteral("wav/20-20k.wav"))))
            return QStringLiteral("no play file (build orv-sweep-wav)");
        return {};
    }

    QString Home(const QString& name = {}) const {
        return name.isEmpty() ? m_home.path() : m_home.filePath(name);
    }
    QString DbPath() const { return Home(QStringLiteral("results-%1.db").arg(m_case)); }

    // A fresh config.ini for the next case: auto-save to this case's SQLite file, one-second
    // play, record and playback, then `settings` ("Section/Key=value").
    void NewCase(const QStringList& settings) {
        ++m_case;
        const QString p = GetConfigPath();
        QFile::remove(p);
        QFile f(p);
        if (f.open(QIODevice::WriteOnly))
            f.close();
        const QStringList base{
            QStringLiteral("AutoSave/IsSave=1"),
            QStringLiteral("AutoSave/FilePath=") + DbPath(),
            QStringLiteral("Play/PlayTimes=1.0"),
            QStringLiteral("PlayRecord/PlayTimes=1.0"),
            QStringLiteral("Record/CaptureTimes=1.0"),
            QStringLiteral("Search Setup/TimeOut=3"),
            QStringLiteral("General Info/TopMost=0"),
        };
        Apply(base + settings);
    }

    // Changes single keys of config.ini ("Section/Key=value"); items read theirs when they run.
    static void Apply(const QStringList& settings) {
        const QString p = GetConfigPath();
        for (const QString& s : settings) {
            const int slash = s.indexOf(QLatin1Char('/'));
            const int eq = s.indexOf(QLatin1Char('='));
            WriteConfigText(p, s.left(slash), s.mid(slash + 1, eq - slash - 1), s.mid(eq + 1));
        }
    }

    // A station on a simulated adapter built from `scenario`. Empty when made, else the reason.
    QString MakeStation(const QString& scenario) {
        setup = nullptr;
        sim = nullptr;
        injector = nullptr;
        dlg.reset();
        const QString file = Home(QStringLiteral("scenario-%1.ini").arg(m_case));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QStringLiteral("cannot write ") + file;
        f.write(scenario.toUtf8());
        f.close();
        QString error;
        auto bus = sim::CSimulatedBus::Create(file, &error);
        if (!bus)
            return error;
        auto injecting = std::make_unique<InjectingBus>(std::move(bus));
        sim = injecting->Sim();
        injector = injecting.get();
        dlg = std::make_unique<CORV318PRODlg>(std::move(injecting), nullptr);
        setup = new CSimpleTestSetup(dlg.get());
        return {};
    }

    void CloseStation() {
        setup = nullptr;
        sim = nullptr;
        injector = nullptr;
        dlg.reset();
    }

    CTestWnd* Window() const { return setup ? setup->Window() : nullptr; }
    bool TestThreadRunning() const { return setup && setup->OneKey()->Test().IsRunning(); }

    // One headset through the command-line run's flow (Start test, connect, one-key test, save,
    // count). `text` gets the printed rows and verdict. Returns the run's exit code.
    int Run(QString* text, int timeoutMs = 60000, const QString& mac = kFixtureMac) {
        QString out;
        QTextStream stream(&out);
        const int code = RunAutoTest(dlg.get(), setup, mac, stream, timeoutMs);
        stream.flush();
        if (text)
            *text = out;
        return code;
    }

    // The next headset passes on the same station (name check only): counted, its row saved
    // after the `rowsBefore` rows there were, and the test's thread ended.
    void NextHeadsetPasses(int rowsBefore, const QString& mac = kFixtureMac) {
        Apply(NameOnlyItems());
        const int passes = Window()->Results().statistics().PassCount();
        QString text;
        const int code = Run(&text, 30000, mac);
        QVERIFY2(code == kAutoTestPass, qPrintable(text));
        QVERIFY(Window()->Results().WaitForSaves(10000));
        QCOMPARE(Window()->Results().statistics().PassCount(), passes + 1);
        const auto rows = Rows();
        QCOMPARE(rows.size(), rowsBefore + 1);
        QCOMPARE(rows.last().values.value(kSavedResult), QStringLiteral("PASS"));
        QCOMPARE(rows.last().values.value(kSavedMac), mac);
        QTRY_VERIFY_WITH_TIMEOUT(!TestThreadRunning(), 10000);
    }

    // A first run that met a fault ended one of two ways, each with its trace: a verdict,
    // counted and saved; or no connection, said in the connection row, nothing counted or
    // saved. Never a run that waits for ever. `rows` gets the rows now saved.
    void CheckOutcome(int code, const QString& text, int* rows) {
        *rows = 0;
        QVERIFY2(!text.contains(QStringLiteral("no verdict within")), qPrintable(text));
        QVERIFY(Window()->Results().WaitForSaves(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!TestThreadRunning(), 10000);
        CStatistics& counts = Window()->Results().statistics();
        if (code == kAutoTestNotTested) {
            QVERIFY2(text.contains(StationText(IDS_CONNECT_FAILED)), qPrintable(text));
            QCOMPARE(counts.Total(), 0);
            QVERIFY(!QFileInfo::exists(DbPath()) || Rows().isEmpty());
            return;
        }
        QCOMPARE(counts.Total(), 1);
        const auto saved = Rows();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().values.value(kSavedResult),
                 code == kAutoTestPass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
        QCOMPARE(saved.first().values.value(kSavedMac), kFixtureMac);
        *rows = 1;
    }

    // Every row of the language's table in `db` (this case's file by default), oldest first.
    static QList<SavedRow> Rows(const QString& db, QString* error = nullptr) {
        return ReadRows(
            QStringLiteral("QSQLITE"), [db](QSqlDatabase& d) { d.setDatabaseName(db); },
            QStringLiteral("SELECT * FROM TEST_EN ORDER BY 1"), error);
    }
    QList<SavedRow> Rows() const { return Rows(DbPath()); }

    // The log as it is now; LogSince gives what was written after a mark.
    static qint64 LogMark() {
        QFile f(CLogWriter::Instance()->path());
        return f.exists() ? f.size() : 0;
    }
    static QString LogSince(qint64 mark) {
        QFile f(CLogWriter::Instance()->path());
        if (!f.open(QIODevice::ReadOnly) || !f.seek(mark))
            return {};
        return QString::fromUtf8(f.readAll());
    }

    std::unique_ptr<CORV318PRODlg> dlg;
    CSimpleTestSetup* setup = nullptr;  // a child of dlg
    sim::CSimulatedBus* sim = nullptr;  // owned by dlg
    InjectingBus* injector = nullptr;   // owned by dlg; its simulator is `sim`

private:
    QTemporaryDir m_home;
    int m_case = 0;
};

}  // namespace orv::test
