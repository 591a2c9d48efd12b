#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "results/AccessOperation.h"
#include "results/ResultDbCheck.h"
#include "results/ResultSaver.h"
#include "results/ResultTestTexts.h"

using namespace orv;

// Runs against the throw-away server that the "postgres" test fixture starts on 127.0.0.1
// (scripts/pg-test-server); ORV_PG_DIR/url names it.
class ResultPostgresTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void tablesPerLanguageNumberedRowsVerbatimValues();
    void missingDatabaseFillsJournalThenDrains();
    void odbcToPostgresNumbersRows();
    void serverThatDoesNotAnswerFallsBackToJournal_data();
    void serverThatDoesNotAnswerFallsBackToJournal();
    void twoStationsShareOneDatabase();
    void accountThatMayOnlyAddRows();

private:
    // Runs `sql` as the server's administrator in `database`; returns the error, if any.
    QString Admin(const QString& database, const QString& sql);
    // A fresh database on the server; returns its FilePath text.
    QString NewDatabase(const QString& name);
    QString UrlFor(const QString& database) const;
    QList<test::SavedRow> Read(const QString& database, const ResultTexts& texts);

    QUrl m_server;
    QTemporaryDir m_home;
};

void ResultPostgresTest::initTestCase() {
    const QByteArray dir = qgetenv("ORV_PG_DIR");
    QVERIFY2(!dir.isEmpty(), "ORV_PG_DIR is not set: run through ctest (fixture 'postgres')");
    QFile url(QString::fromLocal8Bit(dir) + QStringLiteral("/url"));
    QVERIFY2(url.open(QIODevice::ReadOnly), "the PostgreSQL test server did not start");
    m_server = QUrl(QString::fromUtf8(url.readAll().trimmed()));
    QVERIFY(m_server.isValid());
    QVERIFY(QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")));
}

QString ResultPostgresTest::UrlFor(const QString& database) const {
    QUrl u = m_server;
    u.setPath(QLatin1Char('/') + database);
    return u.toString();
}

QString ResultPostgresTest::NewDatabase(const QString& name) {
    QString error;
    test::ReadRows(
        QStringLiteral("QPSQL"),
        [this](QSqlDatabase& db) {
            db.setHostName(m_server.host());
            db.setPort(m_server.port());
            db.setUserName(m_server.userName());
            db.setDatabaseName(QStringLiteral("postgres"));
        },
        QStringLiteral("CREATE DATABASE \"%1\"").arg(name), &error);
    if (!error.isEmpty()) {
        qWarning() << "CREATE DATABASE" << name << error;
    }
    return UrlFor(name);
}

QString ResultPostgresTest::Admin(const QString& database, const QString& sql) {
    QString error;
    test::ReadRows(
        QStringLiteral("QPSQL"),
        [this, database](QSqlDatabase& db) {
            db.setHostName(m_server.host());
            db.setPort(m_server.port());
            db.setUserName(m_server.userName());
            db.setDatabaseName(database);
        },
        sql, &error);
    return error;
}

QList<test::SavedRow> ResultPostgresTest::Read(const QString& database, const ResultTexts& texts) {
    QString error;
    const auto rows = test::ReadRows(
        QStringLiteral("QPSQL"),
        [this, database](QSqlDatabase& db) {
            db.setHostName(m_server.host());
            db.setPort(m_server.port());
            db.setUserName(m_server.userName());
            db.setDatabaseName(database);
        },
        test::SelectAll(texts.tableName, texts.columns), &error);
    if (!error.isEmpty()) {
        qWarning() << "reading" << database << error;
    }
    return rows;
}

void ResultPostgresTest::tablesPerLanguageNumberedRowsVerbatimValues() {
    const QString target = NewDatabase(QStringLiteral("orv_tables"));
    const ResultTexts en = test::TextsFor(true);
    const ResultTexts cn = test::TextsFor(false);
    CResultSaver saver(m_home.filePath(QStringLiteral("tables.jsonl")));
    const QString odd = QStringLiteral("O'Brien'); DROP TABLE [TEST_EN];-- \"TEST_EN\"; $1 耳机");
    for (const ResultRow& row : {test::RowNamed(en, QStringLiteral("first")),
                                 test::RowNamed(cn, QStringLiteral("中文"), false),
                                 test::RowNamed(en, odd), test::RowNamed(en, QString())}) {
        const SaveReport r = saver.Save(target, row);
        QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
        QCOMPARE(r.target, target);
    }
    CAccessOperation op;
    QCOMPARE(op.TableExists(target, QStringLiteral("TEST_EN")), 1);
    QCOMPARE(op.TableExists(target, QStringLiteral("TEST_CN")), 1);
    QCOMPARE(op.TableExists(target, QStringLiteral("test_en")), 0);

    const QList<test::SavedRow> enRows = Read(QStringLiteral("orv_tables"), en);
    QCOMPARE(enRows.size(), 3);
    for (int i = 0; i < enRows.size(); ++i) {
        QCOMPARE(enRows[i].no.toInt(), i + 1);
    }
    QCOMPARE(test::Names(enRows), (QStringList{"first", odd, ""}));
    QCOMPARE(enRows[0].values.mid(6, 3),
             (QStringList{"PASS", "PASS", QStringLiteral("MAX=-10.50dB")}));
    const QList<test::SavedRow> cnRows = Read(QStringLiteral("orv_tables"), cn);
    QCOMPARE(cnRows.size(), 1);
    QCOMPARE(cnRows[0].no.toInt(), 1);
    QCOMPARE(cnRows[0].values[3], QStringLiteral("中文"));
}

void ResultPostgresTest::missingDatabaseFillsJournalThenDrains() {
    const QString target = UrlFor(QStringLiteral("orv_later"));
    const ResultTexts en = test::TextsFor(true);
    const ResultTexts cn = test::TextsFor(false);
    CResultSaver saver(m_home.filePath(QStringLiteral("later.jsonl")));
    for (int i = 1; i <= 3; ++i) {
        const SaveReport r =
            saver.Save(target, test::RowNamed(i == 2 ? cn : en, QStringLiteral("w%1").arg(i)));
        QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Journalled));
        QVERIFY(r.error.contains(QStringLiteral("orv_later")));
        QCOMPARE(r.pending, i);
    }
    NewDatabase(QStringLiteral("orv_later"));
    const SaveReport r = saver.Save(target, test::RowNamed(en, QStringLiteral("w4")));
    QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Saved));
    QCOMPARE(r.written, 4);
    QCOMPARE(r.pending, 0);
    QCOMPARE(test::Names(Read(QStringLiteral("orv_later"), en)), (QStringList{"w1", "w3", "w4"}));
    QCOMPARE(test::Names(Read(QStringLiteral("orv_later"), cn)), QStringList{"w2"});
    QCOMPARE(saver.Drain(target).written, 0);
}

