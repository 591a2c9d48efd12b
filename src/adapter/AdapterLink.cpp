#include "adapter/AdapterLink.h"

#include "adapter/ReportText.h"
#include "config/Settings.h"
#include "shell/LogWriter.h"

namespace orv {

CAdapterLink::CAdapterLink(IReportBus* bus, IDesktop* desktop, QObject* parent)
    : QObject(parent), m_bus(bus), m_desktop(desktop), m_parser(this) {}

CAdapterLink::~CAdapterLink() {
    Close();
}

int CAdapterLink::Open() {
    if (m_open.load()) {
        return 1;
    }
    if (m_bus == nullptr) {
        return 0;
    }
    std::unique_ptr<IReportDevice> device = m_bus->Open(kAdapterVendorId, m_productId);
    if (!device) {
        return 0;
    }
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_device = std::move(device);
    }
    m_open.store(true);

    if (m_legacyAudio == 0 && m_desktop != nullptr) {
        m_desktop->SelectAdapterAudio();
    }

    LogTrace(QStringLiteral("Start Monitor"));
    m_stopMonitor.store(false);
    m_monitorThread = std::thread([this] { MonitorMain(); });
    m_parser.Start();

    SetSearchPower();
    SetPin();
    SetCodec();
    SetScoMode();
    return 1;
}

void CAdapterLink::Close() {
    m_open.store(false);
    m_parser.WakeWaiters();  // operations waiting for the module give up at once
    if (m_monitorThread.joinable()) {
        m_stopMonitor.store(true);
        {
            std::lock_guard<std::mutex> lock(m_sendMutex);
            if (m_device) {
                m_device->Interrupt();
            }
        }
        if (m_monitorThread.get_id() == std::this_thread::get_id()) {
            m_monitorThread.detach();
        } else {
            m_monitorThread.join();
        }
    }
    m_parser.Stop();
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);  // waits for a write in flight
        m_device.reset();
    }
    m_parser.ResetLinkState();
}

void CAdapterLink::MonitorMain() {
    m_monitorRunning.store(1);
    IReportDevice* device = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        device = m_device.get();  // stays alive until Close has joined this thread
    }
    CReportDecoder decoder;
    while (device != nullptr && !m_stopMonitor.load()) {
        Report report{};
        const int count = device->ReadReport(report, m_timing.readSlice);
        if (m_stopMonitor.load()) {
            break;
        }
        if (count < 0) {
            // The adapter was removed or failed: reading again would fail at once, forever.
            // The removal notice makes the owner close the link.
            LogInfo(QStringLiteral("adapter read failed: monitor stops"));
            break;
        }
        if (count == 0) {
            continue;  // time-out: look at the stop request again
        }
        const QString text = decoder.Decode(report, count);
        // The start-up banner is not logged.
        if (!(text.contains(QLatin1String("WRAP THOR")) &&
              text.contains(QLatin1String("Bluegiga")))) {
            LogInfo(QStringLiteral("RECV:") + text);
        }
        // A banner nobody asked for: the module restarted by itself, and every link went with
        // it without a NO CARRIER line.
        if (text.contains(QLatin1String("WRAP THOR")) &&
            m_parser.Read([](const LinkState& s) { return s.waitMode; }) != kWaitReady) {
            LogInfo(QStringLiteral("The module restarted without a reset; its links are gone"));
        }
        m_parser.AppendPending(text);
    }
    m_monitorRunning.store(0);
    LogTrace(QStringLiteral("Stop Monitor"));
}

int CAdapterLink::Send(const QString& text) {
    if (!m_open.load()) {
        return 0;
    }
    const QString line = text + QStringLiteral("\r\n");
    LogInfo(QStringLiteral("send:") + line);
    const Report report = EncodeReport(line);
    std::lock_guard<std::mutex> lock(m_sendMutex);
    if (!m_device) {
        return 0;
    }
    // A write that does not complete in time is abandoned; the command is not repeated.
    return m_device->WriteReport(report, m_timing.writeTimeout) ? 1 : 0;
}

void CAdapterLink::SendReply(const QString& command) {
    Send(command);
}

void CAdapterLink::LinkInfoChanged() {
    emit linkInfoChanged();
}

void CAdapterLink::LinksDropped() {
    emit linksDropped();
}

void CAdapterLink::MediaKeyReleased(MediaKey key) {
    if (m_desktop == nullptr) {
        LogInfo(QStringLiteral("media key %1: no desktop, skipped").arg(static_cast<int>(key)));
        return;
    }
    m_desktop->PressMediaKey(key);
}

void CAdapterLink::Pause(int ms) const {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

bool CAdapterLink::WaitFor(const std::function<bool(const LinkState&)>& done, int timeoutMs) {
    if (m_open.load()) {
        // A closed link ends every wait at once: nothing will arrive any more.
        m_parser.WaitFor([this, &done](const LinkState& s) { return done(s) || !m_open.load(); },
                         timeoutMs);
    }
    return m_parser.Read(done);
}

void CAdapterLink::BeginWait(int mode) {
    m_parser.Update([mode](LinkState& s) {
        s.waitMode = mode;
        s.eventCount = 0;
    });
}

void CAdapterLink::EndWait() {
    m_parser.Update([](LinkState& s) {
        s.waitMode = kWaitNone;
        s.eventCount = 0;
    });
}

int CAdapterLink::LinkId(int LinkState::*field) const {
    return m_parser.Read([field](const LinkState& s) { return s.*field; });
}

}  // namespace orv
