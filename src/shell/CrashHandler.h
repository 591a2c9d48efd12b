#pragma once

#include <QString>

#include <csignal>

// Crash records: a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) writes
// "crash/%Y%m%d_%H%M%S.dmp" in the home folder (local time of the crash) with the signal, the
// faulting address, the thread and a backtrace, then ends the process with the signal's default
// action. Two crashes in the same second share a name; the later one replaces the earlier.
namespace orv {

// Installs CrashFilter for the fatal signals and tidies the crash folder: 100 or more entries
// empty it, fewer are kept; a missing folder is created. Call after the home folder is set and
// before other threads start (the path and the local-time offset are taken here, as the handler
// may use only async-signal-safe calls).
void InstallCrashHandler();

// The handler itself (installed with SA_SIGINFO on an alternate stack, so a stack overflow of
// the main thread is recorded too).
void CrashFilter(int sig, siginfo_t* info, void* context);

// Entries at start-up from which the folder is emptied.
inline constexpr int kCrashFolderLimit = 100;

// The crash folder InstallCrashHandler chose, or empty before it ran.
QString CrashFolder();

}  // namespace orv
