// The module event parser, fed with realistic module output.
#include <QTemporaryDir>
#include <QTest>

#include "config/AppHome.h"
#include "config/Settings.h"
#include "module/ModuleParser.h"

using namespace orv;

namespace {

const QString kMac = QStringLiteral("00:1a:7d:da:71:13");
const QString kOtherMac = QStringLiteral("00:02:5b:00:a5:a5");

// Records what the parser asks of its link.
class CRecordingHost final : public IModuleHost {
public:
    void SendReply(const QString& command) override { replies.append(command); }
    int SyncSystemVolume(int percent) override {
        syncs.append(percent);
        return 1;
    }
    void LinkInfoChanged() override { ++infos; }
    void LinksDropped() override { ++drops; }
    void MediaKeyReleased(MediaKey key) override { keys.append(static_cast<int>(key)); }

    QStringList replies;
    QList<int> syncs;
    QList<int> keys;
    int infos = 0;
    int drops = 0;
};

// Applies "field=value;field=value" to the state, for the table rows.
void ApplyState(CModuleParser& parser, const QString& setup) {
    parser.Update([&setup](LinkState& s) {
        for (const QString& item : setup.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString key = item.section(QLatin1Char('='), 0, 0);
            const QString value = item.section(QLatin1Char('='), 1);
            const int n = value.toInt();
            if (key == QLatin1String("hfp"))
                s.hfpLink = n;
            else if (key == QLatin1String("a2dp"))
                s.a2dpLink = n;
            else if (key == QLatin1String("avrcp"))
                s.avrcpLink = n;
            else if (key == QLatin1String("sco"))
                s.scoLink = n;
            else if (key == QLatin1String("mode"))
                s.waitMode = n;
            else if (key == QLatin1String("count"))
                s.eventCount = n;
            else if (key == QLatin1String("battery"))
                s.battery = n;
            else if (key == QLatin1String("watch"))
                s.noCarrierWatch = n;
            else if (key == QLatin1String("music"))
                s.hasMusicMode = n;
            else if (key == QLatin1String("avrcpvol"))
                s.avrcpVolume = n;
            else if (key == QLatin1String("target"))
                s.targetMac = value;
            else if (key == QLatin1String("entry"))
                s.inquiryList.append({QString(), value, -90});
            else
                qFatal("unknown setup key %s", qPrintable(key));
        }
    });
}

QString Describe(const LinkState& s) {
    return QStringLiteral(
               "hfp=%1 a2dp=%2 avrcp=%3 sco=%4 count=%5 battery=%6 hfpvol=%7 "
               "avrcpvol=%8 rssi=%9 name=[%10] streaming=%11 audio=%12 mode=%13 "
               "entries=%14")
        .arg(s.hfpLink)
        .arg(s.a2dpLink)
        .arg(s.avrcpLink)
        .arg(s.scoLink)
        .arg(s.eventCount)
        .arg(s.battery)
        .arg(s.hfpVolume)
        .arg(s.avrcpVolume)
        .arg(s.rssi)
        .arg(s.targetName)
        .arg(s.streaming)
        .arg(s.audioMode)
        .arg(s.waitMode)
        .arg(s.inquiryList.size());
}

}  // namespace

