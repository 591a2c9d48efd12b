#include "station/OneKeyTest.h"

#include <chrono>
#include <cmath>
#include <utility>

#include "config/Settings.h"
#include "shell/LogWriter.h"

namespace orv {

namespace {

// UI strings of the test's rows and labels.
enum : int {
    kTextName = 159,
    kTextBattery = 164,
    kTextA2dpListening = 182,
    kTextA2dpListeningFailed = 183,
    kTextSwitchA2dpFailed = 184,
    kTextHfpRecord = 185,
    kTextSwitchHfpFailed = 186,
    kTextHfpListening = 187,
    kTextHfpListeningFailed = 188,
    kTextKeyTest = 189,
    kTextKeyTestFailed = 190,
    kTextRingTest = 191,
    kTextRingTestFailed = 192,
    kTextTimesRing = 193,
    kTextKeyMedia = 213,
    kTextRssiCaption = 218,
};

constexpr int kStepFirst = 1;  // name, battery and RSSI all conclude with step 1
constexpr int kStepA2dp = 5;
constexpr int kStepHfpRecord = 6;
constexpr int kStepHfpListening = 7;
constexpr int kStepKey = 8;
constexpr int kStepRing = 9;
constexpr int kRssiUnread = -1;  // what ReadRssi gives when the module did not answer

}  // namespace

bool NameMatches(const QString& name, const QString& checkName, int mode) {
    return mode == 0 ? name.contains(checkName, Qt::CaseSensitive) : name == checkName;
}

QString OneKeyBatteryText(int battery) {
    if (static_cast<unsigned>(battery) > 100u)
        return QStringLiteral("NAN");
    return QStringLiteral("%1%").arg(battery);
}

COneKeyTest::COneKeyTest(IOneKeyHost* host, QString configPath, OneKeyPacing pacing)
    : m_host(host), m_configPath(std::move(configPath)), m_pacing(pacing) {}

COneKeyTest::~COneKeyTest() {
    Abort();
    Join();
}

bool COneKeyTest::Start() {
    if (m_running.exchange(true))
        return false;
    if (m_thread.joinable())
        m_thread.join();  // the previous run has returned already (m_running was false)
    m_aborted.store(false);
    m_thread = std::thread([this] {
        RunSteps();
        m_running.store(false);
    });
    return true;
}

void COneKeyTest::Abort() {
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_aborted.store(true);
    }
    m_pauseWake.notify_all();
}

void COneKeyTest::Join() {
    if (m_thread.joinable())
        m_thread.join();
}

bool COneKeyTest::StopRequested() {
    if (m_aborted.load())
        return true;
    return m_host->TakeStopRequest();
}

void COneKeyTest::Pause(int ms) {
    std::unique_lock<std::mutex> lock(m_pauseLock);
    m_pauseWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_aborted.load(); });
}

int COneKeyTest::Fail(int step, const QString& item, const QString& info, bool asResult) {
    if (m_aborted.load())
        return kOneKeyNoVerdict;
    m_host->TestDone();
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    if (!wnd || !wnd->IsShown())
        return step;
    if (!item.isEmpty()) {
        if (asResult)
            wnd->SetItemResult(item, info, false);
        else
            wnd->SetItemInfo(item, info);
    }
    Pause(m_pacing.settleMs);
    if (m_aborted.load())
        return kOneKeyNoVerdict;
    wnd->FinishFailed(step);
    return step;
}

void COneKeyTest::Begin(int step) {
    m_host->ItemBegins(step);
}

