#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QThread>

#include "adapter/AdapterLink.h"
#include "adapter/Desktop.h"
#include "adapter/ReportDevice.h"
#include "audio/BTPlayMusic.h"
#include "audio/BTRecordSound.h"
#include "config/AppHome.h"
#include "config/Settings.h"
#include "keytest/BTKeyTest.h"
#include "keytest/KeyTestCug.h"
#include "lang/MessageBox.h"
#include "lang/UiFonts.h"
#include "remote/CnComm.h"
#include "shell/LogWriter.h"
#include "station/ColorStatic.h"
#include "station/MacText.h"
#include "station/ORV318PRODlg.h"
#include "station/SimpleTestWindow.h"
#include "station/StationUi.h"

// The station core: start-up and shutdown, the adapter's arrival and removal, the connection
// flows on worker threads, the manual controls and the link notifications.
namespace orv {

namespace {

constexpr int kOpenAdapterDelayMs = 500;
constexpr int kArrivalSettleMs = 300;
constexpr int kStatusTickMs = 1000;

QString HexText(unsigned value) {
    return QString::number(value, 16);
}

}  // namespace

CORV318PRODlg::CORV318PRODlg(std::unique_ptr<IReportBus> bus, std::unique_ptr<IDesktop> desktop,
                             QWidget* parent)
    : CORV318PRODlg(parent) {
    m_bus = std::move(bus);
    m_desktop = std::move(desktop);
    StartUp();
}

void CORV318PRODlg::LogClick(const char* name) {
    LogTrace(QStringLiteral("Clicked Button ") + QLatin1String(name));
}

void CORV318PRODlg::StartUp() {
    // Children: the remote port, the players, the recorder, the key test page.
    if (m_bus)
        m_link = std::make_unique<CAdapterLink>(m_bus.get(), m_desktop.get());
    m_remotePort = std::make_unique<CnComm>();
    // A serial adapter pulled out (or the line hung up) ends the port's monitor: the port is
    // marked closed and the station works on without remote control until the settings
    // dialog's OK opens it again.
    connect(m_remotePort.get(), &CnComm::MonitorEnded, this, [this](int port) {
        if (port != m_remotePort->Port())
            return;  // a port closed or replaced since
        LogInfo(QStringLiteral("remote port %1 lost").arg(m_remotePort->DevicePath()));
        m_remotePort->Close(0);
    });
    m_remote = std::make_unique<CRemoteProtocol>(*this);
    m_music = new CBTPlayMusic(this);
    m_music->setObjectName(QStringLiteral("MusicPlayer"));
    m_playback = new CBTPlayMusic(this);
    m_playback->setObjectName(QStringLiteral("RecordPlayer"));
    m_recorder = new CBTRecordSound(m_configPath, TempWavPath(), this);
    m_recorder->setObjectName(QStringLiteral("Recorder"));
    m_keyTest = new CBTKeyTest(m_link.get(), &m_pool, this);
    m_keyTest->setObjectName(QStringLiteral("KeyTestPage"));
    m_keyTest->SetGrid(m_keyStrip);

    LoadSettings();
    InitControls();
    ConnectControls();

    m_openTimer.setSingleShot(true);
    m_openTimer.setInterval(kOpenAdapterDelayMs);
    connect(&m_openTimer, &QTimer::timeout, this, &CORV318PRODlg::OpenAdapterTimer);
    m_openTimer.start();

    if (GetSerialPort(m_configPath).userCom != 0)
        OpenRemotePort();

    if (m_bus) {
        connect(m_bus.get(), &IReportBus::deviceArrived, this, &CORV318PRODlg::OnDeviceArrived,
                Qt::QueuedConnection);
        connect(m_bus.get(), &IReportBus::deviceRemoved, this, &CORV318PRODlg::OnDeviceRemoved,
                Qt::QueuedConnection);
        m_bus->StartWatching();
    }
    m_started = true;
    LogTrace(QString::fromLatin1(kStartOfProgram));
}

void CORV318PRODlg::LoadSettings() {
    const QString& p = m_configPath;
    m_deviceSelect = GetDeviceSelect(p) == 1 ? 1 : 0;
    m_macPrefix = GetMacPrefix(p);
    m_macInputMode = GetMacInputMode(p);
    m_topMost = GetTopMost(p) != 0;
    m_viewMode = GetViewMode(p) == 1 ? 1 : 0;
    m_simpleWidth = GetSimpleWidth(p);
    m_simpleHeight = GetSimpleHeight(p);
    const SerialPortSettings serial = GetSerialPort(p);
    m_serial.device = GetSerialPortName(p);
    m_serial.port = serial.port;
    m_serial.baudRate = serial.baudRate;
    m_serial.useCom = serial.userCom != 0;
    m_loop = GetPlayLoop(p);
    if (GetSimpleFontInitialize(p) != 0) {
        QFont f = MakeUiFont(qAbs(GetSimpleFontHeight(p)) * 2, GetSimpleFontWeight(p));
        const QString face = GetSimpleFontFaceName(p);
        if (!face.isEmpty())
            f.setFamilies({face, UiFontFace()});
        f.setItalic(GetSimpleFontItalic(p) != 0);
        f.setUnderline(GetSimpleFontUnderLine(p) != 0);
        f.setStrikeOut(GetSimpleFontStrikeOut(p) != 0);
        m_simpleFont = f;
    }
    if (m_link)
        m_link->SetProductId(m_deviceSelect == 1 ? kAdapterProductIdB : kAdapterProductIdA);
    QSignalBlocker block(m_deviceType);
    m_deviceType->setCurrentIndex(m_deviceSelect);
}

void CORV318PRODlg::InitControls() {
    const QString& p = m_configPath;
    auto bindPlayer = [](CBTPlayMusic* player, QProgressBar* bar, QLabel* time, double limit) {
        bar->setRange(0, 100);
        player->SetLimitSeconds(limit);
        QObject::connect(player, &CBTPlayMusic::meterChanged, bar, &QProgressBar::setValue);
        QObject::connect(player, &CBTPlayMusic::timeTextChanged, time, &QLabel::setText);
    };
    bindPlayer(m_music, m_musicProgress, m_musicTime, GetPlayPlayTimes(p));
    bindPlayer(m_playback, m_playbackProgress, m_playbackTime, GetPlayRecordPlayTimes(p));
    connect(m_recorder, &CBTRecordSound::timeTextChanged, m_recordTime, &QLabel::setText);
    m_buttons.value(IDC_PLAY)->setEnabled(true);
    m_buttons.value(IDC_PAUSE)->setEnabled(false);
    m_buttons.value(IDC_STOP)->setEnabled(false);
    m_buttons.value(IDC_RECORD_PLAY)->setEnabled(true);
    m_buttons.value(IDC_RECORD_PAUSE)->setEnabled(false);
    m_buttons.value(IDC_RECORD_STOP)->setEnabled(false);
    m_buttons.value(IDC_ONE_KEY_TEST)->setText(StationText(IDS_START_TEST));
    m_batteryLabel->Show(QString(), kClearedGrey);
    m_rssiLabel->Show(QString(), kClearedGrey);
    m_resultLabel->Show(QString(), kClearedGrey);
    m_adapterLabel->Show(StationText(IDS_DONGLE_DISCONNECTED), kRed);

    std::array<CColorStatic*, 6> fields{};
    fields[1] = m_keyLabels[1];  // VOL+ (1024)
    fields[2] = m_keyLabels[0];  // VOL- (1023)
    fields[3] = m_keyLabels[4];  // Play/Pause (1027)
    fields[4] = m_keyLabels[2];  // Next (1025)
    fields[5] = m_keyLabels[3];  // Previous (1026)
    m_keyTest->SetFields(fields, m_keyResult);
    m_buttons.value(IDC_KEY_STOP)->setEnabled(false);

    // Switches from the settings; their handlers write back only on the operator's click.
    const struct {
        int control;
        int value;
    } switches[] = {
        {IDC_ITEM_BATTERY, GetAutoTestItem(p, 3)},
        {IDC_ITEM_RSSI, GetAutoTestItem(p, 4)},
        {IDC_ITEM_A2DP, GetAutoTestItem(p, 5)},
        {IDC_ITEM_HFP_RECORD, GetAutoTestItem(p, 6)},
        {IDC_ITEM_HFP_PLAYBACK, GetAutoTestItem(p, 7)},
        {IDC_ITEM_KEY, GetAutoTestItem(p, 8)},
        {IDC_KEY_VOLUP, GetKeyVolAdd(p)},
        {IDC_KEY_VOLDOWN, GetKeyVolDel(p)},
        {IDC_KEY_NEXT, GetKeyNext(p)},
        {IDC_KEY_PREVIOUS, GetKeyPrevious(p)},
        {IDC_KEY_PLAYPAUSE, GetKeyPlayPause(p)},
        {IDC_LOOP, m_loop},
    };
    for (const auto& sw : switches) {
        QCheckBox* box = m_checks.value(sw.control);
        QSignalBlocker block(box);
        box->setChecked(sw.value != 0);
    }
    m_keyTest->Reset();
    RecolourKeyLabels();

    m_macEdit->setFocus();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_topMost);
    (GetBandWidth(p) == 0 ? m_wideBand : m_narrowBand)->setChecked(true);
    if (m_viewMode == 1)
        ApplyViewLayout(1);
}

