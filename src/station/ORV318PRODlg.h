#pragma once

#include <QColor>
#include <QHash>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

#include "config/dialogs/SerialportSetDlg.h"
#include "remote/RemoteProtocol.h"
#include "station/ConnectionGuard.h"
#include "station/WorkerPool.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace orv {

class CAdapterLink;
class CBTKeyTest;
class CBTPlayMusic;
class CBTRecordSound;
class CColorStatic;
class CnComm;
class IDesktop;
class IReportBus;
class ISimpleTestWindow;
class KeyTestCug;
struct ReportDeviceInfo;

// The station's main window: every control of the operator's panel, the status labels, the
// device list, the view modes and the context menu. Each control's object name is
// ControlName(id) ("IDC_1000"); the labels without an id are named "BatteryLabel" and
// "RssiLabel".
class CORV318PRODlg final : public QWidget, public IRemoteStation {
    Q_OBJECT
public:
    // Context menu commands.
    enum MenuCommand : int {
        ID_BT_SETTINGS = 32771,
        ID_TOP_MOST = 32772,
        ID_FLOAT_WINDOW = 32773,
        ID_NORMAL_WINDOW = 32774,
        ID_CLOSE = 32775,
        ID_SIMPLE_WINDOW = 32778,
    };
    static constexpr int kNormalWidth = 1036;
    static constexpr int kNormalHeight = 574;
    // The Record button's pause before the capture opens: the SCO link settles first (ms).
    static constexpr int kRecordSettleMs = 200;

    // Timers of the window.
    enum TimerId : int { TIMER_OPEN_ADAPTER = 0, TIMER_CONNECTING = 1, TIMER_SEARCHING = 2 };
    // What a worker reports back when its procedure is over.
    enum Flow : int {
        kFlowInquiry,
        kFlowMacConnect,
        kFlowAutoConnect,
        kFlowSearchConnect,
        kFlowDisconnect,
        kFlowReset,
        kFlowRemoteReset,
        kFlowDroppedReset,
    };

    // `bus` finds the adapter (null: the window runs without one); `desktop` may be null.
    // Runs the start-up sequence: controls, settings, the 500 ms adapter timer, the remote port
    // when enabled, the arrival and removal notifications, START OF PROGRAM.
    CORV318PRODlg(std::unique_ptr<IReportBus> bus, std::unique_ptr<IDesktop> desktop,
                  QWidget* parent = nullptr);
    ~CORV318PRODlg() override;

    CAdapterLink* Link() const { return m_link.get(); }
    CBTKeyTest* KeyTest() const { return m_keyTest; }
    CBTPlayMusic* MusicPlayer() const { return m_music; }
    CBTPlayMusic* RecordPlayer() const { return m_playback; }
    CBTRecordSound* Recorder() const { return m_recorder; }
    CnComm* RemotePort() const { return m_remotePort.get(); }
    CRemoteProtocol* Remote() const { return m_remote.get(); }
    void SetSimpleTestWindow(ISimpleTestWindow* window);
    // What the one-key test button starts when no test runs and a headset is connected
    // (OneKeyTestThread); the button's own rule (log line, stop request, message) stays here.
    void SetOneKeyTestStarter(std::function<void()> starter) { m_startOneKeyTest = starter; }
    // The settings dialog ("Bluetooth settings"): returns true when closed with OK, after
    // which the window re-applies what changed.
    void SetSettingsDialog(std::function<bool(QWidget* owner)> dialog) {
        m_settingsDialog = dialog;
    }
    // The simple test window command: shows or hides the simple test window (creating it on
    // first use) and returns true when it is now shown; the main window hides meanwhile.
    void SetSimpleWindowToggle(std::function<bool(QWidget* owner)> toggle) {
        m_simpleToggle = toggle;
    }
    // Runs once while the window is destroyed, after its shutdown closed the adapter and before
    // the link, the players and the key test page go: the one-key test ends there.
    void SetDestroyHook(std::function<void()> hook) { m_destroyHook = hook; }
    bool TestRunning() const { return m_testRunning.load() != 0; }
    void SetTestRunning(bool running) { m_testRunning.store(running ? 1 : 0); }
    // Set by the button while a test runs; the test thread takes it (auto-reset).
    bool TakeStopTestRequest() { return m_stopTest.exchange(false); }
    // The step the running one-key test's current item fails with (any thread): a test whose
    // links or adapter are lost is concluded with it.
    void SetTestStep(int step) { m_testStep.store(step); }
    int TestStep() const { return m_testStep.load(); }
    int StatusCounter() const { return m_statusCounter; }
    bool TimerActive(int timer) const;

    // Operations shared with the connection flows, the one-key test and the remote protocol.
    void ShowAdapterState(bool connected);
    void RefreshDeviceList() override;
    void ShowDisconnected();
    void ClearResult();
    void FocusMacEdit(bool clear = false);

