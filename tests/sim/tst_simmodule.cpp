// The simulated module as the station meets it: command lines in, iWRAP lines out, in 65-byte
// reports; the headsets' faults; the control commands.

#include "SimHarness.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTest>

#include <algorithm>

namespace {

const QString kMac1 = QStringLiteral("00:1a:7d:da:71:13");
const QString kMac2 = QStringLiteral("00:1a:7d:da:71:14");
const QString kMac3 = QStringLiteral("00:1a:7d:da:71:15");

// Three headsets: an Apple-style one with every profile, an HFP-only one reporting its battery
// by HF indicator, and one that opens AVRCP itself. Fast timing so each case takes milliseconds.
// `adapterExtra` and `headset1Extra` hold "Key=Value" lines that replace or add keys.
QString Scenario(const QString& faults1 = {}, const QString& adapterExtra = {},
                 const QString& headset1Extra = {}) {
    const auto section = [](QStringList lines, const QString& extra) {
        for (const QString& e : extra.split('\n', Qt::SkipEmptyParts)) {
            const QString key = e.section('=', 0, 0) + '=';
            lines.erase(std::remove_if(lines.begin(), lines.end(),
                                       [&](const QString& l) { return l.startsWith(key); }),
                        lines.end());
            lines << e;
        }
        return lines.join('\n') + '\n';
    };
    return "[Adapter]\n" +
           section({"ProductId=0x5750", "ReplyDelayMs=0", "InquiryUnitMs=10", "ConnectMs=20",
                    "BootMs=5"},
                   adapterExtra) +
           "[Headset1]\n" +
           section({"Name=Sim Headset", "Mac=00:1A:7D:DA:71:13", "Rssi=-47", "Battery=80",
                    "BatteryReport=iphoneaccev", "Profiles=hfp,a2dp,avrcp", "HfpVolume=9",
                    "AvrcpVolume=55", "KeysRepeatMs=0", "Faults=" + faults1},
                   headset1Extra) +
           "[Headset2]\nName=Second\nMac=00:1a:7d:da:71:14\nRssi=-70\nBattery=85\n"
           "BatteryReport=biev\nProfiles=hfp\n"
           "[Headset3]\nName=Ringer\nMac=00:1a:7d:da:71:15\nRssi=-60\nProfiles=a2dp,avrcp\n"
           "AvrcpFromHeadset=1\n";
}

// Connects headset 1 with HFP, A2DP and AVRCP as the station's connect procedure does.
bool ConnectAll(SimHarness& h, const QString& mac = kMac1) {
    return h.Send(QStringLiteral("pair %1").arg(mac)) &&
           h.Send(QStringLiteral("call %1 111e hfp-ag").arg(mac)) &&
           h.Send(QStringLiteral("call %1 19 a2dp").arg(mac)) &&
           h.Send(QStringLiteral("call %1 17 avrcp").arg(mac)) &&
           h.WaitLine(QStringLiteral("CONNECT 3 AVRCP 17")) &&
           h.WaitLine(QStringLiteral("AVRCP 3 GET_CAPABILITIES 3")) &&
           h.WaitLine(QStringLiteral("HFP-AG 0 VOLUME 9"));
}

}  // namespace

class TestSimModule : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void reportFraming();
    void replyDelay();
    void silentUntilReady();
    void inquiryCancel();
    void keys_data();
    void keys();
    void keyScript();
    void faults_data();
    void faults();
    void garbage();
    void slowConnect();
    void controlErrors_data();
    void controlErrors();
    void controlActions();
    void unplugAndPlug();
    void controlSocket();
};

void TestSimModule::initTestCase() {
    // No sound server for these tests: the simulator must work without one.
    qputenv("PULSE_SERVER", "unix:/nonexistent/orv-sim-test");
}