void CORV318PRODlg::ConnectControls() {
    const QHash<int, void (CORV318PRODlg::*)()> handlers = {
        {IDC_SEARCH, &CORV318PRODlg::OnSearch},
        {IDC_MAC_PAIR, &CORV318PRODlg::OnMacPair},
        {IDC_AUTO_PAIR, &CORV318PRODlg::OnAutoPair},
        {IDC_SEARCH_PAIR, &CORV318PRODlg::OnSearchPair},
        {IDC_DISCONNECT, &CORV318PRODlg::OnDisconnect},
        {IDC_RESET, &CORV318PRODlg::OnReset},
        {IDC_ONE_KEY_TEST, &CORV318PRODlg::OnOneKeyTest},
        {IDC_MODE_HFP, &CORV318PRODlg::OnModeHfp},
        {IDC_MODE_A2DP, &CORV318PRODlg::OnModeA2dp},
        {IDC_MODE_DIAL, &CORV318PRODlg::OnModeDial},
        {IDC_MODE_RING, &CORV318PRODlg::OnModeRing},
        {IDC_VOL_UP, &CORV318PRODlg::OnVolumeUp},
        {IDC_VOL_DOWN, &CORV318PRODlg::OnVolumeDown},
        {IDC_READ_INFO, &CORV318PRODlg::OnReadInfo},
        {IDC_KEY_START, &CORV318PRODlg::OnKeyStart},
        {IDC_KEY_STOP, &CORV318PRODlg::OnKeyStop},
        {IDC_PLAY, &CORV318PRODlg::OnPlay},
        {IDC_PAUSE, &CORV318PRODlg::OnPause},
        {IDC_STOP, &CORV318PRODlg::OnStop},
        {IDC_RECORD, &CORV318PRODlg::OnRecord},
        {IDC_RECORD_SAVE, &CORV318PRODlg::OnRecordSave},
        {IDC_RECORD_PLAY, &CORV318PRODlg::OnRecordPlay},
        {IDC_RECORD_PAUSE, &CORV318PRODlg::OnRecordPause},
        {IDC_RECORD_STOP, &CORV318PRODlg::OnRecordStop},
        {IDC_RSSI, &CORV318PRODlg::OnRssiCheck},
        {IDC_BATTERY, &CORV318PRODlg::OnBatteryCheck},
    };
    for (auto it = handlers.cbegin(); it != handlers.cend(); ++it) {
        if (QPushButton* b = m_buttons.value(it.key()))
            connect(b, &QPushButton::clicked, this, it.value());
    }
    connect(m_wideBand, &QRadioButton::clicked, this, &CORV318PRODlg::OnWideBand);
    connect(m_narrowBand, &QRadioButton::clicked, this, &CORV318PRODlg::OnNarrowBand);
    connect(m_checks.value(IDC_LOOP), &QCheckBox::toggled, this,
            [this](bool on) { m_loop = on ? 1 : 0; });
    connect(m_deviceType, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CORV318PRODlg::OnDeviceTypeChanged);
    connect(m_macEdit, &QLineEdit::returnPressed, this, [this] {
        OnMacPair();
        if (m_keyStrip->isVisible())
            m_keyStrip->ClearCounts();
    });
    connect(m_deviceList, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (QTableWidgetItem* mac = m_deviceList->item(row, 1))
            m_macEdit->setText(mac->text());
    });

    m_connectingTimer.setInterval(kStatusTickMs);
    m_searchingTimer.setInterval(kStatusTickMs);
    connect(&m_connectingTimer, &QTimer::timeout, this, &CORV318PRODlg::OnConnectingTick);
    connect(&m_searchingTimer, &QTimer::timeout, this, &CORV318PRODlg::OnSearchingTick);
    connect(this, &CORV318PRODlg::flowDone, this, &CORV318PRODlg::OnFlowDone,
            Qt::QueuedConnection);

    if (m_link) {
        // Queued: the parser thread never waits for the window, and a handler may run
        // operations that wait for the module.
        connect(m_link.get(), &CAdapterLink::linkInfoChanged, this, &CORV318PRODlg::OnLinkInfo,
                Qt::QueuedConnection);
        connect(m_link.get(), &CAdapterLink::linksDropped, this, &CORV318PRODlg::OnLinksDropped,
                Qt::QueuedConnection);
        connect(m_link.get(), &CAdapterLink::connected, this, &CORV318PRODlg::OnLinkConnected,
                Qt::QueuedConnection);
    }
    connect(m_keyTest, &CBTKeyTest::keyEvent, this, &CORV318PRODlg::OnKeyEvent);
    connect(m_keyTest, &CBTKeyTest::keyTestDone, this, &CORV318PRODlg::OnKeyTestDone);
    connect(m_keyTest, &CBTKeyTest::linkInfoChanged, this, &CORV318PRODlg::OnLinkInfo);

    connect(m_recorder, &CBTRecordSound::recordDone, this, [this] {
        m_buttons.value(IDC_RECORD)->setText(StationText(IDS_START_RECORD));
        m_buttons.value(IDC_RECORD)->setEnabled(true);
    });
    connect(m_recorder, &CBTRecordSound::recordPass, this,
            [this] { m_resultLabel->Show(QStringLiteral("PASS"), kGreen); });
    connect(m_recorder, &CBTRecordSound::recordFail, this,
            [this] { m_resultLabel->Show(QStringLiteral("FAIL"), kRed); });
    connect(m_music, &CBTPlayMusic::playDone, this, [this] {
        m_buttons.value(IDC_PLAY)->setEnabled(true);
        m_buttons.value(IDC_PAUSE)->setEnabled(false);
        m_buttons.value(IDC_STOP)->setEnabled(false);
    });
    connect(m_playback, &CBTPlayMusic::playDone, this, [this] {
        m_buttons.value(IDC_RECORD_PLAY)->setEnabled(true);
        m_buttons.value(IDC_RECORD_PAUSE)->setEnabled(false);
        m_buttons.value(IDC_RECORD_STOP)->setEnabled(false);
    });
}

