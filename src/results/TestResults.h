#pragma once

#include <QObject>
#include <QString>

#include <atomic>

#include "results/ResultRow.h"
#include "results/ResultSaver.h"
#include "results/TestRecord.h"

// Everything the simple test window keeps about the headsets it tests: the current record, the
// statistics and the saving of each finished test. The window only displays these; the one-key
// test and the key test write into the record from their own threads.
namespace orv {

class CTestResults final : public QObject {
    Q_OBJECT
public:
    // `texts` in the interface language; `configPath` is read afresh at every layout and save.
    CTestResults(const ResultTexts& texts, const QString& configPath,
                 const QString& journalPath = CResultJournal::DefaultPath(),
                 int timeoutSeconds = kResultDbTimeoutSeconds, QObject* parent = nullptr);
    ~CTestResults() override;

    CTestRecord& record() { return m_record; }
    CStatistics& statistics() { return m_statistics; }
    const ResultTexts& texts() const { return m_texts; }

    // Lays the item rows out for the next headset with the item switches as they are now.
    void RebuildItemRows();

    // "Start test": rows laid out afresh, run and item clocks started.
    void StartRun();

    // The end of a test (`failedStep` 0 when passed): the row is handed to the saver thread
    // (when [AutoSave] "IsSave" is on and "FilePath" names a database), the test is counted
    // whatever becomes of the save, and the rows are laid out for the next headset. Returns at
    // once; saveFinished reports the save.
    void Finish(bool pass, int failedStep, const HeadsetValues& headset);
    void FinishFailed(int failedStep, const HeadsetValues& headset) {
        Finish(false, failedStep, headset);
    }
    void FinishPassed(const HeadsetValues& headset) { Finish(true, kStepNone, headset); }

    // 1 when the last finished test passed, 0 when it failed (1 before any test).
    int LastResult() const { return m_lastResult.load(); }

    // Writes the rows waiting in the journal to the configured database, if auto-save is on
    // (at start-up, or when the operator asks). saveFinished reports it.
    void RetryJournal();
    int JournalCount() { return m_saver.saver().PendingCount(); }

    // Blocks until every save handed over has finished (the command-line run waits here before
    // it exits). True when idle within `timeoutMs`.
    bool WaitForSaves(int timeoutMs) { return m_saver.WaitIdle(timeoutMs); }

signals:
    // Every save and journal retry, in order; a failed one (report.Failed()) is to be shown to
    // the operator. Delivered on the thread this object lives on.
    void saveFinished(const orv::SaveReport& report);
    // After the test was counted and the rows were laid out again.
    void testFinished(bool pass, int failedStep);

private:
    ResultTexts m_texts;
    QString m_configPath;
    CTestRecord m_record;
    CStatistics m_statistics;
    CResultSaveWorker m_saver;
    std::atomic<int> m_lastResult{1};  // Finish may run on the one-key test's thread
};

}  // namespace orv
