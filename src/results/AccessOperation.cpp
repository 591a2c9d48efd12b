#include "results/AccessOperation.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include "shell/LogWriter.h"

namespace orv {
namespace {

QAtomicInteger<quint64> g_connectionSerial;

QString SqlErrorText(const QSqlError& e) {
    QString text = e.text().trimmed();
    if (text.isEmpty()) {
        text = QStringLiteral("unknown database error");
    }
    return text;
}

void SetError(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
}

}  // namespace

CResultConnection::CResultConnection(const ResultTarget& target, int timeoutSeconds)
    : m_target(target),
      m_timeoutSeconds(timeoutSeconds),
      m_name(QStringLiteral("orv-results-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1))) {}

CResultConnection::~CResultConnection() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isValid()) {
            db.close();
        }
    }
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase::removeDatabase(m_name);
    }
}

QSqlDatabase CResultConnection::database() const {
    return QSqlDatabase::database(m_name, false);
}

bool CResultConnection::Open(QString* error) {
    const int timeout = qMax(1, m_timeoutSeconds);
    QString driver;
    switch (m_target.kind) {
        case ResultTarget::Kind::SQLite:
            driver = QStringLiteral("QSQLITE");
            break;
        case ResultTarget::Kind::Odbc:
            driver = QStringLiteral("QODBC");
            break;
        case ResultTarget::Kind::PostgreSql:
            driver = QStringLiteral("QPSQL");
            break;
    }
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        SetError(error, QStringLiteral("the Qt SQL driver %1 is not installed").arg(driver));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_name);
    switch (m_target.kind) {
        case ResultTarget::Kind::SQLite: {
            // SQLite would report a missing folder only as "unable to open database file".
            const QFileInfo file(m_target.filePath);
            if (!QFileInfo(file.absolutePath()).isDir()) {
                SetError(error,
                         QStringLiteral("the folder %1 does not exist").arg(file.absolutePath()));
                return false;
            }
            if (file.isDir()) {
                SetError(
                    error,
                    QStringLiteral("%1 is a folder, not a database file").arg(m_target.filePath));
                return false;
            }
            db.setDatabaseName(m_target.filePath);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(timeout * 1000));
            m_dialect = SqlDialect::SQLite;
            break;
        }
        case ResultTarget::Kind::Odbc:
            db.setDatabaseName(m_target.connectionString);
            db.setConnectOptions(
                QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1")
                    .arg(timeout));
            break;
        case ResultTarget::Kind::PostgreSql:
            db.setHostName(m_target.host);
            db.setPort(m_target.port);
            db.setUserName(m_target.user);
            db.setPassword(m_target.password);
            db.setDatabaseName(m_target.database);
            db.setConnectOptions(
                QStringLiteral("connect_timeout=%1;application_name=ORV318PRO").arg(timeout));
            m_dialect = SqlDialect::PostgreSql;
            break;
    }
    if (!db.open()) {
        SetError(error, SqlErrorText(db.lastError()));
        return false;
    }
    m_open = true;
    if (m_target.kind == ResultTarget::Kind::Odbc) {
        m_dialect = DetectOdbcDialect();
    }
    if (m_dialect == SqlDialect::PostgreSql) {
        // A locked table or a stuck server must not hold the saver for ever either.
        if (!Exec(QStringLiteral("SET statement_timeout = %1").arg(timeout * 3000), error)) {
            return false;
        }
    }
    if (m_dialect == SqlDialect::SQLite) {
        // An SQLite file that is not a database opens without complaint; ask it something.
        if (!Exec(QStringLiteral("SELECT count(*) FROM sqlite_master"), error)) {
            return false;
        }
    }
    return true;
}

SqlDialect CResultConnection::DetectOdbcDialect() {
    QSqlDatabase db = database();
    switch (db.driver()->dbmsType()) {
        case QSqlDriver::PostgreSQL:
            return SqlDialect::PostgreSql;
        case QSqlDriver::MSSqlServer:
        case QSqlDriver::Sybase:
            return SqlDialect::SqlServer;
        case QSqlDriver::MySqlServer:
            return SqlDialect::MySql;
        default:
            break;
    }
    // The ODBC driver does not say which product it talks to: SQLite answers this, Access
    // (Jet/ACE, the usual ODBC result database) does not.
    QSqlQuery probe(db);
    if (probe.exec(QStringLiteral("SELECT sqlite_version()"))) {
        return SqlDialect::SQLite;
    }
    return SqlDialect::Access;
}

bool CResultConnection::Exec(const QString& sql, QString* error) {
    QSqlQuery q(database());
    if (!q.exec(sql)) {
        SetError(error, SqlErrorText(q.lastError()));
        return false;
    }
    return true;
}

bool CResultConnection::TableExists(const QString& table) {
    if (!m_open) {
        return false;
    }
    return database().tables(QSql::Tables).contains(table, Qt::CaseSensitive);
}

bool CResultConnection::CreateTable(const QString& table, const QStringList& columns,
                                    QString* error) {
    if (!m_open) {
        SetError(error, QStringLiteral("the database is not open"));
        return false;
    }
    return Exec(CreateResultTableSql(m_dialect, table, columns), error);
}

