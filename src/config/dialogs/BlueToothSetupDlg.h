#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "config/dialogs/BaseDlg.h"
#include "config/dialogs/SerialportSetDlg.h"

class QPushButton;
class QTabWidget;

namespace orv {

class CAutoSavePage;
class CBTSimpleTestDlg;
class CLangPage;
class CSimpleWndPage;

// What the main window hands the settings dialog: the values it keeps in memory.
struct SettingsDialogInput {
    int simpleWidth = 300;  // float window size in use (pixels)
    int simpleHeight = 150;
    SerialPortChoice serial;
    // The machine's serial port names; when not given, asked from the system (QSerialPortInfo).
    std::optional<QStringList> machinePorts;
};

// What the main window re-applies after the dialog. Everything but the font is only set when
// `accepted`.
struct SettingsDialogOutcome {
    bool accepted = false;
    // Module settings that differ from what the file held when the dialog opened; each changed
    // one is sent to the module (search power, PIN, sample rate).
    bool searchPowerChanged = false;
    bool passWordChanged = false;
    bool sampleRateChanged = false;
    // The float window size as entered and stored (see UsableSimpleDimension).
    int simpleWidth = 0;
    int simpleHeight = 0;
    // The serial port page's lists converted back; `serialChanged` when they differ from the
    // input. The main window takes them, saves its settings and reopens the remote port.
    SerialPortChoice serial;
    bool serialChanged = false;
    // [Play] and [PlayRecord] "PlayTimes" changed: the players read them again.
    bool playTimesChanged = false;
    // The font chooser replaced the shared simple window font (takes effect at once, also when
    // the dialog is then cancelled).
    bool simpleFontChanged = false;
};

// The main window takes an entered float window dimension into use only above 29 pixels; the
// file keeps what the page stored either way.
inline int UsableSimpleDimension(int entered, int current) {
    return entered > 29 ? entered : current;
}

// The modal settings dialog: five tabbed pages (Bluetooth audio settings, simple window, serial
// port, auto save, language), OK and Cancel. OK checks every page, then stores them all; a
// failed check keeps the dialog open with nothing stored. Cancel, Escape and the close box
// store nothing.
class CBlueToothSetupDlg final : public CBaseDlg {
    Q_OBJECT
public:
    enum ControlId : int { IDC_TABS = 1013 };

    CBlueToothSetupDlg(const QString& configPath, const SettingsDialogInput& input,
                       QWidget* parent = nullptr);

    // Valid after the dialog ended (or at any moment for what OK has stored so far).
    SettingsDialogOutcome Outcome() const { return m_outcome; }

    QTabWidget* Tabs() const { return m_tabs; }
    CBTSimpleTestDlg* AudioPage() const { return m_audio; }
    CSimpleWndPage* SimpleWndPage() const { return m_simpleWnd; }
    CSerialportSetDlg* SerialPage() const { return m_serial; }
    CAutoSavePage* AutoSavePage() const { return m_autoSave; }
    CLangPage* LangPage() const { return m_lang; }

public slots:
    void accept() override;

private:
    // Module settings as the file held them when the dialog opened.
    struct ModuleSnapshot {
        int searchPower = 0;
        QString passWord;
        int sampleRate = 0;
        double playTimes = 0;
        double playRecordTimes = 0;
    };
    static ModuleSnapshot ReadSnapshot(const QString& path);

    QString m_configPath;
    SettingsDialogInput m_input;
    ModuleSnapshot m_before;
    SettingsDialogOutcome m_outcome;
    QTabWidget* m_tabs = nullptr;
    CBTSimpleTestDlg* m_audio = nullptr;
    CSimpleWndPage* m_simpleWnd = nullptr;
    CSerialportSetDlg* m_serial = nullptr;
    CAutoSavePage* m_autoSave = nullptr;
    CLangPage* m_lang = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// The main window's "Bluetooth settings" command: runs the dialog modally over `parent` and
// says what changed. Example:
//   SettingsDialogOutcome o = RunBluetoothSettings(this, m_configPath, input);
//   if (o.accepted) { if (o.searchPowerChanged) ...send...; m_simpleWidth =
//       UsableSimpleDimension(o.simpleWidth, m_simpleWidth); ... }
SettingsDialogOutcome RunBluetoothSettings(QWidget* parent, const QString& configPath,
                                           const SettingsDialogInput& input);

}  // namespace orv
