#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace orv::test {

// A pseudo-terminal pair: the code under test opens the slave device by its path, the test plays
// the line controller on the master.
class PtyPair final {
public:
    PtyPair() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
            m_master = -1;
            return;
        }
        m_slavePath = QString::fromLocal8Bit(name);
        ::close(slave);  // only the code under test holds the slave
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() {
        StopWriter();
        CloseMaster();
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsValid() const { return m_master >= 0; }
    QString SlavePath() const { return m_slavePath; }

    void CloseMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

    // Writes all bytes, waiting (poll, 5 s at most per stall) while the line is full.
    bool Send(const QByteArray& bytes) { return SendFrom(bytes, nullptr); }

    // Writes `bytes` from a thread of its own, so that the test's thread can serve the port.
    void StartWriter(QByteArray bytes) {
        StopWriter();
        m_stop = false;
        m_writerDone = false;
        m_writer = std::thread([this, bytes = std::move(bytes)] {
            m_writerOk = SendFrom(bytes, &m_stop);
            m_writerDone = true;
        });
    }
    bool WriterDone() const { return m_writerDone.load(); }
    bool WriterOk() const { return m_writerOk.load(); }
    void StopWriter() {
        if (m_writer.joinable()) {
            m_stop = true;
            m_writer.join();
        }
    }

    // Reads what the code under test wrote until `marker` has arrived or `timeoutMs` passed
    // without a byte; returns everything before the marker (or all on time-out).
    QByteArray ReceiveUntil(const QByteArray& marker, int timeoutMs = 5000) {
        for (;;) {
            const qsizetype at = m_received.indexOf(marker);
            if (at >= 0) {
                QByteArray before = m_received.left(at);
                m_received.remove(0, at + marker.size());
                return before;
            }
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) {
                QByteArray all = m_received;
                m_received.clear();
                return all;
            }
            char chunk[4096];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0) {
                if (n < 0 && errno == EAGAIN) {
                    continue;
                }
                QByteArray all = m_received;
                m_received.clear();
                return all;
            }
            m_received.append(chunk, n);
        }
    }

    // Everything that arrived and was not taken yet, read without waiting (for a test whose own
    // thread runs the code under test). Callers take what they matched by removing it.
    QByteArray& Pending() {
        char chunk[4096];
        for (;;) {
            const ssize_t n = m_master >= 0 ? ::read(m_master, chunk, sizeof chunk) : -1;
            if (n <= 0)
                break;
            m_received.append(chunk, n);
        }
        return m_received;
    }

    // Descriptors of this process open on `path`.
    static int CountOpenFds(const QString& path) {
        int count = 0;
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
            const QString target = QFile::symLinkTarget(fds.filePath(fd));
            if (target == path || target.startsWith(path + QLatin1Char(' '))) {
                ++count;
            }
        }
        return count;
    }

private:
    bool SendFrom(const QByteArray& bytes, const std::atomic<bool>* stop) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            if (stop != nullptr && stop->load()) {
                return false;
            }
            const ssize_t n = ::write(m_master, bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, stop != nullptr ? 100 : 5000) == 0 && stop == nullptr) {
                return false;
            }
        }
        return true;
    }

    int m_master = -1;
    QString m_slavePath;
    QByteArray m_received;
    std::thread m_writer;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_writerDone{false};
    std::atomic<bool> m_writerOk{false};
};

}  // namespace orv::test