void CORV318PRODlg::SetSimpleTestWindow(ISimpleTestWindow* window) {
    m_testWnd = window;
    if (m_keyTest)
        m_keyTest->SetTestWindow(window);
}

bool CORV318PRODlg::TimerActive(int timer) const {
    switch (timer) {
        case TIMER_OPEN_ADAPTER:
            return m_openTimer.isActive();
        case TIMER_CONNECTING:
            return m_connectingTimer.isActive();
        case TIMER_SEARCHING:
            return m_searchingTimer.isActive();
        default:
            return false;
    }
}

// ---------------------------------------------------------------- adapter

void CORV318PRODlg::OpenAdapterTimer() {
    m_openTimer.stop();
    // An arrival notice may have opened the adapter already; it is never opened twice.
    const int ok = m_link ? (m_link->IsOpen() ? 1 : m_link->Open()) : 0;
    ShowAdapterState(ok != 0);
    SetBtLabel(IDS_BT_DISCONNECTED, kRed);
    emit adapterOpened(ok != 0);
}

void CORV318PRODlg::ShowAdapterState(bool connected) {
    m_adapterLabel->Show(StationText(connected ? IDS_DONGLE_CONNECTED : IDS_DONGLE_DISCONNECTED),
                         connected ? kGreen : kRed);
    if (m_testWnd && m_testWnd->IsShown())
        m_testWnd->ShowAdapterState(connected);
}

// True when `info` is our adapter: its ids, or (for a device known only by its path) the
// lower-case "%x" texts of the vendor id and of `productId` in the lower-cased path.
static bool IsAdapter(const ReportDeviceInfo& info, unsigned productId) {
    if (info.vendorId != 0 || info.productId != 0)
        return info.vendorId == kAdapterVendorId && info.productId == productId;
    const QString path = info.path.toLower();
    return path.contains(HexText(kAdapterVendorId)) && path.contains(HexText(productId));
}

void CORV318PRODlg::OnDeviceRemoved(const ReportDeviceInfo& info) {
    if (!m_link || !IsAdapter(info, m_link->ProductId()))
        return;
    // A one-key test loses its headset with the adapter: the item in progress ends at once (a
    // player, the recorder or the ring loop would otherwise run on, or pass, without it).
    const bool testing = TestRunning();
    if (testing)
        m_stopTest.store(true);
    m_link->Close();
    ShowAdapterState(false);
    SetBtLabel(IDS_BT_DISCONNECTED, kRed);
    m_openTimer.stop();
    if (m_testWnd && m_testWnd->IsShown()) {
        m_testWnd->AdapterRemoved();
        // Concluded here, failed at the item in progress: the item's own ending may be a stop
        // (the HFP record saves nothing then) or a readout that still passes.
        if (testing)
            m_testWnd->FinishFailed(TestStep());
    }
    LogInfo(QStringLiteral("DEVICE REMOVE COMPLETE"));
}

