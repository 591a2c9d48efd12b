#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "PtyPair.h"
#include "config/Config.h"
#include "remote/CnComm.h"

using orv::CnComm;
using orv::test::PtyPair;

namespace {

// Drains as the station does: pieces of 1023 bytes until the buffer is empty.
QByteArray DrainAll(CnComm& comm) {
    QByteArray out;
    char piece[1023];
    for (;;) {
        const qsizetype n = comm.ReadBuffered(piece, sizeof piece);
        if (n == 0) {
            return out;
        }
        out.append(piece, n);
    }
}

}  // namespace

class TestCnComm final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        PtyPair probe;
        if (!probe.IsValid()) {
            QSKIP("no pseudo-terminals on this system");
        }
    }

    // Out-of-range numbers are refused before any device is looked at.
    void refusesPortsOutsideRange_data() {
        QTest::addColumn<int>("port");
        QTest::newRow("0") << 0;
        QTest::newRow("1025") << 1025;
        QTest::newRow("negative") << -3;
    }
    void refusesPortsOutsideRange() {
        QFETCH(int, port);
        PtyPair pty;
        CnComm comm;
        QVERIFY(!comm.Open(port, pty.SlavePath()));
        QVERIFY(!comm.IsOpen());
        QCOMPARE(comm.Port(), -1);
        QVERIFY(!comm.ErrorText().contains(pty.SlavePath()));
        QCOMPARE(PtyPair::CountOpenFds(pty.SlavePath()), 0);
        // The first and last valid numbers open.
        QVERIFY2(comm.Open(CnComm::kLastPort, pty.SlavePath()), qPrintable(comm.ErrorText()));
        QCOMPARE(comm.Port(), CnComm::kLastPort);
        comm.Close();
        QVERIFY2(comm.Open(CnComm::kFirstPort, pty.SlavePath()), qPrintable(comm.ErrorText()));
    }

    void missingDeviceFails() {
        CnComm comm;
        const QString path = QStringLiteral("/nonexistent/ttyORV");
        QVERIFY(!comm.Open(4, path));
        QVERIFY(!comm.IsOpen());
        QCOMPARE(comm.Port(), -1);
        QVERIFY2(comm.ErrorText().contains(path), qPrintable(comm.ErrorText()));
        QCOMPARE(CnComm::DefaultDevicePath(4), QStringLiteral("/dev/ttyS3"));
    }

    // Bytes both ways exactly as sent; Close releases the device so it can be opened again.
    void exchangesBytesAndReleasesDevice() {
        PtyPair pty;
        CnComm comm;
        QSignalSpy received(&comm, &CnComm::Received);
        QVERIFY2(comm.Open(7, pty.SlavePath(), 115200), qPrintable(comm.ErrorText()));
        QVERIFY(comm.IsOpen());
        QVERIFY(comm.IsMonitorRunning());
        QCOMPARE(comm.Port(), 7);
        QCOMPARE(comm.DevicePath(), pty.SlavePath());
        QCOMPARE(PtyPair::CountOpenFds(pty.SlavePath()), 1);

        QVERIFY(pty.Send(QByteArray("HELLO\r\n\x00\xff", 9)));
        QVERIFY(received.wait(5000));
        QCOMPARE(received.first().first().toInt(), 7);
        QTRY_COMPARE_WITH_TIMEOUT(comm.Buffered(), qsizetype{9}, 5000);
        QCOMPARE(DrainAll(comm), QByteArray("HELLO\r\n\x00\xff", 9));
        QCOMPARE(comm.ReceivedCount(), qint64{9});

        QCOMPARE(comm.Write(QByteArray("OK")), qsizetype{2});
        QCOMPARE(comm.Write(QByteArray("-45#")), qsizetype{4});
        QCOMPARE(pty.ReceiveUntil("#"), QByteArray("OK-45"));
        QTRY_COMPARE_WITH_TIMEOUT(comm.SentCount(), qint64{6}, 5000);

        comm.Close();
        QVERIFY(!comm.IsOpen());
        QCOMPARE(comm.Port(), -1);
        QVERIFY(!comm.IsMonitorRunning());
        QCOMPARE(PtyPair::CountOpenFds(pty.SlavePath()), 0);
        QCOMPARE(comm.Write(QByteArray("late")), qsizetype{0});
        char byte;
        QCOMPARE(comm.Read(&byte, 1), qsizetype{0});
        comm.Close();  // closing a closed port does nothing

        QVERIFY2(comm.Open(7, pty.SlavePath()), qPrintable(comm.ErrorText()));
        QCOMPARE(PtyPair::CountOpenFds(pty.SlavePath()), 1);
    }

    // A second CnComm cannot take a port that is in use.
    void portIsExclusive() {
        PtyPair pty;
        CnComm first;
        CnComm second;
        QVERIFY(first.Open(1, pty.SlavePath()));
        QVERIFY(!second.Open(2, pty.SlavePath()));
        QVERIFY(!second.IsOpen());
    }

    // Read waits for bytes that are on their way.
    void readWaitsForBytes() {
        PtyPair pty;
        CnComm comm;
        QVERIFY(comm.Open(1, pty.SlavePath()));
        pty.StartWriter("abc");
        QByteArray got;
        char buffer[16];
        for (int i = 0; i < 20 && got.size() < 3; ++i) {
            got.append(buffer, comm.Read(buffer, sizeof buffer));
        }
        QCOMPARE(got, QByteArray("abc"));
    }

    // A burst far larger than the port's 4096-byte queue reaches the owner whole and in order,
    // drained in 1023-byte pieces as notices arrive.
    void burstArrivesWholeInOrder() {
        PtyPair pty;
        CnComm comm;
        QVERIFY(comm.Open(2, pty.SlavePath()));
        QByteArray burst(20000, Qt::Uninitialized);
        for (int i = 0; i < burst.size(); ++i) {
            burst[i] = static_cast<char>(i * 31 % 251);
        }
        QByteArray got;
        int notices = 0;
        connect(&comm, &CnComm::Received, this, [&](int port) {
            QCOMPARE(port, 2);
            ++notices;
            got += DrainAll(comm);
        });
        pty.StartWriter(burst);
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), burst.size(), 10000);
        QVERIFY(got == burst);
        QVERIFY(pty.WriterOk());
        QVERIFY(notices >= 1);
    }

    // An owner that stops taking bytes holds the sender back instead of letting the buffer grow,
    // and gets every byte once it drains again.
    void fullBufferHoldsSenderBack() {
        PtyPair pty;
        CnComm comm;
        QVERIFY(comm.Open(1, pty.SlavePath()));
        const QByteArray flood(4 * CnComm::kReceiveLimit, 'x');
        pty.StartWriter(flood);
        QTRY_COMPARE_WITH_TIMEOUT(comm.Buffered(), CnComm::kReceiveLimit, 10000);
        QVERIFY(!pty.WriterDone());
        QCOMPARE(comm.PeakBuffered(), CnComm::kReceiveLimit);

        qsizetype total = 0;
        connect(&comm, &CnComm::Received, this, [&](int) { total += DrainAll(comm).size(); });
        total += DrainAll(comm).size();
        QTRY_COMPARE_WITH_TIMEOUT(total, flood.size(), 10000);
        QVERIFY(pty.WriterOk());
        QVERIFY(comm.PeakBuffered() <= CnComm::kReceiveLimit);
    }

    // When the device goes away the monitor releases it and ends by itself (rather than spin on
    // the error); Close on the port whose thread no longer runs still marks it closed.
    void closesAfterMonitorEnded() {
        PtyPair pty;
        CnComm comm;
        QSignalSpy ended(&comm, &CnComm::MonitorEnded);
        QVERIFY(comm.Open(5, pty.SlavePath()));
        pty.CloseMaster();
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().toInt(), 5);
        QVERIFY(!comm.IsMonitorRunning());
        QVERIFY(comm.IsOpen());
        QCOMPARE(comm.Write(QByteArray("OK")), qsizetype{0});
        QCOMPARE(PtyPair::CountOpenFds(pty.SlavePath()), 0);
        comm.Close();
        QVERIFY(!comm.IsOpen());
        QCOMPARE(comm.Port(), -1);
        // The same object opens the next port normally.
        PtyPair next;
        QVERIFY2(comm.Open(5, next.SlavePath()), qPrintable(comm.ErrorText()));
        QVERIFY(next.Send("PING"));
        QTRY_COMPARE_WITH_TIMEOUT(comm.Buffered(), qsizetype{4}, 5000);
    }

    // The station's opening: [SerialPort] "Port", "PortName", "BaudRate"; on failure the
    // "COM%d%s" text with the device standing for COM%d.
    void openRemotePort_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("useSlave");
        QTest::addColumn<bool>("ok");
        QTest::newRow("configured device") << 7 << true << true;
        QTest::newRow("missing device") << 3 << false << false;
        QTest::newRow("port number out of range") << 0 << true << false;
    }
    void openRemotePort() {
        QFETCH(int, port);
        QFETCH(bool, useSlave);
        QFETCH(bool, ok);
        PtyPair pty;
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("config.ini"));
        const QString device = useSlave ? pty.SlavePath() : QStringLiteral("/nonexistent/ttyORV");
        QVERIFY(orv::WriteConfigInt(config, "SerialPort", "Port", port));
        QVERIFY(orv::WriteConfigInt(config, "SerialPort", "BaudRate", 19200));
        QVERIFY(orv::WriteConfigText(config, "SerialPort", "PortName", device));

        CnComm comm;
        QString message = QStringLiteral("untouched");
        QCOMPARE(orv::OpenRemotePort(comm, config, QStringLiteral("Failed to open"), &message),
                 ok);
        QCOMPARE(comm.IsOpen(), ok);
        if (ok) {
            QCOMPARE(comm.Port(), port);
            QCOMPARE(message, QStringLiteral("untouched"));
            // Opening again (after the settings dialog) reopens the same port.
            QVERIFY(orv::OpenRemotePort(comm, config, QStringLiteral("Failed to open"), &message));
            QCOMPARE(PtyPair::CountOpenFds(pty.SlavePath()), 1);
        } else {
            QCOMPARE(message, device + QStringLiteral("Failed to open"));
        }
    }
};

QTEST_GUILESS_MAIN(TestCnComm)
#include "tst_CnComm.moc"
