// A short soak in CI: 13 headsets through the remote port, one passing and one of each fault, so
// the mix fails at every step, and a refusing one among them.
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
    void everyHeadsetSavedOnce() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        orv::soak::SoakOptions options;
        options.headsets = 13;
        options.passWeight = 1;
        options.refusedEvery = 7;  // one refusing headset in the middle
        options.baselineAfter = 5;
        options.progressEvery = 0;
        options.workDir = home.path();
        QString text;
        QTextStream out(&text);
        orv::soak::SoakReport r;
        QVERIFY2(orv::soak::RunSoak(options, out, &r), qPrintable(text));
        orv::soak::CheckGoals(&r, false, 0);
        QVERIFY2(r.Ok(),
                 qPrintable(r.problems.join(QLatin1Char('\n')) + QLatin1Char('\n') + text));
        QVERIFY(r.everyStepExpected);
        QCOMPARE(r.headsets, 13);
        QCOMPARE(r.refused, 1);
        QCOMPARE(r.rows, 13);
        QCOMPARE(r.statsTotal, QStringLiteral("13"));
    }
};

QTEST_MAIN(TestSoakShort)
#include "tst_soak_short.moc"
