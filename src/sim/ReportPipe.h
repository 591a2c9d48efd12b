#pragma once

#include "adapter/ReportDevice.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace orv::sim {

// The USB side of the simulated adapter: what the module prints waits here until the station
// reads it, cut into 64-byte report payloads. Whatever is queued when the reader asks goes into
// one report, so a burst of short lines shares a report and a long line is cut across several
// (a UTF-8 sequence is never split). Like hidraw, output is only kept while the device is open.
class CReportPipe final {
public:
    using InputHandler = std::function<void(const QByteArray& payload)>;

    // Called (on the writer's thread) with the payload of every output report written by the
    // station: the text bytes up to the first zero byte.
    void SetInputHandler(InputHandler handler);

    void SetPlugged(bool plugged);
    bool IsPlugged() const;

    // A new open of the device; the previous session, if any, ends (its reads fail). Gives the
    // session number, or -1 when the adapter is unplugged.
    int OpenSession();
    void CloseSession(int session);
    bool IsOpen() const;

    // Queues module output. `alone` keeps these bytes out of reports shared with other output
    // (garbage bursts that hold zero bytes must not hide real lines). Dropped while not open.
    void Push(const QByteArray& bytes, bool alone = false);

    int Read(int session, Report& report, int timeoutMs);
    bool Write(int session, const Report& report);
    void Interrupt(int session);

private:
    struct Segment {
        QByteArray bytes;
        bool alone = false;
    };

    bool SessionAliveLocked(int session) const;

    mutable std::mutex m_mutex;  // guards every member below
    std::condition_variable m_ready;
    std::deque<Segment> m_queue;
    InputHandler m_input;
    bool m_plugged = false;
    int m_session = -1;     // the open session, -1 when closed
    int m_lastSession = 0;  // numbering of sessions
    std::set<int> m_interrupted;
};

// One open of the simulated adapter, handed to the station by the bus.
class CSimReportDevice final : public IReportDevice {
public:
    CSimReportDevice(std::shared_ptr<CReportPipe> pipe, int session);
    ~CSimReportDevice() override;

    int ReadReport(Report& report, int timeoutMs) override;
    bool WriteReport(const Report& report, int timeoutMs) override;
    void Interrupt() override;

private:
    std::shared_ptr<CReportPipe> m_pipe;
    int m_session;
};

}  // namespace orv::sim
