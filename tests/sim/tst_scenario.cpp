// The scenario file: every key read as written, and bad files refused with the line named.

#include "sim/Scenario.h"

#include <QDir>
#include <QTest>

using orv::sim::BatteryReport;
using orv::sim::HeadsetKey;
using orv::sim::Scenario;

class TestScenario : public QObject {
    Q_OBJECT
private slots:
    void fullFile();
    void defaults();
    void thousandsOfHeadsets();
    void rejects_data();
    void rejects();
    void shippedScenarios();
};

void TestScenario::fullFile() {
    const QByteArray text =
        "\xEF\xBB\xBF; a commented scenario\n"
        "[Adapter]\n"
        "ProductId=0x5751\n"
        "Firmware=6.2.0 build 1122\n"
        "ReplyDelayMs=15\n"
        "ControlSocket=/tmp/x.sock\n"
        "\n"
        "[Headset1]\n"
        "Name=\xE8\x80\xB3\xE6\x9C\xBA Pro\n"
        "Mac=00:1A:7D:DA:71:13\n"
        "Rssi=-47\n"
        "Battery=\n"
        "BatteryReport=biev\n"
        "Profiles=hfp, avrcp\n"
        "AvrcpFromHeadset=1\n"
        "HfpVolume=15\n"
        "AvrcpVolume=0\n"
        "MicLevelDb=-12.5\n"
        "MicToneHz=440\n"
        "Keys=500:VOL+,1000:VOL-,1500:PLAY/PAUSE,2000:NEXT,2500:PREVIOUS\n"
        "KeysRepeatMs=0\n"
        "Faults=no-name, drop-after-ms=1500,garbage,slow-connect-ms=20,reboot-after-ms=9\n"
        "# another comment\n"
        "[Headset2]\n"
        "Mac=00:1a:7d:da:71:14\n";
    Scenario s;
    QString error;
    QVERIFY2(orv::sim::ParseScenario(text, "t.ini", &s, &error), qPrintable(error));
    QCOMPARE(s.adapter.productId, std::uint16_t(0x5751));
    QCOMPARE(s.adapter.firmware, QStringLiteral("6.2.0 build 1122"));
    QCOMPARE(s.adapter.replyDelayMs, 15);
    QCOMPARE(s.adapter.controlSocket, QStringLiteral("/tmp/x.sock"));
    QCOMPARE(s.headsets.size(), 2);
    const auto& h = s.headsets[0];
    QCOMPARE(h.name, QString::fromUtf8("\xE8\x80\xB3\xE6\x9C\xBA Pro"));
    QCOMPARE(h.mac, QStringLiteral("00:1a:7d:da:71:13"));
    QCOMPARE(h.rssi, -47);
    QCOMPARE(h.battery, -1);
    QCOMPARE(h.batteryReport, BatteryReport::Biev);
    QVERIFY(h.hfp && !h.a2dp && h.avrcp);
    QVERIFY(h.avrcpFromHeadset);
    QCOMPARE(h.hfpVolume, 15);
    QCOMPARE(h.avrcpVolume, 0);
    QCOMPARE(h.micLevelDb.value_or(0), -12.5);
    QCOMPARE(h.micToneHz, 440.0);
    QCOMPARE(h.keys.size(), 5);
    QCOMPARE(h.keys[2].delayMs, 1500);
    QCOMPARE(h.keys[2].key, HeadsetKey::PlayPause);
    QCOMPARE(h.keys[4].key, HeadsetKey::Previous);
    QCOMPARE(h.keysRepeatMs, 0);
    QVERIFY(h.faults.noName && h.faults.garbage && !h.faults.nameError);
    QCOMPARE(h.faults.dropAfterMs, 1500);
    QCOMPARE(h.faults.slowConnectMs, 20);
    QCOMPARE(h.faults.rebootAfterMs, 9);
}