bool CResultConnection::EnsureTable(const QString& table, const QStringList& columns,
                                    QString* error) {
    if (m_tablesReady.contains(table)) {
        return true;
    }
    if (!TableExists(table)) {
        QString why;
        if (!CreateTable(table, columns, &why) && !TableExists(table)) {
            SetError(error, QStringLiteral("cannot create table %1: %2").arg(table, why));
            return false;
        }
    }
    m_tablesReady.insert(table);
    return true;
}

bool CResultConnection::Insert(const QString& table, const QStringList& columns,
                               const QStringList& values, QString* error) {
    if (!m_open) {
        SetError(error, QStringLiteral("the database is not open"));
        return false;
    }
    if (columns.isEmpty() || columns.size() != values.size()) {
        SetError(
            error,
            QStringLiteral("%1 values for %2 columns").arg(values.size()).arg(columns.size()));
        return false;
    }
    QSqlQuery q(database());
    if (!q.prepare(InsertResultSql(m_dialect, table, columns))) {
        SetError(error, SqlErrorText(q.lastError()));
        return false;
    }
    for (const QString& v : values) {
        // An empty text is stored as an empty text, not as NULL.
        q.addBindValue(v.isNull() ? QString(QLatin1String("")) : v);
    }
    if (!q.exec()) {
        SetError(error, SqlErrorText(q.lastError()));
        return false;
    }
    return true;
}

bool CResultConnection::InsertOnce(const ResultRow& row, bool* written, QString* error) {
    *written = false;
    if (!row.IsValid()) {
        SetError(error, QStringLiteral("the result row is incomplete"));
        return false;
    }
    const QString savedRows = QString::fromLatin1(kSavedRowsTable);
    if (!m_savedRowsReady) {
        if (!TableExists(savedRows)) {
            QString why;
            if (!Exec(CreateSavedRowsSql(m_dialect), &why) && !TableExists(savedRows)) {
                // A station account that may only add rows to the result tables still saves;
                // only a crash between a commit and the journal update could then double a row.
                m_keepRowIds = false;
                LogInfo(QStringLiteral("Result database %1: no table %2 (%3); rows are written "
                                       "without their ids")
                            .arg(m_target.Describe(), savedRows, why));
            }
        }
        m_savedRowsReady = true;
    }
    if (!EnsureTable(row.table, row.columns, error)) {
        return false;
    }
    QSqlDatabase db = database();
    if (m_keepRowIds) {
        QSqlQuery find(db);
        if (!find.prepare(FindSavedRowSql(m_dialect))) {
            SetError(error, SqlErrorText(find.lastError()));
            return false;
        }
        find.addBindValue(row.id);
        if (!find.exec()) {
            SetError(error, SqlErrorText(find.lastError()));
            return false;
        }
        if (find.next()) {
            return true;  // written before; its journal entry outlived the commit
        }
    }
    const bool transactions = db.driver()->hasFeature(QSqlDriver::Transactions);
    if (transactions && !db.transaction()) {
        SetError(error, SqlErrorText(db.lastError()));
        return false;
    }
    QString why;
    bool ok = Insert(row.table, row.columns, row.values, &why);
    if (ok && m_keepRowIds) {
        QSqlQuery mark(db);
        ok = mark.prepare(InsertSavedRowSql(m_dialect));
        if (ok) {
            mark.addBindValue(row.id);
            ok = mark.exec();
        }
        if (!ok) {
            why = SqlErrorText(mark.lastError());
        }
    }
    if (ok && transactions && !db.commit()) {
        ok = false;
        why = SqlErrorText(db.lastError());
    }
    if (!ok) {
        if (transactions) {
            db.rollback();
        }
        SetError(error, why);
        return false;
    }
    *written = true;
    return true;
}

CAccessOperation::CAccessOperation(int timeoutSeconds) : m_timeoutSeconds(timeoutSeconds) {}

std::unique_ptr<CResultConnection> CAccessOperation::Connect(const QString& path) {
    ResultTarget target;
    if (!ParseResultTarget(path, &target, &m_lastError)) {
        return nullptr;
    }
    auto connection = std::make_unique<CResultConnection>(target, m_timeoutSeconds);
    if (!connection->Open(&m_lastError)) {
        return nullptr;
    }
    return connection;
}

int CAccessOperation::CreateDatabase(const QString& path, const QString& table,
                                     const QStringList& columns) {
    m_lastError.clear();
    // Opening an SQLite file creates it; a server database must exist already.
    const auto connection = Connect(path);
    if (!connection) {
        return 0;
    }
    return connection->CreateTable(table, columns, &m_lastError) ? 1 : 0;
}

int CAccessOperation::CreateTable(const QString& path, const QString& table,
                                  const QStringList& columns) {
    m_lastError.clear();
    const auto connection = Connect(path);
    if (!connection) {
        return 0;
    }
    return connection->CreateTable(table, columns, &m_lastError) ? 1 : 0;
}

int CAccessOperation::TableExists(const QString& path, const QString& table) {
    m_lastError.clear();
    const auto connection = Connect(path);
    return connection && connection->TableExists(table) ? 1 : 0;
}

int CAccessOperation::InsertRow(const QString& path, const QString& table,
                                const QStringList& columns, const QStringList& values) {
    m_lastError.clear();
    const auto connection = Connect(path);
    if (!connection) {
        return 0;
    }
    return connection->Insert(table, columns, values, &m_lastError) ? 1 : 0;
}

}  // namespace orv
