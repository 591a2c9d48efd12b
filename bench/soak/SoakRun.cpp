#include "SoakRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>

#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "keytest/BTKeyTest.h"
#include "keytest/KeyTestCug.h"
#include "lang/Language.h"
#include "module/ModuleParser.h"
#include "remote/CnComm.h"
#include "results/SimpleTestSetup.h"
#include "results/StatisticsCug.h"
#include "results/TestWnd.h"
#include "shell/AppOptions.h"
#include "sim/SimulatedBus.h"
#include "station/ORV318PRODlg.h"
#include "station/OneKeyDialogHost.h"

namespace orv::soak {

namespace {

// What each headset of the mix does wrong, and the step the station must conclude with.
enum class Kind {
    Pass,
    WrongName,      // name without "ORV Soak": step 1
    NoName,         // empty name: step 1
    NameError,      // name requests fail: step 1
    LowBattery,     // 20 % against a lower limit of 30 %: step 1
    NoBattery,      // never reports a battery ("NAN"): step 1
    LowRssi,        // -95 dBm against a lower limit of -80: step 1
    Dropped,        // link loss 1.5 s after connecting: concluded at once with step 5
    SilentMic,      // no microphone tone: step 6
    StopListening,  // the controller gives up while the recording is played back: step 7
    MissingKeys,    // presses no key; the controller gives up: step 8
    PartialKeys,    // volume keys only; the controller gives up: step 8
    StopRing,       // the controller gives up while the headset rings: step 9
    RefuseHfp,      // refuses HFP: never connected, no row
};

struct KindInfo {
    Kind kind;
    const char* label;
    int step;    // concluded step, 0 PASS, -1 none (not connected)
    int weight;  // slots in the mix
};

const KindInfo kKinds[] = {
    {Kind::Pass, "pass", 0, 4},  // SoakOptions::passWeight
    {Kind::WrongName, "wrong name", 1, 1},
    {Kind::NoName, "no-name", 1, 1},
    {Kind::NameError, "name-error", 1, 1},
    {Kind::LowBattery, "battery below the limit", 1, 1},
    {Kind::NoBattery, "no battery report", 1, 1},
    {Kind::LowRssi, "RSSI below the limit", 1, 1},
    {Kind::Dropped, "drop-after-ms=1500", 5, 1},
    {Kind::SilentMic, "silent microphone", 6, 1},
    {Kind::StopListening, "stopped in HFP listening", 7, 1},
    {Kind::MissingKeys, "no keys", 8, 1},
    {Kind::PartialKeys, "volume keys only", 8, 1},
    {Kind::StopRing, "stopped while ringing", 9, 1},
};
const KindInfo kRefused{Kind::RefuseHfp, "refuse-hfp", -1, 0};

// The controller gives up on a key test that has not ended after this long (a passing headset
// presses all five keys within 0.2 s of the key test's start).
constexpr qint64 kKeyGiveUpMs = 2000;
// A headset that has not concluded after this long is stopped and reported.
constexpr qint64 kHeadsetLimitMs = 40000;
constexpr int kConnectLimitMs = 60000;

struct Headset {
    const KindInfo* kind;
    QString mac;
    QString name;
};

QString MacOf(int n) {
    return QString::asprintf("02:5a:00:%02x:%02x:%02x", (n >> 16) & 0xff, (n >> 8) & 0xff,
                             n & 0xff);
}

QList<Headset> MakeMix(const SoakOptions& o) {
    QList<const KindInfo*> pattern;
    for (const KindInfo& k : kKinds) {
        int weight = k.kind == Kind::Pass ? o.passWeight : k.weight;
        if (o.onlyKind >= 0)
            weight = &k == &kKinds[o.onlyKind] ? 1 : 0;
        for (int i = 0; i < weight; ++i)
            pattern.append(&k);
    }
    QRandomGenerator random(20261210);
    QList<Headset> list;
    QList<const KindInfo*> bag;
    int tested = 0;
    while (tested < o.headsets) {
        if (bag.isEmpty()) {
            bag = pattern;
            // Fisher-Yates: every step fails in every stretch of the run, in varying order.
            for (qsizetype i = bag.size() - 1; i > 0; --i)
                bag.swapItemsAt(i, random.bounded(int(i + 1)));
        }
        const int n = int(list.size()) + 1;
        list.append({bag.takeFirst(), MacOf(n), QStringLiteral("ORV Soak %1").arg(n)});
        ++tested;
        if (o.onlyKind < 0 && o.refusedEvery > 0 && tested % o.refusedEvery == 0 &&
            tested < o.headsets) {
            const int r = int(list.size()) + 1;
            list.append({&kRefused, MacOf(r), QStringLiteral("ORV Soak %1").arg(r)});
        }
    }
    return list;
}

QString ScenarioText(const QList<Headset>& headsets) {
    // Zero-latency module, short pages and boot: the soak measures the station, not waits.
    QString text = QStringLiteral(
        "[Adapter]\nProductId=0x5750\nReplyDelayMs=0\nControlSocket=\nConnectMs=20\n"
        "BootMs=20\n");
    for (qsizetype i = 0; i < headsets.size(); ++i) {
        const Headset& h = headsets[i];
        const Kind k = h.kind->kind;
        QStringList keys{QStringLiteral("Mac=") + h.mac};
        keys << (k == Kind::WrongName ? QStringLiteral("Name=Other Set %1").arg(i + 1)
                                      : QStringLiteral("Name=") + h.name);
        keys << (k == Kind::LowRssi ? QStringLiteral("Rssi=-95") : QStringLiteral("Rssi=-47"));
        if (k == Kind::LowBattery)
            keys << QStringLiteral("Battery=20");
        else if (k != Kind::NoBattery)
            keys << QStringLiteral("Battery=80");
        keys << QStringLiteral("BatteryReport=iphoneaccev")
             << QStringLiteral("Profiles=hfp,a2dp,avrcp");
        if (k != Kind::SilentMic)
            keys << QStringLiteral("MicLevelDb=-12") << QStringLiteral("MicToneHz=1000");
        if (k == Kind::PartialKeys)
            keys << QStringLiteral("Keys=20:VOL+,40:VOL-");
        else if (k != Kind::MissingKeys)
            keys << QStringLiteral("Keys=20:VOL+,40:VOL-,60:PLAY/PAUSE,80:NEXT,100:PREVIOUS");
        keys << QStringLiteral("KeysRepeatMs=150");
        switch (k) {
            case Kind::NoName:
                keys << QStringLiteral("Faults=no-name");
                break;
            case Kind::NameError:
                keys << QStringLiteral("Faults=name-error");
                break;
            case Kind::Dropped:
                keys << QStringLiteral("Faults=drop-after-ms=1500");
                break;
            case Kind::RefuseHfp:
                keys << QStringLiteral("Faults=refuse-hfp");
                break;
            default:
                break;
        }
        text += QStringLiteral("[Headset%1]\n").arg(i + 1) + keys.join(QLatin1Char('\n')) +
                QLatin1Char('\n');
    }
    return text;
}

// The line controller's end: the master side of a pseudo-terminal, read without blocking (the
// station runs on the same thread).
class Line final {
public:
    Line() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
            m_master = -1;
            return;
        }
        m_slave = QString::fromLocal8Bit(name);
        ::close(slave);  // the station opens the slave by its path
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~Line() {
        if (m_master >= 0)
            ::close(m_master);
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool IsValid() const { return m_master >= 0; }
    QString SlavePath() const { return m_slave; }
    bool Send(const QByteArray& bytes) {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    const QByteArray& Received() {
        char chunk[512];
        for (;;) {
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0)
                break;
            m_received.append(chunk, n);
        }
        return m_received;
    }
    // Removes everything up to and including the first `text`; false when it has not come.
    bool Take(const QByteArray& text) {
        const qsizetype at = Received().indexOf(text);
        if (at < 0)
            return false;
        m_received.remove(0, at + text.size());
        return true;
    }
    void Clear() {
        Received();
        m_received.clear();
    }

private:
    int m_master = -1;
    QString m_slave;
    QByteArray m_received;
};

int CountEntries(const char* dir) {
    return int(QDir(QString::fromLatin1(dir))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                   .size());
}

QString Mb(qint64 kb) {
    return QString::number(double(kb) / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

QString SampleText(const ProcessSample& s) {
    return QStringLiteral("rss %1, fds %2, threads %3").arg(Mb(s.rssKb)).arg(s.fds).arg(s.threads);
}

}  // namespace

// Runs the event loop until `done` holds or `timeoutMs` passed. The loop sleeps in the event
// dispatcher between checks, so the station's own events are served without delay.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(5);
    QElapsedTimer clock;
    clock.start();
    bool ok = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done()) {
            ok = true;
            loop.quit();
        } else if (clock.elapsed() >= timeoutMs) {
            loop.quit();
        }
    });
    tick.start();
    loop.exec();
    return ok;
}

