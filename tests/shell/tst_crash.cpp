// Crash records: a child process that dies of a fatal signal leaves a record named after the
// local time, and the process still ends by that signal; the crash folder's housekeeping.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestCrash final : public QObject {
    Q_OBJECT

private:
    static QString helper() { return QStringLiteral(ORV_CRASH_HELPER); }

    static void run(const QString& home, const QString& how, QProcess* p, qint64* pid) {
        p->start(helper(), {home, how});
        QVERIFY2(p->waitForStarted(20000), qPrintable(p->errorString()));
        *pid = p->processId();
        QVERIFY2(p->waitForFinished(20000), qPrintable(p->errorString()));
    }

private slots:
    void crashWritesRecord_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("name");
        QTest::newRow("null pointer") << "segv" << int(SIGSEGV) << "SIGSEGV";
        QTest::newRow("stack overflow") << "overflow" << int(SIGSEGV) << "SIGSEGV";
        QTest::newRow("abort") << "abort" << int(SIGABRT) << "SIGABRT";
        QTest::newRow("floating point") << "fpe" << int(SIGFPE) << "SIGFPE";
        QTest::newRow("illegal instruction") << "ill" << int(SIGILL) << "SIGILL";
        QTest::newRow("bus error") << "bus" << int(SIGBUS) << "SIGBUS";
    }

    void crashWritesRecord() {
        QFETCH(QString, how);
        QFETCH(int, signal);
        QFETCH(QString, name);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

        QProcess p;
        qint64 pid = 0;
        run(home.path(), how, &p, &pid);
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(p.exitCode(), signal);  // ended by the signal itself, not an exit code

        const QDir crash(home.filePath(QStringLiteral("crash")));
        const QStringList records = crash.entryList(QDir::Files);
        QCOMPARE(records.size(), 1);
        const QString file = records.first();
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\\d{8}_\\d{6}\\.dmp$")).match(file).hasMatch(),
            qPrintable(file));
        // The name is the local time of the crash.
        const QDateTime stamp =
            QDateTime::fromString(file.left(15), QStringLiteral("yyyyMMdd_HHmmss"));
        QVERIFY(stamp.isValid());
        QVERIFY2(stamp >= before && stamp <= QDateTime::currentDateTime().addSecs(1),
                 qPrintable(stamp.toString() + " vs " + before.toString()));

        QFile f(crash.filePath(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.contains(QStringLiteral("signal: %1 (%2)").arg(signal).arg(name)),
                 qPrintable(text));
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("address: 0x[0-9a-f]+\\n"))));
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("thread: \\d+\\n"))));
        QVERIFY(text.contains(QStringLiteral("process: %1\n").arg(pid)));
        const qsizetype bt = text.indexOf(QStringLiteral("backtrace:\n"));
        QVERIFY(bt > 0);
        QVERIFY2(text.mid(bt).count(QLatin1Char('\n')) >= 3, qPrintable(text));
        if (how == QLatin1String("segv")) {
            QVERIFY(text.contains(QStringLiteral("address: 0x0\n")));
        }
    }

    // A crash folder that is gone by the time of the crash is made again.
    void folderRemovedAfterStart() {
        QTemporaryDir home;
        QProcess p;
        p.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral("\"$0\" \"$1\" install && rm -r \"$1/crash\" && \"$0\" \"$1\" abort"),
             helper(), home.path()});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(QDir(home.filePath(QStringLiteral("crash"))).entryList(QDir::Files).size(), 1);
    }

    void housekeeping_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("left");
        QTest::newRow("no folder yet") << -1 << 0;
        QTest::newRow("99 kept") << 99 << 99;
        QTest::newRow("100 emptied") << 100 << 0;
        QTest::newRow("150 emptied") << 150 << 0;
    }

    void housekeeping() {
        QFETCH(int, entries);
        QFETCH(int, left);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("crash"));
        if (entries >= 0) {
            QVERIFY(QDir().mkpath(folder));
            for (int i = 0; i < entries; ++i) {
                QFile f(QStringLiteral("%1/2026010%2_1200%3.dmp")
                            .arg(folder)
                            .arg(i % 9)
                            .arg(i, 2, 10, QLatin1Char('0')));
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), entries);
        }
        QProcess p;
        qint64 pid = 0;
        run(home.path(), QStringLiteral("install"), &p, &pid);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QDir(folder).exists());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), left);
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
