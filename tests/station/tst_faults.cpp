// Faults of the module, of the result database and of a headset's name, end to end without
// sound: the station through the simulated adapter, the simple test window and the SQLite file
// in the test's home folder. Each case ends with the operator told, the verdict recorded (or
// journalled) and the same station testing the next headset. Faults of the lines while sound
// plays are in tst_fault_lines.
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <atomic>

#include "audiodriver/MediaBackend.h"
#include "station/StationFixture.h"
#include "station/StationUi.h"

using namespace orv;
using orv::test::StationFixture;

namespace {

// The name row's result, spaces and case ignored.
bool NameRowDone(CTestRecord& record) {
    const QString name = UiString(159).toLower();
    for (const ItemRow& r : record.Rows())
        if (r.item.toLower() == name)
            return !r.result.isEmpty();
    return false;
}

// Runs `action` once on the thread that writes the name row's result (the one-key test's),
// before the next item starts.
class AfterName final : public QObject {
public:
    AfterName(CTestRecord& record, std::function<void()> action)
        : m_record(record), m_action(std::move(action)) {
        connect(
            &record, &CTestRecord::rowChanged, this,
            [this](int) {
                if (NameRowDone(m_record) && !m_done.exchange(true))
                    m_action();
            },
            Qt::DirectConnection);
    }
    bool Done() const { return m_done.load(); }

private:
    CTestRecord& m_record;
    std::function<void()> m_action;
    std::atomic<bool> m_done{false};
};

// Makes `path` unwritable even for root (the immutable attribute), or gives false.
bool MakeReadOnly(const QString& path, bool readOnly) {
    if (::geteuid() != 0)
        return QFile::setPermissions(
            path, readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"),
                 {readOnly ? QStringLiteral("+i") : QStringLiteral("-i"), path});
    return chattr.waitForFinished(5000) && chattr.exitStatus() == QProcess::NormalExit &&
           chattr.exitCode() == 0;
}

}  // namespace

