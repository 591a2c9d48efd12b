#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "config/Config.h"
#include "results/ResultDbCheck.h"
#include "results/ResultTestTexts.h"
#include "results/TestResults.h"

using namespace orv;

namespace {

QList<test::SavedRow> ReadSqlite(const QString& path, const ResultTexts& texts) {
    return test::ReadRows(
        QStringLiteral("QSQLITE"), [path](QSqlDatabase& db) { db.setDatabaseName(path); },
        test::SelectAll(texts.tableName, texts.columns));
}

HeadsetValues Headset(const QString& name) {
    HeadsetValues h;
    h.mac = QStringLiteral("00:07:80:00:00:01");
    h.name = name;
    h.battery = 77;
    h.rssi = -61;
    h.keys = KeyPressCounts{3, 2, 1, 1, 1};
    return h;
}

QStringList Infos(const CTestRecord& record) {
    QStringList infos;
    for (const ItemRow& row : record.Rows()) {
        infos.append(row.info);
    }
    return infos;
}

}  // namespace

// The end of a headset's test as the simple test window drives it.
class TestResultsTest final : public QObject {
    Q_OBJECT
private slots:
    void init();
    void finishSavesCountsAndLaysOutRows();
    void failedSaveIsCountedAndRetried();
    void autoSaveOffWritesNothing();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_ini;
    QString m_db;
};

void TestResultsTest::init() {
    m_home = std::make_unique<QTemporaryDir>();
    m_ini = m_home->filePath(QStringLiteral("config.ini"));
    m_db = m_home->filePath(QStringLiteral("share/results.db"));
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("share"))));
    WriteConfigInt(m_ini, QStringLiteral("AutoSave"), QStringLiteral("IsSave"), 1);
    WriteConfigText(m_ini, QStringLiteral("AutoSave"), QStringLiteral("FilePath"), m_db);
    WriteConfigInt(m_ini, QStringLiteral("RingCheckTest"), QStringLiteral("RingCheckTest"), 1);
}

void TestResultsTest::finishSavesCountsAndLaysOutRows() {
    const ResultTexts en = test::TextsFor(true);
    CTestResults results(en, m_ini, m_home->filePath(QStringLiteral("journal.jsonl")));
    QSignalSpy saved(&results, &CTestResults::saveFinished);
    QSignalSpy finished(&results, &CTestResults::testFinished);
    results.StartRun();
    CTestRecord& record = results.record();
    QVERIFY(record.SetItemResult(QStringLiteral("Name"), QStringLiteral("HS-1"), true));
    QVERIFY(
        record.SetItemResult(QStringLiteral("HFP record"), QStringLiteral("(-8.25dB)OK"), true));
    record.SetHfpMaxLevel(-8.25);
    results.FinishPassed(Headset(QStringLiteral("HS-1")));

    // Counted and laid out at once, while the save runs on its own thread.
    QCOMPARE(results.statistics().PassCount(), 1);
    QCOMPARE(results.LastResult(), 1);
    QCOMPARE(finished.count(), 1);
    for (const QString& info : Infos(record)) {
        QVERIFY(info.isEmpty());
    }
    QVERIFY(results.WaitForSaves(10000));
    QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 5000);
    QCOMPARE(int(saved[0][0].value<SaveReport>().outcome), int(SaveReport::Outcome::Saved));

    // The second headset fails at the key test, with the A2DP item now switched off.
    WriteConfigInt(m_ini, QStringLiteral("AutoTest"), QStringLiteral("5"), 0);
    results.StartRun();
    QVERIFY(!record.SetItemInfo(QStringLiteral("A2DP listening"), QStringLiteral("x")));
    QVERIFY(std::isnan(record.HfpMaxLevel()));  // not the first headset's
    record.SetHfpMaxLevel(-9.5);
    results.FinishFailed(kStepKeyTest, Headset(QStringLiteral("HS-2")));
    QCOMPARE(results.LastResult(), 0);
    QCOMPARE(results.statistics().RateText(), QStringLiteral("50%"));
    QVERIFY(results.WaitForSaves(10000));
    QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 2, 5000);

    const QList<test::SavedRow> rows = ReadSqlite(m_db, en);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].values.mid(6),
             (QStringList{"PASS", "PASS", "MAX=-8.25dB", "PASS", "PASS",
                          "VOL+ = 3,VOL- = 2,Play/Pause=1,Previous=1,Next=1", "PASS"}));
    QCOMPARE(rows[1].values[1], QStringLiteral("FAIL"));
    QCOMPARE(rows[1].values.mid(6),
             (QStringList{"UNTESTED", "PASS", "MAX=-9.50dB", "PASS", "FAIL",
                          "VOL+ = 3,VOL- = 2,Play/Pause=1,Previous=1,Next=1", "UNTESTED"}));
}

void TestResultsTest::failedSaveIsCountedAndRetried() {
    QVERIFY(QDir(m_home->filePath(QStringLiteral("share"))).removeRecursively());
    const ResultTexts cn = test::TextsFor(false);
    CTestResults results(cn, m_ini, m_home->filePath(QStringLiteral("journal.jsonl")));
    QSignalSpy saved(&results, &CTestResults::saveFinished);
    results.FinishFailed(kStepConnection, Headset(QStringLiteral("耳机")));
    results.FinishPassed(Headset(QStringLiteral("HS")));
    QCOMPARE(results.statistics().Total(), 2);
    QVERIFY(results.WaitForSaves(10000));
    QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 2, 5000);
    const SaveReport failed = saved[1][0].value<SaveReport>();
    QVERIFY(failed.Failed());
    QCOMPARE(failed.pending, 2);
    QCOMPARE(results.JournalCount(), 2);

    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("share"))));
    results.RetryJournal();
    QVERIFY(results.WaitForSaves(10000));
    QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 3, 5000);
    QCOMPARE(saved[2][0].value<SaveReport>().written, 2);
    QCOMPARE(results.JournalCount(), 0);
    QCOMPARE(test::Names(ReadSqlite(m_db, cn)), (QStringList{QStringLiteral("耳机"), "HS"}));
}

void TestResultsTest::autoSaveOffWritesNothing() {
    WriteConfigInt(m_ini, QStringLiteral("AutoSave"), QStringLiteral("IsSave"), 0);
    CTestResults results(test::TextsFor(true), m_ini,
                         m_home->filePath(QStringLiteral("journal.jsonl")));
    QSignalSpy saved(&results, &CTestResults::saveFinished);
    results.FinishPassed(Headset(QStringLiteral("HS")));
    results.RetryJournal();
    QVERIFY(results.WaitForSaves(1000));
    QCoreApplication::processEvents();
    QCOMPARE(saved.count(), 0);
    QCOMPARE(results.statistics().PassCount(), 1);
    QVERIFY(!QFile::exists(m_db));
    QVERIFY(!QFile::exists(m_home->filePath(QStringLiteral("journal.jsonl"))));
}

QTEST_GUILESS_MAIN(TestResultsTest)
#include "tst_test_results.moc"