void TestSimModule::commands_data() {
    QTest::addColumn<QString>("headset");  // "" = no connection first; else MAC to connect
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("expected");

    const QString hfpAgXapl = QStringLiteral("HFP-AG 0 UNKNOWN (0): AT+XAPL=05AC-1234-0100,10\\r");
    QTest::newRow("reset prints the banner")
        << QString() << QStringList{"reset"}
        << QStringList{"WRAP THOR AI (6.1.0 build 1022)",
                       "Copyright (c) 2003-2015 Bluegiga Technologies Inc.", "READY."};
    QTest::newRow("RESET in capitals")
        << QString() << QStringList{"RESET"} << QStringList{"READY."};
    QTest::newRow("inquiry lists every headset with RSSI, then the summary")
        << QString() << QStringList{"inquiry 5"}
        << QStringList{"INQUIRY_PARTIAL 00:1a:7d:da:71:13 240404 \"\" -47",
                       "INQUIRY_PARTIAL 00:1a:7d:da:71:14 240404 \"\" -70",
                       "INQUIRY_PARTIAL 00:1a:7d:da:71:15 240404 \"\" -60",
                       "INQUIRY 3",
                       "INQUIRY 00:1a:7d:da:71:13 240404",
                       "INQUIRY 00:1a:7d:da:71:15 240404"};
    QTest::newRow("inquiry with names asks each name after the summary")
        << QString() << QStringList{"inquiry 5 name"}
        << QStringList{"INQUIRY 3", "NAME 00:1a:7d:da:71:13 \"Sim Headset\"",
                       "NAME 00:1a:7d:da:71:14 \"Second\""};
    QTest::newRow("name of a headset in range")
        << QString() << QStringList{"name 00:1a:7d:da:71:13"}
        << QStringList{"NAME 00:1a:7d:da:71:13 \"Sim Headset\""};
    QTest::newRow("name of nobody") << QString() << QStringList{"name 00:11:22:33:44:55"}
                                    << QStringList{
                                           "NAME ERROR 104 00:11:22:33:44:55 "
                                           "HCI_ERROR_PAGE_TIMEOUT"};
    QTest::newRow("connect all three profiles")
        << QString()
        << QStringList{"ic", "pair 00:1a:7d:da:71:13", "call 00:1a:7d:da:71:13 111e hfp-ag",
                       "call 00:1a:7d:da:71:13 19 a2dp", "call 00:1a:7d:da:71:13 17 avrcp"}
        << QStringList{"CALL 0",
                       "CALL 1",
                       "CALL 3",
                       "PAIR 00:1a:7d:da:71:13 OK",
                       "CONNECT 0 HFP-AG 2",
                       hfpAgXapl,
                       "HFP-AG 0 VOLUME 9",
                       "CONNECT 1 A2DP 19",
                       "CONNECT 2 A2DP 19",
                       "CONNECT 3 AVRCP 17",
                       "AVRCP 3 GET_CAPABILITIES 3"};
    QTest::newRow("Apple accessory battery after the +XAPL answer")
        << kMac1 << QStringList{"@0 +XAPL=iPhone,7", "@0 ok\r@0 ok\r@0 ok"}
        << QStringList{"HFP-AG 0 UNKNOWN (0): AT+IPHONEACCEV=1,1,7\\r"};
    QTest::newRow("HF indicator battery after +bind")
        << kMac2 << QStringList{"+brsf:3684", "+bind:2,1"}
        << QStringList{"HFP-AG 0 UNKNOWN (0): AT+BIEV=2,85\\r"};
    QTest::newRow("rssi on a link")
        << kMac1 << QStringList{"rssi 0", "rssi 1"} << QStringList{"RSSI 00:1a:7d:da:71:13 -47"};
    QTest::newRow("rssi on a dead link")
        << kMac1 << QStringList{"rssi 9"} << QStringList{"SYNTAX ERROR"};
    QTest::newRow("volume notification registration answers the current volume")
        << kMac1 << QStringList{"@3 avrcp pdu 31 d"}
        << QStringList{"AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 55"};
    QTest::newRow("absolute volume set, then registration reports it")
        << kMac1 << QStringList{"@3 avrcp pdu 50 30", "@3 avrcp pdu 31 d"}
        << QStringList{"AVRCP 3 PDU_SET_ABSOLUTE_VOLUME_RSP 30",
                       "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 30"};
    QTest::newRow("streaming start and stop")
        << kMac1 << QStringList{"@1 a2dp streaming start 1", "@1 a2dp streaming stop  1"}
        << QStringList{"A2DP STREAMING START 1", "A2DP STREAMING STOP 1"};
    QTest::newRow("sco open") << kMac1 << QStringList{"sco open 0"}
                              << QStringList{"CONNECT 4 SCO"};
    QTest::newRow("dial then hangup closes the call audio")
        << kMac1 << QStringList{"@0 dial", "@0 hangup"}
        << QStringList{"CONNECT 4 SCO", "NO CARRIER 4 ERROR 0"};
    QTest::newRow("ring opens audio")
        << kMac1 << QStringList{"@0 ring", "@0 +CIEV:3,1"} << QStringList{"CONNECT 4 SCO"};
    QTest::newRow("close AVRCP") << kMac1 << QStringList{"close 3"}
                                 << QStringList{"NO CARRIER 3 ERROR 0"};
    QTest::newRow("closing A2DP closes both channels")
        << kMac1 << QStringList{"close 1"}
        << QStringList{"NO CARRIER 1 ERROR 0", "NO CARRIER 2 ERROR 0"};
    QTest::newRow("the station's close-all report")
        << kMac1 << QStringList{"close 0\rclose 1\rclose 2\rclose 3\rclose 4\rclose 5"}
        << QStringList{"NO CARRIER 0 ERROR 0", "NO CARRIER 1 ERROR 0", "NO CARRIER 2 ERROR 0",
                       "NO CARRIER 3 ERROR 0"};
    QTest::newRow("call to nobody times out")
        << QString() << QStringList{"call 00:11:22:33:44:55 19 a2dp"}
        << QStringList{"CALL 0", "NO CARRIER 0 ERROR 104 HCI_ERROR_PAGE_TIMEOUT"};
    QTest::newRow("call for a profile the headset lacks")
        << QString() << QStringList{"call 00:1a:7d:da:71:14 19 a2dp"}
        << QStringList{"CALL 0", "NO CARRIER 0 ERROR 900 SERVICE_NOT_FOUND"};
    QTest::newRow("headset opens AVRCP itself after A2DP")
        << QString() << QStringList{"call 00:1a:7d:da:71:15 19 a2dp"}
        << QStringList{"CONNECT 0 A2DP 19", "CONNECT 1 A2DP 19",
                       "RING 2 00:1a:7d:da:71:15 17 AVRCP", "AVRCP 2 GET_CAPABILITIES 3"};
    QTest::newRow("unknown command")
        << QString() << QStringList{"frobnicate 1"} << QStringList{"SYNTAX ERROR"};
    QTest::newRow("SET lines get no answer")
        << QString() << QStringList{"SET BT NAME ORV318Pro", "set bt power 6 6 4", "rssi 7"}
        << QStringList{"SYNTAX ERROR"};
}

