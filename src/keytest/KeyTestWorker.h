#pragma once

#include <QObject>

#include <array>
#include <atomic>

namespace orv {

class CAdapterLink;

// Counting and judging of the key test, without windows. Keys are numbered as the key counter
// numbers them: 1 VOL+, 2 VOL-, 3 Play/Pause, 4 Next, 5 Previous.
class CKeyJudge final {
public:
    struct Outcome {
        bool counted = false;     // the key is enabled and was counted
        int count = 0;            // its count after this press
        bool fieldDone = false;   // its field turns green
        bool volumePass = false;  // every enabled volume key has reached the required count
        bool mediaPass = false;   // the same for Play/Pause, Next and Previous
        bool pass = false;        // both groups
    };

    // `enabled` is indexed by key code (index 0 unused). `checkTimes` is [General Info]
    // "KeyCheckTimes"; with `needTimesCheck` 0 a key's field turns green at its first press.
    void Reset(const std::array<bool, 6>& enabled, int checkTimes, bool needTimesCheck);
    Outcome Press(int keyCode);
    Outcome Judge() const;
    int Count(int keyCode) const;
    bool Enabled(int keyCode) const;
    bool AnyEnabled() const;

private:
    std::array<bool, 6> m_enabled{};
    std::array<int, 6> m_counts{};
    int m_checkTimes = 1;
    bool m_needTimesCheck = false;
};

// The key test's worker: prepares the headset's audio, switches the module to key counting and
// then sleeps until the parser has new text or the headset's speaker gain changes; every key the
// counter saw since the last wake-up is reported, none is lost when several arrive together.
// Runs on a worker thread; its signals reach the key test page queued.
class CKeyTestWorker final : public QObject {
    Q_OBJECT
public:
    explicit CKeyTestWorker(CAdapterLink* link, QObject* parent = nullptr);

    // The worker's body; returns when the test ended (stop, or the module taken for another
    // operation). `btMode` is [KeyTest] "BTMode": 0 A2DP keys, 1 HFP gain changes.
    void Run(int btMode);
    // Asks a running Run to end; safe from any thread.
    void RequestStop();
    // Clears a stop request and marks the worker running before its thread starts.
    void Arm();
    bool IsRunning() const { return m_running.load(); }

signals:
    void keyPressed(int keyCode);
    void a2dpStarted();  // streaming had to be started: the device list has news
    void a2dpFailed();   // streaming could not be started (string 184)
    void finished();

private:
    CAdapterLink* const m_link;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};

}  // namespace orv
