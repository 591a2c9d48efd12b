// One-key test overhead: a zero-latency simulated headset (ReplyDelayMs=0, ConnectMs=20, keys
// pressed every 50 ms) tested several times in the simple test window. Time from the connection
// to the conclusion against the waits the sequence prescribes: the music's, the recording's and
// the playback's times, the Record button's settle pause, the key test's start and settle
// pauses, the ring test's pauses and rings. The playback plays the recording back and so ends
// with it when the recording is shorter than its limit: its prescribed time is the shorter of
// the two. The module's own pacing pauses (after "a2dp streaming stop", AVRCP notifications,
// volume steps) are prescribed too; they are measured as the difference between runs with the
// module's timing and runs with those pauses at zero, and the overhead is taken from the
// latter. Goal: overhead under 3 %.
// The station's default times are used (8 s of music, of recording and of playback, one ring
// of 5 s); --short sets 1 s each and one ring of 1 s, which shows the fixed costs magnified.
// Usage: bench_onekey_overhead [runs] [--short]   (default 3 runs per timing)
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "PrivatePulse.h"
#include "SoakRun.h"
#include "adapter/AdapterLink.h"
#include "audio/BTPlayMusic.h"
#include "audio/BTRecordSound.h"
#include "audiodriver/WaveRiffFile.h"
#include "config/AppHome.h"
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

// What the window's thread sees change during a test, with the time from the connection (ms).
struct Timeline {
    QStringList events;
    void Add(qint64 ms, const QString& what) {
        events << QStringLiteral("%1 %2").arg(ms, 6).arg(what);
    }
};

// A player's position as the timeline notes it: every change in the first second, where the
// start's latency shows, whole seconds after that.
qint64 Coarse(qint64 positionMs) {
    return positionMs < 1000 ? positionMs : positionMs / 1000 * 1000;
}

// One test: connection to conclusion, and the length of the recording it played back (ms).
struct Run {
    double totalMs = 0;
    double recordingMs = 0;
};

// Length of the last recording (temp.wav beside the program), ms; 0 when it cannot be read.
double RecordingMs() {
    CWaveRiffFile wav;
    if (!wav.OpenRead(AppHomePath(QStringLiteral("temp.wav"))) || wav.Format().avgBytesPerSec == 0)
        return 0;
    return 1000.0 * double(wav.DataSize()) / wav.Format().avgBytesPerSec;
}

// Runs `runs` one-key tests of the headset; an empty list when a test did not pass.
std::vector<Run> Measure(const QString& scenario, bool zeroPauses, int runs, QTextStream& out,
                         QList<ItemRow>* lastRows, Timeline* timeline) {
    std::vector<Run> totals;
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
                    .arg(Coarse(dlg->MusicPlayer()->PositionMs()))
                    .arg(dlg->Recorder()->IsRecording())
                    .arg(dlg->RecordPlayer()->GetState())
                    .arg(Coarse(dlg->RecordPlayer()->PositionMs()))
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
        totals.push_back(Run{double(concludedAt.load() - connectedAt.load()), RecordingMs()});
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
    int runs = 3;
    bool shortTimes = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0)
            shortTimes = true;
        else if (std::atoi(argv[i]) >= 1)
            runs = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: bench_onekey_overhead [runs >= 1] [--short]\n");
            return 2;
        }
    }
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
        if (!shortTimes) {
            // The station's own defaults for the timed items, as it ships: what the settings
            // give for a config.ini that does not exist.
            const QString none = home.filePath(QStringLiteral("no-such-config.ini"));
            SetPlayPlayTimes(config, GetPlayPlayTimes(none));
            SetPlayRecordPlayTimes(config, GetPlayRecordPlayTimes(none));
            SetRecordCaptureTimes(config, GetRecordCaptureTimes(none));
            SetRingTestTimes(config, GetRingTestTimes(none));
            SetRingInterval(config, GetRingInterval(none));
        }
        const QString scenario = home.filePath(QStringLiteral("overhead.ini"));
        {
            QFile f(scenario);
            if (!f.open(QIODevice::WriteOnly))
                return 2;
            f.write(kScenario);
        }
        // What the sequence itself waits, in ms: the music, the Record button's settle pause,
        // the recording, the playback (the recording's length when that is shorter than its
        // limit: it ends with the file), the key test's start pause and settle, the ring
        // test's start pause, its rings, hang-up pauses and settle.
        const OneKeyPacing pacing;
        const int rings = GetRingTestTimes(config);
        const double playbackLimitMs = 1000.0 * GetPlayRecordPlayTimes(config);
        const double fixedMs =
            1000.0 * (GetPlayPlayTimes(config) + GetRecordCaptureTimes(config)) +
            CORV318PRODlg::kRecordSettleMs + pacing.keyStartMs + pacing.settleMs +
            pacing.ringStartMs +
            rings * (GetRingInterval(config) * pacing.ringSecondMs + pacing.hangupMs) +
            pacing.settleMs;
        const auto prescribedOf = [&](const Run& r) {
            return fixedMs + (r.recordingMs > 0 ? std::min(playbackLimitMs, r.recordingMs)
                                                : playbackLimitMs);
        };

        QList<ItemRow> pacedRows, unpacedRows;
        Timeline pacedLine, unpacedLine;
        const std::vector<Run> paced = Measure(scenario, false, runs, out, &pacedRows, &pacedLine);
        const std::vector<Run> unpaced =
            Measure(scenario, true, runs, out, &unpacedRows, &unpacedLine);
        if (paced.empty() || unpaced.empty()) {
            code = 2;
        } else {
            auto list = [](const std::vector<Run>& v) {
                QStringList s;
                for (const Run& x : v)
                    s << QString::number(x.totalMs, 'f', 0);
                return s.join(QLatin1Char(' '));
            };
            auto median = [](const std::vector<Run>& v, auto field) {
                std::vector<double> x;
                for (const Run& r : v)
                    x.push_back(field(r));
                return Median(x);
            };
            const double withPauses = median(paced, [](const Run& r) { return r.totalMs; });
            const double withoutPauses = median(unpaced, [](const Run& r) { return r.totalMs; });
            const double prescribed = median(unpaced, prescribedOf);
            // Each run against its own prescribed time (its recording's length may differ).
            const double overhead =
                median(unpaced, [&](const Run& r) { return r.totalMs - prescribedOf(r); });
            const double percent = 100.0 * overhead / prescribed;
            out << "one-key test, connection to conclusion (ms), " << runs << " runs each, "
                << (shortTimes ? "1 s times (--short)" : "the station's default times") << '\n';
            out << "  module pauses as the module needs them: " << list(paced) << ", median "
                << QString::number(withPauses, 'f', 0) << '\n';
            out << "  module pauses at zero:                  " << list(unpaced) << ", median "
                << QString::number(withoutPauses, 'f', 0) << '\n';
            out << "  prescribed by the sequence: " << QString::number(prescribed, 'f', 0)
                << " ms (recording played back: "
                << QString::number(median(unpaced, [](const Run& r) { return r.recordingMs; }),
                                   'f', 0)
                << " ms); module pauses on the critical path: "
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
                   "playback: the player's state and its position in the file, whole seconds "
                   "after the first):\n";
            for (const QString& e : unpacedLine.events)
                out << "    " << e << '\n';
            out.flush();
            code = percent < 3.0 ? 0 : 1;
        }
    }
    return code;
}
