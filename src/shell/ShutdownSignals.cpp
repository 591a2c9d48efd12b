#include "shell/ShutdownSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace orv {
namespace {

int g_pipe[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler
struct sigaction g_oldTerm {};
struct sigaction g_oldInt {};

void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    // Non-blocking: a full pipe already holds a request, so losing this byte loses nothing.
    (void)!::write(g_pipe[1], &b, 1);
    errno = saved;
}

}  // namespace

CShutdownSignals::CShutdownSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CShutdownSignals::onReadable);

    struct sigaction sa {};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, &g_oldTerm);
    sigaction(SIGINT, &sa, &g_oldInt);
}

CShutdownSignals::~CShutdownSignals() {
    if (m_notifier == nullptr) {
        return;
    }
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    sigaction(SIGINT, &g_oldInt, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void CShutdownSignals::onReadable() {
    unsigned char b = 0;
    int last = 0;
    while (::read(g_pipe[0], &b, 1) == 1) {
        last = b;
    }
    if (last != 0) {
        emit requested(last);
    }
}

}  // namespace orv