void WriteSoakSettings(const QString& p, const QString& dbPath, const QString& line) {
    auto set = [&p](const char* section, const char* key, const QString& value) {
        WriteConfigText(p, QString::fromLatin1(section), QString::fromLatin1(key), value);
    };
    set("AutoSave", "IsSave", QStringLiteral("1"));
    set("AutoSave", "FilePath", dbPath);
    // The shortest sensible settings: one second of music, of recording and of playback, one
    // ring of one second, each key once.
    set("Play", "PlayTimes", QStringLiteral("1.0"));
    set("PlayRecord", "PlayTimes", QStringLiteral("1.0"));
    set("Record", "CaptureTimes", QStringLiteral("1.0"));
    set("General Info", "KeyCheckTimes", QStringLiteral("1"));
    set("RingCheckTest", "RingCheckTest", QStringLiteral("1"));
    set("RingCheckTest", "TestTimes", QStringLiteral("1"));
    set("RingCheckTest", "Interval", QStringLiteral("1"));
    set("General Info", "TopMost", QStringLiteral("0"));
    set("General Info", "AutoTestAfterMacConnected", QStringLiteral("1"));
    set("General Info", "NameTest", QStringLiteral("1"));
    set("General Info", "NameTestMode", QStringLiteral("0"));
    set("General Info", "CheckName", QStringLiteral("ORV Soak"));
    set("Battery", "Lower", QStringLiteral("30"));
    set("RSSI", "Lower", QStringLiteral("-80"));
    set("Search Setup", "TimeOut", QStringLiteral("3"));
    if (!line.isEmpty()) {
        SetSerialPortName(p, line);
        SetSerialPort(p, 1, 115200, 1);
    }
}