void TestScenario::defaults() {
    Scenario s;
    QString error;
    QVERIFY(orv::sim::ParseScenario("[Adapter]\n[Headset1]\nMac=00:1a:7d:da:71:13\n", "d.ini", &s,
                                    &error));
    QCOMPARE(s.adapter.productId, std::uint16_t(0x5750));
    QCOMPARE(s.adapter.replyDelayMs, 0);
    QVERIFY(s.adapter.controlSocket.isEmpty());
    const auto& h = s.headsets[0];
    QVERIFY(h.hfp && h.a2dp && h.avrcp);
    QCOMPARE(h.battery, -1);
    QVERIFY(!h.micLevelDb.has_value());
    QCOMPARE(h.micToneHz, 1000.0);
    QCOMPARE(h.keysRepeatMs, 3000);
}

// A soak run tests over a thousand headsets, each of its own, in one scenario.
void TestScenario::thousandsOfHeadsets() {
    QByteArray text("[Adapter]\n");
    for (int n = 1; n <= 1200; ++n)
        text += QString::asprintf("[Headset%d]\nMac=02:5a:00:00:%02x:%02x\n", n, n >> 8, n & 0xff)
                    .toLatin1();
    text += "[Headset9999]\nMac=02:5a:00:00:ff:ff\n";
    Scenario s;
    QString error;
    QVERIFY2(orv::sim::ParseScenario(text, "many.ini", &s, &error), qPrintable(error));
    QCOMPARE(s.headsets.size(), 1201);
    QCOMPARE(s.headsets[1199].section, QStringLiteral("Headset1200"));
}

