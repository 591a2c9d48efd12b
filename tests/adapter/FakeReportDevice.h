#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "adapter/ReportDevice.h"

// A scripted adapter for tests: every report the station writes is recorded, and a rule table
// (command -> module lines) or a responder function answers it with module text, cut into
// 65-byte reports as the real adapter does.
namespace orv::test {

class CFakeReportDevice final {
public:
    // Module lines queued when the station sends exactly `command` (without its "\r\n").
    // Each line gets "\r\n". A later rule for the same command replaces the earlier one.
    void On(const QString& command, const QStringList& lines);
    // Consulted for every command without a rule; returns the lines to answer with.
    void SetResponder(std::function<QStringList(const QString& command)> responder);
    // Forgets every rule, the responder and any text not yet read.
    void ClearScript();
    // Queues raw module text (no line end added).
    void Inject(const QString& text);
    // Reports carry at most this many text bytes (1 to 64), so lines are cut across reports.
    void SetChunkSize(int bytes) { m_chunk = std::clamp(bytes, 1, 64); }

    // Every written report's payload up to its first zero byte, as Latin-1.
    QStringList Written() const;
    // The same without the trailing "\r\n".
    QStringList Commands() const;
    void ClearWritten();
    // Waits until a command equal to `command` has been written, at most `timeoutMs`.
    bool WaitForCommand(const QString& command, int timeoutMs);
    // The most writes that were ever in progress at the same time.
    int MaxConcurrentWrites() const { return m_maxConcurrent.load(); }
    int Reads() const { return m_reads.load(); }

    // IReportDevice, reached through the proxy the bus hands out.
    int ReadReport(Report& report, int timeoutMs);
    bool WriteReport(const Report& report, int timeoutMs);
    void Interrupt();
    void ResetInterrupt();

private:
    void QueueText(const QByteArray& utf8);

    mutable std::mutex m_mutex;  // guards everything below but the atomics
    std::condition_variable m_changed;
    std::deque<Report> m_input;
    QStringList m_written;
    QHash<QString, QStringList> m_rules;
    std::function<QStringList(const QString&)> m_responder;
    bool m_interrupted = false;
    int m_chunk = 64;
    std::atomic<int> m_writing{0};
    std::atomic<int> m_maxConcurrent{0};
    std::atomic<int> m_reads{0};
};

// A bus with zero or more fake adapters. Open hands out a proxy, so the test keeps the device.
class CFakeReportBus final : public IReportBus {
    Q_OBJECT
public:
    std::shared_ptr<CFakeReportDevice> AddDevice(std::uint16_t vendorId, std::uint16_t productId,
                                                 const QString& path = QString());
    QList<ReportDeviceInfo> Enumerate() override;
    std::unique_ptr<IReportDevice> Open(std::uint16_t vendorId, std::uint16_t productId) override;
    void StartWatching() override {}
    int Opens() const { return m_opens; }

private:
    struct Entry {
        ReportDeviceInfo info;
        std::shared_ptr<CFakeReportDevice> device;
    };
    QList<Entry> m_devices;
    int m_opens = 0;
};

}  // namespace orv::test
