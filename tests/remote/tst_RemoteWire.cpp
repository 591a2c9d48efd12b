#include <QRandomGenerator>
#include <QTest>

#include <memory>

#include "FakeRemoteStation.h"
#include "PtyPair.h"
#include "remote/CnComm.h"
#include "remote/RemoteProtocol.h"

using orv::CnComm;
using orv::CRemoteProtocol;
using orv::test::FakeRemoteStation;
using orv::test::PtyPair;

namespace {

// The remote port wired to the protocol the way the station wires it: Received drains the port
// into the protocol, replies go back out through the same port.
struct RemoteRig {
    PtyPair pty;
    CnComm comm;
    FakeRemoteStation station;
    CRemoteProtocol protocol{station, station.Pauser()};
    int receptions = 0;
    qsizetype largestText = 0;

    bool Open(int port = 1) {
        station.writer = [this](const QByteArray& bytes) { comm.Write(bytes); };
        QObject::connect(&comm, &CnComm::Received, &comm, [this](int port) {
            if (port != comm.Port()) {
                return;
            }
            ++receptions;
            protocol.OnSerialReceive(
                [this](char* buffer, qsizetype n) { return comm.ReadBuffered(buffer, n); });
            largestText = std::max(largestText, protocol.RemoteText().size());
        });
        return pty.IsValid() && comm.Open(port, pty.SlavePath());
    }

    // Everything the station wrote so far, as the controller reads it: a marker written after
    // the replies travels behind them on the same line.
    QByteArray ControllerReads() {
        comm.Write(QByteArray("\x01#END#", 6));
        return pty.ReceiveUntil(QByteArray("\x01#END#", 6));
    }
};

}  // namespace

