#include "sim/ReportPipe.h"

#include <chrono>
#include <cstring>

namespace orv::sim {

void CReportPipe::SetInputHandler(InputHandler handler) {
    std::lock_guard lock(m_mutex);
    m_input = std::move(handler);
}

void CReportPipe::SetPlugged(bool plugged) {
    {
        std::lock_guard lock(m_mutex);
        m_plugged = plugged;
        if (!plugged) {
            m_session = -1;
            m_queue.clear();
        }
    }
    m_ready.notify_all();
}

bool CReportPipe::IsPlugged() const {
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

int CReportPipe::OpenSession() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_plugged)
            return -1;
        m_session = ++m_lastSession;
        m_queue.clear();
    }
    m_ready.notify_all();
    std::lock_guard lock(m_mutex);
    return m_session;
}

void CReportPipe::CloseSession(int session) {
    {
        std::lock_guard lock(m_mutex);
        m_interrupted.erase(session);
        if (m_session == session) {
            m_session = -1;
            m_queue.clear();
        }
    }
    m_ready.notify_all();
}

bool CReportPipe::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_session >= 0;
}

void CReportPipe::Push(const QByteArray& bytes, bool alone) {
    if (bytes.isEmpty())
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_session < 0)
            return;
        // A copy of its own: the reader edits it in place, and an implicitly shared buffer
        // would tie the reader's edits to the writer thread's reference count.
        m_queue.push_back(Segment{QByteArray(bytes.constData(), bytes.size()), alone});
    }
    m_ready.notify_all();
}

bool CReportPipe::SessionAliveLocked(int session) const {
    return m_plugged && m_session == session && !m_interrupted.count(session);
}

int CReportPipe::Read(int session, Report& report, int timeoutMs) {
    std::unique_lock lock(m_mutex);
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    while (SessionAliveLocked(session) && m_queue.empty()) {
        if (m_ready.wait_until(lock, until) == std::cv_status::timeout)
            break;
    }
    if (!SessionAliveLocked(session))
        return -1;
    if (m_queue.empty())
        return 0;

    report.fill(0);
    int used = 0;
    constexpr int kPayload = kReportSize - 1;
    while (!m_queue.empty() && used < kPayload) {
        Segment& seg = m_queue.front();
        if (seg.alone && used > 0)
            break;
        int take = std::min<int>(kPayload - used, seg.bytes.size());
        // Never cut a UTF-8 sequence: back off to its first byte unless nothing would be left.
        if (take < seg.bytes.size()) {
            int t = take;
            while (t > 0 && (static_cast<unsigned char>(seg.bytes[t]) & 0xC0) == 0x80)
                --t;
            if (t > 0 || used > 0)
                take = t;
        }
        if (take == 0)
            break;
        std::memcpy(report.data() + 1 + used, seg.bytes.constData(), take);
        used += take;
        seg.bytes.remove(0, take);
        const bool wasAlone = seg.alone;
        if (seg.bytes.isEmpty())
            m_queue.pop_front();
        if (wasAlone)
            break;
    }
    return kReportSize;
}

bool CReportPipe::Write(int session, const Report& report) {
    InputHandler handler;
    {
        std::lock_guard lock(m_mutex);
        if (!SessionAliveLocked(session) || !m_input)
            return false;
        handler = m_input;
    }
    int n = 0;
    while (n < kReportSize - 1 && report[1 + n] != 0)
        ++n;
    handler(QByteArray(reinterpret_cast<const char*>(report.data() + 1), n));
    return true;
}

void CReportPipe::Interrupt(int session) {
    {
        std::lock_guard lock(m_mutex);
        m_interrupted.insert(session);
    }
    m_ready.notify_all();
}

CSimReportDevice::CSimReportDevice(std::shared_ptr<CReportPipe> pipe, int session)
    : m_pipe(std::move(pipe)), m_session(session) {}

CSimReportDevice::~CSimReportDevice() {
    m_pipe->CloseSession(m_session);
}

int CSimReportDevice::ReadReport(Report& report, int timeoutMs) {
    return m_pipe->Read(m_session, report, timeoutMs);
}

bool CSimReportDevice::WriteReport(const Report& report, int timeoutMs) {
    return m_pipe->Write(m_session, report);
}

void CSimReportDevice::Interrupt() {
    m_pipe->Interrupt(m_session);
}

}  // namespace orv::sim