int COneKeyTest::RunSteps() {
    m_running.store(true);
    LogInfo(QStringLiteral("One-key test started"));
    // Profile flags are taken once: a link that drops later fails its item when it switches.
    if (IOneKeyTestWindow* wnd = m_host->TestWindow())
        wnd->OneKeyTestBegins();
    const bool hfpReady = m_host->HfpReady();
    const bool a2dpReady = m_host->A2dpReady();

    int r = RunName();
    if (r == kOneKeyContinue && GetAutoTestItem(m_configPath, 3) != 0)
        r = RunBattery();
    if (r == kOneKeyContinue && GetAutoTestItem(m_configPath, 4) != 0)
        r = RunRssi();
    if (r == kOneKeyContinue && GetAutoTestItem(m_configPath, 5) != 0)
        r = RunA2dpListening(a2dpReady);
    const bool record = GetAutoTestItem(m_configPath, 6) != 0;
    if (r == kOneKeyContinue && record)
        r = RunHfpRecord(hfpReady);
    // Playing the recording back needs the recording.
    if (r == kOneKeyContinue && record && GetAutoTestItem(m_configPath, 7) != 0)
        r = RunHfpListening(hfpReady);
    if (r == kOneKeyContinue && GetAutoTestItem(m_configPath, 8) != 0)
        r = RunKeyTest(a2dpReady);
    if (r == kOneKeyContinue && GetRingCheckTest(m_configPath) != 0)
        r = RunRingTest(hfpReady);

    if (r == kOneKeyContinue) {
        if (m_aborted.load()) {
            r = kOneKeyNoVerdict;
        } else {
            m_host->TestDone();
            IOneKeyTestWindow* wnd = m_host->TestWindow();
            if (wnd && wnd->IsShown())
                wnd->FinishPassed();
            r = 0;
        }
    }
    if (IOneKeyTestWindow* wnd = m_host->TestWindow())
        wnd->OneKeyTestEnded();
    LogInfo(r == 0  ? QStringLiteral("One-key test ended: PASS")
            : r > 0 ? QStringLiteral("One-key test ended: FAIL at step %1").arg(r)
                    : QStringLiteral("One-key test ended without a verdict"));
    return r;
}

int COneKeyTest::RunName() {
    Begin(kStepFirst);
    const QString name = m_host->ReadName();
    m_host->RefreshDeviceList();
    const bool nameTest = GetNameTest(m_configPath) != 0;
    const bool pass =
        !nameTest || NameMatches(name, GetCheckName(m_configPath), GetNameTestMode(m_configPath));
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    if (wnd && wnd->IsShown())
        wnd->SetItemResult(m_host->Text(kTextName), name, pass);
    if (pass)
        return kOneKeyContinue;
    m_host->ShowMessage(QStringLiteral("设备名称不匹配"));
    return Fail(kStepFirst, {}, {}, false);
}

int COneKeyTest::RunBattery() {
    Begin(kStepFirst);
    const int battery = m_host->Battery();
    const QString text = OneKeyBatteryText(battery);
    const bool pass =
        GetBatteryLower(m_configPath) <= battery && battery <= GetBatteryUpper(m_configPath);
    m_host->SetBatteryLabel(text, pass);
    m_host->SetTestStage(1);
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    if (wnd && wnd->IsShown())
        wnd->SetItemResult(m_host->Text(kTextBattery), text, pass);
    return pass ? kOneKeyContinue : Fail(kStepFirst, {}, {}, false);
}

int COneKeyTest::RunRssi() {
    Begin(kStepFirst);
    m_host->SetBluetoothLabel(m_host->Text(kTextRssiCaption), true);
    m_host->SetRssiLabel(QString(), true);
    int rssi = kRssiUnread;
    for (int i = 0; i < 3 && rssi == kRssiUnread && !m_aborted.load(); ++i)
        rssi = m_host->ReadRssi();
    const QString text =
        rssi == kRssiUnread ? QStringLiteral("NAN") : QStringLiteral("%1 dBm").arg(rssi);
    const bool pass = GetRssiLower(m_configPath) < rssi && rssi < GetRssiUpper(m_configPath);
    m_host->SetRssiLabel(text, pass);
    m_host->RefreshDeviceList();
    m_host->SetTestStage(1);
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    if (wnd && wnd->IsShown())
        wnd->SetItemResult(QStringLiteral("RSSI"), text, pass);
    return pass ? kOneKeyContinue : Fail(kStepFirst, {}, {}, false);
}

