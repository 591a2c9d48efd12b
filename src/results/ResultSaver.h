#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "results/AccessOperation.h"
#include "results/ResultJournal.h"
#include "results/ResultRow.h"

// Saving a finished test: the row goes to the local journal first, then the journal is written
// to the result database in order, each row once. A database that cannot take the row leaves it
// in the journal for the next save; nothing is lost and the failure is logged and reported.
namespace orv {

struct SaveReport {
    enum class Outcome {
        Skipped,     // auto-save off or no database named: nothing written, nothing said
        Saved,       // the row (and every row waiting before it) is in the database
        Journalled,  // the database did not take it; it waits in the journal
        Lost,        // neither the database nor the journal took it
    };
    Outcome outcome = Outcome::Skipped;
    QString rowId;
    QString target;   // the database, password left out
    int written = 0;  // rows this save wrote, waiting ones included
    int pending = 0;  // rows left waiting in the journal
    QString error;    // why the row was not saved

    bool Failed() const { return outcome == Outcome::Journalled || outcome == Outcome::Lost; }
    // One line for the log and the operator: "Result saved to …", "Result not saved: …".
    QString Summary() const;
};

class CResultSaver final {
public:
    explicit CResultSaver(const QString& journalPath = CResultJournal::DefaultPath(),
                          int timeoutSeconds = kResultDbTimeoutSeconds);

    // Journals the row, then writes every journalled row, oldest first, to the database named
    // by `filePath` ([AutoSave] "FilePath" text).
    SaveReport Save(const QString& filePath, const ResultRow& row);

    // Save in two steps, for a caller that must not wait for the database: Keep appends the row
    // to the journal (fast, on the caller's thread); WriteKept then writes the journal.
    bool Keep(const ResultRow& row, QString* error);
    SaveReport WriteKept(const QString& filePath, const ResultRow& row, bool kept,
                         const QString& keepError);

    // Writes the rows waiting in the journal, if any (at start-up, or on the operator's retry).
    SaveReport Drain(const QString& filePath);

    // The save at the end of a test: reads [AutoSave] "IsSave" and "FilePath" and the item
    // switches from `configPath`, builds the row and saves it. `failedStep` is 0 when passed.
    SaveReport SaveResult(const QString& configPath, const ResultTexts& texts,
                          const HeadsetValues& headset, bool pass, int failedStep,
                          double hfpMaxLevel);

    int PendingCount() { return m_journal.Count(); }
    QString JournalPath() const { return m_journal.path(); }

    // The database a FilePath text names; a relative SQLite path is taken in the folder of
    // config.ini.
    static QString ResolveFilePath(const QString& configPath, const QString& filePath);

    // Builds the row of a finished test from config.ini, or returns false (auto-save off, or no
    // database named).
    static bool BuildFromConfig(const QString& configPath, const ResultTexts& texts,
                                const HeadsetValues& headset, bool pass, int failedStep,
                                double hfpMaxLevel, QString* filePath, ResultRow* row);

private:
    SaveReport Write(const QString& filePath, const ResultRow* fresh, bool journalled,
                     const QString& journalError);

    CResultJournal m_journal;
    int m_timeoutSeconds;
    std::mutex m_lock;  // one write at a time: the journal order is the database order
};

// Saves on a thread of its own, so a slow or dead database never holds the operator's window.
// Submit returns at once; saveFinished arrives (queued to the receiver's thread) for each row in
// the order submitted.
class CResultSaveWorker final : public QObject {
    Q_OBJECT
public:
    explicit CResultSaveWorker(const QString& journalPath = CResultJournal::DefaultPath(),
                               int timeoutSeconds = kResultDbTimeoutSeconds,
                               QObject* parent = nullptr);
    // Finishes the saves already submitted, then stops the thread.
    ~CResultSaveWorker() override;

    // Any thread. The row is saved to `filePath` after every row submitted before it.
    void Submit(const QString& filePath, const ResultRow& row);
    // Any thread. Writes the journal to `filePath` (no new row).
    void SubmitDrain(const QString& filePath);

    // Blocks until every submitted save has finished or `timeoutMs` passed; true when idle.
    bool WaitIdle(int timeoutMs);

    CResultSaver& saver() { return m_saver; }

signals:
    void saveFinished(const orv::SaveReport& report);

private:
    void Enqueue(std::function<SaveReport()> job);

    CResultSaver m_saver;
    QThread m_thread;
    QObject* m_context = nullptr;    // lives on m_thread; queued jobs run in its event loop
    std::mutex m_busyLock;           // guards m_busy
    std::condition_variable m_idle;  // notified when m_busy drops to 0
    int m_busy = 0;                  // jobs submitted and not finished
};

}  // namespace orv

Q_DECLARE_METATYPE(orv::SaveReport)
