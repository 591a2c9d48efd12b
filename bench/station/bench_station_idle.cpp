// Idle cost of the whole station: the real program with the simulated adapter open and no
// headset connected, measured over N seconds from /proc: CPU time (utime + stime) and context
// switches (voluntary + involuntary, i.e. wake-ups) of every thread, in total and per thread.
// The simulator's threads stand in for the USB adapter and are counted apart: "orvsim" (module
// and headsets) and "threaded-ml" (its PulseAudio connection, the adapter's sound card). The
// station's own sound goes through Qt Multimedia, which starts no thread before a player plays,
// and its system volume uses a PulseAudio main loop run on the caller's thread.
// Usage: bench_station_idle [seconds]   (default 10)
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "PrivatePulse.h"
#include "ProgramRun.h"

namespace {

struct TaskSample {
    QString name;
    qint64 ticks = 0;     // utime + stime, clock ticks
    qint64 switches = 0;  // voluntary + involuntary context switches
};

QMap<QString, TaskSample> SampleTasks(qint64 pid) {
    QMap<QString, TaskSample> tasks;
    const QDir dir(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& tid : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        TaskSample t;
        QFile stat(dir.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        // "tid (comm) state ...": fields after the closing parenthesis, utime and stime are
        // fields 14 and 15 of the line.
        const qsizetype close = s.lastIndexOf(')');
        t.name = QString::fromLocal8Bit(s.mid(s.indexOf('(') + 1, close - s.indexOf('(') - 1));
        const QList<QByteArray> f = s.mid(close + 2).split(' ');
        t.ticks = f.value(11).toLongLong() + f.value(12).toLongLong();
        QFile status(dir.filePath(tid + QStringLiteral("/status")));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& l : status.readAll().split('\n')) {
                if (l.startsWith("voluntary_ctxt_switches:") ||
                    l.startsWith("nonvoluntary_ctxt_switches:"))
                    t.switches += l.mid(l.indexOf(':') + 1).trimmed().toLongLong();
            }
        }
        tasks.insert(tid, t);
    }
    return tasks;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    orv::soak::CPrivatePulse pulse(QStringLiteral(ORV_SOURCE_DIR));
    if (!pulse.Ok()) {
        out << "bench_station_idle: no sound server could be started\n";
        return 2;
    }
    QTemporaryDir home;
    const QString scenario = home.filePath(QStringLiteral("idle.ini"));
    if (!orv::bench::WriteIdleScenario(scenario))
        return 2;
    orv::bench::LogWatch log(orv::bench::LogPath(home.path()));
    QElapsedTimer clock;
    clock.start();
    QProcess* p = orv::bench::StartProgram(home.path(), scenario);
    if (orv::bench::WaitForLog(log, "send:SET BT SCO", clock, 30000) < 0) {
        out << "bench_station_idle: the adapter was not opened\n";
        orv::bench::StopProgram(p);
        return 1;
    }
    const qint64 pid = p->processId();
    QThread::sleep(2);  // start-up work (players, sound devices) settles first
    const QMap<QString, TaskSample> before = SampleTasks(pid);
    QElapsedTimer span;
    span.start();
    QThread::sleep(seconds);
    const QMap<QString, TaskSample> after = SampleTasks(pid);
    const double elapsed = double(span.elapsed()) / 1000.0;
    orv::bench::StopProgram(p);

    const double tick = double(::sysconf(_SC_CLK_TCK));
    struct Row {
        QString name;
        double cpuPercent;
        double wakeups;
    };
    std::vector<Row> rows;
    double cpu = 0, wake = 0, simCpu = 0, simWake = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const TaskSample b = before.value(it.key());  // a thread born meanwhile starts at 0
        const double c = 100.0 * double(it->ticks - b.ticks) / tick / elapsed;
        const double w = double(it->switches - b.switches) / elapsed;
        rows.push_back({it->name + QStringLiteral(" [") + it.key() + QLatin1Char(']'), c, w});
        if (it->name.startsWith(QLatin1String("orvsim")) ||
            it->name == QLatin1String("threaded-ml")) {
            simCpu += c;
            simWake += w;
        } else {
            cpu += c;
            wake += w;
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const Row& a, const Row& b) { return a.wakeups > b.wakeups; });
    out << "station idle over " << QString::number(elapsed, 'f', 1) << " s, adapter open, no "
        << "headset, " << after.size() << " threads\n";
    for (const Row& r : rows) {
        out << "  " << r.name.leftJustified(28) << QString::number(r.cpuPercent, 'f', 2)
            << " % CPU, " << QString::number(r.wakeups, 'f', 1) << " wake-ups/s\n";
    }
    out << "station (without the simulator's threads): " << QString::number(cpu, 'f', 2)
        << " % CPU, " << QString::number(wake, 'f', 1)
        << " wake-ups/s; simulator: " << QString::number(simCpu, 'f', 2) << " % CPU, "
        << QString::number(simWake, 'f', 1) << " wake-ups/s\n";
    return 0;
}
