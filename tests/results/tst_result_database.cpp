#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "config/Config.h"
#include "results/AccessOperation.h"
#include "results/ResultDbCheck.h"
#include "results/ResultSaver.h"
#include "results/ResultTestTexts.h"

using namespace orv;

namespace {

auto SqliteFile(const QString& path) {
    return [path](QSqlDatabase& db) { db.setDatabaseName(path); };
}

QList<test::SavedRow> ReadSqlite(const QString& path, const ResultTexts& texts,
                                 QString* error = nullptr) {
    return test::ReadRows(QStringLiteral("QSQLITE"), SqliteFile(path),
                          test::SelectAll(texts.tableName, texts.columns), error);
}

QList<test::SavedRow> ReadSqlite(const QString& path, const QString& sql) {
    return test::ReadRows(QStringLiteral("QSQLITE"), SqliteFile(path), sql);
}

// How a database can be out of reach, and how the operator mends it.
enum class Fault { MissingFolder, PathIsFolder, NotADatabase, ReadOnlyFolder };

}  // namespace

Q_DECLARE_METATYPE(Fault)

class ResultDatabaseTest final : public QObject {
    Q_OBJECT
private slots:
    void firstSaveCreatesFileAndTable();
    void languagesGetTablesSideBySide();
    void hostileNameStoredVerbatim();
    void unreachableDatabaseFillsJournal_data();
    void unreachableDatabaseFillsJournal();
    void crashBeforeJournalUpdateWritesNoDouble();
    void lostWhenNeitherDatabaseNorJournal();
    void saveResultReadsAutoSave();
    void accessOperations();
    void odbcSqliteNumbersRows();
    void workerSavesInOrderOffTheCallerThread();
    void workerKeepsRowsBeforeItReturns();
};

void ResultDatabaseTest::firstSaveCreatesFileAndTable() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("results.db"));
    const ResultTexts en = test::TextsFor(true);
    CResultSaver saver(dir.filePath(QStringLiteral("journal.jsonl")));
    for (const char* name : {"first", "second", "third"}) {
        const SaveReport r = saver.Save(db, test::RowNamed(en, QString::fromLatin1(name)));
        QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Saved));
        QCOMPARE(r.written, 1);
        QCOMPARE(r.pending, 0);
    }
    QVERIFY(QFile::exists(db));
    QVERIFY(!QFile::exists(saver.JournalPath()));
    const QList<test::SavedRow> rows = ReadSqlite(db, en);
    QCOMPARE(rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(rows[i].no.toInt(), i + 1);  // [No] really numbers the rows
    }
    QCOMPARE(test::Names(rows), (QStringList{"first", "second", "third"}));
    const QStringList& v = rows[0].values;
    QCOMPARE(v.mid(1, 5), (QStringList{"PASS", "00:07:80:12:34:56", "first", "90", "-50"}));
    QCOMPARE(v.mid(6), (QStringList{"PASS", "PASS", "MAX=-10.50dB", "PASS", "PASS",
                                    "VOL+ = 1,VOL- = 1,Play/Pause=1,Previous=1,Next=1", "PASS"}));
}

void ResultDatabaseTest::languagesGetTablesSideBySide() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("results.db"));
    CResultSaver saver(dir.filePath(QStringLiteral("journal.jsonl")));
    const ResultTexts en = test::TextsFor(true);
    const ResultTexts cn = test::TextsFor(false);
    QVERIFY(!saver.Save(db, test::RowNamed(en, "en-1")).Failed());
    QVERIFY(!saver.Save(db, test::RowNamed(cn, QStringLiteral("耳机-1"), false)).Failed());
    QVERIFY(!saver.Save(db, test::RowNamed(en, "en-2")).Failed());

    CAccessOperation op;
    QCOMPARE(op.TableExists(db, QStringLiteral("TEST_EN")), 1);
    QCOMPARE(op.TableExists(db, QStringLiteral("TEST_CN")), 1);
    QCOMPARE(test::Names(ReadSqlite(db, en)), (QStringList{"en-1", "en-2"}));
    const QList<test::SavedRow> cnRows = ReadSqlite(db, cn);  // Chinese column names
    QCOMPARE(cnRows.size(), 1);
    QCOMPARE(cnRows[0].no.toInt(), 1);
    QCOMPARE(cnRows[0].values[3], QStringLiteral("耳机-1"));
    QCOMPARE(cnRows[0].values[1], QStringLiteral("FAIL"));
    QCOMPARE(cnRows[0].values[7], QStringLiteral("FAIL"));  // failed at the HFP record
}

