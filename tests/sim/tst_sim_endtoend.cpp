// The station's real adapter link against the simulated adapter: connect a headset with every
// profile, read its name, battery and RSSI, stream, open SCO, count its five keys, see the link
// drop; then a headset that reports its battery by HF indicator.

#include "SimHarness.h"
#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"

#include <QTemporaryDir>
#include <QTest>

using namespace orv;

namespace {

const QString kMac1 = QStringLiteral("00:1a:7d:da:71:13");
const QString kMac2 = QStringLiteral("00:1a:7d:da:71:14");

const char* kScenario =
    "[Adapter]\nProductId=0x5750\nReplyDelayMs=2\nConnectMs=10\nBootMs=10\n"
    "[Headset1]\nName=Sim Headset\nMac=00:1a:7d:da:71:13\nRssi=-47\nBattery=80\n"
    "BatteryReport=iphoneaccev\nProfiles=hfp,a2dp,avrcp\nHfpVolume=9\nAvrcpVolume=55\n"
    "Keys=0:VOL+,150:VOL-,300:PLAY/PAUSE,450:NEXT,600:PREVIOUS\nKeysRepeatMs=0\n"
    "[Headset2]\nName=Indicator Set\nMac=00:1a:7d:da:71:14\nRssi=-61\nBattery=100\n"
    "BatteryReport=biev\nProfiles=hfp\n";

}  // namespace

class TestSimEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void wholeHeadset();

private:
    QTemporaryDir m_home;
};

void TestSimEndToEnd::initTestCase() {
    qputenv("PULSE_SERVER", "unix:/nonexistent/orv-sim-test");  // silent headsets suffice
    QVERIFY(m_home.isValid());
    SetAppHome(m_home.path());
    const QString cfg = GetConfigPath();
    SetA2DPConnect(cfg, 1);
    SetHFPConnect(cfg, 1);
    SetAvrcpConnect(cfg, 1);
}

void TestSimEndToEnd::wholeHeadset() {
    SimHarness sim;
    QString error;
    QVERIFY2(sim.Start(QString::fromLatin1(kScenario), &error), qPrintable(error));
    sim.device.reset();  // the link opens the adapter itself

    CAdapterLink link(sim.bus.get());
    // The link emits these on its parser thread; they are counted on this thread, through queued
    // connections, as the station's window receives them (a spy would append on the parser's).
    int connected = 0;
    int dropped = 0;
    QObject receiver;
    QObject::connect(
        &link, &CAdapterLink::connected, &receiver, [&] { ++connected; }, Qt::QueuedConnection);
    QObject::connect(
        &link, &CAdapterLink::linksDropped, &receiver, [&] { ++dropped; }, Qt::QueuedConnection);
    QCOMPARE(link.Open(), 1);

    // Connect: HFP, A2DP and AVRCP come up; the greeting reads battery, name and RSSI.
    QCOMPARE(link.ConnectMac(kMac1), 1);
    QTRY_COMPARE(connected, 1);
    LinkState s = link.Parser().State();
    QCOMPARE(s.hfpLink, 0);
    QCOMPARE(s.a2dpLink, 1);
    QCOMPARE(s.avrcpLink, 3);
    QCOMPARE(s.battery, 80);  // AT+IPHONEACCEV level 7
    QVERIFY(link.Parser().IsConnected());
    QCOMPARE(link.QueryName(), QStringLiteral("Sim Headset"));
    QCOMPARE(link.ReadRssi(), -47);
    QString state = sim.Control(QStringLiteral("state"));
    QVERIFY2(state.contains(QLatin1String("pin=")), qPrintable(state));  // start-up settings

    // SCO audio, then back to A2DP streaming.
    QCOMPARE(link.OpenHfpAudio(1), 1);
    QCOMPARE(link.Parser().State().scoLink, 4);
    QVERIFY(sim.Control(QStringLiteral("state")).contains(QLatin1String("sco=4")));
    QCOMPARE(link.StartA2dp(), 1);
    QCOMPARE(link.Parser().State().streaming, 1);
    state = sim.Control(QStringLiteral("state"));
    QVERIFY2(state.contains(QLatin1String("sco=- streaming=1")), qPrintable(state));

    // Key test in A2DP mode: the operator presses all five keys once.
    QCOMPARE(link.StartKeyTest(), 1);
    QCOMPARE(sim.Control(QStringLiteral("keys %1").arg(kMac1)), QStringLiteral("OK"));
    const auto counts = [&link]() { return link.Parser().KeyCounts(); };
    QTRY_VERIFY_WITH_TIMEOUT(counts().m_previousCount == 1, 5000);
    QCOMPARE(counts().m_volUpCount, 1);
    QCOMPARE(counts().m_volDownCount, 1);
    QCOMPARE(counts().m_playPauseCount, 1);
    QCOMPARE(counts().m_nextCount, 1);

    // The headset goes out of range: the station sees the links drop.
    QCOMPARE(sim.Control(QStringLiteral("drop %1").arg(kMac1)), QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(dropped, 1, 5000);
    s = link.Parser().State();
    QCOMPARE(s.hfpLink, -1);
    QCOMPARE(s.a2dpLink, -1);
    QCOMPARE(s.avrcpLink, -1);

    // A headset with HFP only that reports its battery by HF indicator (AT+BIEV).
    SetA2DPConnect(GetConfigPath(), 0);
    QCOMPARE(link.ConnectMac(kMac2), 1);
    s = link.Parser().State();
    QCOMPARE(s.hfpLink, 0);
    QCOMPARE(s.battery, 100);
    QCOMPARE(s.scoLink >= 0, true);  // HFP only: the connect opens SCO audio
    QCOMPARE(link.ReadRssi(), -61);
    SetA2DPConnect(GetConfigPath(), 1);

    link.Close();
}

QTEST_GUILESS_MAIN(TestSimEndToEnd)
#include "tst_sim_endtoend.moc"
