// The line controller drives the whole station over a pseudo-terminal: the main window runs on
// the offscreen platform against the simulated adapter, the test plays the controller on the
// master side of the line and reads exactly the bytes the station writes back.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include "PtyPair.h"
#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "lang/Language.h"
#include "module/ModuleParser.h"
#include "remote/CnComm.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"
#include "sim/SimulatedBus.h"
#include "station/ColorStatic.h"
#include "station/ORV318PRODlg.h"
#include "station/StationUi.h"

using namespace orv;

namespace {

const QString kMac = QStringLiteral("00:1a:7d:da:71:13");

// The headset presses its keys only when the test tells the simulator to. Pages (and name
// requests) take 300 ms, long enough for the controller to send while the station waits.
const char kScenario[] =
    "[Adapter]\nProductId=0x5750\nFirmware=6.1.0 build 1022\nReplyDelayMs=1\nControlSocket=\n"
    "ConnectMs=300\n"
    "[Headset1]\nName=Line Headset\nMac=00:1a:7d:da:71:13\nRssi=-47\nBattery=80\n"
    "BatteryReport=iphoneaccev\nProfiles=hfp,a2dp,avrcp\nHfpVolume=9\nAvrcpVolume=55\n"
    "Faults=\n";

// The controller's end of the cable: the master side of a pseudo-terminal, read without ever
// blocking, because the station runs on the test's own thread.
class Controller final {
public:
    bool IsValid() const { return m_pty.IsValid(); }
    // Hangs up the line, as pulling the controller's cable out of a USB serial adapter does.
    void HangUp() {
        m_pty.StopWriter();
        m_pty.CloseMaster();
    }
    QString SlavePath() const { return m_pty.SlavePath(); }

    // Writes `bytes` from a thread of its own while the station (on the test's thread) reads.
    void StartFlood(QByteArray bytes) { m_pty.StartWriter(std::move(bytes)); }
    bool FloodDone() const { return m_pty.WriterDone(); }
    void JoinFlood() { m_pty.StopWriter(); }

    bool Send(const QByteArray& bytes) { return m_pty.Send(bytes); }

    // Everything that arrived so far, without waiting.
    const QByteArray& Received() { return m_pty.Pending(); }
    // Waits (serving the station's events) until `count` bytes have arrived; takes them.
    QByteArray Take(qsizetype count, int timeoutMs = 10000) {
        (void)QTest::qWaitFor([&] { return Received().size() >= count; }, timeoutMs);
        QByteArray& pending = m_pty.Pending();
        const QByteArray taken = pending.left(count);
        pending.remove(0, taken.size());
        return taken;
    }
    // Waits until the station has answered `text`, then takes everything up to and including
    // it; what came before it is returned too, so that a stray reply shows in a comparison.
    QByteArray TakeThrough(const QByteArray& text, int timeoutMs = 10000) {
        (void)QTest::qWaitFor([&] { return Received().contains(text); }, timeoutMs);
        QByteArray& pending = m_pty.Pending();
        const qsizetype at = pending.indexOf(text);
        const qsizetype end = at < 0 ? pending.size() : at + text.size();
        const QByteArray taken = pending.left(end);
        pending.remove(0, end);
        return taken;
    }

private:
    test::PtyPair m_pty;
};

}  // namespace

class TestRemoteEndToEnd final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    Controller m_line;
    sim::CSimulatedBus* m_sim = nullptr;  // owned by the window
    std::unique_ptr<CORV318PRODlg> m_window;

    bool HeadsetConnected() const {
        return m_window->Link()->IsOpen() && m_window->Link()->Parser().IsConnected();
    }