void ResultDatabaseTest::hostileNameStoredVerbatim() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("results.db"));
    CResultSaver saver(dir.filePath(QStringLiteral("journal.jsonl")));
    const ResultTexts en = test::TextsFor(true);
    const QStringList names{
        QStringLiteral("O'Brien'); DROP TABLE [TEST_EN];--"),
        QStringLiteral("\"; DELETE FROM \"TEST_EN\"; --"),
        QStringLiteral("back\\slash ? :name $1 %s"),
        QString(),
    };
    for (const QString& name : names) {
        const SaveReport r = saver.Save(db, test::RowNamed(en, name));
        QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
    }
    const QList<test::SavedRow> rows = ReadSqlite(db, en);
    QCOMPARE(test::Names(rows), names);
    // An empty name is an empty text, not NULL.
    const QList<test::SavedRow> nulls =
        ReadSqlite(db, QStringLiteral("SELECT count(*) FROM \"TEST_EN\" WHERE \"Name\" IS NULL"));
    QCOMPARE(nulls.value(0).no.toInt(), 0);
}

void ResultDatabaseTest::unreachableDatabaseFillsJournal_data() {
    QTest::addColumn<Fault>("fault");
    QTest::newRow("missing folder") << Fault::MissingFolder;
    QTest::newRow("path is a folder") << Fault::PathIsFolder;
    QTest::newRow("not a database") << Fault::NotADatabase;
    QTest::newRow("read-only folder") << Fault::ReadOnlyFolder;
}

void ResultDatabaseTest::unreachableDatabaseFillsJournal() {
    QFETCH(Fault, fault);
    if (fault == Fault::ReadOnlyFolder && ::geteuid() == 0) {
        QSKIP("root writes into read-only folders");
    }
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("share"));
    const QString db = folder + QStringLiteral("/results.db");
    switch (fault) {
        case Fault::MissingFolder:
            break;
        case Fault::PathIsFolder:
            QVERIFY(QDir().mkpath(db));
            break;
        case Fault::NotADatabase: {
            QVERIFY(QDir().mkpath(folder));
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
            break;
        }
        case Fault::ReadOnlyFolder:
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            break;
    }

    const ResultTexts en = test::TextsFor(true);
    const ResultTexts cn = test::TextsFor(false);
    CResultSaver saver(home.filePath(QStringLiteral("result-journal.jsonl")));
    QStringList made;
    for (int i = 1; i <= 3; ++i) {
        const QString name = QStringLiteral("waiting-%1").arg(i);
        const SaveReport r = saver.Save(db, test::RowNamed(i == 2 ? cn : en, name));
        QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Journalled));
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(r.pending, i);
        QCOMPARE(r.written, 0);
        QVERIFY(r.Summary().contains(QStringLiteral("wait in the journal")));
        made.append(name);
    }

    // The operator mends the database.
    switch (fault) {
        case Fault::MissingFolder:
            QVERIFY(QDir().mkpath(folder));
            break;
        case Fault::PathIsFolder:
            QVERIFY(QDir(db).removeRecursively());
            break;
        case Fault::NotADatabase:
            QVERIFY(QFile::remove(db));
            break;
        case Fault::ReadOnlyFolder:
            QVERIFY(QFile::setPermissions(folder,
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            break;
    }
    const SaveReport r = saver.Save(db, test::RowNamed(en, QStringLiteral("fresh")));
    QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Saved));
    QCOMPARE(r.written, 4);
    QCOMPARE(r.pending, 0);
    QVERIFY(!QFile::exists(saver.JournalPath()));

    // Each row once, in the order the tests ended, in its own language's table.
    QCOMPARE(test::Names(ReadSqlite(db, en)), (QStringList{"waiting-1", "waiting-3", "fresh"}));
    QCOMPARE(test::Names(ReadSqlite(db, cn)), QStringList{"waiting-2"});
    // A later save has nothing left to drain.
    QCOMPARE(saver.Save(db, test::RowNamed(en, QStringLiteral("next"))).written, 1);
    QCOMPARE(ReadSqlite(db, en).size(), 4);
}

