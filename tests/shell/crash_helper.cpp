// Helper for tst_crash: installs the crash handler in the home folder given as the first
// argument, then dies the way the second argument names ("install" just returns).
#include <QByteArray>
#include <QString>

#include <sys/resource.h>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "config/AppHome.h"
#include "shell/CrashHandler.h"

namespace {
volatile int* g_null = nullptr;

// A real invalid write. Under the undefined-behaviour sanitizer a null store would be reported
// and the process would exit before the fault; the signal handler is what is under test here.
__attribute__((no_sanitize("undefined"))) void WriteThroughNull() {
    *g_null = 1;
}

#pragma GCC diagnostic ignored "-Winfinite-recursion"
// Not a tail call, so the compiler cannot turn it into a loop.
int Recurse(int depth) {
    volatile char pad[4096];
    pad[depth % 4096] = static_cast<char>(depth);
    return Recurse(depth + 1) + pad[(depth * 7) % 4096];
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    // No core files from the deliberate crashes.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    orv::SetAppHome(QString::fromLocal8Bit(argv[1]));
    orv::InstallCrashHandler();
    const char* how = argv[2];
    if (std::strcmp(how, "install") == 0) {
        return 0;
    }
    if (std::strcmp(how, "segv") == 0) {
        WriteThroughNull();
    } else if (std::strcmp(how, "abort") == 0) {
        std::abort();
    } else if (std::strcmp(how, "overflow") == 0) {
        Recurse(0);
    } else if (std::strcmp(how, "fpe") == 0) {
        raise(SIGFPE);
    } else if (std::strcmp(how, "ill") == 0) {
        raise(SIGILL);
    } else if (std::strcmp(how, "bus") == 0) {
        raise(SIGBUS);
    }
    return 3;
}