void TestSimModule::commands() {
    QFETCH(QString, headset);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, expected);

    SimHarness h;
    QString error;
    QVERIFY2(h.Start(Scenario(), &error), qPrintable(error));
    if (headset == kMac2) {
        QVERIFY(h.Send(QStringLiteral("call %1 111e hfp-ag").arg(kMac2)));
        QVERIFY(h.WaitLine(QStringLiteral("CONNECT 0 HFP-AG 2")));
    } else if (!headset.isEmpty()) {
        QVERIFY(ConnectAll(h, headset));
    }
    h.Clear();
    for (const QString& c : commands)
        QVERIFY(h.Send(c));
    for (const QString& line : expected)
        QVERIFY2(
            h.WaitLine(line),
            qPrintable(QStringLiteral("missing \"%1\" in:\n%2").arg(line, h.Lines().join('\n'))));
    // Lines of one row come in the listed order.
    const QStringList got = h.Lines();
    int last = -1;
    for (const QString& line : expected) {
        const int at = got.indexOf(line, last + 1);
        QVERIFY2(
            at > last,
            qPrintable(QStringLiteral("\"%1\" out of order in:\n%2").arg(line, got.join('\n'))));
        last = at;
    }
    if (QString(QTest::currentDataTag()).startsWith(QLatin1String("SET lines")))
        QCOMPARE(got, QStringList{"SYNTAX ERROR"});
}

void TestSimModule::reportFraming() {
    SimHarness h;
    QVERIFY(h.Start(Scenario()));
    // Several lines in one report: the two A2DP channels come up in one burst.
    QVERIFY(h.Send(QStringLiteral("call %1 19 a2dp").arg(kMac1)));
    QVERIFY(h.WaitLine(QStringLiteral("CONNECT 1 A2DP 19")));
    bool shared = false;
    for (const QByteArray& r : h.reports)
        shared = shared || r.contains("CONNECT 0 A2DP 19\r\nCONNECT 1 A2DP 19\r\n");
    QVERIFY(shared);

    // A line longer than a report is cut across reports and each report is zero-padded.
    h.Clear();
    const QString longLine = QStringLiteral("HFP-AG 0 UNKNOWN (0): AT+") + QString(120, 'X');
    QCOMPARE(h.Control(QStringLiteral("say ") + longLine), QStringLiteral("OK"));
    QVERIFY(h.WaitLine(longLine));
    QVERIFY(h.reports.size() >= 3);
    for (const QByteArray& r : h.reports)
        QCOMPARE(r.size(), 64);

    // A UTF-8 name is never cut inside a character: every report decodes by itself.
    h.Clear();
    const QString chinese = QString::fromUtf8("测试耳机").repeated(8);
    QCOMPARE(h.Control(QStringLiteral("say NAME %1 \"%2\"").arg(kMac1, chinese)),
             QStringLiteral("OK"));
    QVERIFY(h.WaitLine(QStringLiteral("NAME %1 \"%2\"").arg(kMac1, chinese)));
    QVERIFY(h.reports.size() >= 2);
    for (const QByteArray& r : h.reports) {
        QStringDecoder d(QStringDecoder::Utf8);
        const QString s = d(r.left(r.indexOf('\0') < 0 ? r.size() : r.indexOf('\0')));
        QVERIFY2(!d.hasError(), r.toHex().constData());
        Q_UNUSED(s);
    }
}

