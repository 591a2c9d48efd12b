// Pushes a flood of random bytes through a pseudo-terminal into CnComm and the command-word
// protocol, as a misbehaving line controller would, and prints throughput, the memory held and
// the longest time one reception kept the station's thread.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "remote/CnComm.h"
#include "remote/RemoteProtocol.h"

namespace {

// Answers every command without doing anything; counts what ran.
class IdleStation final : public orv::IRemoteStation {
public:
    int commands = 0;
    void PressAutoPair() override { ++commands; }
    void PressSearchPair() override { ++commands; }
    void PressMacPair(const QString&) override { ++commands; }
    void PromptForMac() override { ++commands; }
    void PressDisconnect() override { ++commands; }
    void PressHfpMode() override { ++commands; }
    void PressA2dpMode() override { ++commands; }
    void PressDialMode() override { ++commands; }
    void PressVolumeUp() override { ++commands; }
    void PressVolumeDown() override { ++commands; }
    void PressKeyStart() override { ++commands; }
    void PressKeyStop() override { ++commands; }
    void ResetFromRemote() override { ++commands; }
    void RefreshDeviceList() override {}
    int AudioState() override { return 0; }
    QString QueryName() override { return {}; }
    int RefreshInfo() override { return 0; }
    int SetHfpVolume(int) override { return 1; }
    int SetA2dpVolume(int) override { return 1; }
    QString RssiText() override { return {}; }
    QString BatteryText() override { return {}; }
    QString TargetMac() override { return {}; }
    orv::RemoteInfo ReadInfo() override { return {}; }
    void WriteRemote(const QByteArray& bytes) override { port->Write(bytes); }
    orv::CnComm* port = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qsizetype total = 10 * 1024 * 1024;

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::printf("remote flood: no pseudo-terminal available\n");
        return 0;
    }
    ::close(slave);

    orv::CnComm comm;
    IdleStation station;
    station.port = &comm;
    orv::CRemoteProtocol protocol(station, [](int) {});  // pacing pauses skipped
    if (!comm.Open(1, QString::fromLocal8Bit(name))) {
        std::printf("remote flood: %s\n", qPrintable(comm.ErrorText()));
        return 1;
    }

    qint64 longestReceptionNs = 0;
    qsizetype largestText = 0;
    int receptions = 0;
    QObject::connect(&comm, &orv::CnComm::Received, &comm, [&](int) {
        QElapsedTimer t;
        t.start();
        protocol.OnSerialReceive(
            [&](char* buffer, qsizetype n) { return comm.ReadBuffered(buffer, n); });
        longestReceptionNs = std::max(longestReceptionNs, t.nsecsElapsed());
        largestText = std::max(largestText, protocol.RemoteText().size());
        ++receptions;
    });

    QByteArray flood(total, Qt::Uninitialized);
    QRandomGenerator(4711).fillRange(reinterpret_cast<quint32*>(flood.data()), total / 4);
    // Drains the replies the random bytes provoke so the far end never blocks on them.
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        qsizetype done = 0;
        char sink[4096];
        while (done < total && !stop) {
            pollfd p{master, POLLOUT | POLLIN, 0};
            ::poll(&p, 1, 100);
            if (p.revents & POLLIN) {
                (void)::read(master, sink, sizeof sink);
            }
            if (p.revents & POLLOUT) {
                const ssize_t n =
                    ::write(master, flood.constData() + done,
                            static_cast<size_t>(std::min<qsizetype>(total - done, 65536)));
                if (n > 0) {
                    done += n;
                }
            }
        }
    });

    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if ((comm.ReceivedCount() >= total && comm.Buffered() == 0) || clock.elapsed() > 120000) {
            app.quit();
        }
    });
    poll.start(5);
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    stop = true;
    writer.join();

    std::printf("remote flood: %lld of %lld bytes in %.2f s (%.1f MB/s), %d receptions\n",
                static_cast<long long>(comm.ReceivedCount()), static_cast<long long>(total),
                seconds, comm.ReceivedCount() / seconds / 1e6, receptions);
    std::printf(
        "remote flood: peak receive buffer %lld bytes (limit %lld), "
        "largest RemoteText %lld chars (limit %lld)\n",
        static_cast<long long>(comm.PeakBuffered()),
        static_cast<long long>(orv::CnComm::kReceiveLimit), static_cast<long long>(largestText),
        static_cast<long long>(orv::CRemoteProtocol::kRemoteTextLimit));
    std::printf(
        "remote flood: longest reception held the station's thread %.2f ms; "
        "%d command words ran by chance\n",
        longestReceptionNs / 1e6, station.commands);
    comm.Close();
    ::close(master);
    return 0;
}
