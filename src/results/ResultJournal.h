#pragma once

#include <QList>
#include <QString>
#include <mutex>

#include "results/ResultRow.h"

// The local journal of results that are waiting to reach the result database. One JSON object
// per line, appended with one write and fsync'd before the database is tried, so a row survives a
// database that does not answer, a full disk on the server side and a crash of the station.
namespace orv {

class CResultJournal final {
public:
    explicit CResultJournal(const QString& path);

    // "result-journal.jsonl" in the folder of config.ini.
    static QString DefaultPath();

    QString path() const { return m_path; }

    // Appends the row and syncs it to disk. Returns false (with `error`) when it could not be
    // kept.
    bool Append(const ResultRow& row, QString* error = nullptr);

    // The rows waiting, oldest first. A line that is not a whole row (a write cut short by a
    // crash, or damage) is moved to "<journal>.bad" so that it is neither lost nor retried.
    QList<ResultRow> Pending(QString* error = nullptr);

    // Removes the rows with these ids, keeping the others in order. The file is replaced
    // atomically (a crash leaves the old or the new journal, never a mix). Returns false when the
    // journal could not be rewritten; the rows then stay and are found done at the next drain.
    bool Remove(const QStringList& ids, QString* error = nullptr);

    // Number of rows waiting.
    int Count();

    static QByteArray Encode(const ResultRow& row);
    static bool Decode(const QByteArray& line, ResultRow* row);

private:
    QString m_path;
    std::mutex m_lock;  // serialises the file operations of this process
};

}  // namespace orv