void TestSimModule::replyDelay() {
    SimHarness h;
    QVERIFY(h.Start(Scenario({}, QStringLiteral("ReplyDelayMs=150"))));
    QElapsedTimer t;
    t.start();
    QVERIFY(h.Send(QStringLiteral("rssi 9")));
    QVERIFY(h.WaitLine(QStringLiteral("SYNTAX ERROR")));
    QVERIFY2(t.elapsed() >= 150, qPrintable(QString::number(t.elapsed())));
}

void TestSimModule::silentUntilReady() {
    // Commands that arrive while the module boots get no answer.
    SimHarness h;
    QVERIFY(h.Start(Scenario({}, QStringLiteral("BootMs=300"))));
    QVERIFY(h.Send(QStringLiteral("reset")));
    QVERIFY(h.Send(QStringLiteral("rssi 9")));
    QVERIFY(h.WaitLine(QStringLiteral("READY.")));
    QVERIFY(h.Send(QStringLiteral("rssi 9")));
    QVERIFY(h.WaitLine(QStringLiteral("SYNTAX ERROR")));
    // Only the command sent after the banner was answered.
    const QStringList lines = h.Lines();
    QCOMPARE(lines.count(QStringLiteral("SYNTAX ERROR")), 1);
    QVERIFY(lines.indexOf(QStringLiteral("SYNTAX ERROR")) >
            lines.indexOf(QStringLiteral("READY.")));
}

void TestSimModule::inquiryCancel() {
    // "ic" ends a running inquiry at once with the summary of what was found so far; with
    // 1 s units the first headset would answer only after 6 s.
    SimHarness h;
    QVERIFY(h.Start(Scenario({}, QStringLiteral("InquiryUnitMs=1000"))));
    QVERIFY(h.Send(QStringLiteral("inquiry 48")));
    QVERIFY(h.Send(QStringLiteral("ic")));
    QVERIFY(h.WaitLine(QStringLiteral("INQUIRY 0"), 2000));
    QVERIFY(h.Send(QStringLiteral("ic")));  // nothing to cancel: no answer
    QVERIFY(h.Send(QStringLiteral("rssi 9")));
    QVERIFY(h.WaitLine(QStringLiteral("SYNTAX ERROR")));
    QCOMPARE(h.Lines(), (QStringList{"INQUIRY 0", "SYNTAX ERROR"}));
}

void TestSimModule::keys_data() {
    QTest::addColumn<QStringList>("before");  // commands sent after connecting
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("VOL+ with a registered notification")
        << QStringList{"@3 avrcp pdu 31 d"} << "VOL+"
        << QStringList{"AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 65"};
    QTest::newRow("VOL- with a registered notification")
        << QStringList{"@3 avrcp pdu 31 d"} << "VOL-"
        << QStringList{"AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 45"};
    QTest::newRow("VOL+ at the top still reports")
        << QStringList{"@3 avrcp pdu 50 100", "@3 avrcp pdu 31 d"} << "VOL+"
        << QStringList{"AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 100"};
    QTest::newRow("PLAY/PAUSE while paused")
        << QStringList{} << "PLAY/PAUSE" << QStringList{"AVRCP PLAY PRESS", "AVRCP PLAY RELEASE"};
    QTest::newRow("PLAY/PAUSE while streaming")
        << QStringList{"@1 a2dp streaming start 1"} << "PLAY/PAUSE"
        << QStringList{"AVRCP PAUSE PRESS", "AVRCP PAUSE RELEASE"};
    QTest::newRow("NEXT") << QStringList{} << "NEXT"
                          << QStringList{"AVRCP FORWARD PRESS", "AVRCP FORWARD RELEASE"};
    QTest::newRow("PREVIOUS") << QStringList{} << "PREVIOUS"
                              << QStringList{"AVRCP BACKWARD PRESS", "AVRCP BACKWARD RELEASE"};
    QTest::newRow("VOL+ during SCO moves the HFP gain")
        << QStringList{"sco open 0"} << "VOL+" << QStringList{"HFP-AG 0 VOLUME 10"};
    QTest::newRow("VOL- after the station set the gain")
        << QStringList{"@0 +vgs = 12", "@0 dial"} << "VOL-" << QStringList{"HFP-AG 0 VOLUME 11"};
    QTest::newRow("voice recognition")
        << QStringList{} << "VOICE" << QStringList{"HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r"};
    // A key text starting with "!" is a module command from the station instead.
    QTest::newRow("station's avrcp up")
        << QStringList{"@3 avrcp pdu 31 d"} << "!avrcp up"
        << QStringList{"AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 65"};
}