void TestScenario::rejects_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    const QByteArray head = "[Adapter]\n[Headset1]\nMac=00:1a:7d:da:71:13\n";
    QTest::newRow("unknown key in Adapter") << QByteArray("[Adapter]\nReplyDelay=5\n")
                                            << "s.ini:2: unknown key \"ReplyDelay\" in [Adapter]";
    QTest::newRow("unknown key in a headset") << head + "Colour=red\n"
                                              << "s.ini:4: unknown key \"Colour\" in [Headset1]";
    QTest::newRow("short MAC") << QByteArray("[Adapter]\n\n[Headset1]\nMac=00:1a:7d:da:71\n")
                               << "s.ini:4: Mac: \"00:1a:7d:da:71\" is not six hex pairs like "
                                  "00:1a:7d:da:71:13";
    QTest::newRow("MAC with a non-hex digit")
        << QByteArray("[Adapter]\n[Headset1]\nMac=00:1g:7d:da:71:13\n")
        << "s.ini:3: Mac: \"00:1g:7d:da:71:13\" is not six hex pairs like 00:1a:7d:da:71:13";
    QTest::newRow("number with letters") << head + "Rssi=-4x7\n"
                                         << "s.ini:4: Rssi: \"-4x7\" is not a whole number";
    QTest::newRow("number out of range") << head + "Rssi=30\n"
                                         << "s.ini:4: Rssi: 30 is outside -127..20";
    QTest::newRow("battery above 100") << head + "Battery=101\n"
                                       << "s.ini:4: Battery: 101 is outside 0..100";
    QTest::newRow("bad delay") << QByteArray("[Adapter]\nReplyDelayMs=-1\n")
                               << "s.ini:2: ReplyDelayMs: -1 is outside 0..60000";
    QTest::newRow("bad real") << head + "MicLevelDb=loud\n"
                              << "s.ini:4: MicLevelDb: \"loud\" is not a number";
    QTest::newRow("bad product") << QByteArray("[Adapter]\nProductId=0x5752\n")
                                 << "s.ini:2: ProductId: \"0x5752\" must be 0x5750 or 0x5751";
    QTest::newRow("bad battery style")
        << head + "BatteryReport=xapl\n"
        << "s.ini:4: BatteryReport: \"xapl\" must be iphoneaccev, biev or none";
    QTest::newRow("bad profile")
        << head + "Profiles=hfp,hsp\n"
        << "s.ini:4: Profiles: unknown profile \"hsp\" (hfp, a2dp, avrcp)";
    QTest::newRow("unknown fault") << head + "Faults=garbage,explode\n"
                                   << "s.ini:4: Faults: unknown fault \"explode\"";
    QTest::newRow("fault without its time") << head + "Faults=drop-after-ms\n"
                                            << "s.ini:4: Faults: \"drop-after-ms\" needs =N (ms)";
    QTest::newRow("fault with a bad time")
        << head + "Faults=slow-connect-ms=soon\n"
        << "s.ini:4: Faults: \"slow-connect-ms=soon\" needs a time in ms (0..3600000)";
    QTest::newRow("key script without delay") << head + "Keys=VOL+\n"
                                              << "s.ini:4: Keys: \"VOL+\" is not delay-ms:KEY";
    QTest::newRow("key script with an unknown key")
        << head + "Keys=100:MUTE\n"
        << "s.ini:4: Keys: \"100:MUTE\" names no key (VOL+, VOL-, PLAY/PAUSE, NEXT, PREVIOUS, "
           "VOICE)";
    QTest::newRow("key script going back in time")
        << head + "Keys=500:VOL+,100:VOL-\n"
        << "s.ini:4: Keys: \"100:VOL-\" comes before the press ahead of it";
    QTest::newRow("boolean") << head + "AvrcpFromHeadset=yes\n"
                             << "s.ini:4: AvrcpFromHeadset: \"yes\" must be 0 or 1";
    QTest::newRow("quote in a name") << head + "Name=My \"best\" set\n"
                                     << "s.ini:4: Name: a double quote cannot be part of a name";
    QTest::newRow("unknown section") << QByteArray("[Adapter]\n[Phone1]\n")
                                     << "s.ini:2: unknown section [Phone1] (Adapter, Headset1, "
                                        "Headset2, ...)";
    QTest::newRow("headset number past 9999")
        << QByteArray("[Adapter]\n[Headset10000]\n")
        << "s.ini:2: unknown section [Headset10000] (Adapter, Headset1, Headset2, ...)";
    QTest::newRow("section twice") << head + "[Headset1]\n"
                                   << "s.ini:4: section [Headset1] appears twice";
    QTest::newRow("key twice") << head + "Rssi=-40\nRssi=-41\n"
                               << "s.ini:5: key \"Rssi\" appears twice in this section";
    QTest::newRow("key before a section")
        << QByteArray("Rssi=-40\n[Adapter]\n") << "s.ini:1: key \"Rssi\" before any section";
    QTest::newRow("not key=value")
        << QByteArray("[Adapter]\nReplyDelayMs\n") << "s.ini:2: \"ReplyDelayMs\" is not key=value";
    QTest::newRow("headset without MAC")
        << QByteArray("[Adapter]\n\n[Headset1]\nName=x\n") << "s.ini:3: [Headset1] has no Mac";
    QTest::newRow("MAC used twice") << head + "[Headset2]\nMac=00:1A:7D:DA:71:13\n"
                                    << "s.ini:4: [Headset2]: Mac 00:1a:7d:da:71:13 is used twice";
    QTest::newRow("no Adapter section") << QByteArray("[Headset1]\nMac=00:1a:7d:da:71:13\n")
                                        << "s.ini:1: the [Adapter] section is missing";
    QTest::newRow("invalid UTF-8")
        << QByteArray("[Adapter]\nFirmware=\xff\xfe\n") << "s.ini:0: the file is not valid UTF-8";
}

void TestScenario::rejects() {
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    Scenario s;
    QString got;
    QVERIFY(!orv::sim::ParseScenario(text, "s.ini", &s, &got));
    QCOMPARE(got, error);
}

void TestScenario::shippedScenarios() {
    // The example scenarios in the repository stay valid.
    const QDir dir(QStringLiteral(ORV_SOURCE_DIR "/sim-scenarios"));
    const QStringList files = dir.entryList({QStringLiteral("*.ini")}, QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString& f : files) {
        Scenario s;
        QString error;
        QVERIFY2(orv::sim::LoadScenario(dir.filePath(f), &s, &error), qPrintable(error));
        QVERIFY(!s.headsets.isEmpty());
    }

    Scenario s;
    QString error;
    QVERIFY(!orv::sim::LoadScenario(QStringLiteral("/nonexistent/x.ini"), &s, &error));
    QVERIFY2(error.startsWith(QLatin1String("/nonexistent/x.ini: cannot read the scenario file")),
             qPrintable(error));
}

QTEST_GUILESS_MAIN(TestScenario)
#include "tst_scenario.moc"