void ResultDatabaseTest::crashBeforeJournalUpdateWritesNoDouble() {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("share"));
    const QString db = folder + QStringLiteral("/results.db");
    const ResultTexts en = test::TextsFor(true);
    CResultSaver saver(home.filePath(QStringLiteral("journal.jsonl")));
    QVERIFY(saver.Save(db, test::RowNamed(en, QStringLiteral("a"))).Failed());
    QVERIFY(saver.Save(db, test::RowNamed(en, QStringLiteral("b"))).Failed());
    QFile journal(saver.JournalPath());
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QByteArray before = journal.readAll();
    journal.close();

    QVERIFY(QDir().mkpath(folder));
    QVERIFY(!saver.Save(db, test::RowNamed(en, QStringLiteral("c"))).Failed());
    QCOMPARE(ReadSqlite(db, en).size(), 3);

    // The station died after the commit but before the journal was rewritten: the old journal
    // is back. Its rows are in the database already and must not be written again.
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write(before);
    journal.close();
    const SaveReport r = saver.Save(db, test::RowNamed(en, QStringLiteral("d")));
    QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Saved));
    QCOMPARE(r.written, 1);
    QCOMPARE(r.pending, 0);
    QCOMPARE(test::Names(ReadSqlite(db, en)), (QStringList{"a", "b", "c", "d"}));
}

void ResultDatabaseTest::lostWhenNeitherDatabaseNorJournal() {
    QTemporaryDir home;
    CResultSaver saver(home.filePath(QStringLiteral("gone/journal.jsonl")));
    const SaveReport r = saver.Save(home.filePath(QStringLiteral("gone/results.db")),
                                    test::RowNamed(test::TextsFor(true), QStringLiteral("x")));
    QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Lost));
    QVERIFY(r.Failed());
    QVERIFY(r.Summary().contains(QStringLiteral("LOST")));
}

void ResultDatabaseTest::saveResultReadsAutoSave() {
    QTemporaryDir home;
    const QString ini = home.filePath(QStringLiteral("config.ini"));
    const QString db = home.filePath(QStringLiteral("results.db"));
    const ResultTexts en = test::TextsFor(true);
    CResultSaver saver(home.filePath(QStringLiteral("journal.jsonl")));
    HeadsetValues h;
    h.name = QStringLiteral("HS");
    h.battery = 0;
    h.rssi = 25;

    // Off (the default), then on without a path: nothing written, nothing said.
    QCOMPARE(int(saver.SaveResult(ini, en, h, true, 0, -3.0).outcome),
             int(SaveReport::Outcome::Skipped));
    WriteConfigInt(ini, QStringLiteral("AutoSave"), QStringLiteral("IsSave"), 1);
    QCOMPARE(int(saver.SaveResult(ini, en, h, true, 0, -3.0).outcome),
             int(SaveReport::Outcome::Skipped));
    QVERIFY(!QFile::exists(db));

    WriteConfigText(ini, QStringLiteral("AutoSave"), QStringLiteral("FilePath"), db);
    WriteConfigInt(ini, QStringLiteral("AutoTest"), QStringLiteral("8"), 0);
    const SaveReport r = saver.SaveResult(ini, en, h, false, kStepConnection, -3.0);
    QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Saved));
    const QList<test::SavedRow> rows = ReadSqlite(db, en);
    QCOMPARE(rows.size(), 1);
    const QStringList& v = rows[0].values;
    QCOMPARE(v[1], QStringLiteral("FAIL"));
    QCOMPARE(v[4], QString());  // battery 0
    QCOMPARE(v[5], QString());  // RSSI out of range
    QCOMPARE(v.mid(6),
             (QStringList{"UNTESTED", "UNTESTED", "", "UNTESTED", "UNTESTED", "", "UNTESTED"}));

    // A bare file name is the home folder's, wherever the program was started.
    WriteConfigText(ini, QStringLiteral("AutoSave"), QStringLiteral("FilePath"),
                    QStringLiteral("line results.db"));
    QVERIFY(!saver.SaveResult(ini, en, h, true, 0, -3.0).Failed());
    QCOMPARE(ReadSqlite(home.filePath(QStringLiteral("line results.db")), en).size(), 1);
    QCOMPARE(CResultSaver::ResolveFilePath(ini, QStringLiteral("odbc:DSN=x")),
             QStringLiteral("odbc:DSN=x"));
}

