#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class QTextStream;

// A line controller tests simulated headsets back to back through the station's remote port:
// MACCONNECT on a pseudo-terminal, the one-key test started by the connection, the row saved to
// SQLite, the headset disconnected, the next one. The mix fails at every step of the one-key
// test. Used by bench_soak (1,000 headsets) and by a short ctest run.
namespace orv::soak {

struct SoakOptions {
    int headsets = 1000;     // headsets that connect and get a verdict (one row each)
    int refusedEvery = 40;   // after this many, one more headset that refuses HFP (0: none)
    int passWeight = 4;      // passing headsets in each stretch of the mix, beside each fault
    int onlyKind = -1;       // >= 0: every headset of this kind of KindLabels() (no refusing)
    int baselineAfter = 50;  // process figures are compared with those after this many
    int progressEvery = 50;  // a progress line every this many headsets (0: none)
    QString workDir;         // the station's home folder: config.ini, database, log, scenario
};

// The kinds of headset in the mix: "pass", then one per fault.
QStringList KindLabels();

// Resident memory, open descriptors and threads of this process.
struct ProcessSample {
    qint64 rssKb = 0;
    int fds = 0;
    int threads = 0;
};
ProcessSample SampleProcess();

struct SoakReport {
    int headsets = 0;  // tested (expected one row each)
    int refused = 0;   // refused the connection (expected no row)
    int rows = 0;
    int duplicateMacs = 0;      // MACs with more than one row
    int missingMacs = 0;        // tested headsets without a row
    int unexpectedMacs = 0;     // rows of refused or unknown headsets
    int verdictMismatches = 0;  // saved or concluded verdict differs from the headset's fault
    int rowsPass = 0;
    int rowsFail = 0;
    // The statistics strip of the simple test window, as shown.
    QString statsPass, statsFail, statsTotal;
    QMap<int, int> concludedSteps;   // step (0 = PASS) -> headsets
    bool everyStepExpected = false;  // the run held at least one whole stretch of the mix
    ProcessSample first;             // after the first headset
    ProcessSample baseline;          // after SoakOptions::baselineAfter headsets
    ProcessSample end;
    // Descriptors and threads: the most after any of the baselineAfter / 2 headsets up to the
    // baseline, the fewest after any of the last as many.
    int earlyMostFds = 0, earlyMostThreads = 0;
    int lateFewestFds = 0, lateFewestThreads = 0;
    double seconds = 0;
    double slowestHeadsetSeconds = 0;
    QStringList problems;  // each missed goal, readable
    bool Ok() const { return problems.isEmpty(); }
};

// Runs the event loop until `done` holds or `timeoutMs` passed; false on time-out. The loop
// sleeps in the event dispatcher between checks (every 5 ms), so the station's own events are
// served without delay.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// Makes `dir` the station's home with the English texts loaded, the play file in wav/ and no
// config.ini; message boxes go to the log.
bool PrepareHome(const QString& dir, QTextStream& out);

// The soak's settings: auto-save to `dbPath`, one second of music, recording and playback, one
// ring of one second, the one-key test after each connection, name, battery and RSSI limits the
// mix fails, the remote port on `line` (none when empty).
void WriteSoakSettings(const QString& configPath, const QString& dbPath, const QString& line);

// Runs the soak on the caller's thread, which must be the thread of the QApplication. Prints
// progress and the figures to `out`. False when the station could not be brought up.
bool RunSoak(const SoakOptions& options, QTextStream& out, SoakReport* report);

// Checks the goals the report must meet and appends the missed ones to report->problems:
// every tested headset exactly once, statistics equal to the rows, verdicts as designed, and
// (when `checkProcess`) resident memory within `rssSlackKb` of the baseline and no growth of
// descriptors or threads.
void CheckGoals(SoakReport* report, bool checkProcess, qint64 rssSlackKb);

}  // namespace orv::soak
