#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "adapter/Desktop.h"
#include "keytest/KeyPressParse.h"

// The module's event parser and the link state it keeps. Text from the adapter is appended by
// the monitor thread; the parser thread cuts it into lines, keeps the link state, answers the
// headset at once where it must, and tells its host of changes.
namespace orv {

// What a waiting operation expects from the module.
enum WaitMode : int {
    kWaitNone = 0,
    kWaitInquiryEnd = 1,    // collect inquiry results until "INQUIRY <n>"
    kWaitConnections = 3,   // profile links of a connect
    kWaitFirstInquiry = 4,  // the first inquiry result
    kWaitStreaming = 5,     // "A2DP STREAMING START"
    kWaitSco = 6,           // the SCO link
    kWaitKeys = 7,          // key presses (key test)
    kWaitReady = 8,         // "READY." after a reset
};

struct InquiryEntry {
    QString name;  // "" until a name event arrives
    QString mac;   // 17 characters, as the module prints it
    int rssi = -128;
};

// The link state. Written by the parser thread and by the operations of the link; every access
// goes through CModuleParser under its state lock.
struct LinkState {
    int hfpLink = -1;
    int a2dpLink = -1;
    int avrcpLink = -1;
    int scoLink = -1;
    int hasMusicMode = 0;
    int waitMode = kWaitNone;
    int eventCount = 0;
    QList<InquiryEntry> inquiryList;
    QString targetName;
    QString targetMac;
    int streaming = 0;
    int audioMode = 0;     // 0 none, 1 SCO audio, 2 outgoing call (dial), 3 incoming call (ring)
    int avrcpVolume = -1;  // 0 to 100
    int hfpVolume = -1;    // 0 to 15
    int battery = -1;      // percent
    int rssi = -128;       // dBm
    int noCarrierWatch = 0;
};

// What the parser needs from the link it belongs to. Called on the parser thread, never while
// the state lock is held, in the order the events arrived.
class IModuleHost {
public:
    virtual ~IModuleHost() = default;
    virtual void SendReply(const QString& command) = 0;
    virtual int SyncSystemVolume(int percent) = 0;
    virtual void LinkInfoChanged() = 0;
    virtual void LinksDropped() = 0;
    virtual void MediaKeyReleased(MediaKey key) = 0;
};

class CModuleParser final {
public:
    // An unfinished line is kept up to this many UTF-16 units; older text is dropped.
    static constexpr int kMaxUnfinishedLine = 64 * 1024;

    explicit CModuleParser(IModuleHost* host = nullptr);
    ~CModuleParser();

    CModuleParser(const CModuleParser&) = delete;
    CModuleParser& operator=(const CModuleParser&) = delete;

    // Clears the headset and the links (ids -1, name and MAC "", RSSI -128, volumes and battery
    // -1, streaming, audio mode and the link-loss watch 0) and reads HasMusicMode from the
    // settings. Leaves the wait mode, the event count, the inquiry list and the text alone.
    void ResetLinkState();

    // Monitor thread: hands over received text (an empty text is allowed and changes nothing).
    void AppendPending(const QString& text);

    // The parser thread: sleeps until text arrives, then runs a cycle. Stop joins it.
    void Start();  // also forgets the text of an earlier session
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

    // One parsing cycle over the pending text; returns false when there was none. The parser
    // thread runs it; a caller without the thread may run it instead.
    bool ProcessPending();

    // The headset counts as connected when every configured profile is up ([Connect Setup]
    // A2DPConnect: A2DP and AVRCP; HFPConnect: HFP). Neither configured: connected.
    bool IsConnected() const;
    static bool IsConnectedState(const LinkState& s, int a2dpConfigured, int hfpConfigured);

    // Display texts.
    int GetStatusTextId() const;  // UI string 194 "Paired" when connected, else 195 "Unpaired"
    QString GetModeText() const;
    QString GetVolumeText() const;
    QString GetBatteryText() const;
    QString GetRssiText() const;
    QString GetName() const;

    // Picks the target from the inquiry list by [Search Connect] PairName, PairNameStr,
    // PairRssi and PairRssiValue; first waits up to `nameWaitMs` for every entry's name when
    // PairName is set. Returns 1 when one was picked.
    int SelectTarget(int nameWaitMs = 15000);

    // A copy of the whole state.
    LinkState State() const;

    // Runs `change` on the state under the lock and wakes every waiter.
    void Update(const std::function<void(LinkState&)>& change);
    // Reads from the state under the lock.
    template <typename F>
    auto Read(F read) const {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        return read(m_state);
    }

    // Blocks until `done` holds for the state, `abort` is set, or `timeoutMs` have passed.
    // Returns whether `done` held at the end.
    bool WaitFor(const std::function<bool(const LinkState&)>& done, int timeoutMs,
                 const std::atomic<bool>* abort = nullptr);
    // Wakes every WaitFor (used when the link closes).
    void WakeWaiters();

    // Key counter, under the state lock.
    CKeyPressParse KeyCounts() const;
    void ClearKeys();
    void ClearNewKey();  // the last key and the new-key flag only
    // Takes the last key and clears the new-key flag in one step; kKeyNone when no new key.
    int TakeNewKey();

    // Times the unfinished line exceeded kMaxUnfinishedLine (each occurrence logged once).
    int OverflowCount() const { return m_overflows.load(); }

private:
    struct Line {
        QString text;  // the line without its leading line feed
        QString view;  // the same with the text between the first and last double quote masked
        unsigned words = 0;  // the key words the line holds (a prefilter for the checks)
        bool removed = false;
    };
    struct Action {
        enum Kind { Reply, SyncVolume, Info, Dropped, Key } kind;
        QString text;
        int value = 0;
    };

    void ThreadMain();
    void SplitLines(QStringView complete);
    void RunCycle();
    void ResetLocked();
    void RemoveLine(std::vector<Line>& lines, size_t index);

    void CheckLinkLoss(std::vector<Line>& lines);
    void CheckBattery(std::vector<Line>& lines);
    bool CheckHfpVolume(std::vector<Line>& lines);
    bool CheckAvrcpVolume(std::vector<Line>& lines);
    void CheckName(std::vector<Line>& lines);
    void CheckRssi(std::vector<Line>& lines);
    void CheckVoiceRecognition(std::vector<Line>& lines);
    void CheckMediaKeys(std::vector<Line>& lines);
    void CollectInquiry(std::vector<Line>& lines);
    void TakeFirstInquiry(std::vector<Line>& lines);
    void CollectConnections(std::vector<Line>& lines);
    void WaitStreaming(std::vector<Line>& lines);
    void WaitSco(std::vector<Line>& lines);
    void CountKeys(std::vector<Line>& lines);

    IModuleHost* const m_host;

    mutable std::mutex m_stateMutex;  // guards m_state, m_keyParse and m_actions
    std::condition_variable m_stateChanged;
    LinkState m_state;
    CKeyPressParse m_keyParse;
    std::vector<Action> m_actions;  // collected during a cycle, carried out after it

    std::mutex m_pendingMutex;  // guards m_pending and m_stop
    std::condition_variable m_pendingArrived;
    QString m_pending;
    bool m_stop = false;

    std::mutex m_cycleMutex;    // one cycle at a time; guards m_work, m_lines and m_overflowing
    QString m_work;             // the unfinished last line
    std::vector<Line> m_lines;  // the complete lines of the current cycle
    bool m_overflowing = false;
    std::atomic<int> m_overflows{0};

    std::thread m_thread;
};

}  // namespace orv
