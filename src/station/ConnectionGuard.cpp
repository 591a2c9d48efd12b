#include "station/ConnectionGuard.h"

namespace orv {

CConnectionGuard::Result CConnectionGuard::TryBegin(bool adapterOpen, int waitMode,
                                                    const std::function<void()>& stopKeyTest) {
    if (!adapterOpen)
        return Result::AdapterClosed;
    if (waitMode == 7) {
        if (stopKeyTest)
            stopKeyTest();
        return Result::StoppedKeys;
    }
    if (waitMode != 0)
        return Result::Busy;
    bool expected = false;
    if (!m_running.compare_exchange_strong(expected, true))
        return Result::Busy;
    return Result::Run;
}

void CConnectionGuard::End() {
    m_running.store(false);
}

}  // namespace orv
