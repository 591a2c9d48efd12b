#include "keytest/KeyTestWorker.h"

#include "adapter/AdapterLink.h"
#include "keytest/KeyPressParse.h"

namespace orv {

void CKeyJudge::Reset(const std::array<bool, 6>& enabled, int checkTimes, bool needTimesCheck) {
    m_enabled = enabled;
    m_enabled[0] = false;
    m_counts.fill(0);
    m_checkTimes = checkTimes;
    m_needTimesCheck = needTimesCheck;
}

bool CKeyJudge::Enabled(int keyCode) const {
    return keyCode >= 1 && keyCode <= 5 && m_enabled[size_t(keyCode)];
}

bool CKeyJudge::AnyEnabled() const {
    for (int k = 1; k <= 5; ++k) {
        if (m_enabled[size_t(k)])
            return true;
    }
    return false;
}

int CKeyJudge::Count(int keyCode) const {
    return keyCode >= 1 && keyCode <= 5 ? m_counts[size_t(keyCode)] : 0;
}

CKeyJudge::Outcome CKeyJudge::Judge() const {
    Outcome o;
    auto groupPass = [this](std::initializer_list<int> keys) {
        for (int k : keys) {
            if (m_enabled[size_t(k)] && m_counts[size_t(k)] < m_checkTimes)
                return false;
        }
        return true;  // a group without an enabled key passes
    };
    o.volumePass = groupPass({kKeyVolUp, kKeyVolDown});
    o.mediaPass = groupPass({kKeyPlayPause, kKeyNext, kKeyPrevious});
    o.pass = o.volumePass && o.mediaPass;
    return o;
}

CKeyJudge::Outcome CKeyJudge::Press(int keyCode) {
    Outcome o = Judge();
    if (!Enabled(keyCode))
        return o;
    int& count = m_counts[size_t(keyCode)];
    ++count;
    o = Judge();
    o.counted = true;
    o.count = count;
    o.fieldDone = !m_needTimesCheck || count >= m_checkTimes;
    return o;
}

CKeyTestWorker::CKeyTestWorker(CAdapterLink* link, QObject* parent)
    : QObject(parent), m_link(link) {}

void CKeyTestWorker::RequestStop() {
    m_stop.store(true);
    if (m_link)
        m_link->Parser().WakeWaiters();
}

void CKeyTestWorker::Arm() {
    m_stop.store(false);
    m_running.store(true);
}

void CKeyTestWorker::Run(int btMode) {
    m_running.store(true);
    CModuleParser& parser = m_link->Parser();
    bool counting = true;
    if (btMode == 0 && m_link->AudioState() != 1) {
        if (m_link->StartA2dp()) {
            emit a2dpStarted();
        } else {
            emit a2dpFailed();
            counting = false;
        }
    }
    // On failure StartKeyTest leaves the wait mode alone, so the loop below ends at once.
    if (counting)
        m_link->StartKeyTest();

    int prevGain = parser.Read([](const LinkState& s) { return s.hfpVolume; });
    std::array<int, 6> reported{};  // presses of each key already passed on
    bool stoppedHere = false;
    while (counting) {
        if (m_stop.load()) {
            stoppedHere = true;
            break;
        }
        const LinkState state = parser.State();
        if (btMode == 1) {
            // One event per observed change, whatever the number of steps.
            const int gain = state.hfpVolume;
            if (prevGain < 0)
                prevGain = gain;
            if (gain > prevGain)
                emit keyPressed(kKeyVolUp);
            else if (gain < prevGain)
                emit keyPressed(kKeyVolDown);
            prevGain = gain;
        }
        // The counter's totals, not its single last-key slot: two keys parsed in one cycle
        // are both reported.
        parser.ClearNewKey();
        const CKeyPressParse counts = parser.KeyCounts();
        const int totals[6] = {0,
                               counts.m_volUpCount,
                               counts.m_volDownCount,
                               counts.m_playPauseCount,
                               counts.m_nextCount,
                               counts.m_previousCount};
        for (int k = 1; k <= 5; ++k) {
            if (totals[k] < reported[size_t(k)])
                reported[size_t(k)] = 0;  // the counter was cleared meanwhile
            while (reported[size_t(k)] < totals[k]) {
                ++reported[size_t(k)];
                emit keyPressed(k);
            }
        }
        if (state.waitMode != kWaitKeys)
            break;  // another operation took the module
        // Sleeps until the parser finished a cycle (new text), the gain or the wait mode
        // changed, or a stop was asked for. The parser wakes its waiters after every cycle,
        // so the first test after the wake-up lets the loop look at the counter again. The
        // time limit only covers a cycle that ended between the look above and this wait.
        bool first = true;
        const int gainSeen = prevGain;
        parser.WaitFor(
            [&first, gainSeen, btMode](const LinkState& s) {
                if (s.waitMode != kWaitKeys || (btMode == 1 && s.hfpVolume != gainSeen))
                    return true;
                const bool woke = !first;
                first = false;
                return woke;
            },
            250, &m_stop);
    }
    if (stoppedHere) {
        // Frees the module for the next operation: key counting ends with the test.
        parser.Update([](LinkState& s) {
            if (s.waitMode == kWaitKeys) {
                s.waitMode = kWaitNone;
                s.eventCount = 0;
            }
        });
    }
    m_running.store(false);
    emit finished();
}

}  // namespace orv
