#pragma once

#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>

#include "results/ResultRow.h"
#include "results/ResultSql.h"

// The result database writer on Qt SQL: an SQLite file, an ODBC data source or a PostgreSQL
// server, chosen by the [AutoSave] "FilePath" text (see results/ResultSql.h).
namespace orv {

// Seconds a database may take to accept a connection (and SQLite a locked file) before the save
// gives up and the row waits in the journal: the operator's window must not hang on a dead
// server. libpq does not wait less than 2 s.
inline constexpr int kResultDbTimeoutSeconds = 3;

// One open connection, used by one thread and removed when this object goes. Every instance has
// its own Qt connection name, so savers on different threads never share a handle.
class CResultConnection final {
public:
    explicit CResultConnection(const ResultTarget& target,
                               int timeoutSeconds = kResultDbTimeoutSeconds);
    ~CResultConnection();
    CResultConnection(const CResultConnection&) = delete;
    CResultConnection& operator=(const CResultConnection&) = delete;

    // Opens the database; an SQLite file is created when its folder exists.
    bool Open(QString* error);

    SqlDialect dialect() const { return m_dialect; }
    QSqlDatabase database() const;

    // Exact, case-sensitive name of a base table (views and system tables do not count).
    bool TableExists(const QString& table);
    bool CreateTable(const QString& table, const QStringList& columns, QString* error);
    // Creates the table unless it is there; another station creating it at the same moment is
    // not an error.
    bool EnsureTable(const QString& table, const QStringList& columns, QString* error);

    // Writes the row and its id in one transaction, unless a row with this id was written
    // before. `written` says which of the two happened.
    bool InsertOnce(const ResultRow& row, bool* written, QString* error);

    // Writes one row, values bound as parameters.
    bool Insert(const QString& table, const QStringList& columns, const QStringList& values,
                QString* error);

private:
    SqlDialect DetectOdbcDialect();
    bool Exec(const QString& sql, QString* error);

    ResultTarget m_target;
    int m_timeoutSeconds;
    QString m_name;  // the Qt connection name, unique per instance
    SqlDialect m_dialect = SqlDialect::SQLite;
    bool m_open = false;
    bool m_savedRowsReady = false;
    bool m_keepRowIds = true;     // false where the account may not create the ids table
    QSet<QString> m_tablesReady;  // result tables known to exist on this connection
};

// The writer's operations by name: each opens its own connection to the database named by
// `path` (a FilePath text), does one thing and closes it again. They return 1 for done and 0 for
// not; LastError() tells why. No message box: the caller shows failures where it wants.
class CAccessOperation final {
public:
    explicit CAccessOperation(int timeoutSeconds = kResultDbTimeoutSeconds);

    // Creates the database (an SQLite file) and the table.
    int CreateDatabase(const QString& path, const QString& table, const QStringList& columns);
    int CreateTable(const QString& path, const QString& table, const QStringList& columns);
    int TableExists(const QString& path, const QString& table);
    int InsertRow(const QString& path, const QString& table, const QStringList& columns,
                  const QStringList& values);

    QString LastError() const { return m_lastError; }

private:
    std::unique_ptr<CResultConnection> Connect(const QString& path);

    int m_timeoutSeconds;
    QString m_lastError;
};

}  // namespace orv
