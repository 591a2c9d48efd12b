#include <QRandomGenerator>
#include <QTest>

#include "FakeRemoteStation.h"
#include "remote/RemoteProtocol.h"

using orv::CRemoteProtocol;
using orv::test::FakeRemoteStation;

namespace {

// A port's receive buffer as the protocol drains it: remembers how much each read asked for.
struct FakeReceiveBuffer {
    QByteArray bytes;
    qsizetype largestRequest = 0;
    int reads = 0;

    qsizetype Read(char* out, qsizetype n) {
        ++reads;
        largestRequest = std::max(largestRequest, n);
        const qsizetype count = std::min(n, bytes.size());
        memcpy(out, bytes.constData(), static_cast<size_t>(count));
        bytes.remove(0, count);
        return count;
    }
};

void Receive(CRemoteProtocol& protocol, FakeReceiveBuffer& port, const QByteArray& bytes) {
    port.bytes += bytes;
    protocol.OnSerialReceive([&port](char* out, qsizetype n) { return port.Read(out, n); });
}

// Random bytes that cannot form a command word: every upper-case letter is moved down.
QByteArray Garbage(qsizetype n, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray bytes(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        char c = static_cast<char>(random.bounded(256));
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
        bytes[i] = c;
    }
    return bytes;
}

}  // namespace

class TestRemoteProtocol final : public QObject {
    Q_OBJECT
private slots:
    // Commands and their leftovers spread over receptions the way a controller's bytes arrive.
    void receptions_data() {
        QTest::addColumn<QByteArrayList>("receptions");
        QTest::addColumn<QByteArrayList>("events");
        QTest::addColumn<QString>("textLeft");

        QTest::newRow("word split over two receptions")
            << QByteArrayList{"MACCON", "NECT:00:1A:7D:DA:71:13\r\n"}
            << QByteArrayList{"press:MacPair 00:1A:7D:DA:71:13"} << QString();
        QTest::newRow("XYZ then RSSI runs RSSI once and empties the text")
            << QByteArrayList{"XYZ", "RSSI", "\r\n"}
            << QByteArrayList{"write:-45", "pause:100", "write:OK"} << QStringLiteral("\r\n");
        QTest::newRow("lower case is not a command")
            << QByteArrayList{"rssi\r\n"} << QByteArrayList{} << QStringLiteral("rssi\r\n");
        QTest::newRow("character split between receptions")
            << QByteArrayList{"ab\xEF\xBC",
                              "\x9A"
                              "cd"}
            << QByteArrayList{} << QString::fromUtf8("ab\uFF1Acd");
        QTest::newRow("unfinished character does not eat the next command")
            << QByteArrayList{"\xF0\x9F", "BATTERY"}
            << QByteArrayList{"write:80", "pause:100", "write:OK"} << QString();
        QTest::newRow("two commands in one reception: only the first in the table runs")
            << QByteArrayList{"STARTKEY\r\nDISCONNECT\r\n"}
            << QByteArrayList{"press:Disconnect", "write:OK"} << QString();
        // Each reception searches only what came since the last search, reaching back as far
        // as a word is long: words split across many receptions and blanks are still found.
        QTest::newRow("word one letter a reception, blanks between")
            << QByteArrayList{"S", " E", "A", "R  C", "H", "CON", " ", "N", "E", " C", "T"}
            << QByteArrayList{"press:SearchPair"} << QString();
        QTest::newRow("word straddling receptions after kept garbage")
            << QByteArrayList{Garbage(5000, 7), "x", "DISC", "   ", "ON", "NECT"}
            << QByteArrayList{"press:Disconnect", "write:OK"} << QString();
        QTest::newRow("two words completed by one reception: the table's order")
            << QByteArrayList{"DISCONNE", "CT RSSI"}
            << QByteArrayList{"press:Disconnect", "write:OK"} << QString();
        QTest::newRow("blank inside a word")
            << QByteArrayList{"VOLUME ADD"} << QByteArrayList{"press:VolumeUp", "pause:100"}
            << QString();
    }
    void receptions() {
        QFETCH(QByteArrayList, receptions);
        QFETCH(QByteArrayList, events);
        QFETCH(QString, textLeft);
        FakeRemoteStation station;
        CRemoteProtocol protocol(station, station.Pauser());
        FakeReceiveBuffer port;
        for (const QByteArray& bytes : receptions) {
            Receive(protocol, port, bytes);
        }
        QCOMPARE(station.events, events);
        QCOMPARE(protocol.RemoteText(), textLeft);
    }

