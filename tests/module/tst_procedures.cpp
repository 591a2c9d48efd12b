// The module operations against a scripted adapter: the commands they send, byte for byte, and
// what they make of the module's answers.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "FakeReportDevice.h"
#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Settings.h"

using namespace orv;
using orv::test::CFakeReportBus;
using orv::test::CFakeReportDevice;

namespace {

const QString kMac = QStringLiteral("00:1a:7d:da:71:13");
const QStringList kBanner = {QStringLiteral("WRAP THOR AI (6.1.0 build 1022)"),
                             QStringLiteral("Copyright (c) 2003-2015 Bluegiga Technologies Inc."),
                             QStringLiteral("READY.")};

// Time-outs shortened for the cases that run into them; the module's pacing stays as it is.
ModuleTiming ShortWaits() {
    ModuleTiming t;
    t.resetWait = 300;
    t.scoWait = 300;
    t.streamingWait = 300;
    t.rssiWait = 300;
    t.readNameWait = 300;
    t.queryNameWait = 300;
    t.batteryWait = 300;
    t.connectWait = 400;
    t.connectRetryWait = 400;
    t.inquiryAttempt = 300;
    return t;
}

// The headset side of a connect, as the module prints it.
void ScriptHeadset(CFakeReportDevice& dev, bool hfp, bool a2dp, bool avrcp) {
    if (hfp) {
        dev.On(
            "call " + kMac + " 111e hfp-ag",
            {"CALL 0", "CONNECT 0 HFP-AG 2", "HFP-AG 0 UNKNOWN (0): AT+XAPL=05AC-1234-0100,10\\r",
             "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,80\\r"});
    }
    if (a2dp) {
        dev.On("call " + kMac + " 19 a2dp", {"CALL 1", "CONNECT 1 A2DP 19", "CONNECT 2 A2DP 19"});
    }
    if (avrcp) {
        dev.On("call " + kMac + " 17 avrcp", {"CALL 3", "CONNECT 3 AVRCP 17"});
    }
    dev.On("name " + kMac, {"NAME " + kMac + " \"Test Headset\""});
    dev.On("@0 +vgs = 15", {"HFP-AG 0 VOLUME 15"});
}

}  // namespace

