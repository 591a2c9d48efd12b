#pragma once

// A whole station for end-to-end tests: a temporary home folder with config.ini and the play
// file, the simulated adapter with one headset, the main window with the simple test window and
// the one-key test, the command-line run's flow, the rows saved to the SQLite file and the log.
// Construct it once per test program (it sets the process's home folder); every NewCase starts
// a fresh config.ini and database, every MakeStation a fresh station.

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

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

namespace orv::test {

inline const QString kFixtureMac = QStringLiteral("00:1a:7d:da:71:13");

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
// entries ("Key=value") replace its defaults.
inline QString FixtureScenario(const QStringList& headset, const QStringList& adapter = {}) {
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
        sim = bus.get();
        dlg = std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
        setup = new CSimpleTestSetup(dlg.get());
        return {};
    }

    void CloseStation() {
        setup = nullptr;
        sim = nullptr;
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

private:
    QTemporaryDir m_home;
    int m_case = 0;
};

}  // namespace orv::test
