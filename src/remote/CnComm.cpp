#include "remote/CnComm.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <chrono>

#include "config/Settings.h"
#include "shell/LogWriter.h"

namespace orv {

CnComm::CnComm(QObject* parent) : QObject(parent) {}

CnComm::~CnComm() {
    Close(500);
}

QString CnComm::DefaultDevicePath(int port) {
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

bool CnComm::Open(int port, const QString& devicePath, int baudRate) {
    if (port < kFirstPort || port > kLastPort) {
        m_errorText =
            QStringLiteral("port %1 is outside %2 to %3").arg(port).arg(kFirstPort).arg(kLastPort);
        return false;
    }
    Close(500);
    m_errorText.clear();

    const QString path = devicePath.isEmpty() ? DefaultDevicePath(port) : devicePath;
    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(path);
    serial->setReadBufferSize(kPortQueueSize);
    // QSerialPort takes the port exclusively (lock file and TIOCEXCL), as the station wants.
    const bool ok = serial->open(QIODevice::ReadWrite) && serial->setBaudRate(baudRate) &&
                    serial->setDataBits(QSerialPort::Data8) &&
                    serial->setParity(QSerialPort::NoParity) &&
                    serial->setStopBits(QSerialPort::OneStop) &&
                    serial->setFlowControl(QSerialPort::NoFlowControl) &&
                    serial->clear(QSerialPort::AllDirections);
    if (!ok) {
        m_errorText = QStringLiteral("%1: %2").arg(path, serial->errorString());
        serial->close();
        return false;
    }

    {
        const std::lock_guard<std::mutex> lock(m_rxLock);
        m_rx.Clear();
        m_peak = 0;
        m_stalled = false;
        m_takenSinceNotice = 0;
    }
    m_noticePending = false;
    m_ending = false;
    m_received = 0;
    m_sent = 0;
    m_port = port;
    m_devicePath = path;
    m_owner = QThread::currentThread();

    // The port's signals are handled on the monitor thread: the port object lives there from
    // now until Close hands it back.
    QSerialPort* raw = serial.get();
    connect(raw, &QSerialPort::readyRead, raw, [this] { Pump(); });
    connect(raw, &QSerialPort::bytesWritten, raw, [this](qint64 n) { m_sent += n; });
    connect(raw, &QSerialPort::errorOccurred, raw, [this, raw](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::NoError) {
            return;
        }
        if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError) {
            // The device is gone (unplugged, far end of a pseudo-terminal closed): the port
            // would report the same failure on every wake-up. Ended from the event loop, not
            // from inside the port's own read handler.
            if (!m_ending.exchange(true)) {
                LogInfo(
                    QStringLiteral("serial port %1: %2").arg(m_devicePath, raw->errorString()));
                QMetaObject::invokeMethod(
                    raw, [this] { EndMonitor(); }, Qt::QueuedConnection);
            }
            return;
        }
        LogInfo(QStringLiteral("serial port %1: %2").arg(m_devicePath, raw->errorString()));
        raw->clearError();  // a failed write does not stop the port
    });

    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("CnComm monitor"));
    // The monitor's last act takes the receive lock once, and Close takes it after joining:
    // QThread::wait joins inside Qt, where the thread sanitizer cannot see it, and this makes
    // everything the monitor did visibly ordered before the owner tears the port down.
    connect(
        m_thread.get(), &QThread::finished, m_thread.get(),
        [this] { const std::lock_guard<std::mutex> lock(m_rxLock); }, Qt::DirectConnection);
    m_serial = std::move(serial);
    m_serial->moveToThread(m_thread.get());
    m_monitorRunning = true;
    m_thread->start();
    if (!m_thread->isRunning()) {
        m_errorText = QStringLiteral("%1: the monitor thread did not start").arg(path);
        m_monitorRunning = false;
        Close(500);
        return false;
    }
    return true;
}

void CnComm::Close(int waitMs) {
    if (!m_serial) {
        return;
    }
    if (m_thread && m_thread->isRunning()) {
        QSerialPort* serial = m_serial.get();
        QThread* owner = m_owner;
        QThread* thread = m_thread.get();
        // The monitor hands the port back to the owner and stops its loop; posted after every
        // pending write, so replies already written still go out.
        QMetaObject::invokeMethod(
            serial,
            [serial, owner, thread] {
                if (serial->thread() == QThread::currentThread()) {
                    serial->flush();
                    serial->moveToThread(owner);
                }
                thread->quit();
            },
            Qt::QueuedConnection);
        if (!m_thread->wait(QDeadlineTimer(waitMs))) {
            // The monitor never blocks for long: it holds the receive lock only around a copy.
            // Killing it could leave that lock taken forever, so wait on.
            LogInfo(QStringLiteral("serial port %1: monitor still busy after %2 ms")
                        .arg(m_devicePath)
                        .arg(waitMs));
            m_thread->wait();
        }
    }
    if (m_thread && m_thread->isFinished()) {
        const std::lock_guard<std::mutex> joined(m_rxLock);  // see the monitor's finished
    }
    m_thread.reset();
    m_monitorRunning = false;

    if (m_serial->thread() != QThread::currentThread()) {
        // A thread that never ran still owns the port object; nothing runs there any more.
        m_serial->moveToThread(QThread::currentThread());
    }
    // Bytes not yet taken are dropped; replies already written are left to go out.
    m_serial->clear(QSerialPort::Input);
    m_serial->close();
    m_serial.reset();
    m_port = -1;
    {
        const std::lock_guard<std::mutex> lock(m_rxLock);
        m_rx.Clear();
        m_stalled = false;
    }
    m_noticePending = false;
}

