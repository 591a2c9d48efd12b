// The adapter link's transport: opening, the start-up settings, the monitor and parser threads,
// serialised sends, logging, and the owner notifications.
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include "FakeReportDevice.h"
#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Settings.h"
#include "shell/LogWriter.h"

using namespace orv;
using orv::test::CFakeReportBus;
using orv::test::CFakeReportDevice;

namespace {

const QString kMac = QStringLiteral("00:1a:7d:da:71:13");

QString LogText() {
    QFile f(CLogWriter::Instance()->path());
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

}  // namespace

class TestAdapterLink final : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        const QString path = GetConfigPath();
        SetSearchPower(path, -4);
        SetPassWord(path, QStringLiteral("1234"));
        SetSampleRate(path, 1);
        SetBandWidth(path, 0);
    }

    void openWithoutAdapter() {
        CFakeReportBus bus;
        bus.AddDevice(kAdapterVendorId, kAdapterProductIdB);  // the other model
        bus.AddDevice(0x1234, kAdapterProductIdA);            // another vendor
        CAdapterLink link(&bus);
        QCOMPARE(link.Open(), 0);
        QVERIFY(!link.IsOpen());
        QVERIFY(!link.Parser().IsRunning());
        QCOMPARE(link.Send(QStringLiteral("reset")), 0);
    }

    void openChoosesProductAndSendsSettings() {
        CFakeReportBus bus;
        auto a = bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        auto b = bus.AddDevice(kAdapterVendorId, kAdapterProductIdB);
        CAdapterLink link(&bus);
        link.SetProductId(kAdapterProductIdB);
        QCOMPARE(link.Open(), 1);
        QVERIFY(link.IsOpen());
        QVERIFY(a->Written().isEmpty());
        QCOMPARE(b->Written(), (QStringList{"set bt power 6 6 -4\r\n", "set bt auth * 1234\r\n",
                                            "SET CONTROL CODEC SBC JOINT_STEREO 48000 1\r\n",
                                            "SET CONTROL CODEC APT-X JOINT_STEREO 48000 0\r\n",
                                            "SET BT SCO\r\n"}));
        link.Close();
        QVERIFY(!link.IsOpen());
        QVERIFY(!link.Parser().IsRunning());
        // Plugged in again.
        QCOMPARE(link.Open(), 1);
    }

    void startupSettingsOutOfRange() {
        const QString path = GetConfigPath();
        SetSearchPower(path, 7);
        CFakeReportBus bus;
        auto dev = bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        CAdapterLink link(&bus);
        QCOMPARE(link.Open(), 1);
        for (const QString& w : dev->Written()) {
            QVERIFY2(!w.startsWith(QLatin1String("set bt power")), qPrintable(w));
        }
        SetSearchPower(path, -19);
        QCOMPARE(link.SetSearchPower(), 0);
        SetSearchPower(path, -18);
        QCOMPARE(link.SetSearchPower(), 1);
        SetSearchPower(path, -4);
    }

    void receivedTextReachesParserAndLog() {
        CFakeReportBus bus;
        auto dev = bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        dev->SetChunkSize(7);  // lines cut across reports
        CAdapterLink link(&bus);
        QCOMPARE(link.Open(), 1);
        link.Parser().Update([](LinkState& s) {
            s.hfpLink = 0;
            s.waitMode = kWaitReady;
        });
        dev->Inject(
            QStringLiteral("WRAP THOR AI (6.1.0 build 1022)\r\nCopyright (c) 2003-2015 "
                           "Bluegiga Technologies Inc.\r\nREADY.\r\n"));
        dev->Inject(QStringLiteral("HFP-AG 0 VOLUME 11\r\n"));
        QVERIFY(link.Parser().WaitFor(
            [](const LinkState& s) { return s.eventCount == 1 && s.hfpVolume == 11; }, 5000));
        const QString log = LogText();
        QVERIFY(log.contains(QLatin1String("RECV:HFP-AG")));
        QVERIFY(log.contains(QLatin1String("send:SET BT SCO\r\n")));
        QVERIFY(log.contains(QLatin1String("[TRACE]: Start Monitor")));
    }

    void bannerReportNotLogged() {
        CFakeReportBus bus;
        auto dev = bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        CAdapterLink link(&bus);
        QCOMPARE(link.Open(), 1);
        link.Parser().Update([](LinkState& s) { s.waitMode = kWaitReady; });
        // One report holding both words of the banner: handed on, not logged.
        dev->Inject(QStringLiteral("WRAP THOR Bluegiga 42\r\nREADY.\r\n"));
        QVERIFY(link.Parser().WaitFor([](const LinkState& s) { return s.eventCount == 1; }, 5000));
        QVERIFY(!LogText().contains(QLatin1String("WRAP THOR Bluegiga 42")));
        link.Close();
        QVERIFY(LogText().contains(QLatin1String("[TRACE]: Stop Monitor")));
    }

    void sendsAreSerialised() {
        CFakeReportBus bus;
        auto dev = bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        CAdapterLink link(&bus);
        QCOMPARE(link.Open(), 1);
        dev->ClearWritten();
        std::vector<std::thread> senders;
        for (int t = 0; t < 4; ++t) {
            senders.emplace_back([&link, t] {
                for (int i = 0; i < 200; ++i) {
                    link.Send(QStringLiteral("@%1 ok %2").arg(t).arg(i));
                }
            });
        }
        for (std::thread& s : senders) {
            s.join();
        }
        QCOMPARE(dev->Written().size(), 800);
        QCOMPARE(dev->MaxConcurrentWrites(), 1);
    }

    void closeDuringWaitEndsIt() {
        CFakeReportBus bus;
        bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        CAdapterLink link(&bus);
        QCOMPARE(link.Open(), 1);
        link.Parser().Update([](LinkState& s) { s.hfpLink = 0; });
        int result = -2;
        std::thread worker([&] { result = link.OpenHfpAudio(1); });  // waits up to 6 s for SCO
        QVERIFY(link.Parser().WaitFor([](const LinkState& s) { return s.waitMode == kWaitSco; },
                                      5000));
        link.Close();
        worker.join();  // returns promptly: a closed link waits for nothing
        QCOMPARE(result, 0);
    }

    // The links-dropped handler resets the module, which waits for "READY." from the parser
    // thread: the notification must not keep that thread waiting.
    void droppedHandlerMayWaitForTheModule() {
        CFakeReportBus bus;
        auto dev = bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        dev->On(QStringLiteral("RESET"),
                {QStringLiteral("WRAP THOR AI (6.1.0 build 1022)"), QStringLiteral("READY.")});
        CAdapterLink link(&bus);
        ModuleTiming timing;
        timing.resetWait = 60000;  // a blocked parser would show as a hung test
        link.SetTiming(timing);
        QCOMPARE(link.Open(), 1);
        QObject owner;
        QList<QString> order;
        bool ready = false;
        connect(&link, &CAdapterLink::linkInfoChanged, &owner,
                [&] { order.append(QStringLiteral("info")); });
        connect(&link, &CAdapterLink::linksDropped, &owner, [&] {
            order.append(QStringLiteral("dropped"));
            QElapsedTimer clock;
            clock.start();
            link.ResetModule();
            // "READY." ended the wait, long before its 60 s limit.
            ready = clock.elapsed() < 30000;
        });
        link.Parser().Update([](LinkState& s) {
            s.hfpLink = 0;
            s.avrcpLink = 3;
            s.noCarrierWatch = 1;
        });
        // Two notices queued before the owner's thread gets to either: delivered in order.
        dev->Inject(
            QStringLiteral("AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED "
                           "40\r\n"));
        QVERIFY(
            link.Parser().WaitFor([](const LinkState& s) { return s.avrcpVolume == 40; }, 5000));
        dev->Inject(QStringLiteral("NO CARRIER 0 ERROR c0c RFC_L2CAP_LINK_LOSS\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(ready, 10000);
        QCOMPARE(order, (QList<QString>{"info", "dropped"}));
    }

    void mediaKeysReachTheDesktop() {
        struct CDesktop final : IDesktop {
            void SelectAdapterAudio() override { ++selects; }
            int SetSystemVolume(int, int percent) override {
                volumes.append(percent);
                return 1;
            }
            void PressMediaKey(MediaKey key) override { keys.append(static_cast<int>(key)); }
            std::atomic<int> selects{0};
            QList<int> volumes;
            QList<int> keys;
        } desktop;
        SetSyncVol(GetConfigPath(), 1);
        CFakeReportBus bus;
        auto dev = bus.AddDevice(kAdapterVendorId, kAdapterProductIdA);
        CAdapterLink link(&bus, &desktop);
        QCOMPARE(link.Open(), 1);
        QCOMPARE(desktop.selects.load(), 1);
        link.Parser().Update([](LinkState& s) { s.hfpLink = 0; });
        dev->Inject(QStringLiteral("AVRCP FORWARD RELEASE\r\nHFP-AG 0 VOLUME 7\r\n"));
        QVERIFY(link.Parser().WaitFor([](const LinkState& s) { return s.hfpVolume == 7; }, 5000));
        link.Close();
        QCOMPARE(desktop.keys, QList<int>{static_cast<int>(MediaKey::Next)});
        QCOMPARE(desktop.volumes, QList<int>{46});  // gain 7 of 15
        SetSyncVol(GetConfigPath(), 0);

        // Legacy audio leaves the default devices alone.
        CAdapterLink legacy(&bus, &desktop);
        legacy.SetLegacyAudio(1);
        QCOMPARE(legacy.Open(), 1);
        QCOMPARE(desktop.selects.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAdapterLink)
#include "tst_adapterlink.moc"