void CORV318PRODlg::OnDeviceArrived(const ReportDeviceInfo& info) {
    if (!m_link || m_link->IsOpen())
        return;
    int index = -1;
    if (IsAdapter(info, kAdapterProductIdA))
        index = 0;
    else if (IsAdapter(info, kAdapterProductIdB))
        index = 1;
    if (index < 0)
        return;
    m_link->SetProductId(index == 1 ? kAdapterProductIdB : kAdapterProductIdA);
    if (index != m_deviceSelect) {
        m_deviceSelect = index;
        QSignalBlocker block(m_deviceType);
        m_deviceType->setCurrentIndex(index);
    }
    // The system needs a moment before the new device can be opened.
    QTimer::singleShot(kArrivalSettleMs, this, [this] {
        if (!m_link || m_link->IsOpen())
            return;
        if (m_link->Open()) {
            ShowAdapterState(true);
            SetBtLabel(IDS_BT_DISCONNECTED, kRed);
            LogInfo(QStringLiteral("DEVICE ARRIVAL"));
        }
        emit adapterOpened(m_link->IsOpen());
    });
}

void CORV318PRODlg::OnDeviceTypeChanged(int index) {
    if (!m_link || index < 0 || index == m_deviceSelect)
        return;
    RunBlocking([this] { return m_link->IsOpen() ? m_link->InitModule() : 0; });
    RefreshDeviceList();
    m_link->Close();
    m_deviceSelect = index;
    SetDeviceSelect(m_configPath, index);
    m_link->SetProductId(index == 1 ? kAdapterProductIdB : kAdapterProductIdA);
    const int ok = m_link->Open();
    ShowAdapterState(ok != 0);
    SetBtLabel(IDS_BT_DISCONNECTED, kRed);
}

// ---------------------------------------------------------------- labels and list

void CORV318PRODlg::SetBtLabel(int stringId, const QColor& color) {
    m_btLabel->Show(StationText(stringId), color);
}

void CORV318PRODlg::RefreshDeviceList() {
    m_deviceList->setRowCount(0);
    if (!m_link)
        return;
    const LinkState state = m_link->Parser().State();
    auto cell = [this](int row, int col, const QString& text) {
        m_deviceList->setItem(row, col, new QTableWidgetItem(text));
    };
    int connectedRow = -1;
    for (const InquiryEntry& e : state.inquiryList) {
        const int row = m_deviceList->rowCount();
        m_deviceList->insertRow(row);
        cell(row, 0, e.name);
        cell(row, 1, e.mac);
        if (e.rssi >= -127 && e.rssi <= 19)
            cell(row, 6, QString::number(e.rssi));
        if (connectedRow < 0 && !state.targetMac.isEmpty() &&
            e.mac.compare(state.targetMac, Qt::CaseInsensitive) == 0)
            connectedRow = row;
    }
    if (state.targetMac.isEmpty())
        return;
    if (connectedRow < 0) {
        connectedRow = m_deviceList->rowCount();
        m_deviceList->insertRow(connectedRow);
        cell(connectedRow, 0, state.targetName);
        cell(connectedRow, 1, state.targetMac);
    }
    const CModuleParser& parser = m_link->Parser();
    cell(connectedRow, 2, StationText(parser.GetStatusTextId()));
    cell(connectedRow, 3, parser.GetModeText());
    cell(connectedRow, 4, parser.GetVolumeText());
    cell(connectedRow, 5, parser.GetBatteryText());
}

void CORV318PRODlg::FocusMacEdit(bool clear) {
    if (clear)
        m_macEdit->clear();
    m_macEdit->setFocus();
    m_macEdit->selectAll();
    m_macEdit->end(true);  // caret in view, the text still selected
}

void CORV318PRODlg::ShowDisconnected() {
    m_connectingTimer.stop();
    SetBtLabel(IDS_BT_DISCONNECTED, kRed);
    RefreshDeviceList();
    FocusMacEdit();
}

void CORV318PRODlg::ClearResult() {
    m_resultLabel->Show(QString(), kClearedGrey);
    m_keyTest->Reset();
}

// ---------------------------------------------------------------- connection flows

void CORV318PRODlg::StartStatusTimer(QTimer& timer) {
    m_statusCounter = 0;
    timer.start();
}

void CORV318PRODlg::OnConnectingTick() {
    ++m_statusCounter;
    m_btLabel->Show(QStringLiteral("%1(%2)").arg(StationText(IDS_CONNECTING)).arg(m_statusCounter),
                    kYellow);
    if (m_testWnd && m_testWnd->IsShown()) {
        m_testWnd->SetItemInfo(
            StationText(IDS_BT_CONNECTION),
            QStringLiteral("%1(%2)").arg(StationText(IDS_CONNECTING_SIMPLE)).arg(m_statusCounter));
    }
}

void CORV318PRODlg::OnSearchingTick() {
    ++m_statusCounter;
    m_btLabel->Show(QStringLiteral("%1(%2)").arg(StationText(IDS_SEARCHING)).arg(m_statusCounter),
                    kYellow);
}

bool CORV318PRODlg::GuardConnection() {
    if (!m_link)
        return false;
    const int waitMode = m_link->Parser().Read([](const LinkState& s) { return s.waitMode; });
    const auto r = m_guard.TryBegin(m_link->IsOpen(), waitMode, [this] { m_keyTest->Stop(); });
    return r == CConnectionGuard::Result::Run;
}

void CORV318PRODlg::RunFlow(int flow, std::function<int()> procedure, bool guarded) {
    m_pool.Run([this, flow, procedure = std::move(procedure), guarded] {
        const int result = procedure();
        if (guarded)
            m_guard.End();
        emit flowDone(flow, result);
    });
}

void CORV318PRODlg::RunSearchFlow(int flow, QTimer& statusTimer,
                                  int (CAdapterLink::*procedure)(int seconds)) {
    StartStatusTimer(statusTimer);
    const int seconds = GetSearchTimeOut(m_configPath);
    RunFlow(
        flow, [this, seconds, procedure] { return ((*m_link).*procedure)(seconds); }, true);
}

