// Start-up of the real program: from the process start to the main window (START OF PROGRAM is
// logged at the end of the window's construction; show() follows at once) and to the adapter
// open (the simulated adapter: "Start Monitor" when the device is open, "send:SET BT SCO" when
// Open has sent the last start-up setting). The adapter is opened by design after a pause: the
// arrival notice waits 300 ms for the device to settle (the simulated adapter is plugged in as
// the window starts watching), the window's own timer 500 ms; Open itself pauses 2 x 100 ms
// after the codec lines. Median of several runs.
// Usage: bench_startup [runs]   (default 7)
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "PrivatePulse.h"
#include "ProgramRun.h"
#include "shell/LogWriter.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    orv::soak::CPrivatePulse pulse(QStringLiteral(ORV_SOURCE_DIR));
    if (!pulse.Ok()) {
        out << "bench_startup: no sound server could be started\n";
        return 2;
    }
    std::vector<double> window, opened, settled;
    for (int r = 0; r < runs; ++r) {
        QTemporaryDir home;
        const QString scenario = home.filePath(QStringLiteral("idle.ini"));
        if (!orv::bench::WriteIdleScenario(scenario))
            return 2;
        orv::bench::LogWatch log(orv::bench::LogPath(home.path()));
        QElapsedTimer clock;
        clock.start();
        QProcess* p = orv::bench::StartProgram(home.path(), scenario);
        const qint64 w = orv::bench::WaitForLog(log, orv::kStartOfProgram, clock, 30000);
        const qint64 o = orv::bench::WaitForLog(log, "Start Monitor", clock, 30000);
        const qint64 s = orv::bench::WaitForLog(log, "send:SET BT SCO", clock, 30000);
        orv::bench::StopProgram(p);
        if (w < 0 || o < 0 || s < 0) {
            out << "run " << r + 1 << ": the program did not start (window " << w << ", open " << o
                << ", settings " << s << ")\n";
            return 1;
        }
        window.push_back(double(w));
        opened.push_back(double(o));
        settled.push_back(double(s));
        out << "  run " << r + 1 << ": window " << w << " ms, adapter open " << o
            << " ms, start-up settings sent " << s << " ms\n";
        out.flush();
    }
    out << "start-up, median of " << runs << " runs: window " << Median(window)
        << " ms, adapter open " << Median(opened) << " ms (300 ms of it the arrival notice's "
        << "settle pause), start-up settings sent " << Median(settled)
        << " ms (200 ms of codec pauses more)\n";
    return 0;
}