class TestRemoteWire final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        PtyPair probe;
        if (!probe.IsValid()) {
            QSKIP("no pseudo-terminals on this system");
        }
    }

    // Every command word sent by a controller on the far end: what it presses, the replies in
    // order with the pauses between them, and the exact bytes the controller reads back.
    void commandWords_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("audioState");
        QTest::addColumn<bool>("nothingKnown");  // before any headset was connected
        QTest::addColumn<QByteArrayList>("events");
        QTest::addColumn<QByteArray>("wire");

        const QByteArray mac = "press:MacPair 00:1A:7D:DA:71:13";
        const QByteArrayList rssi{"write:-45", "pause:100", "write:OK"};
        QTest::newRow("AUTOCONNECT") << QByteArray("AUTOCONNECT\r\n") << 0 << false
                                     << QByteArrayList{"press:AutoPair"} << QByteArray();
        QTest::newRow("SEARCHCONNECT") << QByteArray("SEARCHCONNECT") << 0 << false
                                       << QByteArrayList{"press:SearchPair"} << QByteArray();
        QTest::newRow("MACCONNECT") << QByteArray("MACCONNECT:00:1A:7D:DA:71:13\r\n") << 0 << false
                                    << QByteArrayList{mac} << QByteArray();
        QTest::newRow("MAC CONNECT with a blank")
            << QByteArray("MAC CONNECT:00:1A:7D:DA:71:13") << 0 << false << QByteArrayList{mac}
            << QByteArray();
        QTest::newRow("MACCONNECT full-width colons between bytes")
            << QByteArray("MACCONNECT:00\uFF1A1A\uFF1A7D\uFF1ADA\uFF1A71\uFF1A13") << 0 << false
            << QByteArrayList{mac} << QByteArray();
        QTest::newRow("MACCONNECT full-width colon after the word")
            << QByteArray("MACCONNECT\uFF1A00\uFF1A1A\uFF1A7D\uFF1ADA\uFF1A71\uFF1A13") << 0
            << false << QByteArrayList{"prompt:Mac"} << QByteArray();
        QTest::newRow("MACCONNECT invalid MAC") << QByteArray("MACCONNECT:00:1A:7D") << 0 << false
                                                << QByteArrayList{"prompt:Mac"} << QByteArray();
        QTest::newRow("DISCONNECT")
            << QByteArray("DISCONNECT") << 0 << false
            << QByteArrayList{"press:Disconnect", "write:OK"} << QByteArray("OK");
        QTest::newRow("HFP with SCO audio open")
            << QByteArray("HFP") << 2 << false << QByteArrayList{"press:HfpMode", "write:OK"}
            << QByteArray("OK");
        QTest::newRow("HFP failing")
            << QByteArray("HFP") << 0 << false << QByteArrayList{"press:HfpMode"} << QByteArray();
        QTest::newRow("HFPA2DP runs HFP only") << QByteArray("HFPA2DP") << 1 << false
                                               << QByteArrayList{"press:HfpMode"} << QByteArray();
        QTest::newRow("A2DP streaming")
            << QByteArray("A2DP") << 1 << false << QByteArrayList{"press:A2dpMode", "write:OK"}
            << QByteArray("OK");
        QTest::newRow("A2DP failing") << QByteArray("A2DP") << 2 << false
                                      << QByteArrayList{"press:A2dpMode"} << QByteArray();
        QTest::newRow("RSSI") << QByteArray("RSSI") << 0 << false << rssi << QByteArray("-45OK");
        QTest::newRow("RSSI with line ends around")
            << QByteArray("\r\n\tRSSI\r\n") << 0 << false << rssi << QByteArray("-45OK");
        QTest::newRow("RSSI unknown")
            << QByteArray("RSSI") << 0 << true << QByteArrayList{"pause:100", "write:OK"}
            << QByteArray("OK");
        QTest::newRow("NAME") << QByteArray("NAME") << 0 << false
                              << QByteArrayList{"query:Name", "write:ORV Headset", "pause:100",
                                                "write:OK"}
                              << QByteArray("ORV HeadsetOK");
        QTest::newRow("NAME time-out")
            << QByteArray("NAME") << 0 << true
            << QByteArrayList{"query:Name", "pause:100", "write:OK"} << QByteArray("OK");
        QTest::newRow("BATTERY") << QByteArray("BATTERY") << 0 << false
                                 << QByteArrayList{"write:80", "pause:100", "write:OK"}
                                 << QByteArray("80OK");
        QTest::newRow("BATTERY unknown")
            << QByteArray("BATTERY") << 0 << true << QByteArrayList{"pause:100", "write:OK"}
            << QByteArray("OK");
        QTest::newRow("MACADDR") << QByteArray("MACADDR") << 0 << false
                                 << QByteArrayList{"write:00:1a:7d:da:71:13"}
                                 << QByteArray("00:1a:7d:da:71:13");
        QTest::newRow("RESET") << QByteArray("RESET") << 0 << false
                               << QByteArrayList{"press:Reset", "write:OK"} << QByteArray("OK");
        QTest::newRow("ANSWERCALL") << QByteArray("ANSWERCALL") << 0 << false
                                    << QByteArrayList{"press:DialMode"} << QByteArray();
        QTest::newRow("ENDCALL") << QByteArray("ENDCALL") << 1 << false
                                 << QByteArrayList{"press:A2dpMode"} << QByteArray();
        QTest::newRow("VOLUMEADD")
            << QByteArray("VOLUMEADD") << 0 << false
            << QByteArrayList{"press:VolumeUp", "pause:100"} << QByteArray();
        QTest::newRow("VOLUMEDEL")
            << QByteArray("VOLUMEDEL") << 0 << false
            << QByteArrayList{"press:VolumeDown", "pause:100"} << QByteArray();
        QTest::newRow("VOLUME") << QByteArray("VOLUME") << 0 << false
                                << QByteArrayList{"hfpVolume:15", "pause:200", "a2dpVolume:100",
                                                  "pause:200", "refresh"}
                                << QByteArray();
        QTest::newRow("READINFO")
            << QByteArray("READINFO") << 0 << false
            << QByteArrayList{"refreshInfo", "pause:2000",
                              "write:ORV Headset,00:1a:7d:da:71:13,A2DP,100,80,-45"}
            << QByteArray("ORV Headset,00:1a:7d:da:71:13,A2DP,100,80,-45");
        QTest::newRow("READINFO before any connection")
            << QByteArray("READINFO") << 0 << true << QByteArrayList{"refreshInfo", "write:,,,,,"}
            << QByteArray(",,,,,");
        QTest::newRow("STARTKEY") << QByteArray("STARTKEY") << 0 << false
                                  << QByteArrayList{"press:KeyStart", "pause:1000", "write:OK"}
                                  << QByteArray("OK");
        QTest::newRow("STOPKEY") << QByteArray("STOPKEY") << 0 << false
                                 << QByteArrayList{"press:KeyStop", "pause:1000", "write:OK"}
                                 << QByteArray("OK");
    }
    void commandWords() {
        QFETCH(QByteArray, sent);
        QFETCH(int, audioState);
        QFETCH(bool, nothingKnown);
        QFETCH(QByteArrayList, events);
        QFETCH(QByteArray, wire);
        RemoteRig rig;
        QVERIFY(rig.Open());
        rig.station.audioStateAfterPress = audioState;
        if (nothingKnown) {
            rig.station.name.clear();
            rig.station.rssiText.clear();
            rig.station.batteryText.clear();
            rig.station.targetMac.clear();
            rig.station.info = {};
            rig.station.refreshInfoResult = 0;  // not connected: the module is not asked
        }
        QVERIFY(rig.pty.Send(sent));
        QTRY_VERIFY_WITH_TIMEOUT(rig.receptions > 0 && rig.comm.Buffered() == 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.station.events, events, 5000);
        QCOMPARE(rig.ControllerReads(), wire);
        QVERIFY(rig.protocol.RemoteText().isEmpty());
    }

    // A command whose bytes arrive in two receptions runs once, when it is complete.
    void commandSplitOverReceptions() {
        RemoteRig rig;
        QVERIFY(rig.Open());
        QVERIFY(rig.pty.Send("XYZ\r\nREAD"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.protocol.RemoteText(), QStringLiteral("XYZ\r\nREAD"), 5000);
        QVERIFY(rig.station.events.isEmpty());
        QVERIFY(rig.pty.Send("INFO\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.station.events.size(), 3, 5000);
        QCOMPARE(rig.ControllerReads(),
                 QByteArray("ORV Headset,00:1a:7d:da:71:13,A2DP,100,80,-45"));
        QVERIFY(rig.protocol.RemoteText().isEmpty() ||
                rig.protocol.RemoteText() == QStringLiteral("\r\n"));
    }

    // The texts the station sends on its own: the completed connection and the key presses.
    void unsolicitedTexts() {
        RemoteRig rig;
        QVERIFY(rig.Open());
        rig.protocol.OnHeadsetConnected();
        for (int key = 1; key <= 5; ++key) {
            rig.protocol.OnKeyPressed(key);
        }
        QCOMPARE(rig.ControllerReads(), QByteArray("OKVOL+VOL-PLAY/PAUSENEXTPREVIOUS"));
    }

    // A controller flooding 10 MB of random bytes: every byte is taken, memory stays bounded
    // (receive buffer and RemoteText), and the next command is still answered.
    void randomFloodStaysBounded() {
        RemoteRig rig;
        QVERIFY(rig.Open());
        constexpr qsizetype kFlood = 10 * 1024 * 1024;
        QByteArray flood(kFlood, Qt::Uninitialized);
        QRandomGenerator random(20261210);
        random.fillRange(reinterpret_cast<quint32*>(flood.data()), kFlood / 4);
        rig.pty.StartWriter(flood);
        flood.clear();

        QTRY_VERIFY_WITH_TIMEOUT(
            rig.pty.WriterDone() && rig.comm.ReceivedCount() == kFlood && rig.comm.Buffered() == 0,
            90000);
        QVERIFY(rig.pty.WriterOk());
        QVERIFY2(rig.comm.PeakBuffered() <= CnComm::kReceiveLimit,
                 QByteArray::number(rig.comm.PeakBuffered()));
        QVERIFY(rig.comm.BufferCapacity() <= orv::BlockBuffer::kReuseLimit);
        QVERIFY2(rig.largestText <= CRemoteProtocol::kRemoteTextLimit,
                 QByteArray::number(rig.largestText));
        QVERIFY(rig.receptions > 1);

        rig.ControllerReads();  // whatever words the random bytes happened to hold
        rig.station.events.clear();
        QVERIFY(rig.pty.Send("BATTERY"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.station.events,
                                  (QByteArrayList{"write:80", "pause:100", "write:OK"}), 5000);
        QCOMPARE(rig.ControllerReads(), QByteArray("80OK"));
    }
};

QTEST_GUILESS_MAIN(TestRemoteWire)
#include "tst_RemoteWire.moc"