void TestSimModule::keys() {
    QFETCH(QStringList, before);
    QFETCH(QString, key);
    QFETCH(QStringList, expected);
    SimHarness h;
    QVERIFY(h.Start(Scenario()));
    QVERIFY(ConnectAll(h));
    for (const QString& c : before)
        QVERIFY(h.Send(c));
    // The module works through its commands in order: once the marker's answer is here, the
    // commands before it have been handled.
    QVERIFY(h.Send(QStringLiteral("rssi 9")));
    QVERIFY(h.WaitLine(QStringLiteral("SYNTAX ERROR")));
    h.Clear();
    if (key.startsWith('!'))
        QVERIFY(h.Send(key.mid(1)));
    else
        QCOMPARE(h.Control(QStringLiteral("press %1 %2").arg(kMac1, key)), QStringLiteral("OK"));
    for (const QString& line : expected)
        QVERIFY2(h.WaitLine(line), qPrintable(h.Lines().join('\n')));

    // Volume notifications are one-shot: a second press without registering again is silent.
    if (expected.first().contains(QLatin1String("CHANGED VOLUME_CHANGED"))) {
        h.Clear();
        QCOMPARE(h.Control(QStringLiteral("press %1 VOL+").arg(kMac1)), QStringLiteral("OK"));
        QVERIFY(h.Send(QStringLiteral("rssi 9")));  // a marker that must come alone
        QVERIFY(h.WaitLine(QStringLiteral("SYNTAX ERROR")));
        QCOMPARE(h.Lines(), QStringList{"SYNTAX ERROR"});
    }
}

void TestSimModule::keyScript() {
    SimHarness h;
    // Keys start when the headset connects and repeat KeysRepeatMs after the last press.
    QVERIFY(h.Start(Scenario(
        {}, {}, QStringLiteral("Keys=0:PLAY/PAUSE,5:NEXT,10:PREVIOUS\nKeysRepeatMs=20"))));
    QVERIFY(ConnectAll(h));
    h.Clear();
    QVERIFY(h.WaitLine(QStringLiteral("AVRCP BACKWARD RELEASE")));
    h.Clear();
    QVERIFY(h.WaitLine(QStringLiteral("AVRCP FORWARD RELEASE")));
    QVERIFY(h.WaitLine(QStringLiteral("AVRCP BACKWARD RELEASE")));

    // With KeysRepeatMs 0 only the control command runs the sequence.
    SimHarness once;
    QVERIFY(once.Start(Scenario({}, {}, QStringLiteral("Keys=0:NEXT,5:VOL-"))));
    QVERIFY(ConnectAll(once));
    // Had the sequence started with the first link (HFP, 20 ms in), both presses would have
    // been made before AVRCP came up at 60 ms.
    const QString headset1 = once.Control(QStringLiteral("state")).split(QStringLiteral(" | "))[1];
    QVERIFY2(headset1.startsWith(kMac1) && headset1.endsWith(QLatin1String("keys=-")),
             qPrintable(headset1));
    QCOMPARE(once.Control(QStringLiteral("keys %1").arg(kMac1)), QStringLiteral("OK"));
    QVERIFY(once.WaitLine(QStringLiteral("AVRCP FORWARD RELEASE")));
    QTRY_VERIFY_WITH_TIMEOUT(
        once.Control(QStringLiteral("state")).contains(QLatin1String("avrcpvol=45")), 2000);
    QVERIFY(once.Control(QStringLiteral("state")).contains(QLatin1String("keys=NEXT,VOL-")));
    // `state` lists the last five presses.
    for (const char* k : {"VOL+", "VOL+", "VOL+", "NEXT"})
        QCOMPARE(once.Control(QStringLiteral("press %1 %2").arg(kMac1, k)), QStringLiteral("OK"));
    QVERIFY(once.Control(QStringLiteral("state"))
                .contains(QLatin1String("keys=VOL-,VOL+,VOL+,VOL+,NEXT")));
}

