// One-key test overhead: a zero-latency simulated headset (ReplyDelayMs=0, ConnectMs=20, keys
// pressed every 50 ms) tested several times in the simple test window. Time from the connection
// to the conclusion against the waits the sequence prescribes: one second each of music,
// recording and playback, the key test's start and settle pauses, the ring test's pauses and
// one ring of one second. The module's own pacing pauses (after "a2dp streaming stop", AVRCP
// notifications, volume steps) are prescribed too; they are measured as the difference between
// runs with the module's timing and runs with those pauses at zero, and the overhead is taken
// from the latter. Goal: overhead under 3 %.
// Usage: bench_onekey_overhead [runs]   (default 3 per timing)
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "PrivatePulse.h"
#include "SoakRun.h"
#include "adapter/AdapterLink.h"
#include "audio/BTPlayMusic.h"
#include "audio/BTRecordSound.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "keytest/BTKeyTest.h"
#include "keytest/KeyTestCug.h"
#include "module/ModuleParser.h"
#include "results/SimpleTestSetup.h"
#include "results/TestRecord.h"
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

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs `runs` one-key tests of the headset; returns each total in ms (connection to conclusion)
// or an empty list when a test did not pass.
// What the window's thread sees change during a test, with the time from the connection (ms).
struct Timeline {
    QStringList events;
    void Add(qint64 ms, const QString& what) {
        events << QStringLiteral("%1 %2").arg(ms, 6).arg(what);
    }
};

