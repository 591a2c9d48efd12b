// Judging of the key test and the parsing of MAC texts the station accepts.
#include <QTest>

#include "keytest/KeyPressParse.h"
#include "keytest/KeyTestWorker.h"
#include "station/MacText.h"

using namespace orv;

Q_DECLARE_METATYPE(QList<int>)

class TestKeyTestPage final : public QObject {
    Q_OBJECT

private slots:
    void judge_data() {
        QTest::addColumn<QString>("enabled");  // key codes switched on, e.g. "12345"
        QTest::addColumn<int>("checkTimes");
        QTest::addColumn<bool>("needTimesCheck");
        QTest::addColumn<QList<int>>("presses");
        QTest::addColumn<bool>("pass");
        QTest::addColumn<bool>("lastFieldDone");

        QTest::newRow("only VOL+, one press")
            << "1" << 1 << false << QList<int>{1} << true << true;
        QTest::newRow("three needed, one each")
            << "12345" << 3 << false << QList<int>{1, 2, 3, 4, 5} << false << true;
        QTest::newRow("three needed, field waits with times check")
            << "12345" << 3 << true << QList<int>{1} << false << false;
        QTest::newRow("three of each")
            << "12345" << 3 << false << QList<int>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5}
            << true << true;
        QTest::newRow("disabled key neither counts nor passes")
            << "1" << 1 << false << QList<int>{2, 3} << false << false;
        QTest::newRow("media group without keys passes")
            << "12" << 2 << false << QList<int>{1, 2, 2, 1} << true << true;
        QTest::newRow("volume group missing VOL-")
            << "123" << 1 << false << QList<int>{1, 3, 3} << false << true;
    }
    void judge() {
        QFETCH(QString, enabled);
        QFETCH(int, checkTimes);
        QFETCH(bool, needTimesCheck);
        QFETCH(QList<int>, presses);
        QFETCH(bool, pass);
        QFETCH(bool, lastFieldDone);
        std::array<bool, 6> on{};
        for (QChar c : enabled)
            on[size_t(c.digitValue())] = true;
        CKeyJudge judge;
        judge.Reset(on, checkTimes, needTimesCheck);
        CKeyJudge::Outcome o;
        for (int key : presses)
            o = judge.Press(key);
        QCOMPARE(o.pass, pass);
        QCOMPARE(o.fieldDone, lastFieldDone);
        // A disabled key is never counted.
        for (int key = 1; key <= 5; ++key) {
            if (!on[size_t(key)])
                QCOMPARE(judge.Count(key), 0);
        }
    }

    void resetStartsAgain() {
        CKeyJudge judge;
        judge.Reset({false, true, false, false, false, false}, 1, false);
        QVERIFY(judge.Press(kKeyVolUp).pass);
        judge.Reset({false, true, false, false, false, false}, 1, false);
        QCOMPARE(judge.Count(kKeyVolUp), 0);
        QVERIFY(!judge.Judge().pass);
        judge.Reset({}, 1, false);
        QVERIFY(!judge.AnyEnabled());
    }

    void macText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("normalised");  // "" = invalid
        QTest::newRow("colons") << "00:1A:7D:DA:71:13"
                                << "00:1a:7d:da:71:13";
        QTest::newRow("bare") << "001A7DDA7113"
                              << "00:1a:7d:da:71:13";
        QTest::newRow("blanks") << "00 1a 7d da 71 13"
                                << "00:1a:7d:da:71:13";
        QTest::newRow("scanner line end") << "001A7DDA7113\r\n"
                                          << "00:1a:7d:da:71:13";
        QTest::newRow("short first pair") << "0:1A:7D:DA:71:13"
                                          << "";
        QTest::newRow("seven pairs") << "00:1A:7D:DA:71:13:14"
                                     << "";
        QTest::newRow("seven pairs bare") << "001A7DDA711314"
                                          << "";
        QTest::newRow("five pairs") << "00:1A:7D:DA:71"
                                    << "";
        QTest::newRow("lone character after six pairs") << "001A7DDA7113 4"
                                                        << "00:1a:7d:da:71:13";
        QTest::newRow("not hex") << "00:1A:7D:DA:71:1G"
                                 << "";
        QTest::newRow("full-width colon") << QStringLiteral("00：1A：7D：DA：71：13") << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void macText() {
        QFETCH(QString, text);
        QFETCH(QString, normalised);
        QCOMPARE(IsValidMacText(text), !normalised.isEmpty());
        QCOMPARE(NormaliseMacText(text), normalised);
    }
};

QTEST_APPLESS_MAIN(TestKeyTestPage)
#include "tst_keytest_page.moc"
