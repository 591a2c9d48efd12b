// Which audio device the player and the recorder take, from tables of descriptions.

#include <QtTest>

#include "audio/AdapterDeviceRule.h"

class TestDeviceRule final : public QObject {
    Q_OBJECT
private slots:
    void playback_data();
    void playback();
    void capture_data();
    void capture();
};

void TestDeviceRule::playback_data() {
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<bool>("deviceB");
    QTest::addColumn<int>("chosen");

    QTest::newRow("none") << QStringList{} << false << -1;
    QTest::newRow("the adapter among others")
        << QStringList{"Built-in Audio", "Speakers (ORV318Pro)", "HDMI"} << false << 1;
    QTest::newRow("A: B matches too and the last match wins")
        << QStringList{"ORV318Pro", "ORV318Pro B"} << false << 1;
    QTest::newRow("A: last match wins, either order")
        << QStringList{"ORV318Pro B", "ORV318Pro"} << false << 1;
    QTest::newRow("B: only the B device") << QStringList{"ORV318Pro B", "ORV318Pro"} << true << 0;
    QTest::newRow("B: no B device") << QStringList{"ORV318Pro", "Speakers"} << true << -1;
    QTest::newRow("CSR dongle A never")
        << QStringList{"ORV318Pro", "ORV318Pro CSR Audio Dongle -A"} << false << 0;
    QTest::newRow("CSR dongle B never")
        << QStringList{"ORV318Pro B (CSR Audio Dongle -B)"} << true << -1;
    QTest::newRow("CSR dongle without ORV318Pro irrelevant")
        << QStringList{"ORV318Pro", "CSR Audio Dongle -A"} << false << 0;
    QTest::newRow("case matters") << QStringList{"orv318pro", "ORV318PRO"} << false << -1;
}

void TestDeviceRule::playback() {
    QFETCH(QStringList, descriptions);
    QFETCH(bool, deviceB);
    QFETCH(int, chosen);
    QCOMPARE(orv::SelectPlaybackDevice(descriptions, deviceB), chosen);
}

void TestDeviceRule::capture_data() {
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<bool>("deviceB");
    QTest::addColumn<int>("chosen");

    QTest::newRow("none") << QStringList{"Built-in Microphone"} << false << -1;
    QTest::newRow("A: first in description order, not in listing order")
        << QStringList{"ORV318Pro B", "ORV318Pro"} << false << 1;
    QTest::newRow("A: the B device when it sorts first")
        << QStringList{"USB ORV318Pro", "ORV318Pro B"} << false << 1;
    QTest::newRow("B: only descriptions with ORV318Pro B")
        << QStringList{"ORV318Pro", "USB ORV318Pro B"} << true << 1;
    QTest::newRow("B: none") << QStringList{"ORV318Pro"} << true << -1;
    QTest::newRow("ordinal: upper case sorts before lower case")
        << QStringList{"mic ORV318Pro", "Mic ORV318Pro"} << false << 1;
    QTest::newRow("trailing blanks removed, the first of equals stays")
        << QStringList{"Speakers", "ORV318Pro  ", "ORV318Pro"} << false << 1;
    QTest::newRow("the CSR rule is the player's only")
        << QStringList{"ORV318Pro CSR Audio Dongle -A"} << false << 0;
}

void TestDeviceRule::capture() {
    QFETCH(QStringList, descriptions);
    QFETCH(bool, deviceB);
    QFETCH(int, chosen);
    QCOMPARE(orv::SelectCaptureDevice(descriptions, deviceB), chosen);
}

QTEST_GUILESS_MAIN(TestDeviceRule)
#include "tst_devicerule.moc"
