#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The one-key test: name, battery, RSSI, A2DP listening, HFP record, HFP listening, keys and
// ring, item by item on a worker thread, concluding with PASS or with the step that failed.
namespace orv {

// The simple test window as the one-key test sees it. Every call may come from the test's
// thread; the window hands what needs its own thread over and returns.
class IOneKeyTestWindow {
public:
    virtual ~IOneKeyTestWindow() = default;
    virtual bool IsShown() const = 0;
    virtual void SetItemInfo(const QString& item, const QString& info) = 0;
    virtual void SetItemResult(const QString& item, const QString& info, bool pass) = 0;
    virtual void RestartItemClock() = 0;
    virtual void SetHfpMaxLevel(double dbfs) = 0;
    // Saves the record as failed at `step` / as passed, disconnects the headset, counts it.
    virtual void FinishFailed(int step) = 0;
    virtual void FinishPassed() = 0;
    // A one-key test begins / has ended. While it runs only its first conclusion counts: a
    // link lost mid-test concludes it at once, and the item that then fails must not conclude
    // the same headset a second time.
    virtual void OneKeyTestBegins() {}
    virtual void OneKeyTestEnded() {}
};

// What the test needs of the station: the adapter link, the main window's labels and buttons,
// the players, the recorder and the key test page. Called on the test's thread; an
// implementation runs window work on the window's thread and waits for it.
class IOneKeyHost {
public:
    virtual ~IOneKeyHost() = default;

    // Adapter link (these wait for the module; they run on the test's thread).
    virtual QString ReadName() = 0;
    virtual int Battery() = 0;     // link state battery in percent, -1 unknown
    virtual int ReadRssi() = 0;    // dBm, -1 when it could not be read
    virtual bool HfpReady() = 0;   // HFP link id >= 0
    virtual bool A2dpReady() = 0;  // A2DP and AVRCP link ids >= 0
    virtual int StartA2dp() = 0;
    virtual int OpenHfpAudio(int kind) = 0;
    virtual void RingTest() = 0;
    virtual int Hangup() = 0;
    virtual int SendCallIndicator(int ringing) = 0;

    // Main window.
    virtual void SetBluetoothLabel(const QString& text, bool good) = 0;
    virtual void SetBatteryLabel(const QString& text, bool good) = 0;
    // Empty text: the label is cleared and repainted at once.
    virtual void SetRssiLabel(const QString& text, bool good) = 0;
    virtual void RefreshDeviceList() = 0;
    virtual void SetTestStage(int stage) = 0;
    virtual void ShowMessage(const QString& text) = 0;
    // WM_TEST_DONE: the window returns to its idle state.
    virtual void TestDone() = 0;
    // The operator's stop request ("Stop test"); auto-reset: true once per request.
    virtual bool TakeStopRequest() = 0;
    // The test enters the item that fails with `step` (1 name, battery and RSSI; 5 to 9): a
    // test whose headset or adapter is lost meanwhile is concluded at that step.
    virtual void ItemBegins(int step) { (void)step; }

    // Buttons and what they started.
    virtual void PressPlay() = 0;
    virtual void PressStop() = 0;
    virtual bool MusicPlaying() = 0;
    virtual void PressRecord() = 0;
    virtual bool Recording() = 0;
    virtual void StopRecord() = 0;
    virtual double RecordMaxLevel() = 0;  // dBFS; minus infinity when no block came
    virtual bool RecordLevelPass() = 0;
    virtual void PressRecordPlay() = 0;
    virtual void PressRecordStop() = 0;
    virtual bool PlaybackPlaying() = 0;
    virtual void PressKeyStart() = 0;
    virtual bool KeyTestRunning() = 0;
    virtual void StopKeyTest() = 0;

    // The simple test window; null when there is none.
    virtual IOneKeyTestWindow* TestWindow() = 0;
    // UI string `id` of the current language.
    virtual QString Text(int id) = 0;
};

// Pauses of the test, in ms. The module and the headset need them; they are not time-outs.
struct OneKeyPacing {
    int pollMs = 100;         // between tests of an item's running flag
    int settleMs = 1000;      // before a conclusion, so the operator sees the last row
    int playStartMs = 100;    // after Play, before the player's state is polled
    int keyStartMs = 300;     // after Key Start
    int ringStartMs = 500;    // before the ring test
    int ringSecondMs = 1000;  // one second of the ring interval
    int hangupMs = 500;       // after Hangup, before the next ring
};

// Runs OneKeyTestThread, one at a time. The owner keeps `host` alive while a test runs and
// calls Abort before it goes.
class COneKeyTest final {
public:
    COneKeyTest(IOneKeyHost* host, QString configPath, OneKeyPacing pacing = {});
    ~COneKeyTest();  // requests a stop and joins the thread

    // False when a test is running already.
    bool Start();
    bool IsRunning() const { return m_running.load(); }
    // Ends the thread as soon as it looks: stop requested and every pause cut short. For the
    // owner's shutdown only; the operator's stop goes through the host's stop request.
    void Abort();
    // Blocks until the thread has ended.
    void Join();

    // Runs the steps on the caller's thread (what the worker runs). Returns the concluded
    // step: 0 when the test ran to its end, else the failed step; -1 when it ended without a
    // conclusion (stop during the HFP record, or an abort).
    int RunSteps();

    const QString& ConfigPath() const { return m_configPath; }

private:
    bool StopRequested();
    void Pause(int ms);
    // Ends the test failed at `step`: WM_TEST_DONE, the info row, settle, FinishFailed.
    int Fail(int step, const QString& item, const QString& info, bool asResult);
    // Tells the host which item runs now.
    void Begin(int step);
    int RunName();
    int RunBattery();
    int RunRssi();
    int RunA2dpListening(bool a2dpReady);
    int RunHfpRecord(bool hfpReady);
    int RunHfpListening(bool hfpReady);
    int RunKeyTest(bool a2dpReady);
    int RunRingTest(bool hfpReady);

    IOneKeyHost* m_host;
    QString m_configPath;
    OneKeyPacing m_pacing;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_aborted{false};
    std::mutex m_pauseLock;  // guards nothing but the pause condition below
    std::condition_variable m_pauseWake;
};

// Test step results of COneKeyTest::RunSteps.
inline constexpr int kOneKeyContinue = -2;  // internal: go on with the next item
inline constexpr int kOneKeyNoVerdict = -1;

// Pass rule of the name check: "NameTestMode" 0 contains, otherwise equal (case-sensitive).
bool NameMatches(const QString& name, const QString& checkName, int mode);
// "NAN" when the battery, taken as unsigned, exceeds 100; else "%d%".
QString OneKeyBatteryText(int battery);

}  // namespace orv
