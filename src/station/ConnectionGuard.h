#pragma once

#include <atomic>
#include <functional>

namespace orv {

// Lets one connection attempt (search, MAC pair, auto pair, search pair) run at a time, for the
// whole procedure. The module's wait mode alone does not do that: a procedure drops back to
// wait mode 0 in the pauses between its waits, where a second press would slip in.
class CConnectionGuard final {
public:
    enum class Result {
        Run,            // the attempt may start; End() must follow when it is over
        AdapterClosed,  // nothing to connect with
        StoppedKeys,    // the key test was counting: it was asked to stop, nothing started
        Busy,           // a module operation or another attempt is running
    };

    // The order of the button handlers: adapter closed → nothing; key counting (wait mode 7) →
    // stop the key test; any other wait mode, or an attempt still running → nothing.
    Result TryBegin(bool adapterOpen, int waitMode, const std::function<void()>& stopKeyTest);
    void End();
    bool Running() const { return m_running.load(); }

private:
    std::atomic<bool> m_running{false};
};

}  // namespace orv