void TestSimModule::faults_data() {
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("absent");

    const QString m = kMac1;
    QTest::newRow("no-name") << "no-name" << QStringList{"name " + m}
                             << QStringList{"NAME " + m + " \"\""} << QStringList{};
    QTest::newRow("name-error") << "name-error" << QStringList{"name " + m}
                                << QStringList{"NAME ERROR 104 " + m + " HCI_ERROR_PAGE_TIMEOUT"}
                                << QStringList{};
    // A command starting with "?" waits for that line (and forgets what came before).
    QTest::newRow("refuse-a2dp-once")
        << "refuse-a2dp-once"
        << QStringList{"call " + m + " 19 a2dp", "?NO CARRIER 0 ERROR 904 REJECTED",
                       "call " + m + " 19 a2dp"}
        << QStringList{"CONNECT 0 A2DP 19", "CONNECT 1 A2DP 19"} << QStringList{};
    QTest::newRow("refuse-hfp") << "refuse-hfp"
                                << QStringList{"call " + m + " 111e hfp-ag",
                                               "?NO CARRIER 0 ERROR 904 REJECTED",
                                               "call " + m + " 111e hfp-ag", "?CALL 0"}
                                << QStringList{"NO CARRIER 0 ERROR 904 REJECTED"}
                                << QStringList{"CONNECT 0 HFP-AG 2"};
    QTest::newRow("drop-after-ms")
        << "drop-after-ms=40"
        << QStringList{"call " + m + " 111e hfp-ag", "call " + m + " 19 a2dp"}
        << QStringList{"CONNECT 1 A2DP 19", "NO CARRIER 0 ERROR c0c RFC_L2CAP_LINK_LOSS",
                       "NO CARRIER 1 ERROR 0", "NO CARRIER 2 ERROR 0"}
        << QStringList{};
    QTest::newRow("no-ready") << "no-ready" << QStringList{"reset"}
                              << QStringList{"Copyright (c) 2003-2015 Bluegiga Technologies Inc."}
                              << QStringList{"READY."};
    QTest::newRow("reboot-after-ms")
        << "reboot-after-ms=30" << QStringList{"call " + m + " 111e hfp-ag"}
        << QStringList{"CONNECT 0 HFP-AG 2", "WRAP THOR AI (6.1.0 build 1022)", "READY."}
        << QStringList{"NO CARRIER 0 ERROR 0"};
}

void TestSimModule::faults() {
    QFETCH(QString, faults);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, absent);
    SimHarness h;
    QVERIFY(h.Start(Scenario(faults)));
    for (const QString& c : commands) {
        if (c.startsWith('?')) {
            QVERIFY2(h.WaitLine(c.mid(1)), qPrintable(h.Lines().join('\n')));
            h.Clear();
        } else {
            QVERIFY(h.Send(c));
        }
    }
    for (const QString& line : expected)
        QVERIFY2(h.WaitLine(line), qPrintable(h.Lines().join('\n')));
    if (faults == QLatin1String("no-ready")) {
        // The module still answers after its boot, it only never says so.
        QVERIFY(h.Send(QStringLiteral("rssi 9")));
        QVERIFY(h.WaitLine(QStringLiteral("SYNTAX ERROR")));
    }
    for (const QString& line : absent)
        QVERIFY2(!h.Lines().contains(line), qPrintable(h.Lines().join('\n')));
    if (faults.startsWith(QLatin1String("reboot")) || faults.startsWith(QLatin1String("drop")))
        QTRY_VERIFY_WITH_TIMEOUT(
            h.Control(QStringLiteral("state")).contains(QLatin1String("hfp=- a2dp=-")), 2000);
}

void TestSimModule::garbage() {
    // Garbage and glued lines only touch the lines about that headset; the real lines stay
    // readable, NUL bytes sit in reports of their own.
    SimHarness h;
    QVERIFY(h.Start(Scenario(QStringLiteral("garbage"))));
    QVERIFY(ConnectAll(h));
    bool zeroFirst = false, highBytes = false;
    for (const QByteArray& r : h.reports) {
        zeroFirst = zeroFirst || (r.at(0) == '\0' && r.mid(1).contains("hidden"));
        for (char c : r)
            highBytes = highBytes || (static_cast<unsigned char>(c) >= 0x80);
    }
    QVERIFY(zeroFirst);
    QVERIFY(highBytes);
    QVERIFY(h.Lines().contains(QStringLiteral("CONNECT 1 A2DP 19")));

    SimHarness g;
    QVERIFY(g.Start(Scenario(QStringLiteral("glue-lines"))));
    QVERIFY(g.Send(QStringLiteral("call %1 111e hfp-ag").arg(kMac1)));
    QVERIFY(g.WaitLine(QStringLiteral("CALL 0CONNECT 0 HFP-AG 2")));
}

