// Soak: N simulated headsets (default 1,000) tested back to back through the remote port, with
// auto-save to SQLite. Prints the figures and exits 1 when a goal is missed:
//   every tested headset saved exactly once, refused ones never; the statistics strip equal to
//   the rows; each verdict the one its fault calls for; resident memory at the end within 5 MB
//   of that after the first 50 headsets; descriptors and threads at the end (the fewest over the
//   last 25 headsets) no more than before (the most over headsets 26 to 50).
// Usage: bench_soak [count] [--home DIR] [--kind N]   (DIR is kept: config.ini, soak.db, log;
// --kind N: every headset of one kind, 0 passing, 1.. one fault each; baseline after count / 3)
// Without PULSE_SERVER a private sound server is started (scripts/pulse-server) and stopped.
#include <QApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "PrivatePulse.h"
#include "SoakRun.h"

namespace {
constexpr qint64 kRssSlackKb = 5 * 1024;
}  // namespace

int main(int argc, char** argv) {
    int count = 1000;
    QString homeArg;
    int onlyKind = -1;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--home") && i + 1 < argc) {
            homeArg = QString::fromLocal8Bit(argv[++i]);
        } else if (a == QLatin1String("--kind") && i + 1 < argc) {
            onlyKind = std::atoi(argv[++i]);
            if (onlyKind < 0 || onlyKind >= orv::soak::KindLabels().size()) {
                std::fprintf(stderr, "kinds: %s\n",
                             qPrintable(orv::soak::KindLabels().join(QStringLiteral(", "))));
                return 2;
            }
        } else {
            bool ok = false;
            count = a.toInt(&ok);
            if (!ok || count < 1) {
                std::fprintf(stderr, "usage: bench_soak [count >= 1] [--home DIR] [--kind N]\n");
                return 2;
            }
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");  // what the program itself chooses
    // Our own server when none is given: the soak's adapter devices never meet another run's.
    orv::soak::CPrivatePulse pulse(QStringLiteral(ORV_SOURCE_DIR));
    if (!pulse.Ok()) {
        std::fprintf(stderr, "bench_soak: no sound server could be started\n");
        return 2;
    }

    int code = 0;
    {
        QApplication app(argc, argv);
        QTextStream out(stdout);
        QTemporaryDir temp;
        orv::soak::SoakOptions options;
        options.headsets = count;
        options.onlyKind = onlyKind;
        if (onlyKind >= 0)
            options.baselineAfter = std::min(options.baselineAfter, std::max(1, count / 3));
        options.workDir = homeArg.isEmpty() ? temp.path() : homeArg;
        out << "soak: " << count << " headsets through the remote port, home " << options.workDir
            << '\n';
        out.flush();
        orv::soak::SoakReport r;
        if (!orv::soak::RunSoak(options, out, &r)) {
            code = 2;
        } else {
            orv::soak::CheckGoals(&r, true, kRssSlackKb);
            out << "soak: tested " << r.headsets << ", refused " << r.refused << ", in "
                << QString::number(r.seconds, 'f', 0) << " s ("
                << QString::number(r.seconds / std::max(1, r.headsets + r.refused), 'f', 2)
                << " s a headset, slowest " << QString::number(r.slowestHeadsetSeconds, 'f', 1)
                << " s)\n";
            out << "soak: rows " << r.rows << " (PASS " << r.rowsPass << ", FAIL " << r.rowsFail
                << "), saved twice " << r.duplicateMacs << ", missing " << r.missingMacs
                << ", unexpected " << r.unexpectedMacs << '\n';
            out << "soak: statistics Pass " << r.statsPass << " Fail " << r.statsFail << " Total "
                << r.statsTotal << '\n';
            out << "soak: concluded steps";
            for (auto it = r.concludedSteps.cbegin(); it != r.concludedSteps.cend(); ++it)
                out << ' ' << (it.key() == 0 ? QStringLiteral("PASS") : QString::number(it.key()))
                    << '=' << it.value();
            out << ", verdicts differing " << r.verdictMismatches << '\n';
            auto mb = [](qint64 kb) { return QString::number(double(kb) / 1024.0, 'f', 1); };
            out << "soak: rss MB first/baseline/end " << mb(r.first.rssKb) << " / "
                << mb(r.baseline.rssKb) << " / " << mb(r.end.rssKb) << " (end - baseline "
                << mb(r.end.rssKb - r.baseline.rssKb) << ", limit 5.0)\n";
            out << "soak: fds first/baseline/end " << r.first.fds << " / " << r.baseline.fds
                << " / " << r.end.fds << ", threads " << r.first.threads << " / "
                << r.baseline.threads << " / " << r.end.threads << '\n';
            out << "soak: fds most before the baseline " << r.earlyMostFds
                << ", fewest at the end " << r.lateFewestFds << "; threads " << r.earlyMostThreads
                << ", " << r.lateFewestThreads << '\n';
            for (const QString& p : r.problems)
                out << "soak: GOAL MISSED: " << p << '\n';
            out << (r.Ok() ? "soak: all goals met\n" : "soak: FAILED\n");
            code = r.Ok() ? 0 : 1;
        }
        out.flush();
    }
    return code;
}