bool CnComm::IsMonitorRunning() const {
    return m_monitorRunning.load();
}

void CnComm::EndMonitor() {
    if (!m_monitorRunning.exchange(false)) {
        return;  // Close got here first
    }
    {
        // A reader waiting for bytes sees the monitor gone at once rather than at its time-out.
        const std::lock_guard<std::mutex> lock(m_rxLock);
    }
    m_rxReady.notify_all();
    QSerialPort* serial = m_serial.get();
    serial->close();  // releases the device at once; Close finishes the bookkeeping
    serial->moveToThread(m_owner);
    QThread::currentThread()->quit();
    const int port = m_port;
    QMetaObject::invokeMethod(
        this, [this, port] { emit MonitorEnded(port); }, Qt::QueuedConnection);
}

void CnComm::Pump() {
    QSerialPort* serial = m_serial.get();
    bool added = false;
    for (;;) {
        const qint64 queued = serial->bytesAvailable();
        if (queued <= 0) {
            break;
        }
        const std::lock_guard<std::mutex> lock(m_rxLock);
        const qsizetype room = kReceiveLimit - m_rx.Size();
        if (room <= 0) {
            m_stalled = true;  // ReadBuffered resumes us once the owner has made room
            break;
        }
        // One read of twice what is queued plus a little, as the port may have more by now.
        const qsizetype want = std::min<qsizetype>(2 * queued + 64, room);
        char* space = m_rx.Reserve(want);
        const qint64 got = serial->read(space, want);
        m_rx.Commit(std::max<qint64>(got, 0));
        if (got <= 0) {
            break;
        }
        m_received += got;
        m_peak = std::max(m_peak, m_rx.Size());
        m_rxReady.notify_all();
        added = true;
    }
    if (added) {
        PostNotice();
    }
}

void CnComm::PostNotice() {
    if (!m_noticePending.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { DeliverNotice(); }, Qt::QueuedConnection);
    }
}

void CnComm::DeliverNotice() {
    {
        const std::lock_guard<std::mutex> lock(m_rxLock);
        m_takenSinceNotice = 0;
    }
    m_noticePending = false;
    if (!m_serial) {
        return;
    }
    emit Received(m_port);
    if (!m_serial) {
        return;  // the handler closed the port
    }
    qsizetype taken = 0;
    qsizetype left = 0;
    {
        const std::lock_guard<std::mutex> lock(m_rxLock);
        taken = m_takenSinceNotice;
        left = m_rx.Size();
    }
    // A handler that drains in bounded portions gets called again for the rest, after the
    // events queued meanwhile; one that took nothing waits for the next arrival.
    if (taken > 0 && left > 0 && !m_noticePending.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { DeliverNotice(); }, Qt::QueuedConnection);
    }
}

void CnComm::ResumePump() {
    if (m_serial && m_monitorRunning) {
        QSerialPort* serial = m_serial.get();
        QMetaObject::invokeMethod(
            serial, [this] { Pump(); }, Qt::QueuedConnection);
    }
}

qsizetype CnComm::ReadBuffered(char* buffer, qsizetype n) {
    if (n <= 0 || buffer == nullptr) {
        return 0;
    }
    bool resume = false;
    qsizetype taken = 0;
    {
        const std::lock_guard<std::mutex> lock(m_rxLock);
        taken = m_rx.Take(buffer, n);
        m_takenSinceNotice += taken;
        if (m_stalled && taken > 0) {
            m_stalled = false;
            resume = true;
        }
    }
    if (resume) {
        ResumePump();
    }
    return taken;
}

qsizetype CnComm::Read(char* buffer, qsizetype n) {
    if (!m_serial || n <= 0 || buffer == nullptr) {
        return 0;
    }
    {
        std::unique_lock<std::mutex> lock(m_rxLock);
        (void)m_rxReady.wait_for(lock, std::chrono::milliseconds(kReadTimeoutMs),
                                 [this] { return !m_rx.IsEmpty() || !m_monitorRunning; });
    }
    return ReadBuffered(buffer, n);
}

qsizetype CnComm::Write(const char* bytes, qsizetype n) {
    if (!m_serial || !m_monitorRunning || n <= 0 || bytes == nullptr) {
        return 0;
    }
    QSerialPort* serial = m_serial.get();
    const QByteArray copy(bytes, n);
    QMetaObject::invokeMethod(
        serial,
        [serial, copy] {
            if (serial->isOpen()) {
                serial->write(copy);
            }
        },
        Qt::QueuedConnection);
    return n;
}

qsizetype CnComm::Buffered() const {
    const std::lock_guard<std::mutex> lock(m_rxLock);
    return m_rx.Size();
}

qsizetype CnComm::PeakBuffered() const {
    const std::lock_guard<std::mutex> lock(m_rxLock);
    return m_peak;
}

qsizetype CnComm::BufferCapacity() const {
    const std::lock_guard<std::mutex> lock(m_rxLock);
    return m_rx.Capacity();
}

bool OpenRemotePort(CnComm& comm, const QString& configPath, const QString& failedText,
                    QString* message) {
    if (comm.IsOpen()) {
        comm.Close(500);
        if (comm.IsOpen()) {
            return true;
        }
    }
    const SerialPortSettings settings = GetSerialPort(configPath);
    const QString device = GetSerialPortDevice(configPath);
    if (comm.Open(settings.port, device, settings.baudRate)) {
        return true;
    }
    LogInfo(QStringLiteral("remote port: %1").arg(comm.ErrorText()));
    if (message != nullptr) {
        // "COM%d%s": on this system the device name stands for "COM%d".
        *message = device + failedText;
    }
    return false;
}

}  // namespace orv