void TestSimModule::slowConnect() {
    SimHarness h;
    QVERIFY(h.Start(Scenario(QStringLiteral("slow-connect-ms=250"))));
    QElapsedTimer t;
    t.start();
    QVERIFY(h.Send(QStringLiteral("call %1 111e hfp-ag").arg(kMac1)));
    QVERIFY(h.WaitLine(QStringLiteral("CALL 0")));
    QVERIFY(h.WaitLine(QStringLiteral("CONNECT 0 HFP-AG 2")));
    QVERIFY2(t.elapsed() >= 250, qPrintable(QString::number(t.elapsed())));
}

void TestSimModule::controlErrors_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("answer");
    QTest::newRow("press, not connected") << "press 00:1a:7d:da:71:13 VOL+"
                                          << "ERROR 00:1a:7d:da:71:13 is not connected";
    QTest::newRow("press, unknown headset") << "press 11:22:33:44:55:66 VOL+"
                                            << "ERROR unknown headset \"11:22:33:44:55:66\"";
    QTest::newRow("press, unknown key") << "press 00:1a:7d:da:71:13 MUTE"
                                        << "ERROR unknown key \"MUTE\"";
    QTest::newRow("press, missing key")
        << "press 00:1a:7d:da:71:13"
        << "ERROR usage: press <mac> <VOL+|VOL-|PLAY/PAUSE|NEXT|PREVIOUS>";
    QTest::newRow("keys without Keys") << "keys 00:1a:7d:da:71:13"
                                       << "ERROR 00:1a:7d:da:71:13 has no Keys";
    QTest::newRow("drop, not connected") << "drop 00:1a:7d:da:71:14"
                                         << "ERROR 00:1a:7d:da:71:14 is not connected";
    QTest::newRow("battery out of range") << "battery 00:1a:7d:da:71:13 101"
                                          << "ERROR battery \"101\" is not 0..100";
    QTest::newRow("battery not a number") << "battery 00:1a:7d:da:71:13 full"
                                          << "ERROR battery \"full\" is not 0..100";
    QTest::newRow("plug while plugged") << "plug"
                                        << "ERROR already plugged in";
    QTest::newRow("say nothing") << "say"
                                 << "ERROR usage: say <module line>";
    QTest::newRow("unknown") << "reboot"
                             << "ERROR unknown command \"reboot\"";
}

void TestSimModule::controlErrors() {
    QFETCH(QString, command);
    QFETCH(QString, answer);
    SimHarness h;
    QVERIFY(h.Start(Scenario()));
    QCOMPARE(h.Control(command), answer);
}

void TestSimModule::controlActions() {
    SimHarness h;
    QVERIFY(h.Start(Scenario()));
    QVERIFY(ConnectAll(h));
    QString state = h.Control(QStringLiteral("state"));
    QVERIFY2(state.startsWith(QLatin1String("OK adapter=plugged product=5750 ready=1 open=1")),
             qPrintable(state));
    QVERIFY2(state.contains(QLatin1String("00:1a:7d:da:71:13 hfp=0 a2dp=1 avrcp=3 sco=- "
                                          "streaming=0 hfpvol=9 avrcpvol=55")),
             qPrintable(state));

    // battery: reported at once in the headset's style.
    h.Clear();
    QCOMPARE(h.Control(QStringLiteral("battery %1 40").arg(kMac1)), QStringLiteral("OK"));
    QVERIFY(h.WaitLine(QStringLiteral("HFP-AG 0 UNKNOWN (0): AT+IPHONEACCEV=1,1,3\\r")));

    // say: any raw line reaches the station.
    QCOMPARE(h.Control(QStringLiteral("say HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r")),
             QStringLiteral("OK"));
    QVERIFY(h.WaitLine(QStringLiteral("HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r")));

    // Station settings are remembered.
    QVERIFY(h.Send(QStringLiteral("set bt auth * 1234")));
    QVERIFY(h.Send(QStringLiteral("SET BT SCO NOWBS")));
    QVERIFY(h.Send(QStringLiteral("SET CONTROL CODEC SBC JOINT_STEREO 48000 1")));
    QTRY_VERIFY_WITH_TIMEOUT(h.Control(QStringLiteral("state")).contains("sco=nowbs"), 2000);
    state = h.Control(QStringLiteral("state"));
    QVERIFY2(state.contains(QLatin1String("pin=1234")) &&
                 state.contains(QLatin1String("codec=SBC/48000")),
             qPrintable(state));

    // drop: link loss on every link of the headset.
    h.Clear();
    QVERIFY(h.Send(QStringLiteral("sco open 0")));
    QVERIFY(h.WaitLine(QStringLiteral("CONNECT 4 SCO")));
    QCOMPARE(h.Control(QStringLiteral("drop %1").arg(kMac1)), QStringLiteral("OK"));
    for (const QString& l :
         {QStringLiteral("NO CARRIER 0 ERROR c0c RFC_L2CAP_LINK_LOSS"),
          QStringLiteral("NO CARRIER 1 ERROR 0"), QStringLiteral("NO CARRIER 2 ERROR 0"),
          QStringLiteral("NO CARRIER 3 ERROR 0"), QStringLiteral("NO CARRIER 4 ERROR 0")})
        QVERIFY2(h.WaitLine(l), qPrintable(h.Lines().join('\n')));
    QVERIFY(h.Control(QStringLiteral("state")).contains(QLatin1String("hfp=- a2dp=- avrcp=-")));
    // The headset can be connected again.
    h.Clear();
    QVERIFY(ConnectAll(h));
}

