// The program as a user starts it: its options, a headless run in a home folder of its own,
// and an orderly end on SIGTERM or SIGINT.
#include <QDate>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "shell/AppOptions.h"
#include "shell/LogWriter.h"

using namespace orv;

namespace {
QString Program() {
    return QStringLiteral(ORV_PROGRAM);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

class TestProgram final : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("home");
        QTest::addColumn<bool>("headless");
        QTest::addColumn<QString>("adapter");
        const int run = int(ParseResult::Run);
        const int help = int(ParseResult::Help);
        const int error = int(ParseResult::Error);
        QTest::newRow("nothing") << QStringList{} << run << "" << false << "hid";
        QTest::newRow("all") << QStringList{"--home", "/tmp/x", "--headless", "--adapter",
                                            "sim:demo.scn"}
                             << run << "/tmp/x" << true << "sim:demo.scn";
        QTest::newRow("equals forms")
            << QStringList{"--home=/a b", "--adapter=hid"} << run << "/a b" << false << "hid";
        QTest::newRow("help wins")
            << QStringList{"--headless", "--help"} << help << "" << true << "hid";
        QTest::newRow("-h") << QStringList{"-h"} << help << "" << false << "hid";
        QTest::newRow("home without value")
            << QStringList{"--home"} << error << "" << false << "hid";
        QTest::newRow("empty adapter")
            << QStringList{"--adapter="} << error << "" << false << "hid";
        QTest::newRow("unknown") << QStringList{"--simulate"} << error << "" << false << "hid";
        QTest::newRow("stray word") << QStringList{"demo"} << error << "" << false << "hid";
    }

    void parse() {
        QFETCH(QStringList, args);
        QFETCH(int, result);
        QFETCH(QString, home);
        QFETCH(bool, headless);
        QFETCH(QString, adapter);
        AppOptions o;
        QString error;
        QCOMPARE(int(ParseAppOptions(args, &o, &error)), result);
        QCOMPARE(error.isEmpty(), result != int(ParseResult::Error));
        if (result == int(ParseResult::Run)) {
            QCOMPARE(o.home, home);
            QCOMPARE(o.headless, headless);
            QCOMPARE(o.adapter, adapter);
        }
    }

    void help() {
        QProcess p;
        // --help needs no display and no platform at all.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":99"));
        p.setProcessEnvironment(env);
        p.start(Program(), {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        for (const char* option : {"--home DIR", "--headless", "--adapter CONNECTION", "--help"}) {
            QVERIFY2(out.contains(QLatin1String(option)), qPrintable(out));
        }
    }

    void badOption() {
        QProcess p;
        p.start(Program(), {QStringLiteral("--no-such-option")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("unknown argument: --no-such-option"));
    }

    // Started without any display (the offscreen platform is chosen by the program), in a home
    // folder that does not exist yet; the signal ends it in order.
    void headlessRunEndsInOrder_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void headlessRunEndsInOrder() {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString home = dir.filePath(QStringLiteral("station"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(Program(), {QStringLiteral("--home"), home, QStringLiteral("--headless")});
        QVERIFY(p.waitForStarted(20000));

        const QString log = home + QStringLiteral("/log/") +
                            QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                            QStringLiteral(".txt");
        const QByteArray start = QByteArray("[TRACE]: ") + kStartOfProgram;
        const QByteArray end = QByteArray("[TRACE]: ") + kEndOfProgram;
        QTRY_VERIFY_WITH_TIMEOUT(ReadAll(log).contains(start), 20000);
        QVERIFY(!ReadAll(log).contains(end));
        QVERIFY(QFile::exists(home + QStringLiteral("/config.ini")));
        QVERIFY(QFileInfo(home + QStringLiteral("/crash")).isDir());

        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);

        // The banners frame the run once each; whatever the main window logs lies between them.
        const QByteArray text = ReadAll(log);
        QCOMPARE(text.count(start), 1);
        QCOMPARE(text.count(end), 1);
        QVERIFY(text.indexOf(start) < text.indexOf(end));
        QVERIFY(text.endsWith(end + '\n'));
        QVERIFY(QFile::exists(home + QStringLiteral("/config.ini")));
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
