#include "shell/CrashHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "config/AppHome.h"

namespace orv {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Everything the handler needs is prepared at install time: it may not allocate, lock or read
// the time zone.
char g_crashDir[PATH_MAX];
long g_utcOffsetSeconds = 0;  // local time minus UTC when the handler was installed
std::atomic<int> g_inHandler{0};
QString g_crashFolder;

// Alternate signal stack of the installing thread (a stack overflow leaves no room otherwise).
alignas(16) char g_altStack[64 * 1024];

// --- async-signal-safe helpers -----------------------------------------------------------

// Appends `s` to buf[*len], never past `cap`.
void Put(char* buf, size_t cap, size_t* len, const char* s) {
    while (*s != '\0' && *len + 1 < cap) {
        buf[(*len)++] = *s++;
    }
    buf[*len] = '\0';
}

void PutUnsigned(char* buf, size_t cap, size_t* len, unsigned long long v, unsigned base,
                 int minDigits) {
    char digits[32];
    int n = 0;
    do {
        const unsigned d = static_cast<unsigned>(v % base);
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        v /= base;
    } while (v != 0 && n < 30);
    while (n < minDigits && n < 30) {
        digits[n++] = '0';
    }
    char out[32];
    for (int i = 0; i < n; ++i) {
        out[i] = digits[n - 1 - i];
    }
    out[n] = '\0';
    Put(buf, cap, len, out);
}

void PutSigned(char* buf, size_t cap, size_t* len, long long v) {
    if (v < 0) {
        Put(buf, cap, len, "-");
        PutUnsigned(buf, cap, len, 0ULL - static_cast<unsigned long long>(v), 10, 1);
    } else {
        PutUnsigned(buf, cap, len, static_cast<unsigned long long>(v), 10, 1);
    }
}

void WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

// Civil date from days since 1970-01-01 (proleptic Gregorian), without the C library.
void CivilFromDays(long long z, int* y, unsigned* m, unsigned* d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int>(yy + (*m <= 2 ? 1 : 0));
}

// "<dir>/YYYYmmdd_HHMMSS.dmp" for the local time `now`.
void RecordPath(char* buf, size_t cap, long long now) {
    const long long local = now + g_utcOffsetSeconds;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    CivilFromDays(days, &y, &m, &d);
    size_t len = 0;
    buf[0] = '\0';
    Put(buf, cap, &len, g_crashDir);
    Put(buf, cap, &len, "/");
    PutUnsigned(buf, cap, &len, static_cast<unsigned>(y), 10, 4);
    PutUnsigned(buf, cap, &len, m, 10, 2);
    PutUnsigned(buf, cap, &len, d, 10, 2);
    Put(buf, cap, &len, "_");
    PutUnsigned(buf, cap, &len, static_cast<unsigned long long>(secs / 3600), 10, 2);
    PutUnsigned(buf, cap, &len, static_cast<unsigned long long>(secs / 60 % 60), 10, 2);
    PutUnsigned(buf, cap, &len, static_cast<unsigned long long>(secs % 60), 10, 2);
    Put(buf, cap, &len, ".dmp");
}

void TidyFolder(const QString& folder) {
    QDir dir(folder);
    if (!dir.exists()) {
        QDir().mkpath(folder);
        return;
    }
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (entries.size() < kCrashFolderLimit) {
        return;
    }
    for (const QFileInfo& e : entries) {
        // Each entry is removed as a file; a sub-folder someone put there stays.
        QFile::remove(e.absoluteFilePath());
    }
}

}  // namespace

void CrashFilter(int sig, siginfo_t* info, void* /*context*/) {
    // A second thread crashing while the first writes its record waits for the process to end.
    if (g_inHandler.exchange(1) != 0) {
        for (;;) {
            pause();
        }
    }
    const int savedErrno = errno;
    if (g_crashDir[0] != '\0') {
        mkdir(g_crashDir, 0755);  // the folder may have been removed since start-up
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        char path[PATH_MAX + 32];
        RecordPath(path, sizeof path, ts.tv_sec);
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[512];
            size_t len = 0;
            text[0] = '\0';
            Put(text, sizeof text, &len, "ORV318PRO crash record\nsignal: ");
            PutSigned(text, sizeof text, &len, sig);
            Put(text, sizeof text, &len, " (");
            Put(text, sizeof text, &len, SignalName(sig));
            Put(text, sizeof text, &len, ")\ncode: ");
            PutSigned(text, sizeof text, &len, info != nullptr ? info->si_code : 0);
            Put(text, sizeof text, &len, "\naddress: 0x");
            PutUnsigned(text, sizeof text, &len,
                        info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0, 16, 1);
            Put(text, sizeof text, &len, "\nprocess: ");
            PutSigned(text, sizeof text, &len, getpid());
            Put(text, sizeof text, &len, "\nthread: ");
            PutSigned(text, sizeof text, &len, static_cast<long long>(syscall(SYS_gettid)));
            Put(text, sizeof text, &len, "\ntime: ");
            PutSigned(text, sizeof text, &len, ts.tv_sec);
            Put(text, sizeof text, &len, " (seconds since 1970, UTC)\nbacktrace:\n");
            WriteAll(fd, text, len);
            void* frames[64];
            const int n = backtrace(frames, 64);
            backtrace_symbols_fd(frames, n, fd);
            fsync(fd);
            ::close(fd);
        }
    }
    // End the process through the signal's default action (a core dump where enabled). The
    // signal is blocked while this handler runs, so it is delivered when the handler returns;
    // a fault that repeats on return hits the default action as well.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    errno = savedErrno;
    raise(sig);
}

void InstallCrashHandler() {
    g_crashFolder = AppHomePath(QStringLiteral("crash"));
    const QByteArray dir = QFile::encodeName(g_crashFolder);
    if (static_cast<size_t>(dir.size()) < sizeof g_crashDir) {
        std::memcpy(g_crashDir, dir.constData(), static_cast<size_t>(dir.size()) + 1);
    } else {
        g_crashDir[0] = '\0';  // a path that long gets no records, but the process still ends
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    g_utcOffsetSeconds = local.tm_gmtoff;

    // backtrace() loads the unwinder on its first call, which allocates: do that now.
    void* warm[2];
    (void)backtrace(warm, 2);

    stack_t ss{};
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof g_altStack;
    sigaltstack(&ss, nullptr);

    struct sigaction sa {};
    sa.sa_sigaction = &CrashFilter;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (const int sig : kFatalSignals) {
        sigaction(sig, &sa, nullptr);
    }
    TidyFolder(g_crashFolder);
}

QString CrashFolder() {
    return g_crashFolder;
}

}  // namespace orv