    // --- buttons; each writes "Clicked Button <name>" first. GUI thread only; another thread
    // runs them through QMetaObject::invokeMethod with Qt::BlockingQueuedConnection.
public slots:
    void OnSearch();
    void OnMacPair();
    void OnAutoPair();
    void OnSearchPair();
    void OnDisconnect();
    void OnReset();
    void OnOneKeyTest();
    void OnModeHfp();
    void OnModeA2dp();
    void OnModeDial();
    void OnModeRing();
    void OnVolumeUp();
    void OnVolumeDown();
    void OnWideBand();
    void OnNarrowBand();
    void OnReadInfo();
    void OnKeyStart();
    void OnKeyStop();
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnRecord();
    void OnRecordSave();
    void OnRecordPlay();
    void OnRecordPause();
    void OnRecordStop();
    void OnRssiCheck();
    void OnBatteryCheck();
    void OnDeviceTypeChanged(int index);
    // Adapter notifications.
    void OnDeviceArrived(const orv::ReportDeviceInfo& info);
    void OnDeviceRemoved(const orv::ReportDeviceInfo& info);
    // Link notifications (queued from the parser or the connecting thread).
    void OnLinkInfo();
    void OnLinksDropped();
    void OnLinkConnected();
    void OnKeyEvent(int keyCode);
    void OnKeyTestDone();
    void OnTestDone();
    // The settings dialog was closed with OK: re-apply what changed.
    void ReapplySettings();

public:
    // IRemoteStation: the remote protocol's view of the station.
    void PressAutoPair() override { OnAutoPair(); }
    void PressSearchPair() override { OnSearchPair(); }
    void PressMacPair(const QString& mac) override;
    void PromptForMac() override;
    void PressDisconnect() override { OnDisconnect(); }
    void PressHfpMode() override { OnModeHfp(); }
    void PressA2dpMode() override { OnModeA2dp(); }
    void PressDialMode() override { OnModeDial(); }
    void PressVolumeUp() override { OnVolumeUp(); }
    void PressVolumeDown() override { OnVolumeDown(); }
    void PressKeyStart() override { OnKeyStart(); }
    void PressKeyStop() override { OnKeyStop(); }
    void ResetFromRemote() override;
    int AudioState() override;
    QString QueryName() override;
    int RefreshInfo() override;
    int SetHfpVolume(int gain) override;
    int SetA2dpVolume(int volume) override;
    QString RssiText() override;
    QString BatteryText() override;
    QString TargetMac() override;
    RemoteInfo ReadInfo() override;
    void WriteRemote(const QByteArray& bytes) override;

    // View modes.
    void ApplyViewLayout(int mode);
    int ViewMode() const { return m_viewMode; }
    bool TopMost() const { return m_topMost; }
    // Runs a context menu command as if it had been chosen.
    void OnMenuCommand(int command);
    // The context menu as it would pop up now (check marks set); the caller owns it.
    QMenu* BuildContextMenu();

    // Status labels.
    CColorStatic* AdapterLabel() const { return m_adapterLabel; }
    CColorStatic* BluetoothLabel() const { return m_btLabel; }
    CColorStatic* ResultLabel() const { return m_resultLabel; }
    CColorStatic* BatteryLabel() const { return m_batteryLabel; }
    CColorStatic* RssiLabel() const { return m_rssiLabel; }
    KeyTestCug* KeyStrip() const { return m_keyStrip; }
    QLineEdit* MacEdit() const { return m_macEdit; }
    QTableWidget* DeviceList() const { return m_deviceList; }

    // Text and colour of a label, repainted. Safe only on the GUI thread; workers emit
    // labelChanged instead.
    void SetLabel(CColorStatic* label, const QString& text, const QColor& color);