void TestSimModule::unplugAndPlug() {
    SimHarness h;
    QVERIFY(h.Start(Scenario()));
    h.bus->StartWatching();
    QSignalSpy removed(h.bus.get(), &orv::IReportBus::deviceRemoved);
    QSignalSpy arrived(h.bus.get(), &orv::IReportBus::deviceArrived);
    QCOMPARE(h.bus->Enumerate().size(), 1);
    QCOMPARE(h.bus->Enumerate().first().productId, std::uint16_t(0x5750));
    QVERIFY(!h.bus->Open(orv::kAdapterVendorId, 0x5751));  // the other model is absent

    QCOMPARE(h.Control(QStringLiteral("unplug")), QStringLiteral("OK"));
    QVERIFY(removed.wait(2000));
    QCOMPARE(removed.first().first().value<orv::ReportDeviceInfo>().vendorId,
             orv::kAdapterVendorId);
    orv::Report r{};
    QCOMPARE(h.device->ReadReport(r, 1000), -1);
    QVERIFY(!h.device->WriteReport(r, 1000));
    QVERIFY(h.bus->Enumerate().isEmpty());
    QVERIFY(!h.bus->Open(orv::kAdapterVendorId, 0x5750));
    QCOMPARE(h.Control(QStringLiteral("unplug")), QStringLiteral("ERROR already unplugged"));

    QCOMPARE(h.Control(QStringLiteral("plug")), QStringLiteral("OK"));
    QVERIFY(arrived.wait(2000));
    QVERIFY(h.Open());
    h.Clear();
    QVERIFY(h.Send(QStringLiteral("rssi 5")));
    QVERIFY(h.WaitLine(QStringLiteral("SYNTAX ERROR")));

    // Interrupt ends a waiting read at once, and every read after it.
    h.device->Interrupt();
    QCOMPARE(h.device->ReadReport(r, 5000), -1);
}

void TestSimModule::controlSocket() {
    SimHarness h;
    QVERIFY(h.Start(Scenario({}, QStringLiteral("ControlSocket=ctl.sock"))));
    QLocalSocket s;
    s.connectToServer(h.dir() + QStringLiteral("/ctl.sock"));
    QVERIFY(s.waitForConnected(2000));
    s.write("state\nbogus\npress 00:1a:7d:da:71:13 VOL+\n");
    QStringList answers;
    while (answers.size() < 3 && s.waitForReadyRead(2000))
        while (s.canReadLine())
            answers << QString::fromUtf8(s.readLine()).trimmed();
    QCOMPARE(answers.size(), 3);
    QVERIFY(answers[0].startsWith(QLatin1String("OK adapter=plugged")));
    QCOMPARE(answers[1], QStringLiteral("ERROR unknown command \"bogus\""));
    QCOMPARE(answers[2], QStringLiteral("ERROR 00:1a:7d:da:71:13 is not connected"));

    // A socket that answers belongs to a running simulator and is not taken over.
    SimHarness second;
    QString busy;
    QVERIFY(!second.Start(Scenario({}, QStringLiteral("ControlSocket=%1/ctl.sock").arg(h.dir())),
                          &busy));
    QCOMPARE(
        busy,
        QStringLiteral("control socket %1/ctl.sock is in use by another simulator").arg(h.dir()));
    QVERIFY(s.state() == QLocalSocket::ConnectedState);

    // A socket file left behind by a crashed run is replaced.
    h.bus.reset();
    QFile stale(h.dir() + QStringLiteral("/ctl.sock"));
    if (!stale.exists()) {
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
    }
    SimHarness again;
    QString error;
    QVERIFY2(again.Start(Scenario({}, QStringLiteral("ControlSocket=%1/ctl.sock").arg(h.dir())),
                         &error),
             qPrintable(error));
}

QTEST_GUILESS_MAIN(TestSimModule)
#include "tst_simmodule.moc"