private slots:
    void initTestCase() {
        if (!m_line.IsValid())
            QSKIP("no pseudo-terminals on this system");
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        SetHeadlessUi(true);  // message boxes go to the log
        QVERIFY(LoadLanguage(1, {QStringLiteral(ORV_BINARY_DIR "/bin")}));
        const QString p = GetConfigPath();
        SetTopMost(p, 0);
        SetAutoTestAfterMacConnected(p, 0);
        SetKeyCheckTimes(p, 1);
        SetBTMode(p, 0);
        SetSerialPortName(p, m_line.SlavePath());
        SetSerialPort(p, 1, 9600, 1);

        const QString scenario = m_home.filePath(QStringLiteral("line.ini"));
        QFile f(scenario);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kScenario);
        f.close();
        QString error;
        auto bus = sim::CSimulatedBus::Create(scenario, &error);
        QVERIFY2(bus, qPrintable(error));
        m_sim = bus.get();
        m_window = std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
        m_window->show();
        // The remote port is opened during start-up, before the adapter.
        QVERIFY(m_window->RemotePort()->IsOpen());
        QCOMPARE(m_window->RemotePort()->DevicePath(), m_line.SlavePath());
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Link()->IsOpen(), 5000);
    }

    void cleanupTestCase() {
        if (!m_window)
            return;
        CnComm* port = m_window->RemotePort();
        m_window->close();  // the shutdown closes the remote port
        QVERIFY(!port->IsOpen());
        m_window.reset();
    }

    // Runs first: nothing has been reported yet, so every field is empty.
    void readInfoBeforeAnyConnection() {
        QVERIFY(m_line.Send("READINFO"));
        QCOMPARE(m_line.Take(5), QByteArray(",,,,,"));
    }

    // A MAC the station cannot read starts nothing and sends nothing: the window comes up with
    // an empty MAC field that has the focus, for the operator to type.
    void invalidMacPromptsOperator() {
        m_window->MacEdit()->setText(QStringLiteral("left by the operator"));
        QVERIFY(m_line.Send("MACCONNECT:0:1A:7D:DA:71:13\r\n"));
        QTRY_VERIFY(m_window->MacEdit()->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), m_window->MacEdit());
        QVERIFY(!m_window->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        // The next reply on the line is the next command's: nothing was sent for the MAC.
        QVERIFY(m_line.Send("BATTERY"));
        QCOMPARE(m_line.TakeThrough("OK"), QByteArray("OK"));
    }

    // A blank inside the word and the word split across two receptions; the MAC is what
    // follows the first ':'. "OK" comes only once the headset is connected.
    void macConnectAnswersOkWhenConnected() {
        QVERIFY(m_line.Send("MAC CONNE"));
        QTRY_COMPARE(m_window->Remote()->RemoteText(), QStringLiteral("MAC CONNE"));
        QVERIFY(m_line.Send("CT:00:1A:7D:DA:71:13\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(m_line.Received().contains("OK"), 10000);
        QVERIFY(HeadsetConnected());
        QCOMPARE(m_line.TakeThrough("OK"), QByteArray("OK"));
        QVERIFY(m_window->Remote()->RemoteText().isEmpty());
        QCOMPARE(m_window->Link()->GetTargetMac(), kMac);
        QCOMPARE(m_window->BluetoothLabel()->GetText(), StationText(IDS_BT_CONNECTED));
    }

    void readInfoGivesSixFields() {
        QVERIFY(HeadsetConnected());
        QVERIFY(m_line.Send("READINFO\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(m_line.Received().count(',') == 5, 8000);
        // RSSI's "OK" marks the end of READINFO's reply, which has no end of its own.
        QVERIFY(m_line.Send("RSSI"));
        QByteArray info = m_line.TakeThrough("OK");
        QVERIFY2(info.endsWith("-47OK"), info.constData());
        info.chop(5);
        const QList<QByteArray> fields = info.split(',');
        QCOMPARE(fields.size(), 6);
        QCOMPARE(fields[0], QByteArray("Line Headset"));
        QCOMPARE(fields[1], kMac.toLatin1());
        QCOMPARE(fields[4], QByteArray("80"));
        QCOMPARE(fields[5], QByteArray("-47"));
        // Connected with A2DP up, the volume is the headset's own absolute volume.
        QCOMPARE(fields[2], QByteArray("A2DP"));
        const QString state = m_sim->Control(QStringLiteral("state"));
        const qsizetype at = state.indexOf(QStringLiteral("avrcpvol="));
        QVERIFY2(at >= 0, qPrintable(state));
        QCOMPARE(QString::fromLatin1(fields[3]),
                 state.mid(at + 9).section(QLatin1Char(' '), 0, 0));
    }

    // A command sent while another one waits for the headset runs after it: the replies do not
    // interleave and nothing is lost.
    void commandDuringAnotherRunsAfterIt() {
        QVERIFY(HeadsetConnected());
        bool sent = false;
        QTimer inside;
        inside.setInterval(0);
        connect(&inside, &QTimer::timeout, this, [&] {
            // True only while NAME runs: the station empties its text when the command is over.
            if (!sent && m_window->Remote()->RemoteText().contains(QLatin1String("NAME")))
                sent = m_line.Send("RSSI");
        });
        inside.start();
        QVERIFY(m_line.Send("NAME"));
        const QByteArray got = m_line.TakeThrough("-47OK");
        inside.stop();
        QVERIFY(sent);
        QCOMPARE(got, QByteArray("Line HeadsetOK-47OK"));
        QVERIFY(m_window->Remote()->RemoteText().isEmpty());
    }

    // The key test reports each key the headset presses, in order, with nothing between them.
    void startKeyReportsEveryKey() {
        QVERIFY(HeadsetConnected());
        QVERIFY(m_line.Send("STARTKEY"));
        QCOMPARE(m_line.TakeThrough("OK"), QByteArray("OK"));
        // One press at a time, each reported before the next; a volume key is seen only through
        // the AVRCP volume notification, so it waits until the station has armed one.
        for (const char* key : {"VOL+", "VOL-", "PLAY/PAUSE", "NEXT", "PREVIOUS"}) {
            const QByteArray text(key);
            if (text.startsWith("VOL")) {
                QTRY_VERIFY_WITH_TIMEOUT(m_sim->Control(QStringLiteral("state"))
                                             .contains(QStringLiteral("registered=1")),
                                         5000);
            }
            QCOMPARE(m_sim->Control(QStringLiteral("press %1 %2").arg(kMac, QLatin1String(key))),
                     QStringLiteral("OK"));
            QCOMPARE(m_line.Take(text.size()), text);
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            m_window->findChild<CColorStatic*>(ControlName(IDC_KEY_RESULT))->GetText(),
            QStringLiteral("PASS"), 5000);
    }

    void disconnectAnswersOk() {
        QVERIFY(m_line.Send("DISCONNECT"));
        QCOMPARE(m_line.TakeThrough("OK"), QByteArray("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(!HeadsetConnected(), 5000);
        QCOMPARE(m_window->BluetoothLabel()->GetText(), StationText(IDS_BT_DISCONNECTED));
    }

    // 10 MB of random bytes without a command word: the station takes them all on its own
    // thread, keeps bounded memory and answers the next command with its reply alone.
    void randomFloodLeavesStationResponsive() {
        constexpr qsizetype kFlood = 10 * 1024 * 1024;
        QByteArray flood(kFlood, Qt::Uninitialized);
        QRandomGenerator random(20261210);
        random.fillRange(reinterpret_cast<quint32*>(flood.data()), kFlood / 4);
        for (char& c : flood) {
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');  // every command word is upper case
        }
        CnComm* port = m_window->RemotePort();
        const qint64 before = port->ReceivedCount();
        qsizetype longestText = 0;
        m_line.StartFlood(std::move(flood));
        QVERIFY(QTest::qWaitFor(
            [&] {
                longestText = std::max(longestText, m_window->Remote()->RemoteText().size());
                return m_line.FloodDone() && port->ReceivedCount() - before == kFlood &&
                       port->Buffered() == 0;
            },
            60000));
        m_line.JoinFlood();
        QVERIFY2(longestText <= CRemoteProtocol::kRemoteTextLimit,
                 QByteArray::number(longestText));
        QVERIFY2(port->PeakBuffered() <= CnComm::kReceiveLimit,
                 QByteArray::number(port->PeakBuffered()));
        QVERIFY(m_line.Send("BATTERY"));
        QCOMPARE(m_line.TakeThrough("OK"), QByteArray("OK"));
    }

    // Runs last: the line goes away under the station, which closes its end and works on.
    void lineHungUpClosesPort() {
        CnComm* port = m_window->RemotePort();
        QVERIFY(port->IsOpen());
        m_line.HangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!port->IsOpen(), 5000);
        QVERIFY(m_window->Link()->IsOpen());
        QFile log(CLogWriter::Instance()->path());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(
            log.readAll().contains("remote port " + m_line.SlavePath().toLocal8Bit() + " lost"));
    }
};

QTEST_MAIN(TestRemoteEndToEnd)
#include "tst_remote_endtoend.moc"