void CORV318PRODlg::OnSearch() {
    LogClick("Inquiry");
    if (!GuardConnection())
        return;
    RunSearchFlow(kFlowInquiry, m_searchingTimer, &CAdapterLink::Inquiry);
}

void CORV318PRODlg::OnMacPair() {
    LogClick("MacConnect");
    if (!GuardConnection())
        return;
    FocusMacEdit();
    const QString text = m_macEdit->text();
    const bool shown = m_testWnd && m_testWnd->IsShown();
    if (!IsValidMacText(text)) {
        m_guard.End();
        if (shown) {
            m_testWnd->SetItemInfo(StationText(IDS_MAC_INPUT), StationText(IDS_INVALID_MAC));
            m_testWnd->RestartItemClock();
            m_testWnd->ArmNextTimer();
        }
        return;
    }
    if (shown) {
        m_testWnd->SetItemResult(StationText(IDS_MAC_INPUT), text, true);
        m_testWnd->RestartItemClock();
    }
    StartStatusTimer(m_connectingTimer);
    // The module's form of the address: 001A7DDA7113 connects like 00:1a:7d:da:71:13.
    const QString mac = NormaliseMacText(text);
    RunFlow(
        kFlowMacConnect, [this, mac] { return m_link->ConnectTarget(mac); }, true);
}

void CORV318PRODlg::OnAutoPair() {
    LogClick("AutoConnect");
    if (!GuardConnection())
        return;
    FocusMacEdit();
    RunSearchFlow(kFlowAutoConnect, m_connectingTimer, &CAdapterLink::ConnectFirstFound);
}

void CORV318PRODlg::OnSearchPair() {
    LogClick("SearchConnect");
    if (!GuardConnection())
        return;
    FocusMacEdit();
    RunSearchFlow(kFlowSearchConnect, m_connectingTimer, &CAdapterLink::SearchConnect);
}

void CORV318PRODlg::OnDisconnect() {
    LogClick("Disconnect");
    if (TestRunning())
        m_stopTest.store(true);
    if (!m_link)
        return;
    RunBlocking([this] { return m_link->IsOpen() ? m_link->ResetModule() : 0; });
    ShowDisconnected();
    m_batteryLabel->Show(QString(), kClearedGrey);
    m_rssiLabel->Show(QString(), kClearedGrey);
}

void CORV318PRODlg::OnReset() {
    LogClick("Reset");
    if (!m_link)
        return;
    const int ok = RunBlocking([this] { return m_link->IsOpen() ? m_link->InitModule() : 0; });
    if (ok)
        ShowMessage(this, StationText(IDS_RESET_DONE));
    SetBtLabel(IDS_BT_DISCONNECTED, kRed);
    RefreshDeviceList();
    FocusMacEdit();
}

void CORV318PRODlg::ResetFromRemote() {
    LogClick("Reset");
    if (m_link)
        RunBlocking([this] { return m_link->IsOpen() ? m_link->InitModule() : 0; });
    SetBtLabel(IDS_BT_DISCONNECTED, kRed);
    RefreshDeviceList();
    FocusMacEdit();
}

void CORV318PRODlg::OnFlowDone(int flow, int result) {
    const bool shown = m_testWnd && m_testWnd->IsShown();
    switch (flow) {
        case kFlowInquiry: {
            const bool connected =
                result != 0 && m_link->IsOpen() && m_link->Parser().IsConnected();
            SetBtLabel(connected ? IDS_BT_CONNECTED : IDS_BT_DISCONNECTED,
                       connected ? kGreen : kRed);
            RefreshDeviceList();
            m_searchingTimer.stop();
            break;
        }
        case kFlowMacConnect:
            m_connectingTimer.stop();
            if (result) {
                SetBtLabel(IDS_BT_CONNECTED, kGreen);
                if (shown) {
                    m_testWnd->SetItemResult(StationText(IDS_BT_CONNECTION), QStringLiteral("OK"),
                                             true);
                    m_testWnd->RestartItemClock();
                }
            } else {
                SetBtLabel(IDS_BT_DISCONNECTED, kRed);
                if (shown) {
                    m_testWnd->SetItemInfo(StationText(IDS_BT_CONNECTION),
                                           StationText(IDS_CONNECT_FAILED));
                    m_testWnd->RestartItemClock();
                    m_testWnd->ArmNextTimer();
                }
            }
            RefreshDeviceList();
            FocusMacEdit();
            break;
        case kFlowAutoConnect:
        case kFlowSearchConnect:
            m_connectingTimer.stop();
            SetBtLabel(result ? IDS_BT_CONNECTED : IDS_BT_DISCONNECTED, result ? kGreen : kRed);
            RefreshDeviceList();
            break;
        case kFlowDroppedReset:
            ShowDisconnected();
            break;
        default:
            break;
    }
}

int CORV318PRODlg::RunBlocking(std::function<int()> operation) {
    std::atomic<int> result{0};
    std::atomic<bool> done{false};
    QEventLoop loop;
    QMetaObject::Connection c = connect(this, &CORV318PRODlg::flowDone, &loop, [&](int flow, int) {
        if (flow == -1 && done.load())
            loop.quit();
    });
    ++m_blockingDepth;
    m_pool.Run([&, operation = std::move(operation)] {
        result.store(operation());
        done.store(true);
        emit flowDone(-1, 0);  // queued: wakes the loop below
    });
    if (!done.load())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    --m_blockingDepth;
    disconnect(c);
    return result.load();
}

// ---------------------------------------------------------------- link notifications

void CORV318PRODlg::OnLinkInfo() {
    RefreshDeviceList();
}

void CORV318PRODlg::OnLinksDropped() {
    // Queued from the parser thread: the parser runs on while the box is up, and the reset
    // below cannot wait for a parser that waits for this handler.
    ShowMessage(this, StationText(IDS_AUTO_DISCONNECT));
    if (isVisible()) {
        if (m_link)
            RunBlocking([this] { return m_link->IsOpen() ? m_link->ResetModule() : 0; });
        ShowDisconnected();
    } else if (m_testWnd && m_testWnd->IsShown()) {
        // A running test fails at the item the links were lost in; the row would otherwise
        // blame the A2DP listening and leave the items that passed untested.
        m_testWnd->FinishFailed(TestRunning() ? TestStep() : 5);
    }
}

