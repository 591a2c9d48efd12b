#include "station/WorkerPool.h"

#include <algorithm>

namespace orv {

void CWorkerPool::Run(std::function<void()> job) {
    Reap();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_running;
    m_threads.emplace_back([this, job = std::move(job)] {
        job();
        std::lock_guard<std::mutex> done(m_mutex);
        --m_running;
        m_finished.push_back(std::this_thread::get_id());
    });
}

void CWorkerPool::Reap() {
    // Joins the threads whose job has ended, so a long run does not pile them up.
    std::list<std::thread> ended;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            const auto f = std::find(m_finished.begin(), m_finished.end(), it->get_id());
            if (f != m_finished.end()) {
                m_finished.erase(f);
                ended.splice(ended.end(), m_threads, it++);
            } else {
                ++it;
            }
        }
    }
    for (std::thread& t : ended)
        t.join();
}

void CWorkerPool::JoinAll() {
    for (;;) {
        std::list<std::thread> all;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_threads.empty())
                return;
            all.swap(m_threads);
            m_finished.clear();
        }
        for (std::thread& t : all) {
            if (t.get_id() == std::this_thread::get_id())
                t.detach();  // a job waiting for itself would never end
            else
                t.join();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished.clear();  // ids of joined threads; the system may hand them out again
    }
}

int CWorkerPool::Running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

}  // namespace orv
