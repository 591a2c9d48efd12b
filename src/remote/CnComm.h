#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "remote/BlockBuffer.h"

class QSerialPort;
class QThread;

namespace orv {

// The remote-control serial port: one port, 8 data bits, no parity, one stop bit, no flow
// control. A monitor thread owns the port while it is open, reads whatever arrives into the
// receive buffer and announces it with Received; the owner drains the buffer with ReadBuffered
// on its own thread and writes replies with Write.
//
// Every public function is called from the thread that calls Open (the owner); only the monitor
// thread and the owner touch the port, never at the same time.
class CnComm final : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 1024;
    // The port's own read queue, in bytes; when it is full the port stops reading and the
    // sender is held back by the driver instead of bytes being dropped.
    static constexpr qsizetype kPortQueueSize = 4096;
    // The receive buffer stops taking bytes from the port at this size until the owner drains
    // it, so a flood costs bounded memory and loses nothing.
    static constexpr qsizetype kReceiveLimit = 64 * 1024;
    // How long Read waits for the first byte, in milliseconds.
    static constexpr int kReadTimeoutMs = 500;

    explicit CnComm(QObject* parent = nullptr);
    ~CnComm() override;

    // The device of port n when no other is configured: /dev/ttyS(n-1), COMn's counterpart.
    static QString DefaultDevicePath(int port);

    // Opens port `port` (1..1024, else false without touching the system) on `devicePath`, or on
    // DefaultDevicePath(port) when it is empty, at `baudRate` 8N1, purges both directions and
    // starts the monitor thread. Closes first when open. On failure the port stays closed and
    // ErrorText says why.
    bool Open(int port, const QString& devicePath = QString(), int baudRate = 9600);

    // Stops the monitor thread (waiting up to `waitMs` ms before giving up on it politely),
    // drops unread input and closes the port. Nothing happens when the port is closed. Also closes
    // a port whose monitor has already ended (the device went away).
    void Close(int waitMs = 500);

    bool IsOpen() const { return m_serial != nullptr; }
    bool IsMonitorRunning() const;
    int Port() const { return m_port; }  // -1 when closed
    QString DevicePath() const { return m_devicePath; }
    QString ErrorText() const { return m_errorText; }

    // Takes up to n received bytes, waiting up to kReadTimeoutMs for the first one; 0 when
    // closed, when n is 0, or when nothing arrived in time.
    qsizetype Read(char* buffer, qsizetype n);
    // Queues n bytes for the port and returns n without waiting for them to leave; 0 when
    // closed, when n is 0 or when the monitor has ended.
    qsizetype Write(const char* bytes, qsizetype n);
    qsizetype Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    // Takes up to n bytes from the receive buffer without waiting; returns the count.
    qsizetype ReadBuffered(char* buffer, qsizetype n);

    // Receive buffer figures: bytes held now, the most ever held since Open, bytes allocated.
    qsizetype Buffered() const;
    qsizetype PeakBuffered() const;
    qsizetype BufferCapacity() const;
    qint64 ReceivedCount() const { return m_received.load(); }
    qint64 SentCount() const { return m_sent.load(); }

signals:
    // Bytes are waiting in the receive buffer. Delivered on the owner's thread, never nested:
    // while one is pending no other is posted, and one more follows a handler that left bytes
    // behind after taking some.
    void Received(int port);
    // The monitor thread ended by itself because the device went away; it has closed the device,
    // and Close is still needed to mark the port closed.
    void MonitorEnded(int port);

private:
    void Pump();           // monitor thread: port -> receive buffer
    void PostNotice();     // monitor thread
    void DeliverNotice();  // owner thread
    void EndMonitor();     // monitor thread, on a fatal port error
    void ResumePump();

    std::unique_ptr<QSerialPort> m_serial;  // null when closed
    std::unique_ptr<QThread> m_thread;
    QThread* m_owner = nullptr;
    int m_port = -1;
    QString m_devicePath;
    QString m_errorText;

    // Standard primitives rather than Qt's: the thread sanitizer sees every lock and wait.
    mutable std::mutex m_rxLock;        // guards m_rx, m_peak, m_stalled, m_takenSinceNotice
    std::condition_variable m_rxReady;  // signalled by the monitor when bytes were added
    BlockBuffer m_rx;
    qsizetype m_peak = 0;
    bool m_stalled = false;  // the monitor stopped reading because m_rx is full
    qsizetype m_takenSinceNotice = 0;

    std::atomic<bool> m_noticePending{false};
    std::atomic<bool> m_monitorRunning{false};
    std::atomic<bool> m_ending{false};  // a fatal port error has asked the monitor to end
    std::atomic<qint64> m_received{0};
    std::atomic<qint64> m_sent{0};
};

// Opens the remote port from [SerialPort]: "Port", "PortName" (the device, see
// GetSerialPortDevice) and "BaudRate". A port that is still open after closing it is left in use
// and counts as success. On failure returns false and sets *message to the device name followed
// by `failedText` (the station's "COM%d%s" text) for the station to show; the station works on
// without remote control.
bool OpenRemotePort(CnComm& comm, const QString& configPath, const QString& failedText,
                    QString* message);

}  // namespace orv