class TestProcedures final : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
    std::unique_ptr<CFakeReportBus> m_bus;
    std::shared_ptr<CFakeReportDevice> m_dev;
    std::unique_ptr<CAdapterLink> m_link;

    CAdapterLink& Link() { return *m_link; }
    QStringList Sent() { return m_dev->Commands(); }
    void SetLinks(int hfp, int a2dp, int avrcp) {
        m_link->Parser().Update([=](LinkState& s) {
            s.hfpLink = hfp;
            s.a2dpLink = a2dp;
            s.avrcpLink = avrcp;
        });
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
    }

    void init() {
        const QString path = GetConfigPath();
        SetA2DPConnect(path, 1);
        SetHFPConnect(path, 1);
        SetAvrcpConnect(path, 1);
        SetPairWhenConnect(path, 1);
        SetHasMusicMode(path, 0);
        SetSyncVol(path, 0);
        SetIsAutoAdjustA2DPVol(path, 1);
        SetIsAutoAdjustHFPVol(path, 1);
        // One link for all cases (opening it costs the module's codec pacing); every case
        // starts from a cleared state, an empty script and an empty record.
        if (!m_link) {
            m_bus = std::make_unique<CFakeReportBus>();
            m_dev = m_bus->AddDevice(kAdapterVendorId, kAdapterProductIdA);
            m_link = std::make_unique<CAdapterLink>(m_bus.get());
            m_link->SetTiming(ShortWaits());
        }
        if (!m_link->IsOpen()) {
            QCOMPARE(m_link->Open(), 1);
        }
        m_dev->ClearScript();
        m_link->Parser().ResetLinkState();
        m_link->Parser().Update([](LinkState& s) {
            s.inquiryList.clear();
            s.waitMode = kWaitNone;
            s.eventCount = 0;
        });
        m_link->Parser().ClearKeys();
        m_dev->ClearWritten();
    }

    void cleanupTestCase() {
        m_link.reset();
        m_dev.reset();
        m_bus.reset();
    }

    void initModuleWithReady() {
        m_dev->On("reset", kBanner);
        SetLinks(0, 1, 3);
        QCOMPARE(Link().InitModule(), 1);
        QStringList expected = ModuleInitTable();
        expected << "close 0\rclose 1\rclose 2\rclose 3\rclose 4\rclose 5"
                 << "reset";
        QCOMPARE(Sent(), expected);
        QCOMPARE(ModuleInitTable().size(), 32);
        const LinkState s = Link().Parser().State();
        QCOMPARE(s.hfpLink, -1);
        QCOMPARE(s.waitMode, 0);
    }

    void initAndResetWithoutReady() {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(Link().InitModule(), 1);  // the wait ran out: still 1
        QVERIFY(clock.elapsed() >= ShortWaits().resetWait);
        m_dev->ClearWritten();
        QCOMPARE(Link().ResetModule(), 1);
        QCOMPARE(Sent(),
                 (QStringList{"close 0\rclose 1\rclose 2\rclose 3\rclose 4\rclose 5", "RESET"}));
    }

    void resetModuleWithReady() {
        m_dev->On("RESET", kBanner);
        Link().Parser().Update([](LinkState& s) { s.inquiryList.append({"x", kMac, -40}); });
        QCOMPARE(Link().ResetModule(), 1);
        const LinkState s = Link().Parser().State();
        QVERIFY(s.inquiryList.isEmpty());
        QCOMPARE(s.eventCount, 0);
    }

    void closedAdapterSendsNothing() {
        SetLinks(0, 1, 3);
        Link().Close();
        m_dev->ClearWritten();
        QCOMPARE(Link().InitModule(), 0);
        QCOMPARE(Link().Parser().State().hfpLink, -1);  // still cleared
        QCOMPARE(Link().ResetModule(), 0);
        QCOMPARE(Link().Inquiry(1), 0);
        QCOMPARE(Link().ConnectTarget(kMac), 0);
        QCOMPARE(Link().ReadRssi(), -1);
        QVERIFY(Sent().isEmpty());
    }

    void connectAllProfiles() {
        ScriptHeadset(*m_dev, true, true, true);
        QSignalSpy connected(&Link(), &CAdapterLink::connected);
        QCOMPARE(Link().ConnectMac(kMac.toUpper()), 1);
        const QStringList sent = Sent();
        QCOMPARE(sent.mid(0, 5),
                 (QStringList{"ic", "pair " + kMac, "call " + kMac + " 111e hfp-ag",
                              "call " + kMac + " 19 a2dp", "call " + kMac + " 17 avrcp"}));
        // The greeting: six OK results for link 0 in one report, then the rest.
        QCOMPARE(sent.mid(5, 6),
                 (QStringList{"@0 +XAPL=iPhone,7", "@0 ok\r@0 ok\r@0 ok\r@0 ok\r@0 ok\r@0 ok",
                              "+brsf:3684", "@0 ok\r@0 ok", "+bind:2,1",
                              "@0 ok\r@0 ok\r@0 ok\r@0 ok\r@0 ok\r@0 ok"}));
        QVERIFY(sent.contains("name " + kMac));
        QVERIFY(sent.contains("rssi 1"));
        QVERIFY(sent.contains("@0 +vgs = 15"));
        QVERIFY(sent.contains("@3 avrcp pdu 50 100"));
        QCOMPARE(sent.last(), QStringLiteral("@3 avrcp pdu 31 d"));
        QCOMPARE(connected.size(), 1);
        const LinkState s = Link().Parser().State();
        QCOMPARE(s.hfpLink, 0);
        QCOMPARE(s.a2dpLink, 1);
        QCOMPARE(s.avrcpLink, 3);
        QCOMPARE(s.targetMac, kMac);
        QCOMPARE(s.battery, 80);  // reported at once: the battery wait ended early
        QCOMPARE(s.streaming, 1);
        QCOMPARE(s.noCarrierWatch, 1);
        QCOMPARE(s.waitMode, 0);
        QTRY_COMPARE(Link().Parser().GetName(), QStringLiteral("Test Headset"));
    }

    void connectMacTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("full-width colons")
            << QString("00\uFF1A1a\uFF1A7d\uFF1Ada\uFF1A71\uFF1A13") << true;
        QTest::newRow("twelve hex digits") << "001A7DDA7113" << true;
        QTest::newRow("blanks between pairs") << "00 1a 7d da 71 13" << true;
        QTest::newRow("five pairs") << "00:1a:7d:da:71" << false;
        QTest::newRow("seven pairs") << "00:1a:7d:da:71:13:14" << false;
        QTest::newRow("lone last digit") << "00:1a:7d:da:71:1" << false;
        QTest::newRow("command smuggled in") << "00:1a:7d:da:71\r13" << false;
    }
    void connectMacTexts() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        SetPairWhenConnect(GetConfigPath(), 0);
        SetHFPConnect(GetConfigPath(), 0);
        SetA2DPConnect(GetConfigPath(), 1);
        ScriptHeadset(*m_dev, false, true, true);
        QCOMPARE(Link().ConnectMac(text), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(Sent().mid(0, 3), (QStringList{"ic", "call " + kMac + " 19 a2dp",
                                                    "call " + kMac + " 17 avrcp"}));
            QCOMPARE(Link().ConnectMacText(), kMac);
        } else {
            QVERIFY(Sent().isEmpty());
        }
    }

    void connectNothingConfigured() {
        SetHFPConnect(GetConfigPath(), 0);
        SetA2DPConnect(GetConfigPath(), 0);
        QCOMPARE(Link().ConnectMac(kMac), 0);
        QVERIFY(Sent().isEmpty());
        QCOMPARE(Link().Parser().State().waitMode, 0);
    }

    void connectHfpOnlyOpensSco() {
        SetA2DPConnect(GetConfigPath(), 0);
        ScriptHeadset(*m_dev, true, false, false);
        m_dev->On("sco open 0", {"CONNECT 4 SCO"});
        QCOMPARE(Link().ConnectMac(kMac), 1);
        const QStringList sent = Sent();
        for (const QString& c : sent) {
            QVERIFY2(!c.contains("a2dp") && !c.contains("avrcp"), qPrintable(c));
        }
        const int greet = static_cast<int>(sent.indexOf("+bind:2,1"));
        const int sco = static_cast<int>(sent.indexOf("sco open 0"));
        QVERIFY(greet > 0 && sco > greet);
        QCOMPARE(sent.at(sco + 1), QStringLiteral("@0 ok"));
        const LinkState s = Link().Parser().State();
        QCOMPARE(s.scoLink, 4);
        QCOMPARE(s.audioMode, 1);
        QCOMPARE(s.streaming, 0);
    }

    void connectRetriesRefusedLink() {
        ScriptHeadset(*m_dev, true, false, true);
        int a2dpCalls = 0;
        m_dev->SetResponder([&a2dpCalls](const QString& command) -> QStringList {
            if (command == "call " + kMac + " 19 a2dp") {
                // Refused once, accepted on the retry.
                return ++a2dpCalls == 1 ? QStringList{"CALL 1", "NO CARRIER 1 ERROR 0"}
                                        : QStringList{"CALL 1", "CONNECT 1 A2DP 19"};
            }
            return {};
        });
        QCOMPARE(Link().ConnectMac(kMac), 1);
        QCOMPARE(a2dpCalls, 2);
        QCOMPARE(Link().Parser().State().a2dpLink, 1);
    }

    void connectWithoutAvrcpCallRetriesIt() {
        SetAvrcpConnect(GetConfigPath(), 0);
        ScriptHeadset(*m_dev, true, true, true);
        QCOMPARE(Link().ConnectMac(kMac), 1);
        const QStringList sent = Sent();
        const QString avrcpCall = "call " + kMac + " 17 avrcp";
        QCOMPARE(sent.count(avrcpCall), 1);
        // Only after the first round's wait: not among the first calls.
        QVERIFY(sent.indexOf(avrcpCall) > sent.indexOf("call " + kMac + " 19 a2dp"));
        QCOMPARE(Link().Parser().State().avrcpLink, 3);
    }

    void connectWithAvrcpFromHeadset() {
        SetAvrcpConnect(GetConfigPath(), 0);
        ScriptHeadset(*m_dev, true, false, false);
        m_dev->On("call " + kMac + " 19 a2dp",
                  {"CALL 1", "CONNECT 1 A2DP 19", "RING 12 " + kMac + " 17 AVRCP"});
        QCOMPARE(Link().ConnectMac(kMac), 1);
        QCOMPARE(Sent().count("call " + kMac + " 17 avrcp"), 0);
        QCOMPARE(Link().Parser().State().avrcpLink, 12);
    }

    void connectFailsWhenLinksStayDown() {
        QSignalSpy connected(&Link(), &CAdapterLink::connected);
        QCOMPARE(Link().ConnectMac(kMac), 0);
        QCOMPARE(connected.size(), 0);
        QCOMPARE(Sent().count("call " + kMac + " 19 a2dp"), 2);  // first round and retry
        QCOMPARE(Link().Parser().State().waitMode, 0);
    }

    void connectTargetAlreadyConnected() {
        SetLinks(0, 1, 3);
        Link().Parser().Update([](LinkState& s) { s.targetMac = kMac; });
        QCOMPARE(Link().ConnectTarget(" " + kMac + " "), 1);
        QVERIFY(Sent().isEmpty());
    }

    void connectTargetUsesInquiryEntry() {
        ScriptHeadset(*m_dev, true, true, true);
        m_dev->On("RESET", kBanner);
        Link().Parser().Update([](LinkState& s) {
            s.inquiryList.append({"Old", kMac, -70});
            s.inquiryList.append({"Known", kMac, -55});
        });
        QCOMPARE(Link().ConnectTarget(kMac), 1);
        QVERIFY(!Sent().contains("RESET"));  // nothing was connected
        const LinkState s = Link().Parser().State();
        QCOMPARE(s.inquiryList.size(), 1);
        QCOMPARE(s.inquiryList.first().name, QStringLiteral("Known"));
    }

    void inquiryRoundsUntilTimeOut() {
        m_dev->On("inquiry 5 name", {"INQUIRY 0"});
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(Link().Inquiry(1), 0);
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY(Sent().count("inquiry 5 name") >= 2);
        const LinkState s = Link().Parser().State();
        QVERIFY(s.inquiryList.isEmpty());
        QCOMPARE(s.waitMode, 0);
    }

    void inquiryListsConnectedHeadsetFirst() {
        SetInquiryWithName(GetConfigPath(), 0);
        m_dev->On("inquiry 5", {"INQUIRY_PARTIAL 00:02:5b:00:a5:a5 240404 \"\" -61", "INQUIRY 1",
                                "INQUIRY 00:02:5b:00:a5:a5 240404"});
        SetLinks(0, 1, 3);
        Link().Parser().Update([](LinkState& s) {
            s.targetMac = kMac;
            s.targetName = QStringLiteral("Mine");
        });
        QCOMPARE(Link().Inquiry(10), 1);
        QCOMPARE(Sent(), QStringList{"inquiry 5"});
        const LinkState s = Link().Parser().State();
        QCOMPARE(s.inquiryList.size(), 2);
        QCOMPARE(s.inquiryList[0].mac, kMac);
        QCOMPARE(s.inquiryList[0].name, QStringLiteral("Mine"));
        QCOMPARE(s.inquiryList[1].rssi, -61);
        SetInquiryWithName(GetConfigPath(), 1);
    }

    void searchConnectPicksByName() {
        const QString path = GetConfigPath();
        SetPairName(path, 1);
        SetPairRssi(path, 1);
        SetPairNameStr(path, QStringLiteral("Test"));
        SetPairRssiValue(path, -80);
        ScriptHeadset(*m_dev, true, true, true);
        m_dev->On("inquiry 5 name",
                  {"INQUIRY_PARTIAL 00:02:5b:00:a5:a5 240404 \"\" -40",
                   "INQUIRY_PARTIAL " + kMac + " 240404 \"\" -50", "INQUIRY 2",
                   "NAME 00:02:5b:00:a5:a5 \"Other\"", "NAME " + kMac + " \"Test Headset\""});
        QCOMPARE(Link().SearchConnect(5), 1);
        QCOMPARE(Link().GetTargetMac(), kMac);
    }

    void connectFirstFound() {
        m_dev->On("inquiry 5", {"INQUIRY_PARTIAL " + kMac + " 240404 \"\" -47"});
        ScriptHeadset(*m_dev, true, true, true);
        QCOMPARE(Link().ConnectFirstFound(5), 1);
        QCOMPARE(Sent().first(), QStringLiteral("inquiry 5"));
        QCOMPARE(Link().Parser().State().rssi, -47);
    }

    void openHfpAudio() {
        SetLinks(0, -1, -1);
        m_dev->On("sco open 0", {"CONNECT 4 SCO"});
        QCOMPARE(Link().OpenHfpAudio(1), 1);
        QCOMPARE(Sent(), (QStringList{"sco open 0", "@0 ok"}));
        m_dev->ClearWritten();
        QCOMPARE(Link().OpenHfpAudio(1), 1);  // already open: nothing sent
        QVERIFY(Sent().isEmpty());
        // Dial: the SCO link is closed first.
        m_dev->On("@0 dial", {"CONNECT 5 SCO"});
        QCOMPARE(Link().OpenHfpAudio(2), 1);
        QCOMPARE(Sent(), (QStringList{"close 4", "@0 dial", "@0 ok"}));
        QCOMPARE(Link().AudioState(), 2);
        QCOMPARE(Link().Parser().GetModeText(), QStringLiteral("Dial"));
    }

    void openHfpAudioWithoutSco() {
        SetLinks(0, 1, 3);
        QCOMPARE(Link().OpenHfpAudio(3), 0);
        QCOMPARE(Sent(), (QStringList{"@1 a2dp streaming stop  1", "@0 ring", "@0 ok"}));
        QCOMPARE(Link().Parser().State().audioMode, 0);
        QCOMPARE(Link().OpenHfpAudio(4), 0);
    }

    void startA2dp() {
        SetHasMusicMode(GetConfigPath(), 1);
        Link().Parser().ResetLinkState();
        SetLinks(0, 1, 3);
        m_dev->On("@1 a2dp streaming start 1", {"A2DP STREAMING START 1"});
        QCOMPARE(Link().StartA2dp(), 1);
        QCOMPARE(Sent(), (QStringList{"@1 a2dp streaming start 1", "@3 avrcp nfy changed 1 1 1"}));
        QCOMPARE(Link().AudioState(), 1);
        m_dev->ClearWritten();
        QCOMPARE(Link().StartA2dp(), 1);  // already streaming
        QCOMPARE(Sent(), QStringList{"@3 avrcp nfy changed 1 1 1"});
        m_dev->ClearWritten();
        QCOMPARE(Link().StopStreaming(), 1);
        QCOMPARE(Sent(), (QStringList{"@3 avrcp nfy changed 1 1 2", "@1 a2dp streaming stop  1"}));
        QCOMPARE(Link().AudioState(), 0);
    }

    void startA2dpWithoutAnswer() {
        SetLinks(-1, 1, 3);
        QCOMPARE(Link().StartA2dp(), 0);
        SetLinks(-1, 1, -1);
        m_dev->ClearWritten();
        QCOMPARE(Link().StartA2dp(), 0);
        QVERIFY(Sent().isEmpty());
    }

    void volumeSteps() {
        SetLinks(0, -1, -1);
        Link().Parser().Update([](LinkState& s) {
            s.audioMode = 1;
            s.hfpVolume = 14;
        });
        QCOMPARE(Link().VolumeUp(), 1);
        QCOMPARE(Sent(), QStringList{"@0 +vgs = 15"});
        m_dev->ClearWritten();
        QCOMPARE(Link().VolumeUp(), 0);  // at 15
        QVERIFY(Sent().isEmpty());
        QCOMPARE(Link().VolumeDown(), 1);
        QCOMPARE(Link().Parser().State().hfpVolume, 14);
        Link().Parser().Update([](LinkState& s) { s.streaming = 1; });
        m_dev->ClearWritten();
        QCOMPARE(Link().VolumeUp(), 0);
        QCOMPARE(Link().VolumeDown(), 0);
        QCOMPARE(Sent(), (QStringList{"avrcp up", "avrcp dn"}));
        m_dev->ClearWritten();
        QCOMPARE(Link().SetHfpVolume(16), 0);
        QCOMPARE(Link().SetA2dpVolume(101), 0);
        QCOMPARE(Link().SetA2dpVolume(50), 0);  // no AVRCP link
        QVERIFY(Sent().isEmpty());
    }

    void readRssi() {
        QCOMPARE(Link().ReadRssi(), -1);  // no link: nothing sent
        QVERIFY(Sent().isEmpty());
        SetLinks(0, -1, -1);
        Link().Parser().Update([](LinkState& s) { s.targetMac = kMac; });
        m_dev->On("rssi 0", {"RSSI " + kMac + " -46"});
        QCOMPARE(Link().ReadRssi(), -46);
        m_dev->On("rssi 0", {"SYNTAX ERROR"});
        QCOMPARE(Link().ReadRssi(), -1);
    }

    void readName() {
        const QString path = GetConfigPath();
        SetLinks(0, -1, -1);
        Link().Parser().Update([](LinkState& s) {
            s.targetMac = kMac;
            s.targetName = QStringLiteral("Cached");
        });
        SetNameTest(path, 0);
        QCOMPARE(Link().ReadName(), QStringLiteral("Cached"));
        SetNameTest(path, 1);
        SetNameTestMode(path, 0);
        SetCheckName(path, QStringLiteral("ach"));
        QCOMPARE(Link().ReadName(), QStringLiteral("Cached"));  // contains: no request
        QVERIFY(Sent().isEmpty());
        SetNameTestMode(path, 1);
        m_dev->On("name " + kMac, {"NAME " + kMac + " \"\xe8\x80\xb3\xe6\x9c\xba BT\""});
        QCOMPARE(Link().ReadName(), QString::fromUtf8("\xe8\x80\xb3\xe6\x9c\xba BT"));
        m_dev->On("name " + kMac, {"NAME ERROR 104 " + kMac + " HCI_ERROR_PAGE_TIMEOUT"});
        QCOMPARE(Link().ReadName(), QString());
        SetNameTest(path, 0);
    }

    void greetingSkipsAtPartWithoutHfp() {
        SetLinks(-1, 1, 3);
        Link().Parser().Update([](LinkState& s) {
            s.targetMac = kMac;
            s.targetName = QStringLiteral("Known");
            s.rssi = 5;
        });
        Link().GreetHeadset();
        QCOMPARE(Sent(), (QStringList{"@3 avrcp pdu 50 100", "@3 avrcp pdu 31 d"}));
    }

    void callIndicator() {
        SetLinks(2, -1, -1);
        QCOMPARE(Link().SendCallIndicator(1), 1);
        QCOMPARE(Link().SendCallIndicator(0), 1);
        QCOMPARE(Sent(), (QStringList{"@2 ok\r@2 ok\r@2 ok", "+CIEV:3,1", "@2 ok\r@2 ok\r@2 ok",
                                      "+CIEV:3,0"}));
    }

    void voiceRecognitionAnsweredFromParserThread() {
        SetLinks(0, -1, -1);
        m_dev->Inject("HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r\r\n");
        QVERIFY(m_dev->WaitForCommand("@0 ok", 5000));
        m_dev->Inject("HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r\r\n");
        QTRY_COMPARE(Sent().count("@0 ok"), 2);
    }

    void keyTestCountsKeys() {
        SetBTMode(GetConfigPath(), 0);
        SetLinks(0, 1, 3);
        Link().Parser().Update([](LinkState& s) {
            s.streaming = 1;
            s.avrcpVolume = 100;
        });
        m_dev->On("@3 avrcp pdu 31 d",
                  {"AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 50"});
        QCOMPARE(Link().StartKeyTest(), 1);
        QCOMPARE(Sent(), (QStringList{"@3 avrcp pdu 50 50", "@3 avrcp pdu 31 d"}));
        m_dev->Inject(
            "AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED 50\r\n"
            "AVRCP PLAY RELEASE\r\n");
        QTRY_COMPARE(Link().Parser().KeyCounts().m_playPauseCount, 1);
        // Equal to the reference 50 (at or above 40): VOL+.
        QCOMPARE(Link().Parser().KeyCounts().m_volUpCount, 1);
    }
};

QTEST_GUILESS_MAIN(TestProcedures)
#include "tst_procedures.moc"
