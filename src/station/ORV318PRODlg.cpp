#include "station/ORV318PRODlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "adapter/AdapterLink.h"
#include "adapter/Desktop.h"
#include "adapter/ReportDevice.h"
#include "audio/BTPlayMusic.h"
#include "config/Settings.h"
#include "config/dialogs/BlueToothSetupDlg.h"
#include "keytest/BTKeyTest.h"
#include "keytest/KeyTestCug.h"
#include "lang/Language.h"
#include "lang/UiFonts.h"
#include "remote/CnComm.h"
#include "station/ColorStatic.h"
#include "station/StationUi.h"

namespace orv {

namespace {

// The item check boxes and the [AutoTest] key each one is bound to.
struct ItemBox {
    int control;
    int item;
};
constexpr ItemBox kItemBoxes[] = {
    {IDC_ITEM_BATTERY, 3},    {IDC_ITEM_RSSI, 4},         {IDC_ITEM_A2DP, 5},
    {IDC_ITEM_HFP_RECORD, 6}, {IDC_ITEM_HFP_PLAYBACK, 7}, {IDC_ITEM_KEY, 8},
};

}  // namespace

CORV318PRODlg::CORV318PRODlg(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ORV318PRODlg"));
    m_configPath = GetConfigPath();
    setWindowTitle(UiCaption(kMainDialog, kDialogTitle));
    setFont(DialogFont());
    BuildControls();
    resize(kNormalWidth, kNormalHeight);
}

CORV318PRODlg::~CORV318PRODlg() {
    Shutdown();
    if (m_destroyHook)
        m_destroyHook();
    // What uses the link goes before it: the key test page, the players, the recorder.
    delete m_keyTest;
    m_keyTest = nullptr;
    m_pool.JoinAll();
}

void CORV318PRODlg::Place(QWidget* w, const QRect& r) {
    w->setGeometry(r);
    m_normalGeometry.insert(w, r);
}

QPushButton* CORV318PRODlg::AddButton(int id, const QRect& r) {
    auto* b = new QPushButton(ControlCaption(id), this);
    b->setObjectName(ControlName(id));
    b->setAutoDefault(false);
    b->setDefault(false);
    Place(b, r);
    m_buttons.insert(id, b);
    return b;
}

QCheckBox* CORV318PRODlg::AddCheck(int id, const QRect& r) {
    auto* c = new QCheckBox(ControlCaption(id), this);
    c->setObjectName(ControlName(id));
    Place(c, r);
    m_checks.insert(id, c);
    return c;
}

QLabel* CORV318PRODlg::AddCaption(int id, const QRect& r, const QString& objectName) {
    auto* l = new QLabel(ControlCaption(id), this);
    l->setObjectName(objectName.isEmpty() ? ControlName(id) : objectName);
    l->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    Place(l, r);
    return l;
}

QGroupBox* CORV318PRODlg::AddGroup(const QString& title, const QRect& r,
                                   const QString& objectName) {
    auto* g = new QGroupBox(title, this);
    g->setObjectName(objectName);
    Place(g, r);
    g->lower();
    return g;
}

CColorStatic* CORV318PRODlg::AddColorLabel(const QString& objectName, const QRect& r) {
    auto* l = new CColorStatic(this);
    l->setObjectName(objectName);
    Place(l, r);
    return l;
}

void CORV318PRODlg::BuildControls() {
    // Connection panel, left.
    m_deviceType = new QComboBox(this);
    m_deviceType->setObjectName(ControlName(IDC_DEVICE_TYPE));
    m_deviceType->addItems(UiListEntries(kMainDialog, IDC_DEVICE_TYPE));
    Place(m_deviceType, QRect(10, 4, 130, 26));

    m_statusFont = MakeUiFont(26, 700);
    m_simpleFont = MakeUiFont(40, 700);
    const QFont& statusFont = m_statusFont;
    m_adapterLabel = AddColorLabel(ControlName(IDC_ADAPTER_LABEL), QRect(10, 32, 130, 70));
    m_btLabel = AddColorLabel(ControlName(IDC_BT_LABEL), QRect(150, 32, 105, 70));
    m_adapterLabel->SetFont(statusFont);
    m_btLabel->SetFont(statusFont);
    m_adapterLabel->Show(ControlCaption(IDC_ADAPTER_LABEL), kRed);
    m_btLabel->Show(ControlCaption(IDC_BT_LABEL), kRed);

    AddButton(IDC_BATTERY, QRect(265, 32, 80, 30));
    m_batteryLabel = AddColorLabel(QStringLiteral("BatteryLabel"), QRect(265, 64, 80, 38));
    AddButton(IDC_RSSI, QRect(350, 32, 80, 30));
    m_rssiLabel = AddColorLabel(QStringLiteral("RssiLabel"), QRect(350, 64, 80, 38));
    const QFont readingFont = MakeUiFont(24, 700);
    m_batteryLabel->SetFont(readingFont);
    m_rssiLabel->SetFont(readingFont);

    QPushButton* oneKey = AddButton(IDC_ONE_KEY_TEST, QRect(440, 32, 170, 70));
    oneKey->setFont(MakeUiFont(24, 700));

    AddButton(IDC_SEARCH, QRect(10, 110, 95, 34));
    AddButton(IDC_AUTO_PAIR, QRect(110, 110, 95, 34));
    AddButton(IDC_SEARCH_PAIR, QRect(210, 110, 95, 34));
    AddButton(IDC_DISCONNECT, QRect(310, 110, 95, 34));
    AddButton(IDC_RESET, QRect(410, 110, 95, 34));
    AddButton(IDC_READ_INFO, QRect(510, 110, 100, 34));

    AddButton(IDC_MODE_HFP, QRect(10, 152, 86, 28));
    AddButton(IDC_MODE_A2DP, QRect(99, 152, 86, 28));
    AddButton(IDC_MODE_DIAL, QRect(188, 152, 86, 28));
    AddButton(IDC_MODE_RING, QRect(277, 152, 86, 28));
    m_macEdit = new QLineEdit(this);
    m_macEdit->setObjectName(ControlName(IDC_MAC_EDIT));
    m_macEdit->setMaxLength(64);
    // Wide enough for the 17 characters of a MAC with colons at the dialog font.
    Place(m_macEdit, QRect(368, 153, 138, 26));
    AddButton(IDC_MAC_PAIR, QRect(510, 152, 100, 28));
    m_macEdit->setFont(MakeUiFont(18));
    // The two rows of connection and mode buttons carry long English captions.
    for (int id :
         {IDC_SEARCH, IDC_AUTO_PAIR, IDC_SEARCH_PAIR, IDC_DISCONNECT, IDC_RESET, IDC_READ_INFO,
          IDC_MODE_HFP, IDC_MODE_A2DP, IDC_MODE_DIAL, IDC_MODE_RING, IDC_MAC_PAIR})
        m_buttons.value(id)->setFont(MakeUiFont(19));

    AddButton(IDC_VOL_UP, QRect(10, 188, 90, 28));
    AddButton(IDC_VOL_DOWN, QRect(104, 188, 90, 28));
    m_wideBand = new QRadioButton(ControlCaption(IDC_WIDE_BAND), this);
    m_wideBand->setObjectName(ControlName(IDC_WIDE_BAND));
    Place(m_wideBand, QRect(210, 190, 195, 24));
    m_narrowBand = new QRadioButton(ControlCaption(IDC_NARROW_BAND), this);
    m_narrowBand->setObjectName(ControlName(IDC_NARROW_BAND));
    Place(m_narrowBand, QRect(410, 190, 200, 24));

    AddGroup(QString(), QRect(10, 222, 600, 84), QStringLiteral("ItemGroup"));
    for (int i = 0; i < 6; ++i) {
        const QRect r(22 + (i % 3) * 196, 236 + (i / 3) * 32, 192, 26);
        QCheckBox* box = AddCheck(kItemBoxes[i].control, r);
        const int item = kItemBoxes[i].item;
        connect(box, &QCheckBox::toggled, this, [this, item](bool on) { OnItemSwitch(item, on); });
    }

    // Players, recorder and key test, right.
    AddGroup(QString(), QRect(625, 2, 401, 74), QStringLiteral("MusicGroup"));
    AddButton(IDC_PLAY, QRect(635, 14, 72, 28));
    AddButton(IDC_PAUSE, QRect(711, 14, 72, 28));
    AddButton(IDC_STOP, QRect(787, 14, 72, 28));
    AddCheck(IDC_LOOP, QRect(870, 16, 150, 24));
    m_musicProgress = new QProgressBar(this);
    m_musicProgress->setObjectName(QStringLiteral("MusicProgress"));
    m_musicProgress->setTextVisible(false);
    Place(m_musicProgress, QRect(635, 48, 285, 18));
    m_musicTime = AddCaption(IDC_PLAY_TIME, QRect(926, 46, 94, 22));

    AddGroup(QString(), QRect(625, 78, 401, 102), QStringLiteral("RecordGroup"));
    AddButton(IDC_RECORD, QRect(635, 90, 100, 28));
    AddButton(IDC_RECORD_SAVE, QRect(739, 90, 96, 28));
    m_recordTime = AddCaption(IDC_RECORD_TIME, QRect(840, 92, 64, 24));
    AddCaption(IDC_SPL, QRect(906, 92, 30, 24));
    m_resultLabel = AddColorLabel(ControlName(IDC_RESULT_LABEL), QRect(938, 86, 80, 34));
    m_resultLabel->SetFont(MakeUiFont(24, 700));
    AddButton(IDC_RECORD_PLAY, QRect(635, 124, 72, 28));
    AddButton(IDC_RECORD_PAUSE, QRect(711, 124, 72, 28));
    AddButton(IDC_RECORD_STOP, QRect(787, 124, 72, 28));
    m_playbackTime = AddCaption(IDC_RECORD_PLAY_TIME, QRect(866, 126, 154, 24));
    m_playbackProgress = new QProgressBar(this);
    m_playbackProgress->setObjectName(QStringLiteral("PlaybackProgress"));
    m_playbackProgress->setTextVisible(false);
    Place(m_playbackProgress, QRect(635, 156, 383, 16));

    AddGroup(QString(), QRect(625, 182, 401, 124), QStringLiteral("KeyGroup"));
    // Key switch above its label, in the order the headset's keys are usually pressed.
    struct KeyColumn {
        int check;
        int label;
        int index;  // into m_keyLabels
    };
    const KeyColumn keys[5] = {{IDC_KEY_VOLUP, IDC_KEYLABEL_VOLUP, 1},
                               {IDC_KEY_VOLDOWN, IDC_KEYLABEL_VOLDOWN, 0},
                               {IDC_KEY_NEXT, IDC_KEYLABEL_NEXT, 2},
                               {IDC_KEY_PREVIOUS, IDC_KEYLABEL_PREVIOUS, 3},
                               {IDC_KEY_PLAYPAUSE, IDC_KEYLABEL_PLAYPAUSE, 4}};
    for (int i = 0; i < 5; ++i) {
        const int x = 629 + i * 79;
        QCheckBox* box = AddCheck(keys[i].check, QRect(x, 190, 79, 24));
        box->setFont(MakeUiFont(15));  // "Play/Pause" fits its column
        const int control = keys[i].check;
        connect(box, &QCheckBox::toggled, this,
                [this, control](bool on) { OnKeySwitch(control, on); });
        CColorStatic* label = AddColorLabel(ControlName(keys[i].label), QRect(x, 216, 75, 36));
        label->SetFont(MakeUiFont(24, 700));
        m_keyLabels[keys[i].index] = label;
    }
    AddButton(IDC_KEY_START, QRect(633, 262, 90, 34));
    AddButton(IDC_KEY_STOP, QRect(727, 262, 90, 34));
    m_keyResult = AddColorLabel(ControlName(IDC_KEY_RESULT), QRect(828, 258, 190, 40));
    m_keyResult->SetFont(MakeUiFont(28, 700));

    // Device list across the bottom.
    m_deviceList = new QTableWidget(0, 7, this);
    m_deviceList->setObjectName(ControlName(IDC_DEVICE_LIST));
    m_deviceList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_deviceList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_deviceList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_deviceList->verticalHeader()->hide();
    m_deviceList->horizontalHeader()->setStretchLastSection(false);
    m_deviceList->setHorizontalHeaderLabels(
        {StationText(IDS_COL_NAME), StationText(IDS_COL_MAC), StationText(IDS_COL_PAIR),
         StationText(IDS_COL_MODE), StationText(IDS_COL_VOL), StationText(IDS_COL_BATTERY),
         QStringLiteral("RSSI")});
    Place(m_deviceList, QRect(10, 314, 1016, 252));
    const int clientWidth = m_deviceList->viewport()->width() > 0
                                ? m_deviceList->width() - m_deviceList->frameWidth() * 2
                                : 1012;
    for (int c = 0; c < 7; ++c)
        m_deviceList->setColumnWidth(c, 120);
    // Headset names are long: the name column takes what the MAC and the five fixed columns
    // leave.
    m_deviceList->setColumnWidth(1, 180);
    m_deviceList->setColumnWidth(0, qMax(120, clientWidth - 180 - 5 * 120 - 2));

    // The key count strip belongs to the float view only.
    m_keyStrip = new KeyTestCug(this);
    m_keyStrip->setObjectName(QStringLiteral("KeyTestCug"));
    m_keyStrip->hide();
}

void CORV318PRODlg::SetLabel(CColorStatic* label, const QString& text, const QColor& color) {
    label->Show(text, color);
}

void CORV318PRODlg::OnItemSwitch(int item, bool on) {
    SetAutoTestItem(m_configPath, item, on);
}

void CORV318PRODlg::OnKeySwitch(int control, bool on) {
    const int v = on ? 1 : 0;
    switch (control) {
        case IDC_KEY_VOLDOWN:
            SetKeyVolDel(m_configPath, v);
            break;
        case IDC_KEY_VOLUP:
            SetKeyVolAdd(m_configPath, v);
            break;
        case IDC_KEY_NEXT:
            SetKeyNext(m_configPath, v);
            break;
        case IDC_KEY_PREVIOUS:
            SetKeyPrevious(m_configPath, v);
            break;
        case IDC_KEY_PLAYPAUSE:
            SetKeyPlayPause(m_configPath, v);
            break;
        default:
            return;
    }
    RecolourKeyLabels();
}

void CORV318PRODlg::RecolourKeyLabels() {
    const int controls[5] = {IDC_KEY_VOLDOWN, IDC_KEY_VOLUP, IDC_KEY_NEXT, IDC_KEY_PREVIOUS,
                             IDC_KEY_PLAYPAUSE};
    for (int i = 0; i < 5; ++i) {
        QCheckBox* box = m_checks.value(controls[i]);
        m_keyLabels[i]->SetBkColor(box && box->isChecked() ? kKeyOn : kKeyOff);
        m_keyLabels[i]->update();
    }
}

void CORV318PRODlg::SetTestStage(int stage) {
    m_testStage = stage;
    UpdateStageHighlight();
}

void CORV318PRODlg::UpdateStageHighlight() {
    const QHash<int, int> stageBox = {{5, IDC_ITEM_A2DP},
                                      {6, IDC_ITEM_HFP_RECORD},
                                      {7, IDC_ITEM_HFP_PLAYBACK},
                                      {8, IDC_ITEM_KEY}};
    const int lit = stageBox.value(m_testStage, 0);
    for (const ItemBox& ib : kItemBoxes) {
        QCheckBox* box = m_checks.value(ib.control);
        if (!box)
            continue;
        const bool on = ib.control == lit;
        box->setAutoFillBackground(on);
        QPalette pal = box->palette();
        pal.setColor(QPalette::Window, on ? kStageColor : palette().color(QPalette::Window));
        box->setPalette(pal);
        box->setProperty("stageLit", on);
        box->update();
    }
}

void CORV318PRODlg::keyPressEvent(QKeyEvent* event) {
    // Enter never closes the window.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CORV318PRODlg::OnBluetoothSettings() {
    if (m_settingsDialog) {
        if (m_settingsDialog(this))
            ReapplySettings();
        return;
    }
    SettingsDialogInput input;
    input.simpleWidth = m_simpleWidth;
    input.simpleHeight = m_simpleHeight;
    input.serial = m_serial;
    const SettingsDialogOutcome o = RunBluetoothSettings(this, m_configPath, input);
    if (o.simpleFontChanged)
        m_simpleFont = GetUiFonts().simple;
    if (!o.accepted) {
        if (o.simpleFontChanged)
            RelayoutFloatAfterSettings();  // the font takes effect at once
        return;
    }
    if (m_link && m_link->IsOpen() &&
        (o.searchPowerChanged || o.passWordChanged || o.sampleRateChanged)) {
        RunBlocking([this, o] {
            if (o.searchPowerChanged)
                m_link->SetSearchPower();
            if (o.passWordChanged)
                m_link->SetPin();
            if (o.sampleRateChanged)
                m_link->SetCodec();
            return 1;
        });
    }
    // The port settings go into memory first: SaveMainWindowSettings writes them from there.
    m_serial = o.serial;
    SaveMainWindowSettings();
    // Opened again also when unchanged: OK is how the operator retries a port that failed.
    if (m_serial.useCom)
        OpenRemotePort();
    else if (m_remotePort && m_remotePort->IsOpen())
        m_remotePort->Close(500);
    if (o.playTimesChanged) {
        m_music->SetLimitSeconds(GetPlayPlayTimes(m_configPath));
        m_playback->SetLimitSeconds(GetPlayRecordPlayTimes(m_configPath));
    }
    // The page stores what was entered; only a usable size is taken into the float view.
    m_simpleWidth = UsableSimpleDimension(o.simpleWidth, m_simpleWidth);
    m_simpleHeight = UsableSimpleDimension(o.simpleHeight, m_simpleHeight);
    RelayoutFloatAfterSettings();
}

void CORV318PRODlg::OnSimpleWindow() {
    if (!m_simpleToggle)
        return;
    if (m_simpleToggle(this))
        hide();
    else
        show();
}

}  // namespace orv