void ResultDatabaseTest::accessOperations() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("ops.db"));
    const QStringList columns{QStringLiteral("Test time"), QStringLiteral("Test result")};
    CAccessOperation op;
    QCOMPARE(op.TableExists(db, QStringLiteral("TEST_EN")), 0);
    QCOMPARE(op.CreateDatabase(db, QStringLiteral("TEST_EN"), columns), 1);
    QCOMPARE(op.TableExists(db, QStringLiteral("TEST_EN")), 1);
    QCOMPARE(op.TableExists(db, QStringLiteral("test_en")), 0);  // names are exact
    // Creating it again fails with the database's own message.
    QCOMPARE(op.CreateTable(db, QStringLiteral("TEST_EN"), columns), 0);
    QVERIFY(op.LastError().contains(QStringLiteral("already exists")));
    QCOMPARE(op.InsertRow(db, QStringLiteral("TEST_EN"), columns,
                          {QStringLiteral("2024-01-31 08:15:00"), QStringLiteral("PASS")}),
             1);
    QCOMPARE(op.InsertRow(db, QStringLiteral("TEST_EN"), columns, {QStringLiteral("x")}), 0);
    QCOMPARE(op.InsertRow(db, QStringLiteral("NO_SUCH"), columns, {"a", "b"}), 0);
    QVERIFY(!op.LastError().isEmpty());
    // Views are not tables.
    ReadSqlite(db, QStringLiteral("CREATE VIEW \"V_EN\" AS SELECT * FROM \"TEST_EN\""));
    QCOMPARE(op.TableExists(db, QStringLiteral("V_EN")), 0);
    const QList<test::SavedRow> rows =
        ReadSqlite(db, QStringLiteral("SELECT \"No\",\"Test result\" FROM \"TEST_EN\""));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].no.toInt(), 1);
    QCOMPARE(op.CreateDatabase(dir.filePath(QStringLiteral("no/such/ops.db")),
                               QStringLiteral("TEST_EN"), columns),
             0);
    QVERIFY(op.LastError().contains(QStringLiteral("does not exist")));
}

void ResultDatabaseTest::odbcSqliteNumbersRows() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC"))) {
        QSKIP("the Qt ODBC driver is not installed");
    }
    const QString driver = QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so");
    if (!QFile::exists(driver)) {
        QSKIP("the SQLite ODBC driver (libsqliteodbc) is not installed");
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("odbc.db"));
    const QString target = QStringLiteral("odbc:Driver=%1;Database=%2").arg(driver, file);
    const ResultTexts en = test::TextsFor(true);
    CResultSaver saver(dir.filePath(QStringLiteral("journal.jsonl")));
    const QString odd = QStringLiteral("O'Brien'); DROP TABLE [TEST_EN];--");
    for (const QString& name : {QStringLiteral("one"), odd}) {
        const SaveReport r = saver.Save(target, test::RowNamed(en, name));
        QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
    }
    // The ODBC driver does not name SQLite; the writer finds out and numbers the rows the
    // SQLite way (an Access "Counter" key would stay empty here).
    const QList<test::SavedRow> rows = ReadSqlite(file, en);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].no.toInt(), 1);
    QCOMPARE(rows[1].no.toInt(), 2);
    QCOMPARE(test::Names(rows), (QStringList{"one", odd}));

    // The same connection string as config.ini holds it.
    const QString ini = dir.filePath(QStringLiteral("config.ini"));
    WriteConfigInt(ini, QStringLiteral("AutoSave"), QStringLiteral("IsSave"), 1);
    WriteConfigText(ini, QStringLiteral("AutoSave"), QStringLiteral("FilePath"), target);
    HeadsetValues h;
    h.name = QStringLiteral("from config");
    const SaveReport r = saver.SaveResult(ini, en, h, true, 0, -1.0);
    QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
    QCOMPARE(test::Names(ReadSqlite(file, en)).last(), QStringLiteral("from config"));
}