bool PrepareHome(const QString& dir, QTextStream& out) {
    const QDir home(dir);
    SetAppHome(home.path());
    SetHeadlessUi(true);  // message boxes go to the log
    const QString bin = QCoreApplication::applicationDirPath();
    if (!LoadLanguage(1, {bin})) {
        out << "UiLangEn not found beside " << bin << '\n';
        return false;
    }
    home.mkpath(QStringLiteral("wav"));
    const QString wav = home.filePath(QStringLiteral("wav/20-20k.wav"));
    QFile::remove(wav);
    if (!QFile::copy(bin + QStringLiteral("/wav/20-20k.wav"), wav)) {
        out << "the play file " << bin << "/wav/20-20k.wav is missing\n";
        return false;
    }
    QFile::remove(GetConfigPath());
    return true;
}

QStringList KindLabels() {
    QStringList labels;
    for (const KindInfo& k : kKinds)
        labels << QString::fromLatin1(k.label);
    return labels;
}

ProcessSample SampleProcess() {
    ProcessSample s;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : status.readAll().split('\n')) {
            if (l.startsWith("VmRSS:"))
                s.rssKb = l.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    s.fds = CountEntries("/proc/self/fd");
    s.threads = CountEntries("/proc/self/task");
    return s;
}

bool RunSoak(const SoakOptions& o, QTextStream& out, SoakReport* report) {
    *report = SoakReport{};
    const QDir home(o.workDir);
    if (!PrepareHome(home.path(), out))
        return false;
    Line line;
    if (!line.IsValid()) {
        out << "soak: no pseudo-terminal\n";
        return false;
    }
    const QString dbPath = home.filePath(QStringLiteral("soak.db"));
    QFile::remove(dbPath);
    WriteSoakSettings(GetConfigPath(), dbPath, line.SlavePath());

    const QList<Headset> headsets = MakeMix(o);
    int stretch = o.passWeight;
    for (const KindInfo& k : kKinds)
        stretch += k.kind == Kind::Pass ? 0 : k.weight;
    report->everyStepExpected = o.onlyKind < 0 && o.headsets >= stretch;
    const QString scenario = home.filePath(QStringLiteral("soak-scenario.ini"));
    {
        QFile f(scenario);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            out << "soak: cannot write " << scenario << '\n';
            return false;
        }
        f.write(ScenarioText(headsets).toUtf8());
    }
    QString error;
    auto bus = sim::CSimulatedBus::Create(scenario, &error);
    if (!bus) {
        out << "soak: scenario refused: " << error << '\n';
        return false;
    }
    auto dlg = std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
    auto* setup = new CSimpleTestSetup(dlg.get());
    if (!WaitUntil([&] { return dlg->Link() && dlg->Link()->IsOpen(); }, 15000)) {
        out << "soak: the simulated adapter did not open\n";
        return false;
    }
    if (!dlg->RemotePort() || !WaitUntil([&] { return dlg->RemotePort()->IsOpen(); }, 5000)) {
        out << "soak: the remote port did not open on " << line.SlavePath() << '\n';
        return false;
    }
    CTestWnd* wnd = setup->Window();
    wnd->show();
    dlg->hide();
    wnd->OnStartTest();

    // The conclusion of the headset under test, from the window (GUI thread).
    bool concluded = false;
    bool concludedPass = false;
    int concludedStep = 0;
    int conclusions = 0;
    QObject::connect(wnd, &CTestWnd::testFinished, wnd, [&](bool pass, int step) {
        concluded = true;
        concludedPass = pass;
        concludedStep = step;
        ++conclusions;
    });
    bool connectFailed = false;
    QObject::connect(dlg.get(), &CORV318PRODlg::flowDone, wnd, [&](int flow, int result) {
        if (flow == CORV318PRODlg::kFlowMacConnect && result == 0)
            connectFailed = true;
    });

    const QString ringItem = UiString(191);
    const QString ringTimes = UiString(193);
    auto ringing = [&] {
        for (const ItemRow& r : wnd->Results().record().Rows()) {
            if (r.item == ringItem && r.info.contains(ringTimes))
                return true;
        }
        return false;
    };
    auto idle = [&] {
        return !dlg->TestRunning() && !setup->OneKey()->Test().IsRunning() &&
               !dlg->Link()->Parser().IsConnected();
    };

    QHash<QString, const KindInfo*> expected;  // MAC -> kind, tested headsets only
    QSet<QString> refusedMacs;
    QList<ProcessSample> samples;  // after each tested headset
    QElapsedTimer run;
    run.start();
    int tested = 0;
    int mismatchesShown = 0;
    for (const Headset& h : headsets) {
        QElapsedTimer one;
        one.start();
        const bool refused = h.kind->kind == Kind::RefuseHfp;
        line.Clear();
        concluded = false;
        connectFailed = false;
        const int conclusionsBefore = conclusions;
        if (!line.Send("MACCONNECT:" + h.mac.toLatin1())) {
            report->problems << QStringLiteral("the line refused MACCONNECT for %1").arg(h.mac);
            break;
        }
        const bool ok =
            WaitUntil([&] { return connectFailed || line.Take("OK"); }, kConnectLimitMs) &&
            !connectFailed;
        if (refused) {
            ++report->refused;
            refusedMacs.insert(h.mac);
            if (ok)
                report->problems
                    << QStringLiteral("%1 (refuse-hfp) was reported connected").arg(h.mac);
            WaitUntil([&] { return connectFailed && idle(); }, kConnectLimitMs);
            continue;
        }
        ++tested;
        expected.insert(h.mac, h.kind);
        if (!ok) {
            report->problems << QStringLiteral("%1 (%2): no OK after MACCONNECT")
                                    .arg(h.mac, QLatin1String(h.kind->label));
            WaitUntil(idle, 10000);
            continue;
        }
        // The controller waits for the conclusion; it gives up (DISCONNECT) where an operator
        // would: a key test that does not end, or the moments the mix stops a test on purpose.
        bool gaveUp = false;
        QElapsedTimer inStage;
        inStage.start();
        int lastStage = -1;
        const Kind k = h.kind->kind;
        const bool done = WaitUntil(
            [&] {
                if (concluded)
                    return true;
                const int stage = dlg->TestStage();
                if (stage != lastStage) {
                    lastStage = stage;
                    inStage.restart();
                }
                bool giveUp = false;
                if (k == Kind::StopListening && stage == 7)
                    giveUp = true;
                else if (k == Kind::StopRing && ringing())
                    giveUp = true;
                else if (stage == 8 && dlg->KeyTest()->IsRunning() &&
                         inStage.elapsed() > kKeyGiveUpMs)
                    giveUp = true;
                else if (one.elapsed() > kHeadsetLimitMs)
                    giveUp = true;
                if (giveUp && !gaveUp) {
                    gaveUp = true;
                    line.Send("DISCONNECT");
                }
                return false;
            },
            kHeadsetLimitMs + 20000);
        if (!done) {
            report->problems << QStringLiteral(
                                    "%1 (%2): no conclusion (window shown %3, test "
                                    "running %4, stage %5)")
                                    .arg(h.mac, QLatin1String(h.kind->label))
                                    .arg(wnd->IsShown())
                                    .arg(setup->OneKey()->Test().IsRunning())
                                    .arg(dlg->TestStage());
            out << "  " << report->problems.last() << '\n';
            out.flush();
            WaitUntil(idle, 10000);
            continue;
        }
        // The window disconnects the headset after the conclusion and then arms its next
        // timer: the station is ready for the next headset once both have happened.
        bool nextArmed = false;
        WaitUntil(
            [&] {
                nextArmed = nextArmed || wnd->TimerActive(CTestWnd::TIMER_NEXT);
                return nextArmed && idle() && (!gaveUp || line.Take("OK"));
            },
            30000);
        const int step = concludedPass ? 0 : concludedStep;
        report->concludedSteps[step] += 1;
        if (conclusions - conclusionsBefore != 1 || step != h.kind->step) {
            ++report->verdictMismatches;
            if (mismatchesShown++ < 10) {
                out << "  " << h.mac << " (" << h.kind->label << "): concluded "
                    << (conclusions - conclusionsBefore) << "x, step " << step << ", expected "
                    << h.kind->step << '\n';
                out.flush();
            }
        }
        report->slowestHeadsetSeconds =
            std::max(report->slowestHeadsetSeconds, double(one.elapsed()) / 1000.0);
        // Descriptors and threads come and go with each test (capture threads, pooled workers,
        // the database connection): growth is judged on the fewest of the last stretch against
        // the most of the stretch before the baseline, not on two single samples.
        const ProcessSample now = SampleProcess();
        samples.append(now);
        if (tested == 1)
            report->first = now;
        if (tested == o.baselineAfter)
            report->baseline = now;
        if (o.progressEvery > 0 && tested % o.progressEvery == 0) {
            out << "  " << tested << "/" << o.headsets << " headsets, "
                << QString::number(double(run.elapsed()) / 1000.0, 'f', 0) << " s, "
                << SampleText(SampleProcess()) << '\n';
            out.flush();
        }
    }
    report->headsets = tested;
    report->seconds = double(run.elapsed()) / 1000.0;
    if (!wnd->Results().WaitForSaves(60000))
        report->problems << QStringLiteral("saves still pending after 60 s");
    QCoreApplication::processEvents();  // the statistics strip refreshes queued
    report->end = SampleProcess();
    if (o.baselineAfter > tested)
        report->baseline = report->first;
    if (!samples.isEmpty()) {
        const int stretch = std::max(1, std::min<int>(o.baselineAfter, int(samples.size())) / 2);
        const int baseEnd = std::min<int>(o.baselineAfter, int(samples.size()));
        report->earlyMostFds = report->earlyMostThreads = 0;
        for (int i = std::max(0, baseEnd - stretch); i < baseEnd; ++i) {
            report->earlyMostFds = std::max(report->earlyMostFds, samples[i].fds);
            report->earlyMostThreads = std::max(report->earlyMostThreads, samples[i].threads);
        }
        report->lateFewestFds = report->lateFewestThreads = INT_MAX;
        for (qsizetype i = std::max<qsizetype>(0, samples.size() - stretch); i < samples.size();
             ++i) {
            report->lateFewestFds = std::min(report->lateFewestFds, samples[i].fds);
            report->lateFewestThreads = std::min(report->lateFewestThreads, samples[i].threads);
        }
    }

    // The rows, read back with a connection of our own as a report tool would.
    {
        const QString name = QStringLiteral("soak-check");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(dbPath);
            if (!db.open()) {
                report->problems << QStringLiteral("database: ") + db.lastError().text();
            } else {
                // Columns after No: time, result, MAC, ...
                QSqlQuery q(db);
                if (!q.exec(QStringLiteral("SELECT * FROM TEST_EN")))
                    report->problems << QStringLiteral("database: ") + q.lastError().text();
                QHash<QString, int> seen;
                while (q.next()) {
                    ++report->rows;
                    const QString result = q.value(2).toString();
                    const QString mac = q.value(3).toString();
                    seen[mac] += 1;
                    const bool pass = result == QLatin1String("PASS");
                    (pass ? report->rowsPass : report->rowsFail) += 1;
                    const KindInfo* kind = expected.value(mac);
                    if (kind == nullptr) {
                        ++report->unexpectedMacs;
                    } else if (pass != (kind->step == 0)) {
                        ++report->verdictMismatches;
                    }
                }
                for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
                    if (it.value() > 1)
                        ++report->duplicateMacs;
                }
                for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                    if (!seen.contains(it.key()))
                        ++report->missingMacs;
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (auto* grid = wnd->findChild<CStatisticsCug*>()) {
        report->statsPass = grid->QuickGetText(0, 0);
        report->statsFail = grid->QuickGetText(1, 0);
        report->statsTotal = grid->QuickGetText(3, 0);
    }

    dlg->close();
    dlg.reset();
    return true;
}

