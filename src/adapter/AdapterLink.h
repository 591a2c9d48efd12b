#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "adapter/Desktop.h"
#include "adapter/ReportDevice.h"
#include "module/ModuleParser.h"

// The adapter link: the HID transport to the ORV318 adapter, the module's command set, the
// phone-side replies and the inquiry and connect procedures. Owned by the station window for
// the life of the process.
//
// Threads. Open starts the monitor thread (the only reader of the device) and the parser
// thread. Operations that wait for the module block their calling thread (run them on a worker
// thread); the parser thread keeps running meanwhile. Sends from any thread are serialised: one
// report in flight at a time.
//
// Notifications. The signals below are emitted on the parser thread (linkInfoChanged,
// linksDropped) or on the thread that ran the connect (connected). Connect them with
// Qt::QueuedConnection (AutoConnection does the same for a receiver living in another thread):
// delivery then never keeps the parser waiting, a handler may call operations that wait for the
// module (ResetModule waits for "READY."), and the order of notifications is kept.
namespace orv {

// The module's pacing and the time limits of the waits, in milliseconds. The defaults are the
// module's own; only a test of a time-out has reason to shorten the long waits.
struct ModuleTiming {
    int initLinePause = 10;     // between initialisation lines
    int closeAllPause = 500;    // after "close 0\r...close 5"
    int resetWait = 3000;       // for "READY."
    int codecPause = 100;       // after each codec line
    int notifyPause = 50;       // after an AVRCP notification
    int volumeStepPause = 200;  // after a volume step
    int streamingStopPause = 1000;
    int replyPause = 10;  // between the greeting's replies
    int callIndicatorPause = 50;
    int callIndicatorAfter = 200;
    int scoWait = 6000;
    int streamingWait = 3000;
    int rssiWait = 1500;
    int queryNameWait = 3000;
    int readNameWait = 2000;
    int batteryWait = 5000;
    int inquiryAttempt = 7000;
    int inquiryRetryPause = 10;
    int connectWait = 12000;
    int connectRetryWait = 10000;
    int selectNameWait = 15000;
    int writeTimeout = 5000;
    int readSlice = 1000;  // the monitor looks at its stop request at least this often
};

// The 32 lines InitModule sends, in order.
const QStringList& ModuleInitTable();
// Drops links 0 to 5 in one report; the module takes each "\r" as a line end.
inline constexpr const char* kCloseAllLinks =
    "close 0\rclose 1\rclose 2\rclose 3\rclose 4\rclose 5";

class CAdapterLink final : public QObject, private IModuleHost {
    Q_OBJECT
public:
    // `bus` finds and opens the adapter; `desktop` may be null (no sound server or media
    // player then). Neither is owned; both must outlive the link.
    explicit CAdapterLink(IReportBus* bus, IDesktop* desktop = nullptr, QObject* parent = nullptr);
    ~CAdapterLink() override;

    CAdapterLink(const CAdapterLink&) = delete;
    CAdapterLink& operator=(const CAdapterLink&) = delete;

    // --- transport ---
    // Product id of the adapter to open: 0x5750 (DeviceSelect 0) or 0x5751 (DeviceSelect 1).
    void SetProductId(std::uint16_t productId) { m_productId = productId; }
    std::uint16_t ProductId() const { return m_productId; }
    void SetTiming(const ModuleTiming& timing) { m_timing = timing; }
    const ModuleTiming& Timing() const { return m_timing; }
    void SetLegacyAudio(int legacy) { m_legacyAudio = legacy; }

    // Finds and opens the adapter, makes its audio devices the defaults, starts the monitor and
    // parser threads and sends the start-up settings. 1 on success, 0 when no adapter is found.
    int Open();
    // Stops both threads, closes the device and resets the link state.
    void Close();
    bool IsOpen() const { return m_open.load(); }
    // Sends one command line (without line end) as one report: "\r\n" is appended, units beyond
    // 64 are cut off, each unit keeps its low byte. 1 when written, 0 when closed or failed.
    int Send(const QString& text);

    CModuleParser& Parser() { return m_parser; }
    const CModuleParser& Parser() const { return m_parser; }

    // --- module life and start-up settings ---
    int InitModule();
    int ResetModule();
    int SetSearchPower();
    int SetPin();
    int SetCodec();
    int SetScoMode();

    // --- audio and calls ---
    int StartStreaming();
    int StopStreaming();
    int OpenAudio(int kind);  // 1 SCO, 2 dial, 3 ring
    int CloseAudio();
    int OpenHfpAudio(int kind);
    int StartA2dp();
    int Answer();
    int Hangup();
    void RingTest();
    int AudioState() const;  // 1 A2DP streaming, 2 SCO open, 3 dialling, 4 ringing, 0 none

    // --- volume ---
    int SetHfpVolume(int gain);     // 0 to 15
    int SetA2dpVolume(int volume);  // 0 to 100
    int VolumeUp();
    int VolumeDown();
    int SyncSystemVolume(int percent) override;  // also the parser's host operation

    // --- queries ---
    QString GetTargetMac() const;
    int ReadRssi();
    QString QueryName();
    QString ReadName();
    int RefreshInfo();

    // --- phone-side replies ---
    void GreetHeadset();
    int SendCallIndicator(int ringing);
    void SendPlayStatus(int playing);
    void RegisterVolumeNotify();

    // --- inquiry and connect ---
    int Inquiry(int seconds);
    int ConnectMac(const QString& macText);
    int ConnectTarget(const QString& macText);
    int ConnectFirstFound(int seconds);
    int SearchConnect(int seconds);
    QString ConnectMacText() const;

    // --- key test ---
    // Prepares the headset's audio for the key test ([KeyTest] BTMode 0 A2DP, 1 HFP) and
    // switches the parser to key counting. 1 when counting started.
    int StartKeyTest();

signals:
    void linkInfoChanged();  // battery, a volume, a listed device's name or RSSI changed
    void linksDropped();     // the links of the headset under test were dropped
    void connected();        // a connect procedure brought all configured profiles up

private:
    // IModuleHost, called on the parser thread.
    void SendReply(const QString& command) override;
    void LinkInfoChanged() override;
    void LinksDropped() override;
    void MediaKeyReleased(MediaKey key) override;

    void MonitorMain();
    void Pause(int ms) const;
    bool WaitFor(const std::function<bool(const LinkState&)>& done, int timeoutMs);
    void BeginWait(int mode);
    void EndWait();
    void LogModuleNotReady() const;
    int LinkId(int LinkState::*field) const;
    int RunInquiryRounds(int mode, const QString& command, int seconds);
    int StepVolume(int delta);

    IReportBus* const m_bus;
    IDesktop* const m_desktop;
    ModuleTiming m_timing;
    std::uint16_t m_productId = kAdapterProductIdA;
    int m_legacyAudio = 0;

    std::mutex m_sendMutex;  // guards m_device's writes and its replacement: one report at once
    std::unique_ptr<IReportDevice> m_device;
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_stopMonitor{false};
    std::atomic<int> m_monitorRunning{0};
    std::thread m_monitorThread;

    mutable std::mutex m_connectMacMutex;  // guards m_connectMac
    QString m_connectMac;

    CModuleParser m_parser;
};

}  // namespace orv