void ResultDatabaseTest::workerSavesInOrderOffTheCallerThread() {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("share"));
    const QString db = folder + QStringLiteral("/results.db");
    const ResultTexts en = test::TextsFor(true);
    CResultSaveWorker worker(home.filePath(QStringLiteral("journal.jsonl")));
    test::Reports done(&worker);
    worker.Submit(db, test::RowNamed(en, QStringLiteral("w1")));
    worker.Submit(db, test::RowNamed(en, QStringLiteral("w2")));
    QVERIFY(worker.WaitIdle(10000));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 5000);
    QCOMPARE(int(done.list[1].outcome), int(SaveReport::Outcome::Journalled));
    QCOMPARE(done.list[1].pending, 2);

    QVERIFY(QDir().mkpath(folder));
    worker.SubmitDrain(db);
    worker.Submit(db, test::RowNamed(en, QStringLiteral("w3")));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 4, 10000);
    // w3 is kept in the journal when it is handed over, so the drain may write it too.
    const SaveReport drained = done.list[2];
    const SaveReport last = done.list[3];
    QCOMPARE(int(drained.outcome), int(SaveReport::Outcome::Saved));
    QCOMPARE(int(last.outcome), int(SaveReport::Outcome::Saved));
    QCOMPARE(drained.written + last.written, 3);
    QCOMPARE(test::Names(ReadSqlite(db, en)), (QStringList{"w1", "w2", "w3"}));
}

void ResultDatabaseTest::workerKeepsRowsBeforeItReturns() {
    // A server that accepts connections and never answers holds the saver thread in its
    // connection time-out while more rows are handed over.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    QCOMPARE(::listen(fd, 8), 0);
    const QString silent =
        QStringLiteral("postgresql://station@127.0.0.1:%1/results").arg(ntohs(addr.sin_port));

    QTemporaryDir home;
    const ResultTexts en = test::TextsFor(true);
    const QString journal = home.filePath(QStringLiteral("journal.jsonl"));
    CResultSaveWorker worker(journal, 2);
    test::Reports done(&worker);
    for (int i = 1; i <= 3; ++i) {
        worker.Submit(silent, test::RowNamed(en, QStringLiteral("r%1").arg(i)));
    }
    // All three are on disk although the saver is still stuck on the first.
    CResultJournal check(journal);
    QCOMPARE(check.Count(), 3);
    ::close(fd);  // resets the waiting connection: the saver gives up at once
    QVERIFY(worker.WaitIdle(30000));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 3, 5000);
    for (const SaveReport& r : done.list) {
        QCOMPARE(int(r.outcome), int(SaveReport::Outcome::Journalled));
    }

    // Rows handed over quickly to a working database: the first save drains the journal and
    // may write the later rows too; each is written once and every report says saved.
    const QString db = home.filePath(QStringLiteral("results.db"));
    for (int i = 4; i <= 6; ++i) {
        worker.Submit(db, test::RowNamed(en, QStringLiteral("r%1").arg(i)));
    }
    QVERIFY(worker.WaitIdle(30000));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 6, 5000);
    int written = 0;
    for (int i = 3; i < 6; ++i) {
        const SaveReport r = done.list[i];
        QVERIFY2(!r.Failed(), qPrintable(r.Summary()));
        written += r.written;
    }
    QCOMPARE(written, 6);
    QCOMPARE(test::Names(ReadSqlite(db, en)), (QStringList{"r1", "r2", "r3", "r4", "r5", "r6"}));
    QCOMPARE(check.Count(), 0);
}

QTEST_GUILESS_MAIN(ResultDatabaseTest)
#include "tst_result_database.moc"