void CORV318PRODlg::OnLinkConnected() {
    if (m_remote)
        m_remote->OnHeadsetConnected();
    if (GetAutoTestAfterMacConnected(m_configPath) != 0)
        OnOneKeyTest();
}

void CORV318PRODlg::OnKeyEvent(int keyCode) {
    if (m_remote)
        m_remote->OnKeyPressed(keyCode);
}

void CORV318PRODlg::OnKeyTestDone() {
    m_buttons.value(IDC_KEY_START)->setEnabled(true);
    m_buttons.value(IDC_KEY_STOP)->setEnabled(false);
}

void CORV318PRODlg::OnOneKeyTest() {
    LogClick("Onekeytest");
    if (TestRunning()) {
        m_stopTest.store(true);
        return;
    }
    if (!m_link || !m_link->Parser().IsConnected()) {
        ShowMessage(this, StationText(IDS_BT_DISCONNECTED));
        return;
    }
    if (!m_startOneKeyTest)
        return;
    m_stopTest.store(false);
    m_testStep.store(1);  // the name check comes first
    ClearResult();
    m_buttons.value(IDC_ONE_KEY_TEST)->setText(StationText(IDS_STOP_TEST));
    m_startOneKeyTest();
}

void CORV318PRODlg::OnTestDone() {
    SetTestStage(0);
    m_testRunning.store(0);
    m_buttons.value(IDC_ONE_KEY_TEST)->setText(StationText(IDS_START_TEST));
    const bool connected = m_link && m_link->Parser().IsConnected();
    SetBtLabel(connected ? IDS_BT_CONNECTED : IDS_BT_DISCONNECTED, connected ? kGreen : kRed);
    FocusMacEdit();
}

// ---------------------------------------------------------------- manual controls

int CORV318PRODlg::DeviceB() const {
    return m_deviceType->currentIndex() == 1 ? 1 : 0;
}

QString CORV318PRODlg::TempWavPath() const {
    return AppHomePath(QStringLiteral("temp.wav"));
}

void CORV318PRODlg::OnModeHfp() {
    LogClick("ModeHfp");
    if (!m_link)
        return;
    RunBlocking([this] { return m_link->OpenHfpAudio(1); });
    RefreshDeviceList();
}

void CORV318PRODlg::OnModeA2dp() {
    LogClick("ModeA2dp");
    if (!m_link)
        return;
    RunBlocking([this] { return m_link->StartA2dp(); });
    RefreshDeviceList();
}

void CORV318PRODlg::OnModeDial() {
    LogClick("ModeDial");
    if (!m_link)
        return;
    RunBlocking([this] { return m_link->OpenHfpAudio(2); });
    RefreshDeviceList();
    const bool answer = GetAnswerCall(m_configPath) != 0;
    RunBlocking([this, answer] {
        QThread::msleep(1000);  // the headset needs the call before it can answer it
        return answer ? m_link->Answer() : 0;
    });
}

void CORV318PRODlg::OnModeRing() {
    LogClick("ModeRing");
    if (!m_link)
        return;
    RunBlocking([this] {
        m_link->RingTest();
        return 1;
    });
    RefreshDeviceList();
    const bool answer = GetAnswerCall(m_configPath) != 0;
    RunBlocking([this, answer] {
        QThread::msleep(1000);
        return answer ? m_link->Answer() : 0;
    });
}

void CORV318PRODlg::OnVolumeUp() {
    LogClick("Volume Up");
    if (!m_link || !m_link->IsOpen() || !m_link->Parser().IsConnected())
        return;
    if (RunBlocking([this] { return m_link->VolumeUp(); }) == 1)
        RefreshDeviceList();
}

void CORV318PRODlg::OnVolumeDown() {
    LogClick("Volume Down");
    if (!m_link || !m_link->IsOpen() || !m_link->Parser().IsConnected())
        return;
    if (RunBlocking([this] { return m_link->VolumeDown(); }) == 1)
        RefreshDeviceList();
}

void CORV318PRODlg::OnWideBand() {
    LogClick("Radio Wbs");
    if (m_link && m_link->IsOpen())
        m_link->Send(QStringLiteral("SET BT SCO"));
    SetBandWidth(m_configPath, 0);
}

void CORV318PRODlg::OnNarrowBand() {
    LogClick("Radio Nowbs");
    if (m_link && m_link->IsOpen())
        m_link->Send(QStringLiteral("SET BT SCO NOWBS"));
    SetBandWidth(m_configPath, 1);
}

void CORV318PRODlg::OnReadInfo() {
    LogClick("ReadInfo");
    RefreshInfo();
}

void CORV318PRODlg::OnKeyStart() {
    LogClick("Key Start");
    m_buttons.value(IDC_KEY_START)->setEnabled(false);
    m_buttons.value(IDC_KEY_STOP)->setEnabled(true);
    if (!m_keyTest->Start())
        OnKeyTestDone();  // no worker: nothing will report the end
}

void CORV318PRODlg::OnKeyStop() {
    LogClick("Key Stop");
    m_buttons.value(IDC_KEY_START)->setEnabled(true);
    m_buttons.value(IDC_KEY_STOP)->setEnabled(false);
    m_keyTest->Stop();
}

void CORV318PRODlg::OnPlay() {
    LogClick("Play");
    if (!m_link)
        return;
    const bool streaming = m_link->Parser().Read([](const LinkState& s) { return s.streaming; });
    if (!streaming) {
        if (!RunBlocking([this] { return m_link->StartA2dp(); }))
            return;
        RefreshDeviceList();
    }
    m_music->SetDeviceB(DeviceB());
    if (m_music->GetState() != CBTPlayMusic::Stopped) {
        m_music->Resume();
        m_buttons.value(IDC_PLAY)->setEnabled(false);
        m_buttons.value(IDC_PAUSE)->setEnabled(true);
        m_buttons.value(IDC_STOP)->setEnabled(true);
        return;
    }
    const QString file = GetPlayFileName(m_configPath);
    if (!QFileInfo::exists(file)) {
        ShowMessage(this, StationText(IDS_PLAY_FILE_MISSING));
        return;
    }
    m_music->SetFileName(file);
    if (m_music->Play() == 1) {
        m_buttons.value(IDC_PLAY)->setEnabled(false);
        m_buttons.value(IDC_PAUSE)->setEnabled(true);
        m_buttons.value(IDC_STOP)->setEnabled(true);
    }
}

