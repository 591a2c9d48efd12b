#include "results/ResultSaver.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <chrono>

#include "config/Settings.h"
#include "shell/LogWriter.h"

namespace orv {

QString SaveReport::Summary() const {
    switch (outcome) {
        case Outcome::Skipped:
            return QStringLiteral("Result not saved: auto-save is off");
        case Outcome::Saved:
            if (written > 1) {
                return QStringLiteral("Result saved to %1 (with %2 waiting result(s))")
                    .arg(target)
                    .arg(written - 1);
            }
            return QStringLiteral("Result saved to %1").arg(target);
        case Outcome::Journalled:
            return QStringLiteral("Result not saved to %1: %2; %3 result(s) wait in the journal")
                .arg(target, error)
                .arg(pending);
        case Outcome::Lost:
            return QStringLiteral("Result LOST: not saved to %1 and not journalled: %2")
                .arg(target, error);
    }
    return QString();
}

CResultSaver::CResultSaver(const QString& journalPath, int timeoutSeconds)
    : m_journal(journalPath), m_timeoutSeconds(timeoutSeconds) {}

SaveReport CResultSaver::Save(const QString& filePath, const ResultRow& row) {
    QString journalError;
    const bool journalled = Keep(row, &journalError);
    return WriteKept(filePath, row, journalled, journalError);
}

bool CResultSaver::Keep(const ResultRow& row, QString* error) {
    QString journalError;
    const bool journalled = m_journal.Append(row, &journalError);
    if (!journalled) {
        LogInfo(QStringLiteral("Result journal %1 not written: %2")
                    .arg(m_journal.path(), journalError));
    }
    if (error != nullptr) {
        *error = journalError;
    }
    return journalled;
}

SaveReport CResultSaver::WriteKept(const QString& filePath, const ResultRow& row, bool kept,
                                   const QString& keepError) {
    std::lock_guard<std::mutex> lock(m_lock);
    return Write(filePath, &row, kept, keepError);
}

SaveReport CResultSaver::Drain(const QString& filePath) {
    std::lock_guard<std::mutex> lock(m_lock);
    return Write(filePath, nullptr, false, QString());
}

SaveReport CResultSaver::Write(const QString& filePath, const ResultRow* fresh, bool journalled,
                               const QString& journalError) {
    SaveReport report;
    report.rowId = fresh != nullptr ? fresh->id : QString();

    QString readError;
    QList<ResultRow> rows = m_journal.Pending(&readError);
    if (!readError.isEmpty()) {
        LogInfo(QStringLiteral("Result journal: %1").arg(readError));
    }
    // A kept row leaves the journal only once it is in the database: one that is gone was
    // written by a drain that ran after it was kept (the worker keeps rows on the caller's
    // thread while it writes earlier ones).
    const bool freshPending =
        fresh != nullptr && std::any_of(rows.cbegin(), rows.cend(),
                                        [fresh](const ResultRow& r) { return r.id == fresh->id; });
    const bool freshWrittenBefore = fresh != nullptr && journalled && !freshPending;
    if (fresh != nullptr && !journalled) {
        rows.append(*fresh);
    }

    ResultTarget target;
    QString error;
    QStringList done;
    if (ParseResultTarget(filePath, &target, &error)) {
        report.target = target.Describe();
        CResultConnection connection(target, m_timeoutSeconds);
        if (connection.Open(&error)) {
            for (const ResultRow& r : rows) {
                bool written = false;
                if (!connection.InsertOnce(r, &written, &error)) {
                    break;  // later rows wait: the database keeps the order they were made in
                }
                done.append(r.id);
                report.written += written ? 1 : 0;
            }
        }
    } else {
        report.target = filePath;
    }

    QString removeError;
    if (!done.isEmpty() && !m_journal.Remove(done, &removeError)) {
        // The rows are in the database with their ids; the next drain finds and drops them.
        LogInfo(QStringLiteral("Result journal %1 not updated: %2")
                    .arg(m_journal.path(), removeError));
    }
    report.pending = m_journal.Count();

    const bool allDone = done.size() == rows.size();
    if (fresh != nullptr) {
        if (done.contains(fresh->id) || freshWrittenBefore) {
            report.outcome = SaveReport::Outcome::Saved;
        } else if (journalled) {
            report.outcome = SaveReport::Outcome::Journalled;
        } else {
            report.outcome = SaveReport::Outcome::Lost;
            error = error + QStringLiteral("; journal: ") + journalError;
        }
    } else {
        report.outcome = allDone ? SaveReport::Outcome::Saved : SaveReport::Outcome::Journalled;
    }
    if (!allDone) {
        report.error = error;
    }
    if (fresh != nullptr || report.written > 0 || !allDone) {
        LogInfo(report.Summary());
    }
    return report;
}

QString CResultSaver::ResolveFilePath(const QString& configPath, const QString& filePath) {
    const QString t = filePath.trimmed();
    ResultTarget target;
    if (t.isEmpty() || !ParseResultTarget(t, &target, nullptr) ||
        target.kind != ResultTarget::Kind::SQLite || QFileInfo(t).isAbsolute()) {
        return t;
    }
    // A bare file name means the home folder, not whatever folder the program was started in.
    return QFileInfo(configPath).absoluteDir().absoluteFilePath(t);
}

bool CResultSaver::BuildFromConfig(const QString& configPath, const ResultTexts& texts,
                                   const HeadsetValues& headset, bool pass, int failedStep,
                                   double hfpMaxLevel, QString* filePath, ResultRow* row) {
    if (GetAutoSaveIsSave(configPath) == 0) {
        return false;
    }
    *filePath = ResolveFilePath(configPath, GetAutoSaveFilePath(configPath));
    if (filePath->isEmpty()) {
        return false;
    }
    *row = BuildResultRow(texts, ItemSwitches::Read(configPath), headset, pass, failedStep,
                          hfpMaxLevel, QDateTime::currentDateTime());
    return true;
}

SaveReport CResultSaver::SaveResult(const QString& configPath, const ResultTexts& texts,
                                    const HeadsetValues& headset, bool pass, int failedStep,
                                    double hfpMaxLevel) {
    QString filePath;
    ResultRow row;
    if (!BuildFromConfig(configPath, texts, headset, pass, failedStep, hfpMaxLevel, &filePath,
                         &row)) {
        return SaveReport{};
    }
    return Save(filePath, row);
}

CResultSaveWorker::CResultSaveWorker(const QString& journalPath, int timeoutSeconds,
                                     QObject* parent)
    : QObject(parent), m_saver(journalPath, timeoutSeconds) {
    qRegisterMetaType<orv::SaveReport>();
    m_thread.setObjectName(QStringLiteral("ResultSaver"));
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

CResultSaveWorker::~CResultSaveWorker() {
    // The jobs already queued run before the quit event is handled.
    QMetaObject::invokeMethod(
        m_context, [this] { m_thread.quit(); }, Qt::QueuedConnection);
    m_thread.wait();
}

void CResultSaveWorker::Enqueue(std::function<SaveReport()> job) {
    {
        std::lock_guard<std::mutex> lock(m_busyLock);
        ++m_busy;
    }
    QMetaObject::invokeMethod(
        m_context,
        [this, job = std::move(job)] {
            const SaveReport report = job();
            emit saveFinished(report);
            std::lock_guard<std::mutex> lock(m_busyLock);
            if (--m_busy == 0) {
                m_idle.notify_all();
            }
        },
        Qt::QueuedConnection);
}

void CResultSaveWorker::Submit(const QString& filePath, const ResultRow& row) {
    // Kept in the journal before this returns: a row handed over is never lost, even when the
    // program ends before the saver thread gets to it.
    QString keepError;
    const bool kept = m_saver.Keep(row, &keepError);
    Enqueue([this, filePath, row, kept, keepError] {
        return m_saver.WriteKept(filePath, row, kept, keepError);
    });
}

void CResultSaveWorker::SubmitDrain(const QString& filePath) {
    Enqueue([this, filePath] { return m_saver.Drain(filePath); });
}

bool CResultSaveWorker::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_busyLock);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_busy == 0; });
}

}  // namespace orv
