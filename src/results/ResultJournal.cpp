#include "results/ResultJournal.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "config/Config.h"

namespace orv {
namespace {

QString ErrnoText(const QString& what, const QString& path) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(strerror(errno)));
}

bool WriteAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += n;
    }
    return true;
}

// Makes a rename or an unlink in the journal's folder durable.
void SyncFolder(const QString& file) {
    const int fd = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Appends `data` and syncs it. A last line left without its line end (a write cut short) is
// closed first, so the new line never joins it.
bool AppendSynced(const QString& path, QByteArray data, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error != nullptr) {
            *error = ErrnoText(QStringLiteral("cannot open"), path);
        }
        return false;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, size - 1) == 1 && last != '\n') {
            data.prepend('\n');
        }
    }
    const bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
    if (!ok && error != nullptr) {
        *error = ErrnoText(QStringLiteral("cannot write"), path);
    }
    ::close(fd);
    return ok;
}

// Replaces the file with `data` atomically; an empty journal is removed.
bool ReplaceSynced(const QString& path, const QByteArray& data, QString* error) {
    if (data.isEmpty()) {
        if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
            if (error != nullptr) {
                *error = ErrnoText(QStringLiteral("cannot remove"), path);
            }
            return false;
        }
        SyncFolder(path);
        return true;
    }
    const QString temp = path + QStringLiteral(".new");
    const QByteArray tempName = QFile::encodeName(temp);
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error != nullptr) {
            *error = ErrnoText(QStringLiteral("cannot create"), temp);
        }
        return false;
    }
    bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
    ::close(fd);
    if (ok) {
        ok = ::rename(tempName.constData(), QFile::encodeName(path).constData()) == 0;
    }
    if (!ok) {
        if (error != nullptr) {
            *error = ErrnoText(QStringLiteral("cannot replace"), path);
        }
        ::unlink(tempName.constData());
        return false;
    }
    SyncFolder(path);
    return true;
}

QList<QByteArray> ReadLines(const QString& path, bool* readable) {
    QFile file(path);
    *readable = true;
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *readable = false;
        return {};
    }
    QList<QByteArray> lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) {
            lines.append(line);
        }
    }
    return lines;
}

// Holds an exclusive flock on "<journal>.lock" for one journal operation, so that another
// process using the same home folder (the command-line run beside the window) never appends to
// a journal that is being replaced, which would lose its row. Released by the kernel if the
// process dies. Without a lock file (a read-only folder) the journal cannot be written anyway.
class JournalFileLock final {
public:
    explicit JournalFileLock(const QString& journal)
        : m_fd(::open(QFile::encodeName(journal + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~JournalFileLock() {
        if (m_fd >= 0) {
            ::close(m_fd);  // releases the lock
        }
    }
    JournalFileLock(const JournalFileLock&) = delete;
    JournalFileLock& operator=(const JournalFileLock&) = delete;

private:
    int m_fd;
};

}  // namespace

CResultJournal::CResultJournal(const QString& path) : m_path(path) {}

QString CResultJournal::DefaultPath() {
    return QFileInfo(GetConfigPath()).absolutePath() + QStringLiteral("/result-journal.jsonl");
}

QByteArray CResultJournal::Encode(const ResultRow& row) {
    QJsonObject o;
    o.insert(QStringLiteral("id"), row.id);
    o.insert(QStringLiteral("table"), row.table);
    o.insert(QStringLiteral("columns"), QJsonArray::fromStringList(row.columns));
    o.insert(QStringLiteral("values"), QJsonArray::fromStringList(row.values));
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool CResultJournal::Decode(const QByteArray& line, ResultRow* row) {
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        return false;
    }
    const QJsonObject o = doc.object();
    auto strings = [](const QJsonValue& v, QStringList* out) {
        if (!v.isArray()) {
            return false;
        }
        for (const QJsonValue& e : v.toArray()) {
            if (!e.isString()) {
                return false;
            }
            out->append(e.toString());
        }
        return true;
    };
    ResultRow r;
    r.id = o.value(QStringLiteral("id")).toString();
    r.table = o.value(QStringLiteral("table")).toString();
    if (!strings(o.value(QStringLiteral("columns")), &r.columns) ||
        !strings(o.value(QStringLiteral("values")), &r.values) || !r.IsValid()) {
        return false;
    }
    *row = std::move(r);
    return true;
}

bool CResultJournal::Append(const ResultRow& row, QString* error) {
    std::lock_guard<std::mutex> lock(m_lock);
    const JournalFileLock fileLock(m_path);
    return AppendSynced(m_path, Encode(row), error);
}

QList<ResultRow> CResultJournal::Pending(QString* error) {
    std::lock_guard<std::mutex> lock(m_lock);
    const JournalFileLock fileLock(m_path);
    bool readable = true;
    const QList<QByteArray> lines = ReadLines(m_path, &readable);
    if (!readable) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot read %1").arg(m_path);
        }
        return {};
    }
    QList<ResultRow> rows;
    QByteArray good;
    QByteArray bad;
    for (const QByteArray& line : lines) {
        ResultRow row;
        if (Decode(line, &row)) {
            rows.append(row);
            good += line + '\n';
        } else {
            bad += line + '\n';
        }
    }
    if (!bad.isEmpty()) {
        // Set aside first, then drop from the journal: a crash in between keeps both copies.
        if (AppendSynced(m_path + QStringLiteral(".bad"), bad, error)) {
            ReplaceSynced(m_path, good, error);
        }
    }
    return rows;
}

bool CResultJournal::Remove(const QStringList& ids, QString* error) {
    std::lock_guard<std::mutex> lock(m_lock);
    const JournalFileLock fileLock(m_path);
    bool readable = true;
    const QList<QByteArray> lines = ReadLines(m_path, &readable);
    if (!readable) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot read %1").arg(m_path);
        }
        return false;
    }
    QByteArray kept;
    for (const QByteArray& line : lines) {
        ResultRow row;
        if (Decode(line, &row) && ids.contains(row.id)) {
            continue;
        }
        kept += line + '\n';
    }
    return ReplaceSynced(m_path, kept, error);
}

int CResultJournal::Count() {
    return int(Pending().size());
}

}  // namespace orv
