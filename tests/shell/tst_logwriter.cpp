// The log: line format, the daily file, the banners and many threads writing at once.
#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "config/AppHome.h"
#include "shell/LogWriter.h"

using namespace orv;

namespace {
QList<QByteArray> LogLines() {
    QFile f(CLogWriter::Instance()->path());
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

const QRegularExpression kLine(QStringLiteral(
    "^(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
    "[ 123]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}  \\[(INFO|TRACE)\\]: (.*)$"));
}  // namespace

class TestLogWriter final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        QVERIFY(!QFile::exists(m_home.filePath(QStringLiteral("log"))));
    }

    // The file is log/<local date>.txt, the folder made on the first line.
    void dailyFile() {
        LogInfo(QStringLiteral("first"));
        const QString expected = m_home.filePath(
            QStringLiteral("log/%1.txt").arg(QDate::currentDate().toString("yyyyMMdd")));
        QCOMPARE(CLogWriter::Instance()->path(), expected);
        QVERIFY(QFile::exists(expected));
    }

    void timeText_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("epoch") << qint64(0);
        QTest::newRow("single-digit day") << qint64(1764753901);  // 3 Dec 2025
        QTest::newRow("two-digit day") << qint64(1765400000);     // 10 Dec 2025
        QTest::newRow("leap day") << qint64(1709208000);          // 29 Feb 2024
        QTest::newRow("end of year") << qint64(1798761599);       // 31 Dec 2026 23:59:59
    }

    // Same text as the C library's ctime without its line end, in any locale.
    void timeText() {
        QFETCH(qint64, seconds);
        const std::time_t t = static_cast<std::time_t>(seconds);
        char buf[32];
        QVERIFY(ctime_r(&t, buf) != nullptr);
        const QString expected = QString::fromLatin1(buf).chopped(1);
        QCOMPARE(expected.size(), 24);
        QCOMPARE(CLogWriter::TimeText(seconds), expected);
    }

    void lineFormat_data() {
        QTest::addColumn<bool>("trace");
        QTest::addColumn<QString>("message");
        QTest::newRow("info") << false << "send:AT";
        QTest::newRow("trace") << true << "Clicked Button Inquiry";
        QTest::newRow("Chinese") << false << QString::fromUtf8("蓝牙连接");
        QTest::newRow("empty") << true << "";
    }

    void lineFormat() {
        QFETCH(bool, trace);
        QFETCH(QString, message);
        const qsizetype before = LogLines().size();
        trace ? LogTrace(message) : LogInfo(message);
        const QList<QByteArray> lines = LogLines();
        QCOMPARE(lines.size(), before + 1);
        const QRegularExpressionMatch m = kLine.match(QString::fromUtf8(lines.last()));
        QVERIFY2(m.hasMatch(), lines.last().constData());
        QCOMPARE(m.captured(3), trace ? QStringLiteral("TRACE") : QStringLiteral("INFO"));
        QCOMPARE(m.captured(4), message);
    }

    void banners() {
        const QString start = QString::fromLatin1(kStartOfProgram);
        const QString end = QString::fromLatin1(kEndOfProgram);
        QCOMPARE(start.size(), 82);
        QCOMPARE(end.size(), 80);
        const QString rule(31, QLatin1Char('='));
        QCOMPARE(start, QStringLiteral("<%1 START OF PROGRAM %1>").arg(rule));
        QCOMPARE(end, QStringLiteral("<%1 END OF PROGRAM %1>").arg(rule));
    }

    // Eight threads, lines from a few characters to several kilobytes: every line arrives
    // whole, once, and each thread's lines keep their order.
    void concurrentWriters() {
        constexpr int kThreads = 8;
        constexpr int kLines = 300;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < kLines; ++i) {
                    const QString pad(i % 7 == 0 ? 5000 : i % 13, QLatin1Char('a' + t));
                    const QString msg = QStringLiteral("T%1 #%2 %3").arg(t).arg(i).arg(pad);
                    t % 2 == 0 ? LogInfo(msg) : LogTrace(msg);
                }
            });
        }
        for (std::thread& th : threads) {
            th.join();
        }
        int next[kThreads] = {};
        const QRegularExpression body(QStringLiteral("^T(\\d) #(\\d+) ([a-h]*)$"));
        for (const QByteArray& line : LogLines()) {
            const QRegularExpressionMatch m = kLine.match(QString::fromUtf8(line));
            QVERIFY2(m.hasMatch(), line.left(200).constData());
            const QRegularExpressionMatch b = body.match(m.captured(4));
            if (!b.hasMatch()) {
                continue;  // a line of an earlier case
            }
            const int t = b.captured(1).toInt();
            const int i = b.captured(2).toInt();
            QCOMPARE(i, next[t]);
            QCOMPARE(b.captured(3), QString(i % 7 == 0 ? 5000 : i % 13, QLatin1Char('a' + t)));
            QCOMPARE(m.captured(3), t % 2 == 0 ? QStringLiteral("INFO") : QStringLiteral("TRACE"));
            ++next[t];
        }
        for (int t = 0; t < kThreads; ++t) {
            QCOMPARE(next[t], kLines);
        }
    }
};

int main(int argc, char** argv) {
    // A zone with summer time, so the check against ctime covers local time, not just UTC.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    TestLogWriter test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_logwriter.moc"
