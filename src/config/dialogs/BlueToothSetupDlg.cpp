#include "config/dialogs/BlueToothSetupDlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "config/dialogs/AutoSavePage.h"
#include "config/dialogs/BTSimpleTestDlg.h"
#include "config/dialogs/LangPage.h"
#include "config/dialogs/SimpleWndPage.h"
#include "lang/Language.h"

namespace orv {
namespace {

// Tab titles in tab order: strings 153, 154, 156, 157, 158.
constexpr int kTabTitles[] = {153, 154, 156, 157, 158};
constexpr int kOkCaption = 1;
constexpr int kCancelCaption = 2;

}  // namespace

CBlueToothSetupDlg::ModuleSnapshot CBlueToothSetupDlg::ReadSnapshot(const QString& path) {
    ModuleSnapshot s;
    s.searchPower = GetSearchPower(path);
    s.passWord = GetPassWord(path);
    s.sampleRate = GetSampleRate(path);
    s.playTimes = GetPlayPlayTimes(path);
    s.playRecordTimes = GetPlayRecordPlayTimes(path);
    return s;
}

CBlueToothSetupDlg::CBlueToothSetupDlg(const QString& configPath, const SettingsDialogInput& input,
                                       QWidget* parent)
    : CBaseDlg(parent, false),
      m_configPath(configPath),
      m_input(input),
      m_before(ReadSnapshot(configPath)) {
    setObjectName(QStringLiteral("CBlueToothSetupDlg"));
    setWindowTitle(UiCaption(kSettingsDialog, kDialogTitle));
    setModal(true);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(ControlName(IDC_TABS));
    m_tabs->setUsesScrollButtons(false);
    m_tabs->tabBar()->setExpanding(false);

    m_ok = new QPushButton(UiCaption(kSettingsDialog, kOkCaption), this);
    m_ok->setObjectName(QStringLiteral("IDOK"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(UiCaption(kSettingsDialog, kCancelCaption), this);
    m_cancel->setObjectName(QStringLiteral("IDCANCEL"));
    m_cancel->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &CBlueToothSetupDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CBlueToothSetupDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 8);
    top->addWidget(m_tabs, 1);
    top->addLayout(buttons);

    // The container's own controls first: each page gives its children the font itself, and
    // its own touches (bold section titles) must not be overwritten.
    InitBaseLook();

    const QStringList ports = input.machinePorts.value_or(CSerialportSetDlg::MachinePorts());
    m_audio = new CBTSimpleTestDlg(configPath, m_tabs);
    m_simpleWnd = new CSimpleWndPage(configPath, input.simpleWidth, input.simpleHeight, m_tabs);
    m_serial = new CSerialportSetDlg(configPath, input.serial, ports, m_tabs);
    m_autoSave = new CAutoSavePage(configPath, m_tabs);
    m_lang = new CLangPage(configPath, m_tabs);
    QWidget* const pages[] = {m_audio, m_simpleWnd, m_serial, m_autoSave, m_lang};
    for (int i = 0; i < 5; ++i) {
        m_tabs->addTab(pages[i], UiString(kTabTitles[i]));
    }
    m_tabs->setCurrentIndex(0);
    connect(m_simpleWnd, &CSimpleWndPage::simpleFontChanged, this,
            [this] { m_outcome.simpleFontChanged = true; });
}

void CBlueToothSetupDlg::accept() {
    // Every page's checks first: a failure reports its field and nothing is stored.
    AudioSettings audio;
    if (!m_audio->ReadControls(&audio)) {
        return;
    }
    int width = 0;
    int height = 0;
    if (!m_simpleWnd->ReadControls(&width, &height)) {
        return;
    }
    bool isSave = false;
    QString filePath;
    if (!m_autoSave->ReadControls(&isSave, &filePath)) {
        return;
    }
    const SerialPortChoice serial = m_serial->Choice();
    const int lang = m_lang->Selected();

    m_audio->Store(audio);
    m_simpleWnd->Store(width, height);
    m_serial->Store(serial);
    m_autoSave->Store(isSave, filePath);
    m_lang->Store(lang);

    const ModuleSnapshot after = ReadSnapshot(m_configPath);
    m_outcome.accepted = true;
    m_outcome.searchPowerChanged = after.searchPower != m_before.searchPower;
    m_outcome.passWordChanged = after.passWord != m_before.passWord;
    m_outcome.sampleRateChanged = after.sampleRate != m_before.sampleRate;
    m_outcome.playTimesChanged =
        after.playTimes != m_before.playTimes || after.playRecordTimes != m_before.playRecordTimes;
    m_outcome.simpleWidth = width;
    m_outcome.simpleHeight = height;
    m_outcome.serial = serial;
    SerialPortChoice before = m_input.serial;
    if (before.device.isEmpty()) {
        before.device = SerialEntryDevice(QStringLiteral("COM%1").arg(before.port));
    }
    m_outcome.serialChanged = !(serial == before);
    QDialog::accept();
}

SettingsDialogOutcome RunBluetoothSettings(QWidget* parent, const QString& configPath,
                                           const SettingsDialogInput& input) {
    CBlueToothSetupDlg dlg(configPath, input, parent);
    dlg.exec();
    return dlg.Outcome();
}

}  // namespace orv