void ResultPostgresTest::odbcToPostgresNumbersRows() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC"))) {
        QSKIP("the Qt ODBC driver is not installed");
    }
    if (!QFile::exists(QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so"))) {
        QSKIP("the PostgreSQL ODBC driver (odbc-postgresql) is not installed");
    }
    NewDatabase(QStringLiteral("orv_odbc"));
    const QString target =
        QStringLiteral(
            "odbc:Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=orv_odbc;"
            "Uid=%3;")
            .arg(m_server.host())
            .arg(m_server.port())
            .arg(m_server.userName());
    const ResultTexts en = test::TextsFor(true);
    CResultSaver saver(m_home.filePath(QStringLiteral("odbc.jsonl")));
    const QString odd = QStringLiteral("O'Brien'); DROP TABLE [TEST_EN];--");
    for (const QString& name : {QStringLiteral("one"), odd}) {
        const SaveReport r = saver.Save(target, test::RowNamed(en, name));
        QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
    }
    const QList<test::SavedRow> rows = Read(QStringLiteral("orv_odbc"), en);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].no.toInt(), 1);
    QCOMPARE(rows[1].no.toInt(), 2);
    QCOMPARE(test::Names(rows), (QStringList{"one", odd}));
}

void ResultPostgresTest::serverThatDoesNotAnswerFallsBackToJournal_data() {
    QTest::addColumn<bool>("listening");
    QTest::newRow("accepts but never answers") << true;
    QTest::newRow("port closed") << false;
}

void ResultPostgresTest::serverThatDoesNotAnswerFallsBackToJournal() {
    QFETCH(bool, listening);
    // The kernel completes the TCP handshake for a listening socket that is never accepted, so
    // the client connects and then waits for the server's first message for ever.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int port = ntohs(addr.sin_port);
    if (listening) {
        QCOMPARE(::listen(fd, 8), 0);
    } else {
        ::close(fd);
    }
    const QString target = QStringLiteral("postgresql://postgres@127.0.0.1:%1/results").arg(port);

    const int timeoutSeconds = 2;
    CResultSaver saver(m_home.filePath(QStringLiteral("silent-%1.jsonl").arg(listening)),
                       timeoutSeconds);
    QElapsedTimer clock;
    clock.start();
    const SaveReport r = saver.Save(target, test::RowNamed(test::TextsFor(true), "x"));
    const qint64 ms = clock.elapsed();
    if (listening) {
        ::close(fd);
    }
    qInfo("gave up after %lld ms (time-out %d s)", ms, timeoutSeconds);
    QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Journalled));
    QCOMPARE(r.pending, 1);
    // Bounded: the time-out and some slack, never the minutes an unbounded connect can take.
    QVERIFY2(ms < (timeoutSeconds + 8) * 1000, qPrintable(QString::number(ms)));
}

