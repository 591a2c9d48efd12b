// The key counter: AVRCP lines in, key presses out.
#include <QTest>

#include "keytest/KeyPressParse.h"

using namespace orv;

class TestKeyPressParse final : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<int>("reference");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("counted");
        QTest::addColumn<int>("key");
        const QString changed =
            QStringLiteral("AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED %1");
        QTest::newRow("louder is VOL+") << 50 << changed.arg(60) << 1 << int(kKeyVolUp);
        QTest::newRow("quieter is VOL-") << 50 << changed.arg(40) << 1 << int(kKeyVolDown);
        QTest::newRow("equal at the top is VOL+")
            << 100 << changed.arg(100) << 1 << int(kKeyVolUp);
        QTest::newRow("equal at 40 is VOL+") << 40 << changed.arg(40) << 1 << int(kKeyVolUp);
        QTest::newRow("equal at 20 is VOL-") << 20 << changed.arg(20) << 1 << int(kKeyVolDown);
        QTest::newRow("not a number counts nothing")
            << 50 << changed.arg("x1") << 0 << int(kKeyNone);
        QTest::newRow("play release") << 0 << "AVRCP PLAY RELEASE" << 1 << int(kKeyPlayPause);
        QTest::newRow("pause release") << 0 << "\nAVRCP PAUSE RELEASE" << 1 << int(kKeyPlayPause);
        QTest::newRow("forward release") << 0 << "AVRCP FORWARD RELEASE" << 1 << int(kKeyNext);
        QTest::newRow("backward release")
            << 0 << "AVRCP BACKWARD RELEASE" << 1 << int(kKeyPrevious);
        QTest::newRow("press is not counted") << 0 << "AVRCP PLAY PRESS" << 0 << int(kKeyNone);
        QTest::newRow("other line") << 0 << "A2DP STREAMING START 1" << 0 << int(kKeyNone);
    }
    void parse() {
        QFETCH(int, reference);
        QFETCH(QString, line);
        QFETCH(int, counted);
        QFETCH(int, key);
        CKeyPressParse p;
        p.m_refVolume = reference;
        QCOMPARE(p.Parse(line), counted);
        QCOMPARE(p.m_lastKey, key);
        QCOMPARE(p.m_newKey, counted);
        const int total = p.m_volUpCount + p.m_volDownCount + p.m_playPauseCount + p.m_nextCount +
                          p.m_previousCount;
        QCOMPARE(total, counted);
        QCOMPARE(p.m_refVolume, reference);  // a change report never moves the reference
    }

    void interimSetsReference() {
        CKeyPressParse p;
        QCOMPARE(p.Parse("AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 55 x"), 0);
        QCOMPARE(p.m_refVolume, 55);
        QCOMPARE(p.m_newKey, 0);
        QCOMPARE(p.Parse("AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 54"), 1);
        QCOMPARE(p.m_volDownCount, 1);
        p.Clear();
        QCOMPARE(p.m_volDownCount, 0);
        QCOMPARE(p.m_lastKey, int(kKeyNone));
        QCOMPARE(p.m_refVolume, 55);
    }
};

QTEST_GUILESS_MAIN(TestKeyPressParse)
#include "tst_keypressparse.moc"