    void SetTestStage(int stage);
    int TestStage() const { return m_testStage; }

signals:
    // Emitted after the float or normal layout was applied.
    void viewLayoutApplied(int mode);
    // A worker's procedure is over (queued to the GUI thread).
    void flowDone(int flow, int result);
    // The window finished its start-up sequence / its adapter open attempt.
    void adapterOpened(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void OnItemSwitch(int item, bool on);
    void OnKeySwitch(int control, bool on);
    void OnBluetoothSettings();
    void OnSimpleWindow();
    void OnClose();

    // Builds every control with its caption, object name and normal geometry.
    void BuildControls();
    void RecolourKeyLabels();
    void PlaceFloat(int width, int height);
    void RelayoutFloatAfterSettings();
    void ApplyTopMost(bool toFront);
    void SetFrameless(bool frameless);
    bool KeyItemOn() const;

    QString m_configPath;

    // Controls.
    QComboBox* m_deviceType = nullptr;
    QTableWidget* m_deviceList = nullptr;
    QLineEdit* m_macEdit = nullptr;
    CColorStatic* m_adapterLabel = nullptr;
    CColorStatic* m_btLabel = nullptr;
    CColorStatic* m_resultLabel = nullptr;
    CColorStatic* m_batteryLabel = nullptr;
    CColorStatic* m_rssiLabel = nullptr;
    CColorStatic* m_keyLabels[5] = {};    // 1023 VOL-, 1024 VOL+, 1025 Next, 1026 Previous,
                                          // 1027 Play/Pause
    CColorStatic* m_keyResult = nullptr;  // 1028
    KeyTestCug* m_keyStrip = nullptr;
    QHash<int, QPushButton*> m_buttons;
    QHash<int, QCheckBox*> m_checks;
    QRadioButton* m_wideBand = nullptr;
    QRadioButton* m_narrowBand = nullptr;
    QProgressBar* m_musicProgress = nullptr;
    QProgressBar* m_playbackProgress = nullptr;
    QLabel* m_musicTime = nullptr;
    QLabel* m_recordTime = nullptr;
    QLabel* m_playbackTime = nullptr;

    // The geometry every child has in the normal view.
    QHash<QWidget*, QRect> m_normalGeometry;

    std::unique_ptr<IReportBus> m_bus;
    std::unique_ptr<IDesktop> m_desktop;
    std::unique_ptr<CAdapterLink> m_link;
    std::unique_ptr<CnComm> m_remotePort;
    std::unique_ptr<CRemoteProtocol> m_remote;
    // A command that waits for the module keeps the window painting, so the port's next notice
    // can arrive while it runs; it is taken after the command, never inside it.
    bool m_remoteBusy = false;
    bool m_remoteAgain = false;
    CBTKeyTest* m_keyTest = nullptr;
    CBTPlayMusic* m_music = nullptr;
    CBTPlayMusic* m_playback = nullptr;
    CBTRecordSound* m_recorder = nullptr;
    ISimpleTestWindow* m_testWnd = nullptr;
    std::function<void()> m_startOneKeyTest;
    std::function<bool(QWidget*)> m_settingsDialog;
    std::function<bool(QWidget*)> m_simpleToggle;
    std::function<void()> m_destroyHook;
    QTimer m_openTimer;
    QTimer m_connectingTimer;
    QTimer m_searchingTimer;
    int m_statusCounter = 0;
    int m_deviceSelect = 0;
    int m_macPrefix = 0;
    int m_macInputMode = 0;
    int m_loop = 0;
    std::atomic<int> m_testRunning{0};
    std::atomic<bool> m_stopTest{false};
    std::atomic<int> m_testStep{5};
    bool m_started = false;
    bool m_shutDown = false;
    int m_blockingDepth = 0;
    // Declared last: destroyed first, so every worker has ended before what it uses goes.
    CConnectionGuard m_guard;
    CWorkerPool m_pool;

    int m_viewMode = 0;
    bool m_topMost = true;
    int m_simpleWidth = 300;
    int m_simpleHeight = 150;
    // The remote port settings in use, read at start-up. Parity, data bits and stop bits exist
    // only here (the file has no keys for them); SaveMainWindowSettings writes the rest.
    SerialPortChoice m_serial;
    int m_testStage = 0;
    QFont m_simpleFont;
    QFont m_statusFont;
    bool m_dragging = false;
    QPoint m_dragOffset;

private:
    explicit CORV318PRODlg(QWidget* parent);  // controls only; the public one adds the rest
    void StartUp();
    void LoadSettings();
    void InitControls();
    void ConnectControls();
    void Shutdown();
    void OpenAdapterTimer();
    void OnConnectingTick();
    void OnSearchingTick();
    void StartStatusTimer(QTimer& timer);
    void OnFlowDone(int flow, int result);
    bool GuardConnection();
    void RunFlow(int flow, std::function<int()> procedure, bool guarded);
    // A guarded flow that runs `procedure` for [Search Connect]'s time-out, `statusTimer`
    // animating the label meanwhile: inquiry, auto pair, search pair.
    void RunSearchFlow(int flow, QTimer& statusTimer, int (CAdapterLink::*procedure)(int seconds));
    // Runs a module operation that waits for the module on a worker while the window keeps
    // painting; returns its result. User input waits meanwhile.
    int RunBlocking(std::function<int()> operation);
    void SetBtLabel(int stringId, const QColor& color);
    bool OpenRemotePort();
    void OnRemoteReceived(int port);
    void LogClick(const char* name);
    int DeviceB() const;
    QString TempWavPath() const;
    void SaveMainWindowSettings();

    QPushButton* AddButton(int id, const QRect& r);
    QCheckBox* AddCheck(int id, const QRect& r);
    QLabel* AddCaption(int id, const QRect& r, const QString& objectName = {});
    QGroupBox* AddGroup(const QString& title, const QRect& r, const QString& objectName);
    CColorStatic* AddColorLabel(const QString& objectName, const QRect& r);
    void Place(QWidget* w, const QRect& r);
    void UpdateStageHighlight();
};

}  // namespace orv
