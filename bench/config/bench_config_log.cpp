// Figures for the settings store and the log: how long one read and one write of config.ini
// take on a fully populated file (every read re-reads the file; every write replaces it), and
// how many log lines per second four threads get through.
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <thread>
#include <vector>

#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "shell/LogWriter.h"

using namespace orv;

int main() {
    QTemporaryDir home;
    SetAppHome(home.path());
    const QString ini = home.filePath(QStringLiteral("config.ini"));

    // A config.ini holding every key of the table, as a station writes it over time.
#define ORV_BENCH_INT(Name, Section, Key, Default) Set##Name(ini, Default);
#define ORV_BENCH_REAL(Name, Section, Key, Default) Set##Name(ini, Default);
#define ORV_BENCH_TEXT(Name, Section, Key, Default) Set##Name(ini, QStringLiteral(Default));
    ORV_INT_KEYS(ORV_BENCH_INT)
    ORV_REAL_KEYS(ORV_BENCH_REAL)
    ORV_TEXT_KEYS(ORV_BENCH_TEXT)
    for (int item = 3; item <= 8; ++item) {
        SetAutoTestItem(ini, item, 1);
    }

    constexpr int kReads = 20000;
    QElapsedTimer t;
    t.start();
    long long sum = 0;
    for (int i = 0; i < kReads; ++i) {
        sum += GetSimpleFontPitchAndFamily(ini);  // the last section: the longest search
    }
    const double readUs = t.nsecsElapsed() / 1000.0 / kReads;

    constexpr int kWrites = 200;
    t.restart();
    for (int i = 0; i < kWrites; ++i) {
        SetA2DPVol(ini, i % 101);
    }
    const double writeMs = t.nsecsElapsed() / 1e6 / kWrites;

    constexpr int kThreads = 4;
    constexpr int kLines = 25000;
    t.restart();
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n) {
        threads.emplace_back([n] {
            for (int i = 0; i < kLines; ++i) {
                LogInfo(QStringLiteral("RECV:AUDIO ROUTE 0 A2DP LEFT RIGHT thread %1 #%2")
                            .arg(n)
                            .arg(i));
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    const double linesPerSecond = kThreads * kLines / (t.nsecsElapsed() / 1e9);

    std::printf("config.ini read (all keys, last section): %.1f us per read (checksum %lld)\n",
                readUs, sum);
    std::printf("config.ini write (temporary file, fsync, rename): %.2f ms per write\n", writeMs);
    std::printf("log, %d threads: %.0f lines per second\n", kThreads, linesPerSecond);
    return 0;
}