class TestFaults final : public QObject {
    Q_OBJECT

private:
    StationFixture m_f;

private slots:
    void initTestCase() {
        const QString error = m_f.Init();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { m_f.CloseStation(); }

    // The module never ends its banner with "READY.": every reset waits its time out, the log
    // says why, and tests still pass and are saved.
    void moduleNeverReady() {
        m_f.NewCase(test::NameOnlyItems());
        const QString made =
            m_f.MakeStation(test::FixtureScenario({QStringLiteral("Faults=no-ready")}));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        const qint64 mark = StationFixture::LogMark();
        QString text;
        QVERIFY2(m_f.Run(&text, 30000) == kAutoTestPass, qPrintable(text));
        // The end of the test resets the module through Disconnect.
        QTRY_VERIFY_WITH_TIMEOUT(StationFixture::LogSince(mark).contains(QStringLiteral(
                                     "The module did not report READY. within 3000 ms")),
                                 10000);
        QVERIFY(m_f.Window()->Results().WaitForSaves(10000));
        QCOMPARE(m_f.Rows().size(), 1);
        m_f.NextHeadsetPasses(1);
    }

    // The module reboots while the station connects the headset: the links vanish without a
    // word. The connection fails and says so, nothing is counted, the next attempt passes.
    void moduleRebootsMidConnect() {
        m_f.NewCase(test::NameOnlyItems());
        const QString made = m_f.MakeStation(test::FixtureScenario(
            {QStringLiteral("Faults=reboot-after-ms=60")}, {QStringLiteral("ConnectMs=100")}));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        const qint64 mark = StationFixture::LogMark();
        QString text;
        int rows = 0;
        m_f.CheckOutcome(m_f.Run(&text, 40000), text, &rows);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(StationFixture::LogSince(mark).contains(
            QStringLiteral("The module restarted without a reset; its links are gone")));
        m_f.NextHeadsetPasses(rows);
    }

    // Auto-save on, the database cannot take the row: it waits in the journal, the window and
    // the log say so, the test is counted; once the database is back the next save writes it
    // first.
    void databaseCannotTakeRow_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only file") << QStringLiteral("read-only");
        QTest::newRow("disk full") << QStringLiteral("full");
        QTest::newRow("locked by another program") << QStringLiteral("locked");
        QTest::newRow("unavailable (its folder is gone)") << QStringLiteral("unavailable");
    }
    void databaseCannotTakeRow() {
        QFETCH(QString, fault);
        m_f.NewCase(test::NameOnlyItems());
        const QString good = m_f.DbPath();
        const QString made = m_f.MakeStation(test::FixtureScenario({}));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        CTestResults& results = m_f.Window()->Results();
        QString text;
        // A first row makes the file and its table.
        QVERIFY2(m_f.Run(&text, 30000) == kAutoTestPass, qPrintable(text));
        QVERIFY(results.WaitForSaves(10000));
        QCOMPARE(StationFixture::Rows(good).size(), 1);

        const QString holderName = QStringLiteral("holder");
        bool readOnly = false;
        // Undone whatever the checks below find, so that the home folder can go.
        auto restore = [&] {
            if (readOnly)
                readOnly = !MakeReadOnly(good, false);
            if (QSqlDatabase::contains(holderName)) {
                {
                    QSqlDatabase db = QSqlDatabase::database(holderName);
                    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                    db.close();
                }
                QSqlDatabase::removeDatabase(holderName);
            }
        };
        auto undo = qScopeGuard(restore);
        if (fault == QLatin1String("read-only")) {
            readOnly = MakeReadOnly(good, true);
            if (!readOnly)
                QSKIP("cannot make a file read-only here");
        } else if (fault == QLatin1String("full")) {
            // Every write fails with ENOSPC, as on a full disk.
            const QString full =
                m_f.Home(QStringLiteral("full-%1.db").arg(QTest::currentDataTag()));
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), full));
            StationFixture::Apply({QStringLiteral("AutoSave/FilePath=") + full});
        } else if (fault == QLatin1String("unavailable")) {
            // A network share or USB disk that went away: the folder of the file is not there.
            const QString gone = m_f.Home(QStringLiteral("unmounted/results.db"));
            QVERIFY(!QFileInfo::exists(QFileInfo(gone).path()));
            StationFixture::Apply({QStringLiteral("AutoSave/FilePath=") + gone});
        } else {
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holderName);
            holder.setDatabaseName(good);
            QVERIFY(holder.open());
            QSqlQuery q(holder);
            QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        }

        const qint64 mark = StationFixture::LogMark();
        QVERIFY2(m_f.Run(&text, 30000) == kAutoTestPass, qPrintable(text));
        QVERIFY(results.WaitForSaves(20000));
        QCOMPARE(results.JournalCount(), 1);
        QCOMPARE(results.statistics().PassCount(), 2);
        auto* status = m_f.Window()->findChild<QLabel*>(QStringLiteral("SaveStatus"));
        QVERIFY(status);
        QTRY_VERIFY(status->isVisible());
        QVERIFY2(status->text().contains(QStringLiteral("journal")), qPrintable(status->text()));
        QVERIFY(StationFixture::LogSince(mark).contains(QStringLiteral("Result not saved")));
        QVERIFY(!StationFixture::LogSince(mark).contains(QStringLiteral("Result LOST")));

        // Back to the good file: the waiting row goes first, then the new one.
        restore();
        StationFixture::Apply({QStringLiteral("AutoSave/FilePath=") + good});
        m_f.NextHeadsetPasses(2);
        QCOMPARE(results.JournalCount(), 0);
        QTRY_VERIFY(!status->isVisible());
    }

    // Names a headset may give: stored as they stand in a bound parameter, read back intact,
    // and the table still there for the next headset.
    void hostileHeadsetName_data() {
        QTest::addColumn<QByteArray>("bytes");  // as the module prints them between quotes
        QTest::addColumn<QString>("stored");
        const QByteArray sql = "O'Brien'); DROP TABLE \"TEST_EN\";-- [TEST_EN]; DELETE FROM x";
        QTest::newRow("SQL quotes and injection") << sql << QString::fromUtf8(sql);
        QByteArray longName;
        for (int i = 0; i < 50; ++i)
            longName += "Headset'" + QByteArray::number(i % 10);  // 500 characters
        QTest::newRow("500 characters") << longName << QString::fromUtf8(longName);
        // Each byte that is no UTF-8 (or a cut sequence) becomes one U+FFFD, the rest stays.
        QTest::newRow("invalid UTF-8")
            << QByteArray("Bad \xff\xfe UTF-8 \xc3( \xe2\x82 end")
            << QStringLiteral("Bad \uFFFD\uFFFD UTF-8 \uFFFD( \uFFFD end");
        const QByteArray control = "Ctl\x01\x02\x07\x08\t\x0b\x0c\x1b[31mred\x7f end";
        QTest::newRow("control characters") << control << QString::fromUtf8(control);
        // U+FEFF inside a name is no byte-order mark; U+1F3A7 needs two UTF-16 units.
        const QByteArray marks = "耳机 \xe2\x80\x8e\xef\xbb\xbf名 \xf0\x9f\x8e\xa7";
        QTest::newRow("Chinese, invisible marks, emoji") << marks << QString::fromUtf8(marks);
    }
    void hostileHeadsetName() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, stored);
        m_f.NewCase(test::NameOnlyItems());
        const QString made = m_f.MakeStation(test::FixtureScenario({}));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        // The headset renames itself once the name row is written; the record takes the name
        // the link state holds at the end of the test. The test's thread waits here until the
        // parser has the new name (or two seconds have passed).
        CModuleParser& parser = m_f.dlg->Link()->Parser();
        QString held;  // the name as the station took it from the module
        AfterName rename(m_f.Window()->Results().record(), [&] {
            const QString before = parser.GetName();
            m_f.injector->Inject("NAME " + test::kFixtureMac.toLatin1() + " \"" + bytes +
                                 "\"\r\n");
            parser.WaitFor([&](const LinkState& s) { return s.targetName != before; }, 2000);
            held = parser.GetName();
        });
        QString text;
        QVERIFY2(m_f.Run(&text, 30000) == kAutoTestPass, qPrintable(text));
        QVERIFY(rename.Done());
        QVERIFY(m_f.Window()->Results().WaitForSaves(10000));
        QCOMPARE(m_f.Window()->Results().JournalCount(), 0);
        const auto rows = m_f.Rows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(held, stored);
        QCOMPARE(rows.first().values.value(test::kSavedName), stored);
        QCOMPARE(rows.first().values.value(test::kSavedMac), test::kFixtureMac);
        m_f.NextHeadsetPasses(1);
    }
};

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    QApplication app(argc, argv);
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_faults.moc"