    // The text after the first ':' is the MAC; full-width colons count as ':'.
    void macArgument_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<bool>("valid");
        const QString fw(QChar(0xFF1A));
        QTest::newRow("plain") << "MACCONNECT:00:1A:7D:DA:71:13"
                               << "00:1A:7D:DA:71:13" << true;
        QTest::newRow("full-width between bytes")
            << "MACCONNECT:00" + fw + "1A" + fw + "7D" + fw + "DA" + fw + "71" + fw + "13"
            << "00:1A:7D:DA:71:13" << true;
        QTest::newRow("full-width after the word: whole text")
            << "MACCONNECT" + fw + "00" + fw + "1A" + fw + "7D" + fw + "DA" + fw + "71" + fw + "13"
            << "MACCONNECT:00:1A:7D:DA:71:13" << false;
        QTest::newRow("no colon: whole text") << "MACCONNECT001A7DDA7113"
                                              << "MACCONNECT001A7DDA7113" << false;
        QTest::newRow("garbage before the word") << "x:MACCONNECT:00:1A:7D:DA:71:13"
                                                 << "MACCONNECT:00:1A:7D:DA:71:13" << false;
        QTest::newRow("hex without separators") << "MACCONNECT:001a7dda7113"
                                                << "001a7dda7113" << true;
        QTest::newRow("trailing line end") << "MACCONNECT:00:1A:7D:DA:71:13\r\n"
                                           << "00:1A:7D:DA:71:13\r\n"
                                           << true;
        QTest::newRow("single digit byte") << "MACCONNECT:0:1A:7D:DA:71:13"
                                           << "0:1A:7D:DA:71:13" << false;
        QTest::newRow("seventh pair") << "MACCONNECT:00:1A:7D:DA:71:13:44"
                                      << "00:1A:7D:DA:71:13:44" << false;
        QTest::newRow("five pairs") << "MACCONNECT:00:1A:7D:DA:71"
                                    << "00:1A:7D:DA:71" << false;
        QTest::newRow("lone last digit") << "MACCONNECT:00:1A:7D:DA:71:1"
                                         << "00:1A:7D:DA:71:1" << false;
        QTest::newRow("empty") << "MACCONNECT:"
                               << "" << false;
    }
    void macArgument() {
        QFETCH(QString, text);
        QFETCH(QString, mac);
        QFETCH(bool, valid);
        QCOMPARE(orv::RemoteMacArgument(text), mac);
        QCOMPARE(orv::IsRemoteMacText(mac), valid);
    }

    // Garbage never makes RemoteText grow past its bound, and a command that follows still
    // runs, also when its word straddles the cut.
    void garbageIsBounded() {
        FakeRemoteStation station;
        CRemoteProtocol protocol(station, station.Pauser());
        FakeReceiveBuffer port;
        qsizetype largest = 0;
        for (quint32 i = 0; i < 200; ++i) {
            Receive(protocol, port, Garbage(1 + (i * 977) % 9000, i));
            largest = std::max(largest, protocol.RemoteText().size());
        }
        // Exactly the bound, or one less where the cut fell inside a surrogate pair.
        QVERIFY(largest <= CRemoteProtocol::kRemoteTextLimit);
        QVERIFY(largest >= CRemoteProtocol::kRemoteTextLimit - 1);
        QVERIFY(station.events.isEmpty());

        Receive(protocol, port, Garbage(20000, 99) + "RS");
        QCOMPARE(protocol.RemoteText().right(2), QStringLiteral("RS"));
        Receive(protocol, port, "SI");
        QCOMPARE(station.events, (QByteArrayList{"write:-45", "pause:100", "write:OK"}));
        QVERIFY(protocol.RemoteText().isEmpty());
    }

    // One reception drains the port in pieces of at most 1023 bytes and stops after the drain
    // limit so that a flood cannot hold the station's thread; the rest waits for the next one.
    void drainsInBoundedPieces() {
        FakeRemoteStation station;
        CRemoteProtocol protocol(station, station.Pauser());
        FakeReceiveBuffer port;
        const QByteArray flood = Garbage(3 * CRemoteProtocol::kDrainLimit + 5, 7);
        Receive(protocol, port, flood + "BATTERY");
        QCOMPARE(port.largestRequest, CRemoteProtocol::kReadPiece);
        QCOMPARE(port.bytes.size(), flood.size() + 7 - CRemoteProtocol::kDrainLimit);
        QVERIFY(station.events.isEmpty());
        int receptions = 1;
        while (!port.bytes.isEmpty()) {
            Receive(protocol, port, {});
            ++receptions;
            QVERIFY(protocol.RemoteText().size() <= CRemoteProtocol::kRemoteTextLimit);
        }
        QCOMPARE(receptions, 4);
        QCOMPARE(station.events, (QByteArrayList{"write:80", "pause:100", "write:OK"}));
    }

    // An empty reception (or an empty text) finds nothing and writes nothing.
    void emptyTextFindsNothing() {
        FakeRemoteStation station;
        CRemoteProtocol protocol(station, station.Pauser());
        QVERIFY(!protocol.DispatchRemoteCommand());
        FakeReceiveBuffer port;
        Receive(protocol, port, {});
        QVERIFY(station.events.isEmpty());
        QCOMPARE(port.reads, 1);
    }

    void unsolicitedTexts_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("connected") << 0 << QByteArray("OK");
        QTest::newRow("vol+") << 1 << QByteArray("VOL+");
        QTest::newRow("vol-") << 2 << QByteArray("VOL-");
        QTest::newRow("play/pause") << 3 << QByteArray("PLAY/PAUSE");
        QTest::newRow("next") << 4 << QByteArray("NEXT");
        QTest::newRow("previous") << 5 << QByteArray("PREVIOUS");
        QTest::newRow("unknown key") << 6 << QByteArray();
        QTest::newRow("no key") << -1 << QByteArray();
    }
    void unsolicitedTexts() {
        QFETCH(int, key);
        QFETCH(QByteArray, wire);
        FakeRemoteStation station;
        CRemoteProtocol protocol(station, station.Pauser());
        if (key == 0) {
            protocol.OnHeadsetConnected();
        } else {
            protocol.OnKeyPressed(key);
        }
        QCOMPARE(station.Wire(), wire);
    }

    // Texts that are not ASCII leave in the local encoding, byte for byte.
    void nameRepliesInLocalEncoding() {
        FakeRemoteStation station;
        station.name = QString::fromUtf8("耳机 Héadset");
        CRemoteProtocol protocol(station, station.Pauser());
        FakeReceiveBuffer port;
        Receive(protocol, port, "NAME");
        QCOMPARE(station.Wire(), station.name.toLocal8Bit() + "OK");
    }
};

QTEST_APPLESS_MAIN(TestRemoteProtocol)
#include "tst_RemoteProtocol.moc"