static void TogglePause(CBTPlayMusic* player, QPushButton* play, QPushButton* pause) {
    if (player->GetState() == CBTPlayMusic::Running) {
        player->Pause();
        play->setEnabled(true);
        pause->setEnabled(false);
    } else if (player->GetState() == CBTPlayMusic::Paused) {
        player->Resume();
        pause->setEnabled(true);
        play->setEnabled(false);
    }
}

void CORV318PRODlg::OnPause() {
    LogClick("Pause");
    TogglePause(m_music, m_buttons.value(IDC_PLAY), m_buttons.value(IDC_PAUSE));
}

void CORV318PRODlg::OnStop() {
    LogClick("Stop");
    m_music->Stop();
    m_buttons.value(IDC_PLAY)->setEnabled(true);
    m_buttons.value(IDC_STOP)->setEnabled(false);
    m_buttons.value(IDC_PAUSE)->setEnabled(false);
}

void CORV318PRODlg::OnRecord() {
    LogClick("Record");
    m_playback->Stop();
    if (!m_link)
        return;
    const int kind = GetHFPDial(m_configPath) ? 2 : 1;
    const int mode = m_link->Parser().Read([](const LinkState& s) { return s.audioMode; });
    if (mode != kind) {
        if (!RunBlocking([this, kind] { return m_link->OpenHfpAudio(kind); }))
            return;
        RefreshDeviceList();
    }
    RunBlocking([] {
        QThread::msleep(kRecordSettleMs);
        return 1;
    });
    m_resultLabel->Show(QString(), kClearedGrey);
    m_recorder->SetDeviceB(DeviceB());
    if (m_recorder->IsRecording()) {
        m_recorder->StopRecord();
    } else if (m_recorder->StartRecord() == 1) {
        m_buttons.value(IDC_RECORD)->setText(StationText(IDS_STOP_RECORD));
    }
}

void CORV318PRODlg::OnRecordSave() {
    LogClick("Record Save");
    const QString temp = TempWavPath();
    if (!QFileInfo::exists(temp)) {
        ShowMessage(this, StationText(IDS_SAVE_FAILED));
        return;
    }
    QString name = QFileDialog::getSaveFileName(
        this, QString(), QString(), QStringLiteral("wav Files (*.wav);;All File(*.*)"));
    if (name.isEmpty())
        return;
    if (!name.endsWith(QLatin1String(".wav"), Qt::CaseSensitive))
        name += QLatin1String(".wav");
    QFile::remove(name);
    if (!QFile::copy(temp, name))
        ShowMessage(this, StationText(IDS_SAVE_FAILED));
}

void CORV318PRODlg::OnRecordPlay() {
    LogClick("RecordPlay");
    const QString temp = TempWavPath();
    if (!QFileInfo::exists(temp))
        return;
    m_playback->SetDeviceB(DeviceB());
    if (m_playback->GetState() != CBTPlayMusic::Stopped) {
        m_playback->Resume();
    } else {
        m_playback->SetFileName(temp);
        if (m_playback->Play() != 1)
            return;
    }
    m_buttons.value(IDC_RECORD_PLAY)->setEnabled(false);
    m_buttons.value(IDC_RECORD_PAUSE)->setEnabled(true);
    m_buttons.value(IDC_RECORD_STOP)->setEnabled(true);
}

void CORV318PRODlg::OnRecordPause() {
    LogClick("RecordPause");
    TogglePause(m_playback, m_buttons.value(IDC_RECORD_PLAY), m_buttons.value(IDC_RECORD_PAUSE));
}

void CORV318PRODlg::OnRecordStop() {
    LogClick("RecordStop");
    m_playback->Stop();
    m_buttons.value(IDC_RECORD_PLAY)->setEnabled(true);
    m_buttons.value(IDC_RECORD_PAUSE)->setEnabled(false);
    m_buttons.value(IDC_RECORD_STOP)->setEnabled(false);
}

void CORV318PRODlg::OnRssiCheck() {
    if (!m_link)
        return;
    m_rssiLabel->Show(QString(), kClearedGrey);
    m_rssiLabel->repaint();
    int rssi = -1;
    for (int i = 0; i < 3 && rssi == -1; ++i)
        rssi = RunBlocking([this] { return m_link->ReadRssi(); });
    const int upper = GetRssiUpper(m_configPath);
    const int lower = GetRssiLower(m_configPath);
    const bool pass = lower < rssi && rssi < upper;
    m_rssiLabel->Show(rssi == -1 ? QStringLiteral("NAN") : QStringLiteral("%1 dBm").arg(rssi),
                      pass ? kGreen : kRed);
    RefreshDeviceList();
}

void CORV318PRODlg::OnBatteryCheck() {
    if (!m_link)
        return;
    const int battery = m_link->Parser().Read([](const LinkState& s) { return s.battery; });
    const QString text = unsigned(battery) > 100 ? QStringLiteral("NAN")
                                                 : QString::number(battery) + QLatin1Char('%');
    const BatteryLimits limits = GetBattery(m_configPath);
    const bool pass = limits.lower <= battery && battery <= limits.upper;
    m_batteryLabel->Show(text, pass ? kGreen : kRed);
}

// ---------------------------------------------------------------- remote station

void CORV318PRODlg::PressMacPair(const QString& mac) {
    m_macEdit->setText(mac);
    OnMacPair();
}

void CORV318PRODlg::PromptForMac() {
    // The operator types the MAC: the window comes to the front with an empty MAC field that
    // has the keyboard focus.
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    FocusMacEdit(true);
}

int CORV318PRODlg::AudioState() {
    return m_link ? m_link->AudioState() : 0;
}