int COneKeyTest::RunA2dpListening(bool a2dpReady) {
    Begin(kStepA2dp);
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    const bool shown = wnd && wnd->IsShown();
    if (!a2dpReady || !m_host->StartA2dp()) {
        if (!shown)
            return kOneKeyContinue;  // the main window's test skips what it cannot switch to
        return Fail(kStepA2dp, m_host->Text(kTextA2dpListening),
                    m_host->Text(kTextSwitchA2dpFailed), false);
    }
    m_host->SetBluetoothLabel(m_host->Text(kTextA2dpListening), true);
    m_host->RefreshDeviceList();
    m_host->PressPlay();
    m_host->SetTestStage(5);
    Pause(m_pacing.playStartMs);
    // A player that never started is no pass: nobody heard anything.
    bool started = m_host->MusicPlaying();
    while (true) {
        if (StopRequested()) {
            if (m_host->MusicPlaying())
                m_host->PressStop();
            return Fail(kStepA2dp, m_host->Text(kTextA2dpListening),
                        m_host->Text(kTextA2dpListeningFailed), false);
        }
        if (!m_host->MusicPlaying())
            break;
        started = true;
        Pause(m_pacing.pollMs);
    }
    if (!started) {
        LogInfo(QStringLiteral("One-key test: the music player did not start"));
        return Fail(kStepA2dp, m_host->Text(kTextA2dpListening),
                    m_host->Text(kTextA2dpListeningFailed), true);
    }
    if (shown) {
        wnd->SetItemResult(m_host->Text(kTextA2dpListening), QStringLiteral("OK"), true);
        wnd->RestartItemClock();
    }
    return kOneKeyContinue;
}

int COneKeyTest::RunHfpRecord(bool hfpReady) {
    Begin(kStepHfpRecord);
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    const bool shown = wnd && wnd->IsShown();
    if (!hfpReady || !m_host->OpenHfpAudio(1)) {
        if (!shown)
            return kOneKeyContinue;
        return Fail(kStepHfpRecord, m_host->Text(kTextHfpRecord),
                    m_host->Text(kTextSwitchHfpFailed), false);
    }
    m_host->SetBluetoothLabel(m_host->Text(kTextHfpRecord), true);
    m_host->RefreshDeviceList();
    m_host->SetTestStage(6);
    m_host->PressRecord();
    while (true) {
        if (StopRequested()) {
            if (m_host->Recording())
                m_host->StopRecord();
            // A stopped recording is neither a pass nor a fail: no row and no record.
            if (!m_aborted.load())
                m_host->TestDone();
            return kOneKeyNoVerdict;
        }
        if (!m_host->Recording())
            break;
        Pause(m_pacing.pollMs);
    }
    if (!shown)
        return kOneKeyContinue;
    const double level = m_host->RecordMaxLevel();
    const QString info = std::isinf(level) && level < 0 ? QStringLiteral("(-inf dB)")
                                                        : QString::asprintf("(%.2fdB)", level);
    if (!m_host->RecordLevelPass()) {
        if (m_aborted.load())
            return kOneKeyNoVerdict;
        m_host->TestDone();
        wnd->SetItemResult(m_host->Text(kTextHfpRecord), info + QStringLiteral("Fail"), false);
        wnd->SetHfpMaxLevel(level);
        Pause(m_pacing.settleMs);
        if (m_aborted.load())
            return kOneKeyNoVerdict;
        wnd->FinishFailed(kStepHfpRecord);
        return kStepHfpRecord;
    }
    wnd->SetItemResult(m_host->Text(kTextHfpRecord), info + QStringLiteral("OK"), true);
    wnd->SetHfpMaxLevel(level);
    wnd->RestartItemClock();
    return kOneKeyContinue;
}