void CheckGoals(SoakReport* r, bool checkProcess, qint64 rssSlackKb) {
    QStringList& p = r->problems;
    if (r->rows != r->headsets)
        p << QStringLiteral("%1 rows for %2 tested headsets").arg(r->rows).arg(r->headsets);
    if (r->duplicateMacs != 0)
        p << QStringLiteral("%1 headsets saved more than once").arg(r->duplicateMacs);
    if (r->missingMacs != 0)
        p << QStringLiteral("%1 headsets not saved").arg(r->missingMacs);
    if (r->unexpectedMacs != 0)
        p << QStringLiteral("%1 rows of headsets never tested").arg(r->unexpectedMacs);
    if (r->verdictMismatches != 0)
        p << QStringLiteral("%1 verdicts differ from the headsets' faults")
                 .arg(r->verdictMismatches);
    if (r->statsPass != QString::number(r->rowsPass) ||
        r->statsFail != QString::number(r->rowsFail) ||
        r->statsTotal != QString::number(r->rows)) {
        p << QStringLiteral("statistics Pass %1 Fail %2 Total %3, rows PASS %4 FAIL %5 all %6")
                 .arg(r->statsPass, r->statsFail, r->statsTotal)
                 .arg(r->rowsPass)
                 .arg(r->rowsFail)
                 .arg(r->rows);
    }
    for (int step : {0, 1, 5, 6, 7, 8, 9}) {
        if (r->everyStepExpected && r->concludedSteps.value(step) == 0)
            p << QStringLiteral("no headset concluded with step %1").arg(step);
    }
    if (!checkProcess)
        return;
    if (r->end.rssKb - r->baseline.rssKb > rssSlackKb) {
        p << QStringLiteral("resident memory grew by %1 (limit %2)")
                 .arg(Mb(r->end.rssKb - r->baseline.rssKb), Mb(rssSlackKb));
    }
    if (r->lateFewestFds > r->earlyMostFds) {
        p << QStringLiteral("descriptors grew: at least %1 at the end, at most %2 before")
                 .arg(r->lateFewestFds)
                 .arg(r->earlyMostFds);
    }
    if (r->lateFewestThreads > r->earlyMostThreads) {
        p << QStringLiteral("threads grew: at least %1 at the end, at most %2 before")
                 .arg(r->lateFewestThreads)
                 .arg(r->earlyMostThreads);
    }
}

}  // namespace orv::soak