QString CORV318PRODlg::QueryName() {
    if (!m_link)
        return {};
    QString name;
    RunBlocking([this, &name] {
        name = m_link->QueryName();
        return 1;
    });
    return name;
}

int CORV318PRODlg::RefreshInfo() {
    if (!m_link)
        return 0;
    return RunBlocking([this] { return m_link->RefreshInfo(); });
}

int CORV318PRODlg::SetHfpVolume(int gain) {
    return m_link ? RunBlocking([this, gain] { return m_link->SetHfpVolume(gain); }) : 0;
}

int CORV318PRODlg::SetA2dpVolume(int volume) {
    return m_link ? RunBlocking([this, volume] { return m_link->SetA2dpVolume(volume); }) : 0;
}

QString CORV318PRODlg::RssiText() {
    return m_link ? m_link->Parser().GetRssiText() : QString();
}

QString CORV318PRODlg::BatteryText() {
    return m_link ? m_link->Parser().GetBatteryText() : QString();
}

QString CORV318PRODlg::TargetMac() {
    return m_link ? m_link->GetTargetMac() : QString();
}

RemoteInfo CORV318PRODlg::ReadInfo() {
    RemoteInfo info;
    if (!m_link)
        return info;
    const CModuleParser& p = m_link->Parser();
    info.name = p.GetName();
    info.mac = m_link->GetTargetMac();
    info.mode = p.GetModeText();
    info.volume = p.GetVolumeText();
    info.battery = p.GetBatteryText();
    info.rssi = p.GetRssiText();
    return info;
}

void CORV318PRODlg::WriteRemote(const QByteArray& bytes) {
    if (m_remotePort && m_remotePort->IsOpen())
        m_remotePort->Write(bytes);
}

bool CORV318PRODlg::OpenRemotePort() {
    QString message;
    if (!orv::OpenRemotePort(*m_remotePort, m_configPath, StationText(IDS_COM_OPEN_FAILED),
                             &message)) {
        ShowMessage(this, message);
        return false;
    }
    connect(m_remotePort.get(), &CnComm::Received, this, &CORV318PRODlg::OnRemoteReceived,
            Qt::UniqueConnection);
    return true;
}

void CORV318PRODlg::OnRemoteReceived(int port) {
    if (!m_remotePort || port != m_remotePort->Port())
        return;  // a notice from a port that is no longer ours
    if (m_remoteBusy) {
        // Inside a command's wait: running the next command now would interleave its replies
        // with this one's and lose the text that arrived meanwhile. The bytes stay in the
        // port's buffer until the command is over.
        m_remoteAgain = true;
        return;
    }
    CnComm* comm = m_remotePort.get();
    m_remoteBusy = true;
    do {
        m_remoteAgain = false;
        m_remote->OnSerialReceive(
            [comm](char* buffer, qsizetype n) { return comm->ReadBuffered(buffer, n); });
    } while (m_remoteAgain && comm->IsOpen());
    m_remoteBusy = false;
}

// ---------------------------------------------------------------- settings and shutdown

void CORV318PRODlg::ReapplySettings() {
    // The settings dialog has written config.ini; the module and the players take the new
    // values.
    if (m_link && m_link->IsOpen()) {
        RunBlocking([this] {
            m_link->SetSearchPower();
            m_link->SetPin();
            m_link->SetCodec();
            return 1;
        });
    }
    SaveMainWindowSettings();
    if (GetSerialPort(m_configPath).userCom != 0)
        OpenRemotePort();
    m_music->SetLimitSeconds(GetPlayPlayTimes(m_configPath));
    m_playback->SetLimitSeconds(GetPlayRecordPlayTimes(m_configPath));
    const int width = GetSimpleWidth(m_configPath);
    const int height = GetSimpleHeight(m_configPath);
    m_simpleWidth = width > 29 ? width : m_simpleWidth;
    m_simpleHeight = height > 29 ? height : m_simpleHeight;
    RelayoutFloatAfterSettings();
}

void CORV318PRODlg::SaveMainWindowSettings() {
    const QString& p = m_configPath;
    SetMacPrefix(p, m_macPrefix);
    SetMacInputMode(p, m_macInputMode);
    SetDeviceSelect(p, m_deviceSelect);
    SetSerialPortName(p, m_serial.device);
    SetSerialPort(p, m_serial.port, m_serial.baudRate, m_serial.useCom ? 1 : 0);
    SetPlayLoop(p, m_loop);
    SetSimpleFontInitialize(p, 1);
    SetSimpleFontHeight(p, m_simpleFont.pixelSize() > 0 ? m_simpleFont.pixelSize() / 2 : 12);
    SetSimpleFontWeight(p, m_simpleFont.bold() ? 700 : 400);
    SetSimpleFontItalic(p, m_simpleFont.italic() ? 1 : 0);
    SetSimpleFontUnderLine(p, m_simpleFont.underline() ? 1 : 0);
    SetSimpleFontStrikeOut(p, m_simpleFont.strikeOut() ? 1 : 0);
    SetSimpleFontFaceName(p, m_simpleFont.families().value(0, UiFontFace()));
}

void CORV318PRODlg::closeEvent(QCloseEvent* event) {
    Shutdown();
    QWidget::closeEvent(event);
}

void CORV318PRODlg::Shutdown() {
    if (!m_started || m_shutDown)
        return;
    m_shutDown = true;
    m_openTimer.stop();
    m_connectingTimer.stop();
    m_searchingTimer.stop();
    if (m_remotePort && m_remotePort->IsOpen())
        m_remotePort->Close(500);
    m_keyTest->Stop();
    if (m_link && m_link->IsOpen())
        m_link->ResetModule();
    if (m_link)
        m_link->Close();  // wakes every procedure that still waits for the module
    m_pool.JoinAll();
    m_music->Stop();
    m_playback->Stop();
    if (m_recorder->IsRecording())
        m_recorder->StopRecord();
    SaveMainWindowSettings();
    LogTrace(QString::fromLatin1(kEndOfProgram));
}

void CORV318PRODlg::OnClose() {
    // "Close": END OF PROGRAM comes with the shutdown the close runs.
    close();
}

}  // namespace orv