int COneKeyTest::RunHfpListening(bool hfpReady) {
    Begin(kStepHfpListening);
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    const bool shown = wnd && wnd->IsShown();
    if (!hfpReady || !m_host->OpenHfpAudio(1)) {
        if (!shown)
            return kOneKeyContinue;
        return Fail(kStepHfpListening, m_host->Text(kTextHfpListening),
                    m_host->Text(kTextSwitchHfpFailed), false);
    }
    m_host->SetBluetoothLabel(m_host->Text(kTextHfpListening), true);
    m_host->SetTestStage(7);
    m_host->PressRecordPlay();
    bool started = m_host->PlaybackPlaying();
    while (true) {
        if (StopRequested()) {
            if (m_host->PlaybackPlaying())
                m_host->PressRecordStop();
            return Fail(kStepHfpListening, m_host->Text(kTextHfpListening),
                        m_host->Text(kTextHfpListeningFailed), false);
        }
        if (!m_host->PlaybackPlaying())
            break;
        started = true;
        Pause(m_pacing.pollMs);
    }
    if (!started) {
        LogInfo(QStringLiteral("One-key test: the recording could not be played back"));
        return Fail(kStepHfpListening, m_host->Text(kTextHfpListening),
                    m_host->Text(kTextHfpListeningFailed), true);
    }
    if (shown) {
        wnd->SetItemResult(m_host->Text(kTextHfpListening), QStringLiteral("OK"), true);
        wnd->RestartItemClock();
    }
    return kOneKeyContinue;
}

int COneKeyTest::RunKeyTest(bool a2dpReady) {
    Begin(kStepKey);
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    const bool shown = wnd && wnd->IsShown();
    if (!a2dpReady || !m_host->StartA2dp()) {
        if (!shown)
            return kOneKeyContinue;
        return Fail(kStepKey, m_host->Text(kTextKeyMedia), m_host->Text(kTextSwitchA2dpFailed),
                    false);
    }
    m_host->SetBluetoothLabel(m_host->Text(kTextKeyTest), true);
    m_host->RefreshDeviceList();
    m_host->SetTestStage(8);
    m_host->PressKeyStart();
    Pause(m_pacing.keyStartMs);
    while (true) {
        if (StopRequested()) {
            if (m_host->KeyTestRunning())
                m_host->StopKeyTest();
            return Fail(kStepKey, m_host->Text(kTextKeyMedia), m_host->Text(kTextKeyTestFailed),
                        false);
        }
        if (!m_host->KeyTestRunning())
            break;
        Pause(m_pacing.pollMs);
    }
    // The key test page has written its own rows.
    if (shown) {
        Pause(m_pacing.settleMs);
        wnd->RestartItemClock();
    }
    return kOneKeyContinue;
}

int COneKeyTest::RunRingTest(bool hfpReady) {
    Begin(kStepRing);
    Pause(m_pacing.ringStartMs);
    IOneKeyTestWindow* wnd = m_host->TestWindow();
    const bool shown = wnd && wnd->IsShown();
    const QString item = m_host->Text(kTextRingTest);
    if (!hfpReady) {
        if (!shown)
            return kOneKeyContinue;
        return Fail(kStepRing, item, m_host->Text(kTextRingTestFailed), true);
    }
    m_host->SetBluetoothLabel(item, true);
    const int times = GetRingTestTimes(m_configPath);
    const int interval = GetRingInterval(m_configPath);
    const bool indicator = GetATRingCmd(m_configPath) != 0;
    bool stopped = false;
    for (int n = 1; n <= times && !stopped; ++n) {
        if (StopRequested()) {
            stopped = true;
            break;
        }
        if (indicator)
            m_host->SendCallIndicator(1);
        else
            m_host->RingTest();
        if (shown)
            wnd->SetItemInfo(item,
                             QStringLiteral("%1%2").arg(n).arg(m_host->Text(kTextTimesRing)));
        for (int s = 0; s < interval; ++s) {
            if (StopRequested()) {
                stopped = true;
                break;
            }
            Pause(m_pacing.ringSecondMs);
        }
        // A stop during the last second of the interval counts too: with an interval of one
        // second the only look above comes before the headset has rung at all.
        if (!stopped && StopRequested())
            stopped = true;
        if (stopped)
            break;  // the headset keeps ringing until the A2DP switch below ends the call
        if (indicator) {
            m_host->SendCallIndicator(0);
        } else {
            m_host->Hangup();
            Pause(m_pacing.hangupMs);
        }
    }
    if (!m_aborted.load())
        m_host->StartA2dp();  // back to music; its result is not judged
    if (stopped)
        return Fail(kStepRing, item, m_host->Text(kTextRingTestFailed), true);
    if (shown) {
        wnd->SetItemResult(item, QStringLiteral("OK"), true);
        Pause(m_pacing.settleMs);
    }
    return kOneKeyContinue;
}

}  // namespace orv
