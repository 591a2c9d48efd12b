// Resident memory a one-key test leaves behind, item by item: a passing simulated headset tested
// several times in the simple test window with all items, then with one item switched off at a
// time. After two warm-up tests the growth per test is printed for each variant; the variant
// whose growth vanishes names the item that keeps memory.
// Usage: bench_onekey_memory [tests per variant]   (default 6)
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "PrivatePulse.h"
#include "SoakRun.h"
#include "adapter/AdapterLink.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "module/ModuleParser.h"
#include "results/SimpleTestSetup.h"
#include "results/TestWnd.h"
#include "sim/SimulatedBus.h"
#include "station/ORV318PRODlg.h"
#include "station/OneKeyDialogHost.h"

using namespace orv;

namespace {

const char kMac[] = "02:5a:00:00:00:01";

const char kScenario[] =
    "[Adapter]\nProductId=0x5750\nReplyDelayMs=0\nControlSocket=\nConnectMs=20\nBootMs=20\n"
    "[Headset1]\nName=ORV Soak 1\nMac=02:5a:00:00:00:01\nRssi=-47\nBattery=80\n"
    "BatteryReport=iphoneaccev\nProfiles=hfp,a2dp,avrcp\nMicLevelDb=-12\nMicToneHz=1000\n"
    "Keys=1:VOL+,2:VOL-,3:PLAY/PAUSE,4:NEXT,5:PREVIOUS\nKeysRepeatMs=50\n";

struct Variant {
    const char* name;
    int item;  // [AutoTest] item switched off; 0 none, 9 the ring test
};

// Resident memory (kB) after each of `tests` tests; empty when a test did not conclude.
QList<qint64> Run(const QString& scenario, int tests, QTextStream& out) {
    QList<qint64> rss;
    QString error;
    auto bus = sim::CSimulatedBus::Create(scenario, &error);
    if (!bus) {
        out << "scenario refused: " << error << '\n';
        return {};
    }
    auto dlg = std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
    auto* setup = new CSimpleTestSetup(dlg.get());
    if (!soak::WaitUntil([&] { return dlg->Link()->IsOpen(); }, 15000))
        return {};
    CTestWnd* wnd = setup->Window();
    wnd->show();
    dlg->hide();
    wnd->OnStartTest();
    bool concluded = false;
    QObject::connect(wnd, &CTestWnd::testFinished, wnd, [&] { concluded = true; });
    for (int t = 0; t < tests; ++t) {
        concluded = false;
        dlg->PressMacPair(QString::fromLatin1(kMac));
        if (!soak::WaitUntil([&] { return concluded; }, 120000))
            return {};
        bool nextArmed = false;
        soak::WaitUntil(
            [&] {
                nextArmed = nextArmed || wnd->TimerActive(CTestWnd::TIMER_NEXT);
                return nextArmed && !dlg->TestRunning() && !setup->OneKey()->Test().IsRunning() &&
                       !dlg->Link()->Parser().IsConnected();
            },
            30000);
        rss << soak::SampleProcess().rssKb;
    }
    dlg->close();
    return rss;
}

}  // namespace

int main(int argc, char** argv) {
    const int tests = argc > 1 ? std::max(3, std::atoi(argv[1])) : 6;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    soak::CPrivatePulse pulse(QStringLiteral(ORV_SOURCE_DIR));
    if (!pulse.Ok()) {
        std::fprintf(stderr, "bench_onekey_memory: no sound server could be started\n");
        return 2;
    }
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir home;
    if (!soak::PrepareHome(home.path(), out))
        return 2;
    const QString scenario = home.filePath(QStringLiteral("memory.ini"));
    {
        QFile f(scenario);
        if (!f.open(QIODevice::WriteOnly))
            return 2;
        f.write(kScenario);
    }
    const Variant variants[] = {
        {"all items", 0},
        {"without A2DP listening", 5},
        {"without HFP record and listening", 6},
        {"without HFP listening", 7},
        {"without the key test", 8},
        {"without the ring test", 9},
    };
    out << "resident memory left per one-key test (kB), growth from test 2 to test " << tests
        << '\n';
    for (const Variant& v : variants) {
        const QString config = GetConfigPath();
        QFile::remove(config);
        soak::WriteSoakSettings(config, home.filePath(QStringLiteral("memory.db")), {});
        if (v.item == 9)
            SetRingCheckTest(config, 0);
        else if (v.item > 0)
            SetAutoTestItem(config, v.item, 0);
        const QList<qint64> rss = Run(scenario, tests, out);
        if (rss.size() != tests) {
            out << "  " << v.name << ": a test did not conclude\n";
            return 1;
        }
        const double perTest = double(rss.last() - rss.at(1)) / double(tests - 2);
        QStringList all;
        for (qint64 kb : rss)
            all << QString::number(kb / 1024.0, 'f', 1);
        out << "  " << QString::fromLatin1(v.name).leftJustified(34)
            << QString::number(perTest, 'f', 0)
            << " kB a test (rss MB after each: " << all.join(QLatin1Char(' ')) << ")\n";
        out.flush();
    }
    return 0;
}
