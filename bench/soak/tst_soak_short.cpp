// A short soak in CI: 30 headsets through the remote port, the mix failing at every step.
// Guards that each tested headset is saved exactly once, a refused one never, that the
// statistics strip agrees with the rows and that each verdict is the one its fault calls for.
// The full 1,000-headset run with the memory, descriptor and thread goals is bench_soak.
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "SoakRun.h"

class TestSoakShort final : public QObject {
    Q_OBJECT

private slots:
    void thirtyHeadsetsEachSavedOnce() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        orv::soak::SoakOptions options;
        options.headsets = 30;
        options.refusedEvery = 15;  // one refusing headset in the middle
        options.baselineAfter = 10;
        options.progressEvery = 0;
        options.workDir = home.path();
        QString text;
        QTextStream out(&text);
        orv::soak::SoakReport r;
        QVERIFY2(orv::soak::RunSoak(options, out, &r), qPrintable(text));
        orv::soak::CheckGoals(&r, false, 0);
        QVERIFY2(r.Ok(),
                 qPrintable(r.problems.join(QLatin1Char('\n')) + QLatin1Char('\n') + text));
        QCOMPARE(r.headsets, 30);
        QCOMPARE(r.refused, 1);
        QCOMPARE(r.rows, 30);
        QCOMPARE(r.statsTotal, QStringLiteral("30"));
    }
};

QTEST_MAIN(TestSoakShort)
#include "tst_soak_short.moc"