std::vector<double> Measure(const QString& scenario, bool zeroPauses, int runs, QTextStream& out,
                            QList<ItemRow>* lastRows, Timeline* timeline) {
    std::vector<double> totals;
    QString error;
    auto bus = sim::CSimulatedBus::Create(scenario, &error);
    if (!bus) {
        out << "scenario refused: " << error << '\n';
        return {};
    }
    auto dlg = std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
    auto* setup = new CSimpleTestSetup(dlg.get());
    if (!soak::WaitUntil([&] { return dlg->Link()->IsOpen(); }, 15000)) {
        out << "the simulated adapter did not open\n";
        return {};
    }
    if (zeroPauses) {
        ModuleTiming t = dlg->Link()->Timing();
        t.initLinePause = t.closeAllPause = t.codecPause = t.notifyPause = 0;
        t.volumeStepPause = t.streamingStopPause = t.replyPause = 0;
        t.callIndicatorPause = t.callIndicatorAfter = t.inquiryRetryPause = 0;
        dlg->Link()->SetTiming(t);
    }
    CTestWnd* wnd = setup->Window();
    wnd->show();
    dlg->hide();
    wnd->OnStartTest();

    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> connectedAt{-1};
    std::atomic<qint64> concludedAt{-1};
    std::atomic<bool> passed{false};
    // Direct: stamped on the thread that connected / concluded, before any queue.
    QObject::connect(
        dlg->Link(), &CAdapterLink::connected, wnd,
        [&] {
            qint64 none = -1;
            connectedAt.compare_exchange_strong(none, clock.elapsed());
        },
        Qt::DirectConnection);
    QObject::connect(
        &wnd->Results(), &CTestResults::testFinished, wnd,
        [&](bool pass, int) {
            passed = pass;
            concludedAt = clock.elapsed();
        },
        Qt::DirectConnection);
    // The item rows with their times, taken as each changes (the conclusion lays them out
    // afresh for the next headset).
    CTestRecord* record = &wnd->Results().record();
    QObject::connect(
        record, &CTestRecord::rowChanged, wnd, [record, lastRows] { *lastRows = record->Rows(); },
        Qt::DirectConnection);
    for (int r = 0; r < runs; ++r) {
        connectedAt = -1;
        concludedAt = -1;
        timeline->events.clear();
        // The state of the stage, the players, the recorder and the key test, looked at every
        // 5 ms; each change is noted.
        QString last;
        auto watch = [&] {
            const qint64 t0 = connectedAt.load();
            if (t0 < 0)
                return;
            const QString now =
                QStringLiteral(
                    "stage %1, music %2 at %3 ms, recording %4, playback %5 at %6 ms, "
                    "key test %7")
                    .arg(dlg->TestStage())
                    .arg(dlg->MusicPlayer()->GetState())
                    .arg(dlg->MusicPlayer()->PositionMs())
                    .arg(dlg->Recorder()->IsRecording())
                    .arg(dlg->RecordPlayer()->GetState())
                    .arg(dlg->RecordPlayer()->PositionMs())
                    .arg(dlg->KeyTest()->IsRunning());
            if (now != last) {
                timeline->Add(clock.elapsed() - t0, now);
                last = now;
            }
        };
        dlg->PressMacPair(QString::fromLatin1(kMac));
        if (!soak::WaitUntil(
                [&] {
                    watch();
                    return concludedAt.load() >= 0;
                },
                120000) ||
            !passed || connectedAt.load() < 0) {
            out << "run " << r + 1 << ": the headset did not pass\n";
            return {};
        }
        totals.push_back(double(concludedAt.load() - connectedAt.load()));
        // Ready for the next run once the window has disconnected the headset.
        bool nextArmed = false;
        soak::WaitUntil(
            [&] {
                nextArmed = nextArmed || wnd->TimerActive(CTestWnd::TIMER_NEXT);
                return nextArmed && !dlg->TestRunning() && !setup->OneKey()->Test().IsRunning() &&
                       !dlg->Link()->Parser().IsConnected();
            },
            30000);
    }
    dlg->close();
    return totals;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    soak::CPrivatePulse pulse(QStringLiteral(ORV_SOURCE_DIR));
    if (!pulse.Ok()) {
        std::fprintf(stderr, "bench_onekey_overhead: no sound server could be started\n");
        return 2;
    }
    int code = 0;
    {
        QApplication app(argc, argv);
        QTextStream out(stdout);
        QTemporaryDir home;
        if (!soak::PrepareHome(home.path(), out))
            return 2;
        const QString config = GetConfigPath();
        soak::WriteSoakSettings(config, home.filePath(QStringLiteral("overhead.db")), {});
        const QString scenario = home.filePath(QStringLiteral("overhead.ini"));
        {
            QFile f(scenario);
            if (!f.open(QIODevice::WriteOnly))
                return 2;
            f.write(kScenario);
        }
        // What the sequence itself waits, in ms: the three audio items, the key test's start
        // pause and settle, the ring test's start pause, its rings, hang-up pause and settle.
        const OneKeyPacing pacing;
        const double audio = 1000.0 * (GetPlayPlayTimes(config) + GetRecordCaptureTimes(config) +
                                       GetPlayRecordPlayTimes(config));
        const int rings = GetRingTestTimes(config);
        const double prescribed =
            audio + pacing.keyStartMs + pacing.settleMs + pacing.ringStartMs +
            rings * (GetRingInterval(config) * pacing.ringSecondMs + pacing.hangupMs) +
            pacing.settleMs;

        QList<ItemRow> pacedRows, unpacedRows;
        Timeline pacedLine, unpacedLine;
        const std::vector<double> paced =
            Measure(scenario, false, runs, out, &pacedRows, &pacedLine);
        const std::vector<double> unpaced =
            Measure(scenario, true, runs, out, &unpacedRows, &unpacedLine);
        if (paced.empty() || unpaced.empty()) {
            code = 2;
        } else {
            auto list = [](const std::vector<double>& v) {
                QStringList s;
                for (double x : v)
                    s << QString::number(x, 'f', 0);
                return s.join(QLatin1Char(' '));
            };
            const double withPauses = Median(paced);
            const double withoutPauses = Median(unpaced);
            const double overhead = withoutPauses - prescribed;
            const double percent = 100.0 * overhead / prescribed;
            out << "one-key test, connection to conclusion (ms), " << runs << " runs each\n";
            out << "  module pauses as the module needs them: " << list(paced) << ", median "
                << QString::number(withPauses, 'f', 0) << '\n';
            out << "  module pauses at zero:                  " << list(unpaced) << ", median "
                << QString::number(withoutPauses, 'f', 0) << '\n';
            out << "  prescribed by the sequence: " << QString::number(prescribed, 'f', 0)
                << " ms; module pauses on the critical path: "
                << QString::number(withPauses - withoutPauses, 'f', 0) << " ms\n";
            out << "  overhead: " << QString::number(overhead, 'f', 0)
                << " ms = " << QString::number(percent, 'f', 2) << " % (goal < 3 %)\n";
            // Where the time goes: each item's time as the simple test window shows it (from
            // the previous item's end), last run without the module's pauses.
            out << "  items of the last run without module pauses:\n";
            for (const ItemRow& row : unpacedRows) {
                if (!row.time.isEmpty())
                    out << "    " << row.item << " | " << row.info << " | " << row.time << '\n';
            }
            out << "  what the window's thread saw change (ms from the connection; music and "
                   "playback: the player's state and its position in the file):\n";
            for (const QString& e : unpacedLine.events)
                out << "    " << e << '\n';
            out.flush();
            code = percent < 3.0 ? 0 : 1;
        }
    }
    return code;
}