class TestModuleParser final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

    void Feed(CModuleParser& parser, const QString& text) {
        parser.AppendPending(text);
        parser.ProcessPending();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        SetHasMusicMode(GetConfigPath(), 1);
    }

    // One burst of module text against a starting state: the state it leaves (as described by
    // Describe, compared field by field where the row names them), the replies and the
    // notifications.
    void events_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expect");  // "field=value" items of Describe()
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<int>("infos");

        const QStringList none;
        // Battery.
        QTest::newRow("apple accessory battery 2,1,7,2,0 gives 80")
            << "hfp=0"
            << "HFP-AG 0 UNKNOWN (0): AT+IPHONEACCEV=2,1,7,2,0\\r\r\n"
            << QStringList{"battery=80"} << none << 1;
        QTest::newRow("apple accessory with key 2 gives nothing")
            << "hfp=0"
            << "HFP-AG 0 UNKNOWN (0): AT+IPHONEACCEV=1,2,7\\r\r\n"
            << QStringList{"battery=-1"} << none << 0;
        QTest::newRow("hf indicator 85 with the literal backslash r")
            << "hfp=0"
            << "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,85\\r\r\n"
            << QStringList{"battery=85"} << none << 1;
        QTest::newRow("hf indicator 100 is 100, not 1")
            << "hfp=0"
            << "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,100\\r\r\n"
            << QStringList{"battery=100"} << none << 1;
        QTest::newRow("hf indicator 7 without the suffix stands as it is")
            << "hfp=0"
            << "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,7\r\n"
            << QStringList{"battery=7"} << none << 1;
        QTest::newRow("hf indicator 101 is out of range")
            << "hfp=0"
            << "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,101\\r\r\n"
            << QStringList{"battery=-1"} << none << 0;
        QTest::newRow("hf indicator -5 is out of range")
            << "hfp=0"
            << "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,-5\\r\r\n"
            << QStringList{"battery=-1"} << none << 0;
        QTest::newRow("battery taken once until reset")
            << "hfp=0;battery=60"
            << "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,85\\r\r\n"
            << QStringList{"battery=60"} << none << 0;
        // HFP volume.
        QTest::newRow("hfp volume 12 on link 0") << "hfp=0"
                                                 << "HFP-AG 0 VOLUME 12\r\n"
                                                 << QStringList{"hfpvol=12"} << none << 1;
        QTest::newRow("hfp volume 16 out of range") << "hfp=0"
                                                    << "HFP-AG 0 VOLUME 16\r\n"
                                                    << QStringList{"hfpvol=-1"} << none << 0;
        QTest::newRow("hfp volume of another link") << "hfp=0"
                                                    << "HFP-AG 1 VOLUME 12\r\n"
                                                    << QStringList{"hfpvol=-1"} << none << 0;
        // AVRCP volume.
        QTest::newRow("interim volume")
            << "avrcp=3"
            << "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 55\r\n"
            << QStringList{"avrcpvol=55"} << none << 1;
        QTest::newRow("interim volume unchanged reports nothing")
            << "avrcp=3;avrcpvol=55"
            << "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 55\r\n"
            << QStringList{"avrcpvol=55"} << none << 0;
        QTest::newRow("changed volume registers again")
            << "avrcp=3;avrcpvol=55"
            << "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 65\r\n"
            << QStringList{"avrcpvol=65"} << QStringList{"@3 avrcp pdu 31 d"} << 1;
        QTest::newRow("interim and changed in one burst: both handled")
            << "avrcp=3"
            << "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 55\r\n"
               "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 65\r\n"
            << QStringList{"avrcpvol=65"} << QStringList{"@3 avrcp pdu 31 d"} << 1;
        QTest::newRow("volume 101 ignored")
            << "avrcp=3"
            << "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 101\r\n"
            << QStringList{"avrcpvol=-1"} << none << 0;
        // Name and RSSI.
        QTest::newRow("target name in quotes")
            << "target=" + kMac << "NAME " + kMac + " \"MY NAME\"\r\n"
            << QStringList{"name=[MY NAME]"} << none << 1;
        QTest::newRow("name with colons and NAME kept as text")
            << "target=" + kMac << "NAME " + kMac + " \"NAME: a:b:c \"\r\n"
            << QStringList{"name=[NAME: a:b:c ]"} << none << 1;
        QTest::newRow("failed name request")
            << "target=" + kMac << "NAME ERROR 104 " + kMac + " HCI_ERROR_PAGE_TIMEOUT\r\n"
            << QStringList{"name=[]"} << none << 0;
        QTest::newRow("name of another headset")
            << "target=" + kMac << "NAME " + kOtherMac + " \"Other\"\r\n"
            << QStringList{"name=[]"} << none << 0;
        QTest::newRow("rssi of the target") << "target=" + kMac << "RSSI " + kMac + " -46\r\n"
                                            << QStringList{"rssi=-46"} << none << 1;
        QTest::newRow("rssi not a number") << "target=" + kMac << "RSSI " + kMac + " loud\r\n"
                                           << QStringList{"rssi=-128"} << none << 0;
        // Voice recognition.
        QTest::newRow("voice recognition answered") << "hfp=0"
                                                    << "HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r\r\n"
                                                    << QStringList{} << QStringList{"@0 ok"} << 0;
        QTest::newRow("two requests in one burst each answered")
            << "hfp=2"
            << "HFP-AG 2 UNKNOWN (0): AT+BVRA=1\\r\r\nHFP-AG 2 UNKNOWN (0): AT+BVRA=1\\r\r\n"
            << QStringList{} << QStringList{"@2 ok", "@2 ok"} << 0;
        QTest::newRow("voice recognition without hfp link")
            << ""
            << "HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r\r\n"
            << QStringList{} << none << 0;
        QTest::newRow("a headset named like an event is only a name")
            << "hfp=0;watch=1;mode=1;target=" + kMac
            << "INQUIRY_PARTIAL " + kMac + " 240404 \"AT+BVRA=1 NO CARRIER 0 ERROR 0\" -47\r\n"
            << QStringList{"hfp=0", "entries=1"} << none << 0;
        // Inquiry, mode 1.
        QTest::newRow("inquiry results and end")
            << "mode=1"
            << "INQUIRY_PARTIAL " + kMac + " 240404 \"\" -47\r\nINQUIRY_PARTIAL " + kOtherMac +
                   " 240404 \"Cached\" -60\r\nINQUIRY 2\r\nINQUIRY " + kMac + " 240404\r\n"
            << QStringList{"entries=2", "count=1"} << none << 0;
        QTest::newRow("names in the same burst as the results reach their entries")
            << "mode=1"
            << "INQUIRY_PARTIAL " + kMac + " 240404 \"\" -47\r\nINQUIRY 1\r\nNAME " + kMac +
                   " \"Fresh\"\r\nRSSI " + kMac + " -44\r\n"
            << QStringList{"entries=1", "count=1"} << none << 2;
        QTest::newRow("inquiry result of 40 characters listed in mode 1")
            << "mode=1"
            << "INQUIRY_PARTIAL " + kMac + " 240404\r\n"
            << QStringList{"entries=1", "count=0"} << none << 0;
        QTest::newRow("inquiry result of 40 characters ignored in mode 4")
            << "mode=4"
            << "INQUIRY_PARTIAL " + kMac + " 240404\r\n"
            << QStringList{"entries=0", "count=0"} << none << 0;
        QTest::newRow("first inquiry result in mode 4")
            << "mode=4"
            << "INQUIRY_PARTIAL " + kMac + " 240404 \"\" -47\r\n"
            << QStringList{"entries=1", "count=1"} << none << 0;
        QTest::newRow("nothing found in mode 4")
            << "mode=4"
            << "INQUIRY 0\r\n"
            << QStringList{"entries=0", "count=1"} << none << 0;
        // Connections, mode 3.
        QTest::newRow("connect all three profiles")
            << "mode=3"
            << "CALL 0\r\nCONNECT 0 HFP-AG 2\r\nHFP-AG 0 UNKNOWN (0): "
               "AT+XAPL=05AC-1234-0100,10\\r\r\n"
               "CALL 1\r\nCONNECT 1 A2DP 19\r\nCONNECT 2 A2DP 19\r\nCALL 3\r\nCONNECT 3 AVRCP "
               "17\r\n"
            << QStringList{"hfp=0", "a2dp=1", "avrcp=3", "count=3"} << none << 0;
        QTest::newRow("avrcp opened by the headset, two-digit link id")
            << "mode=3"
            << "RING 12 " + kMac + " 17 AVRCP\r\n"
            << QStringList{"avrcp=12", "count=1"} << none << 0;
        QTest::newRow("capability request answered")
            << "mode=3;avrcp=3;music=1"
            << "AVRCP 3 GET_CAPABILITIES 3\r\n"
            << QStringList{"count=0"} << QStringList{"@3 avrcp rsp 1"} << 0;
        QTest::newRow("capability request without music mode")
            << "mode=3;avrcp=3;music=0"
            << "AVRCP 3 GET_CAPABILITIES 3\r\n"
            << QStringList{"count=0"} << none << 0;
        QTest::newRow("failed link counts") << "mode=3"
                                            << "NO CARRIER 1 ERROR 0\r\n"
                                            << QStringList{"count=1"} << none << 0;
        QTest::newRow("connection lines outside mode 3 ignored")
            << ""
            << "CONNECT 1 A2DP 19\r\nHFP-AG 0 UNKNOWN (0): AT+BRSF=0\\r\r\n"
            << QStringList{"a2dp=-1", "hfp=-1"} << none << 0;
        QTest::newRow("link id out of range") << "mode=3"
                                              << "CONNECT 99999999999 A2DP 19\r\n"
                                              << QStringList{"a2dp=-1", "count=0"} << none << 0;
        // Streaming, SCO, ready.
        QTest::newRow("streaming started") << "mode=5;a2dp=1"
                                           << "A2DP STREAMING START 1\r\n"
                                           << QStringList{"streaming=1", "count=1"} << none << 0;
        QTest::newRow("sco link") << "mode=6;hfp=0"
                                  << "CONNECT 4 SCO\r\n"
                                  << QStringList{"sco=4", "audio=1", "count=1"} << none << 0;
        QTest::newRow("ready after reset")
            << "mode=8"
            << "WRAP THOR AI (6.1.0 build 1022)\r\nCopyright (c) 2003-2015 Bluegiga Technologies "
               "Inc.\r\nREADY.\r\n"
            << QStringList{"count=1"} << none << 0;
        // Bad input.
        QTest::newRow("binary garbage and NUL")
            << "hfp=0;mode=3"
            << QString::fromLatin1("\x01\x02\xff\xfe garbage\r\n\r\n\r") + QChar(0) +
                   QStringLiteral("\x7f\r\n")
            << QStringList{"hfp=0", "count=0"} << none << 0;
        QTest::newRow("10000-character line")
            << "hfp=0;mode=1" << QString(10000, QLatin1Char('A')) + "\r\n"
            << QStringList{"entries=0", "count=0"} << none << 0;
    }

    void events() {
        QFETCH(QString, setup);
        QFETCH(QString, text);
        QFETCH(QStringList, expect);
        QFETCH(QStringList, replies);
        QFETCH(int, infos);

        CRecordingHost host;
        CModuleParser parser(&host);
        ApplyState(parser, setup);
        Feed(parser, text);
        const QString described = Describe(parser.State());
        const QStringList fields = described.split(QLatin1Char(' '));
        for (const QString& e : expect) {
            // name=[...] may hold blanks: compare it against the whole description.
            QVERIFY2(
                e.startsWith(QLatin1String("name=")) ? described.contains(e) : fields.contains(e),
                qPrintable(QStringLiteral("want %1 in %2").arg(e, described)));
        }
        QCOMPARE(host.replies, replies);
        QCOMPARE(host.infos, infos);
    }

    void volumeFollowsHfpGain() {
        CRecordingHost host;
        CModuleParser parser(&host);
        ApplyState(parser, "hfp=0;avrcp=3");
        Feed(parser,
             "HFP-AG 0 VOLUME 12\r\nAVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM "
             "VOLUME_CHANGED 100\r\n");
        // Gain 12 of 15 is 80 %; the AVRCP volume goes through unchanged. One notice for both.
        QCOMPARE(host.syncs, (QList<int>{80, 100}));
        QCOMPARE(host.infos, 1);
    }

    void linkLoss_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("dropped");
        QTest::newRow("link 0 always") << "watch=1;hfp=3"
                                       << "NO CARRIER 0 ERROR 0" << true;
        QTest::newRow("link loss of hfp link 0")
            << "watch=1;hfp=0;a2dp=1;avrcp=3"
            << "NO CARRIER 0 ERROR c0c RFC_L2CAP_LINK_LOSS" << true;
        QTest::newRow("a2dp link") << "watch=1;hfp=0;a2dp=1;avrcp=3"
                                   << "NO CARRIER 1 ERROR 0" << true;
        QTest::newRow("no link 2") << "watch=1;hfp=0;a2dp=1;avrcp=3"
                                   << "NO CARRIER 2 ERROR 0" << false;
        QTest::newRow("sco link closed") << "watch=1;hfp=0;a2dp=1;avrcp=3;sco=4"
                                         << "NO CARRIER 4 ERROR 0" << false;
        QTest::newRow("watch off") << "hfp=0"
                                   << "NO CARRIER 0 ERROR 0" << false;
    }

    void linkLoss() {
        QFETCH(QString, setup);
        QFETCH(QString, line);
        QFETCH(bool, dropped);
        CRecordingHost host;
        CModuleParser parser(&host);
        ApplyState(parser, setup + ";mode=3;count=2;entry=" + kMac);
        Feed(parser, line + "\r\n");
        QCOMPARE(host.drops, dropped ? 1 : 0);
        const LinkState s = parser.State();
        if (dropped) {
            QCOMPARE(s.hfpLink, -1);
            QCOMPARE(s.a2dpLink, -1);
            QCOMPARE(s.noCarrierWatch, 0);
            QCOMPARE(s.waitMode, 0);
            QCOMPARE(s.eventCount, 0);
            QVERIFY(s.inquiryList.isEmpty());
        } else {
            QVERIFY(s.inquiryList.size() == 1);
        }
    }

    void lineCutAcrossReportsMatchedOnce() {
        CRecordingHost host;
        CModuleParser parser(&host);
        ApplyState(parser, "hfp=0");
        Feed(parser, "HFP-AG 0 UNKNOWN (0): AT+BV");
        Feed(parser, "RA=1\\r");
        QVERIFY(host.replies.isEmpty());
        Feed(parser, "\r");
        QCOMPARE(host.replies, QStringList{"@0 ok"});
        Feed(parser, "\nAVRCP PLAY RELEASE\r\n");
        QCOMPARE(host.replies, QStringList{"@0 ok"});  // not answered a second time
        QCOMPARE(host.keys, QList<int>{static_cast<int>(MediaKey::PlayPause)});
    }

    void mediaKeysEachPress() {
        CRecordingHost host;
        CModuleParser parser(&host);
        Feed(parser,
             "AVRCP PLAY PRESS\r\nAVRCP PLAY RELEASE\r\nAVRCP PAUSE RELEASE\r\n"
             "AVRCP FORWARD RELEASE\r\nAVRCP BACKWARD RELEASE\r\n");
        QCOMPARE(host.keys, (QList<int>{0, 0, 1, 2}));
    }

    void unfinishedLineIsBounded() {
        CRecordingHost host;
        CModuleParser parser(&host);
        ApplyState(parser, "hfp=0");
        const QString block(4096, QLatin1Char('x'));
        for (int i = 0; i < 40; ++i) {  // 160 KiB without a line end
            Feed(parser, block);
        }
        QCOMPARE(parser.OverflowCount(), 1);  // one occurrence, logged once
        // The station still understands the next line once its line end arrives.
        Feed(parser, "\r\nHFP-AG 0 VOLUME 9\r\n");
        QCOMPARE(parser.State().hfpVolume, 9);
        for (int i = 0; i < 20; ++i) {
            Feed(parser, block);
        }
        QCOMPARE(parser.OverflowCount(), 2);
    }

    void pendingWithoutParserIsBounded() {
        CModuleParser parser(nullptr);
        const QString block(4096, QLatin1Char('y'));
        for (int i = 0; i < 100; ++i) {
            parser.AppendPending(block);
        }
        parser.AppendPending(QStringLiteral("\r\nREADY.\r\n"));
        ApplyState(parser, "mode=8");
        QVERIFY(parser.ProcessPending());
        QCOMPARE(parser.State().eventCount, 1);
    }

    void rebootBannerDuringConnect() {
        CRecordingHost host;
        CModuleParser parser(&host);
        ApplyState(parser, "mode=3");
        Feed(parser,
             "HFP-AG 0 UNKNOWN (0): AT+BRSF=191\\r\r\nWRAP THOR AI (6.1.0 build 1022)\r\n"
             "Copyright (c) 2003-2015 Bluegiga Technologies Inc.\r\nREADY.\r\n"
             "CONNECT 1 A2DP 19\r\n");
        const LinkState s = parser.State();
        QCOMPARE(s.hfpLink, 0);
        QCOMPARE(s.a2dpLink, 1);
        QCOMPARE(s.eventCount, 2);
    }

    void keyCountingInMode7() {
        CRecordingHost host;
        CModuleParser parser(&host);
        ApplyState(parser, "mode=7;avrcp=3");
        Feed(parser,
             "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 50\r\n"
             "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 60\r\n"
             "AVRCP FORWARD RELEASE\r\n");
        const CKeyPressParse keys = parser.KeyCounts();
        QCOMPARE(keys.m_volUpCount, 1);
        QCOMPARE(keys.m_nextCount, 1);
        QCOMPARE(parser.TakeNewKey(), static_cast<int>(kKeyNext));
        QCOMPARE(parser.TakeNewKey(), static_cast<int>(kKeyNone));
    }

    void displayTexts() {
        CModuleParser parser(nullptr);
        QCOMPARE(parser.GetModeText(), QString());
        QCOMPARE(parser.GetRssiText(), QString());  // -128 before it is read
        parser.Update([](LinkState& s) {
            s.streaming = 1;
            s.avrcpVolume = 70;
            s.hfpVolume = 9;
            s.battery = 0;
            s.rssi = -127;
        });
        QCOMPARE(parser.GetModeText(), QStringLiteral("A2DP"));
        QCOMPARE(parser.GetVolumeText(), QStringLiteral("70"));
        QCOMPARE(parser.GetBatteryText(), QString());
        QCOMPARE(parser.GetRssiText(), QStringLiteral("-127"));
        parser.Update([](LinkState& s) {
            s.audioMode = 2;
            s.battery = 40;
            s.rssi = 20;
        });
        QCOMPARE(parser.GetModeText(), QStringLiteral("Dial"));
        QCOMPARE(parser.GetVolumeText(), QStringLiteral("9"));
        QCOMPARE(parser.GetBatteryText(), QStringLiteral("40"));
        QCOMPARE(parser.GetRssiText(), QString());
    }

    void isConnected_data() {
        QTest::addColumn<int>("a2dpCfg");
        QTest::addColumn<int>("hfpCfg");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("connected");
        QTest::newRow("all up") << 1 << 1 << "hfp=0;a2dp=1;avrcp=3" << true;
        QTest::newRow("avrcp missing") << 1 << 1 << "hfp=0;a2dp=1" << false;
        QTest::newRow("hfp only configured") << 0 << 1 << "hfp=0" << true;
        QTest::newRow("a2dp only configured, hfp down") << 1 << 0 << "a2dp=1;avrcp=3" << true;
        QTest::newRow("nothing configured") << 0 << 0 << "" << true;
        QTest::newRow("nothing up") << 1 << 1 << "" << false;
    }

    void isConnected() {
        QFETCH(int, a2dpCfg);
        QFETCH(int, hfpCfg);
        QFETCH(QString, setup);
        QFETCH(bool, connected);
        SetA2DPConnect(GetConfigPath(), a2dpCfg);
        SetHFPConnect(GetConfigPath(), hfpCfg);
        CModuleParser parser(nullptr);
        ApplyState(parser, setup);
        QCOMPARE(parser.IsConnected(), connected);
        QCOMPARE(parser.GetStatusTextId(), connected ? 194 : 195);
        SetA2DPConnect(GetConfigPath(), 1);
        SetHFPConnect(GetConfigPath(), 1);
    }

    void selectTarget_data() {
        QTest::addColumn<int>("pairName");
        QTest::addColumn<int>("pairRssi");
        QTest::addColumn<QString>("nameText");
        QTest::addColumn<int>("rssiLimit");
        QTest::addColumn<QString>("entries");  // name/rssi pairs
        QTest::addColumn<int>("picked");       // index, -1 for none
        QTest::newRow("rssi only: strongest, earlier of equals")
            << 0 << 1 << "" << -80 << "a/-60,b/-50,c/-50" << 1;
        QTest::newRow("rssi only: nothing above -128") << 0 << 1 << "" << -80 << "a/-128" << -1;
        QTest::newRow("name and rssi") << 1 << 1 << "Head" << -70 << "Head1/-75,Head2/-65" << 1;
        QTest::newRow("name and rssi: none passes")
            << 1 << 1 << "Head" << -50 << "Head1/-75,Other/-40" << -1;
        QTest::newRow("empty name text: first passing rssi")
            << 1 << 1 << "" << -70 << "a/-90,b/-60,c/-50" << 1;
        QTest::newRow("neither: first") << 0 << 0 << "" << -80 << "a/-90,b/-10" << 0;
        QTest::newRow("name only, case-sensitive")
            << 1 << 0 << "head" << -80 << "Head/-50,my head/-90" << 1;
        QTest::newRow("empty list") << 0 << 0 << "" << -80 << "" << -1;
    }

    void selectTarget() {
        QFETCH(int, pairName);
        QFETCH(int, pairRssi);
        QFETCH(QString, nameText);
        QFETCH(int, rssiLimit);
        QFETCH(QString, entries);
        QFETCH(int, picked);
        const QString path = GetConfigPath();
        SetPairName(path, pairName);
        SetPairRssi(path, pairRssi);
        SetPairNameStr(path, nameText);
        SetPairRssiValue(path, rssiLimit);
        CModuleParser parser(nullptr);
        QList<InquiryEntry> list;
        int n = 0;
        for (const QString& e : entries.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            list.append({e.section('/', 0, 0),
                         QStringLiteral("00:00:00:00:00:%1").arg(++n, 2, 10, QLatin1Char('0')),
                         e.section('/', 1).toInt()});
        }
        parser.Update([&list](LinkState& s) { s.inquiryList = list; });
        QCOMPARE(parser.SelectTarget(0), picked >= 0 ? 1 : 0);
        if (picked >= 0) {
            const LinkState s = parser.State();
            QCOMPARE(s.targetMac, list[picked].mac);
            QCOMPARE(s.targetName, list[picked].name);
            QCOMPARE(s.rssi, list[picked].rssi);
        }
    }

    void selectTargetWaitsForNames() {
        SetPairName(GetConfigPath(), 1);
        SetPairRssi(GetConfigPath(), 0);
        SetPairNameStr(GetConfigPath(), QStringLiteral("Late"));
        CModuleParser parser(nullptr);
        parser.Update([](LinkState& s) { s.inquiryList.append({QString(), kMac, -50}); });
        parser.Start();
        std::thread names(
            [&parser] { parser.AppendPending("NAME " + kMac + " \"Late One\"\r\n"); });
        QCOMPARE(parser.SelectTarget(10000), 1);
        names.join();
        QCOMPARE(parser.State().targetName, QStringLiteral("Late One"));
    }

    void resetLinkStateKeepsWaitAndList() {
        CModuleParser parser(nullptr);
        ApplyState(parser, "hfp=0;a2dp=1;avrcp=3;sco=4;mode=3;count=2;battery=50;watch=1;entry=" +
                               kMac + ";target=" + kMac);
        parser.ResetLinkState();
        const LinkState s = parser.State();
        QCOMPARE(s.hfpLink, -1);
        QCOMPARE(s.scoLink, -1);
        QCOMPARE(s.battery, -1);
        QCOMPARE(s.targetMac, QString());
        QCOMPARE(s.rssi, -128);
        QCOMPARE(s.noCarrierWatch, 0);
        QCOMPARE(s.waitMode, 3);
        QCOMPARE(s.eventCount, 2);
        QCOMPARE(s.inquiryList.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestModuleParser)
#include "tst_moduleparser.moc"
