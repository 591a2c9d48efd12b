// Report framing: what a command looks like on the wire, and how received reports decode.
#include <QTest>

#include "adapter/ReportText.h"

using namespace orv;

namespace {

Report MakeReport(const QByteArray& payload) {
    Report r{};
    for (int i = 0; i < payload.size() && i < kReportTextSize; ++i) {
        r[static_cast<size_t>(i) + 1] = static_cast<std::uint8_t>(payload[i]);
    }
    return r;
}

}  // namespace

class TestReportText final : public QObject {
    Q_OBJECT
private slots:
    void encode_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("short command") << "reset\r\n" << QByteArray("reset\r\n");
        QTest::newRow("63-character command keeps its CR, loses its LF")
            << QString(63, 'a') + "\r\n"
            << QByteArray(63, 'a') + "\r";
        QTest::newRow("64-character command loses its line end") << QString(64, 'b') + "\r\n"
                                                                 << QByteArray(64, 'b');
        QTest::newRow("units above 8 bits keep their low byte") << QString(QChar(0x4E2D)) + "A"
                                                                << QByteArray(
                                                                       "\x2D"
                                                                       "A");
        QTest::newRow("joined commands stay one report") << "close 0\rclose 1\r\n"
                                                         << QByteArray("close 0\rclose 1\r\n");
    }
    void encode() {
        QFETCH(QString, line);
        QFETCH(QByteArray, payload);
        const Report r = EncodeReport(line);
        QCOMPARE(r[0], std::uint8_t{0});
        QCOMPARE(ReportPayload(r), payload);
        for (int i = payload.size() + 1; i < kReportSize; ++i) {
            QCOMPARE(r[static_cast<size_t>(i)], std::uint8_t{0});
        }
    }

    void decode_data() {
        QTest::addColumn<QList<QByteArray>>("reports");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QList<QByteArray>{"READY.\r\n"} << "READY.\r\n";
        QTest::newRow("zero first gives empty text")
            << QList<QByteArray>{QByteArray("\0abc", 4)} << "";
        QTest::newRow("text ends at the first zero")
            << QList<QByteArray>{QByteArray("ab\0cd", 5)} << "ab";
        QTest::newRow("chinese name, three-byte UTF-8")
            << QList<QByteArray>{"NAME \xe8\x80\xb3\xe6\x9c\xba\r\n"}
            << QString::fromUtf8("NAME \xe8\x80\xb3\xe6\x9c\xba\r\n");
        QTest::newRow("two-byte character")
            << QList<QByteArray>{"caf\xc3\xa9\r\n"} << QString::fromUtf8("caf\xc3\xa9\r\n");
        QTest::newRow("character cut across two full reports")
            << QList<QByteArray>{QByteArray(62, 'x') + "\xe8\x80", "\xb3\r\n"}
            << QString(62, 'x') + QString::fromUtf8("\xe8\x80\xb3\r\n");
        QTest::newRow("invalid bytes never swallow the line end")
            << QList<QByteArray>{"a\xe8\r\nb\xff\r\n"}
            << QString("a") + QChar(0xFFFD) + "\r\nb" + QChar(0xFFFD) + "\r\n";
        QTest::newRow("lone continuation byte")
            << QList<QByteArray>{"\x80ok"} << QString(QChar(0xFFFD)) + "ok";
    }
    void decode() {
        QFETCH(QList<QByteArray>, reports);
        QFETCH(QString, text);
        CReportDecoder decoder;
        QString all;
        for (const QByteArray& payload : reports) {
            all += decoder.Decode(MakeReport(payload), kReportSize);
        }
        QCOMPARE(all, text);
    }
};

QTEST_GUILESS_MAIN(TestReportText)
#include "tst_reporttext.moc"
