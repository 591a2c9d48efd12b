// `ORV318PRO --auto-test MAC` as a script runs it: the program against the simulated adapter,
// without a display, in a home folder of its own.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "results/ResultDbCheck.h"

namespace {

const QString kMac = QStringLiteral("00:1a:7d:da:71:13");

QString Scenario(const QString& mic) {
    return QStringLiteral(
               "[Adapter]\nProductId=0x5750\nReplyDelayMs=1\nControlSocket=\n"
               "[Headset1]\nName=Line Headset\nMac=00:1a:7d:da:71:13\nRssi=-47\nBattery=80\n"
               "Profiles=hfp,a2dp,avrcp\nMicLevelDb=%1\nMicToneHz=1000\n"
               "Keys=20:VOL+,40:VOL-,60:PLAY/PAUSE,80:NEXT,100:PREVIOUS\nKeysRepeatMs=150\n")
        .arg(mic);
}

}  // namespace

class TestAutoTestCli final : public QObject {
    Q_OBJECT

private slots:
    void run_data() {
        QTest::addColumn<QString>("mic");
        QTest::addColumn<QString>("adapter");  // empty: the scenario written here
        QTest::addColumn<QString>("mac");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<int>("savedRows");
        QTest::newRow("passing headset") << "-12"
                                         << "" << kMac << 0 << "Verdict: PASS" << 1;
        QTest::newRow("silent microphone") << ""
                                           << "" << kMac << 1 << "Verdict: FAIL (step 6)" << 1;
        QTest::newRow("no adapter")
            << "-12"
            << "sim:/nonexistent/scenario.ini" << kMac << 2 << "Not tested" << 0;
        QTest::newRow("invalid MAC") << "-12"
                                     << ""
                                     << "00:1a:7d" << 2 << "Not tested" << 0;
        QTest::newRow("nobody answers") << "-12"
                                        << ""
                                        << "00:1a:7d:da:71:99" << 2 << "Verdict: NOT TESTED" << 0;
    }

    void run() {
        QFETCH(QString, mic);
        QFETCH(QString, adapter);
        QFETCH(QString, mac);
        QFETCH(int, exitCode);
        QFETCH(QString, verdict);
        QFETCH(int, savedRows);

        QTemporaryDir home;
        QVERIFY(home.isValid());
        QFile scenario(home.filePath(QStringLiteral("scenario.ini")));
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write(Scenario(mic).toUtf8());
        scenario.close();
        QFile config(home.filePath(QStringLiteral("config.ini")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        // English, auto-save to a file beside config.ini, short play and record times.
        config.write(
            "[Lang]\r\nLang=1\r\n[AutoSave]\r\nIsSave=1\r\nFilePath=results.db\r\n"
            "[Play]\r\nPlayTimes=1.0\r\n[PlayRecord]\r\nPlayTimes=1.0\r\n"
            "[Record]\r\nCaptureTimes=1.0\r\n[Search Setup]\r\nTimeOut=3\r\n");
        config.close();
        QDir().mkpath(home.filePath(QStringLiteral("wav")));
        QVERIFY(QFile::copy(QStringLiteral(ORV_BINARY_DIR "/bin/wav/20-20k.wav"),
                            home.filePath(QStringLiteral("wav/20-20k.wav"))));

        QProcess program;
        program.setProgram(QStringLiteral(ORV_BINARY_DIR "/bin/ORV318PRO"));
        program.setArguments(
            {QStringLiteral("--home"), home.path(), QStringLiteral("--adapter"),
             adapter.isEmpty() ? QStringLiteral("sim:") + scenario.fileName() : adapter,
             QStringLiteral("--headless"), QStringLiteral("--auto-test"), mac});
        program.start();
        QVERIFY(program.waitForFinished(90000));
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(out));
        QVERIFY2(program.exitCode() == exitCode, qPrintable(out));
        QVERIFY2(out.contains(verdict), qPrintable(out));
        if (exitCode != 2) {
            // Every item row: item, information, result, time.
            QVERIFY2(out.contains(QStringLiteral("Name | Line Headset | PASS | ")),
                     qPrintable(out));
        }

        const QString db = home.filePath(QStringLiteral("results.db"));
        QString error;
        const auto rows = orv::test::ReadRows(
            QStringLiteral("QSQLITE"), [&db](QSqlDatabase& d) { d.setDatabaseName(db); },
            QStringLiteral("SELECT * FROM TEST_EN"), &error);
        QCOMPARE(rows.size(), savedRows);
        if (savedRows == 1)
            QCOMPARE(rows.first().values.value(1),
                     exitCode == 0 ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    }
};

QTEST_GUILESS_MAIN(TestAutoTestCli)
#include "tst_autotest_cli.moc"
