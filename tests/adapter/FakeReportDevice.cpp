#include "FakeReportDevice.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "adapter/ReportText.h"

namespace orv::test {

void CFakeReportDevice::On(const QString& command, const QStringList& lines) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.insert(command, lines);
}

void CFakeReportDevice::SetResponder(std::function<QStringList(const QString&)> responder) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_responder = std::move(responder);
}

void CFakeReportDevice::ClearScript() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.clear();
    m_responder = nullptr;
    m_input.clear();
}

void CFakeReportDevice::Inject(const QString& text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QueueText(text.toUtf8());
    }
    m_changed.notify_all();
}

void CFakeReportDevice::QueueText(const QByteArray& utf8) {
    for (qsizetype at = 0; at < utf8.size(); at += m_chunk) {
        Report report{};
        const QByteArray part = utf8.mid(at, m_chunk);
        for (qsizetype i = 0; i < part.size(); ++i) {
            report[static_cast<size_t>(i) + 1] = static_cast<std::uint8_t>(part[i]);
        }
        m_input.push_back(report);
    }
}

QStringList CFakeReportDevice::Written() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

QStringList CFakeReportDevice::Commands() const {
    QStringList out;
    for (QString w : Written()) {
        if (w.endsWith(QLatin1String("\r\n"))) {
            w.chop(2);
        }
        out.append(w);
    }
    return out;
}

void CFakeReportDevice::ClearWritten() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_written.clear();
}

bool CFakeReportDevice::WaitForCommand(const QString& command, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const QString& w : m_written) {
            if (w == command + QLatin1String("\r\n") || w == command) {
                return true;
            }
        }
        return false;
    });
}

int CFakeReportDevice::ReadReport(Report& report, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_reads;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [this] { return m_interrupted || !m_input.empty(); });
    if (m_interrupted) {
        return -1;
    }
    if (m_input.empty()) {
        return 0;
    }
    report = m_input.front();
    m_input.pop_front();
    return kReportSize;
}

bool CFakeReportDevice::WriteReport(const Report& report, int /*timeoutMs*/) {
    const int now = ++m_writing;
    int seen = m_maxConcurrent.load();
    while (now > seen && !m_maxConcurrent.compare_exchange_weak(seen, now)) {
    }
    // Give an unserialised second writer the chance to overlap.
    std::this_thread::yield();
    const QString text = QString::fromLatin1(ReportPayload(report));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_written.append(text);
        QString command = text;
        if (command.endsWith(QLatin1String("\r\n"))) {
            command.chop(2);
        }
        QStringList reply;
        if (m_rules.contains(command)) {
            reply = m_rules.value(command);
        } else if (m_responder) {
            reply = m_responder(command);
        }
        QByteArray bytes;
        for (const QString& line : reply) {
            bytes.append(line.toUtf8()).append("\r\n");
        }
        QueueText(bytes);
    }
    --m_writing;
    m_changed.notify_all();
    return true;
}

void CFakeReportDevice::Interrupt() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = true;
    }
    m_changed.notify_all();
}

void CFakeReportDevice::ResetInterrupt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = false;
}

namespace {

class CProxy final : public IReportDevice {
public:
    explicit CProxy(std::shared_ptr<CFakeReportDevice> device) : m_device(std::move(device)) {
        m_device->ResetInterrupt();
    }
    int ReadReport(Report& report, int timeoutMs) override {
        return m_device->ReadReport(report, timeoutMs);
    }
    bool WriteReport(const Report& report, int timeoutMs) override {
        return m_device->WriteReport(report, timeoutMs);
    }
    void Interrupt() override { m_device->Interrupt(); }

private:
    std::shared_ptr<CFakeReportDevice> m_device;
};

}  // namespace

std::shared_ptr<CFakeReportDevice> CFakeReportBus::AddDevice(std::uint16_t vendorId,
                                                             std::uint16_t productId,
                                                             const QString& path) {
    auto device = std::make_shared<CFakeReportDevice>();
    m_devices.append({{path.isEmpty() ? QStringLiteral("fake%1").arg(m_devices.size()) : path,
                       vendorId, productId},
                      device});
    return device;
}

QList<ReportDeviceInfo> CFakeReportBus::Enumerate() {
    QList<ReportDeviceInfo> list;
    for (const Entry& e : m_devices) {
        list.append(e.info);
    }
    return list;
}

std::unique_ptr<IReportDevice> CFakeReportBus::Open(std::uint16_t vendorId,
                                                    std::uint16_t productId) {
    for (const Entry& e : m_devices) {
        if (e.info.vendorId == vendorId && e.info.productId == productId) {
            ++m_opens;
            return std::make_unique<CProxy>(e.device);
        }
    }
    return nullptr;
}

}  // namespace orv::test