void ResultPostgresTest::twoStationsShareOneDatabase() {
    const QString target = NewDatabase(QStringLiteral("orv_shared"));
    const ResultTexts en = test::TextsFor(true);
    CResultSaveWorker a(m_home.filePath(QStringLiteral("station-a.jsonl")));
    CResultSaveWorker b(m_home.filePath(QStringLiteral("station-b.jsonl")));
    test::Reports doneA(&a);
    test::Reports doneB(&b);
    // Both create the tables at the same moment on their first save.
    for (int i = 0; i < 5; ++i) {
        a.Submit(target, test::RowNamed(en, QStringLiteral("a%1").arg(i)));
        b.Submit(target, test::RowNamed(en, QStringLiteral("b%1").arg(i)));
    }
    QVERIFY(a.WaitIdle(60000));
    QVERIFY(b.WaitIdle(60000));
    QTRY_COMPARE_WITH_TIMEOUT(doneA.count() + doneB.count(), 10, 5000);
    for (const auto* spy : {&doneA, &doneB}) {
        for (const SaveReport& r : spy->list) {
            QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
        }
    }
    const QList<test::SavedRow> rows = Read(QStringLiteral("orv_shared"), en);
    QCOMPARE(rows.size(), 10);
    QStringList a5;
    QStringList b5;
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].no.toInt(), i + 1);
        (rows[i].values[3].startsWith(QLatin1Char('a')) ? a5 : b5).append(rows[i].values[3]);
    }
    QCOMPARE(a5, (QStringList{"a0", "a1", "a2", "a3", "a4"}));
    QCOMPARE(b5, (QStringList{"b0", "b1", "b2", "b3", "b4"}));
}

void ResultPostgresTest::accountThatMayOnlyAddRows() {
    // A line's database where the stations' account may add rows to the result tables and
    // nothing else (PostgreSQL 15 lets no one but the owner create tables in "public").
    const QString admin = NewDatabase(QStringLiteral("orv_restricted"));
    const ResultTexts en = test::TextsFor(true);
    const ResultTexts cn = test::TextsFor(false);
    CAccessOperation op;
    QCOMPARE(op.CreateTable(admin, en.tableName, en.columns), 1);
    QCOMPARE(Admin(QStringLiteral("orv_restricted"), QStringLiteral("CREATE ROLE line LOGIN")),
             QString());
    QCOMPARE(Admin(QStringLiteral("orv_restricted"),
                   QStringLiteral("REVOKE CREATE ON SCHEMA public FROM PUBLIC")),
             QString());
    QCOMPARE(Admin(QStringLiteral("orv_restricted"),
                   QStringLiteral("GRANT SELECT, INSERT ON \"TEST_EN\" TO line")),
             QString());

    QUrl url(UrlFor(QStringLiteral("orv_restricted")));
    url.setUserName(QStringLiteral("line"));
    const QString station = url.toString();
    CResultSaver saver(m_home.filePath(QStringLiteral("restricted.jsonl")));
    for (const char* name : {"r1", "r2"}) {
        const SaveReport r = saver.Save(station, test::RowNamed(en, QString::fromLatin1(name)));
        QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
    }
    // The Chinese table is not there and the account may not create it: the row waits.
    const SaveReport waiting = saver.Save(station, test::RowNamed(cn, QStringLiteral("c1")));
    QCOMPARE(int(waiting.outcome), int(SaveReport::Outcome::Journalled));
    QVERIFY(waiting.error.contains(QStringLiteral("TEST_CN")));

    QCOMPARE(op.CreateTable(admin, cn.tableName, cn.columns), 1);
    QCOMPARE(Admin(QStringLiteral("orv_restricted"),
                   QStringLiteral("GRANT SELECT, INSERT ON \"TEST_CN\" TO line")),
             QString());
    const SaveReport r = saver.Save(station, test::RowNamed(en, QStringLiteral("r3")));
    QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Saved));
    QCOMPARE(r.written, 2);

    const QList<test::SavedRow> enRows = Read(QStringLiteral("orv_restricted"), en);
    QCOMPARE(test::Names(enRows), (QStringList{"r1", "r2", "r3"}));
    QCOMPARE(enRows.last().no.toInt(), 3);
    QCOMPARE(test::Names(Read(QStringLiteral("orv_restricted"), cn)), QStringList{"c1"});
    QCOMPARE(op.TableExists(admin, QString::fromLatin1(kSavedRowsTable)), 0);
}

QTEST_GUILESS_MAIN(ResultPostgresTest)
#include "tst_result_postgres.moc"
