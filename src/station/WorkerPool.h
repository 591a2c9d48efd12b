#pragma once

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace orv {

// The station's worker threads (connection attempts, the key test worker). Each runs one job and
// ends by itself; the pool remembers them so that shutdown can wait for every one before the
// objects they use are destroyed.
class CWorkerPool final {
public:
    CWorkerPool() = default;
    ~CWorkerPool() { JoinAll(); }
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    void Run(std::function<void()> job);
    // Waits for every job started so far (and any they start meanwhile).
    void JoinAll();
    int Running() const;

private:
    void Reap();

    mutable std::mutex m_mutex;  // guards m_threads, m_finished and m_running
    std::list<std::thread> m_threads;
    std::list<std::thread::id> m_finished;
    int m_running = 0;
};

}  // namespace orv
