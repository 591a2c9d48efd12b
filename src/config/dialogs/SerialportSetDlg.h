#pragma once

#include <QString>
#include <QStringList>

#include "config/dialogs/BaseDlg.h"

class QCheckBox;
class QComboBox;

namespace orv {

// The remote-control port as the main window keeps it in memory.
struct SerialPortChoice {
    QString device;  // device path the port opens ("/dev/ttyS0", "/dev/ttyUSB0"); empty: "port"
    int port = 1;    // COM number: n for "COMn" and for /dev/ttyS(n-1)
    int baudRate = 9600;
    char parity = 'N';  // 'N', 'O' or 'E'
    int dataBits = 8;
    int stopBits = 1;
    bool useCom = false;

    bool operator==(const SerialPortChoice&) const = default;
};

// The device an entry of the port list stands for: "COMn" is /dev/ttyS(n-1), a path stands for
// itself and any other name is a device in /dev.
QString SerialEntryDevice(const QString& entry);
// The COM number of a device: n for /dev/ttyS(n-1) (and for "COMn"); 0 for other devices.
int SerialDevicePortNumber(const QString& device);
// The port list: the initial entries, then `found` (port names of the machine) in ascending
// order of their character codes, without repeating a name.
QStringList SerialPortEntries(const QStringList& initial, QStringList found);

// Page 2: the remote-control port. Lists the serial ports of the machine.
class CSerialportSetDlg final : public CBaseDlg, public CCommonInfo {
    Q_OBJECT
public:
    enum ControlId : int {
        IDC_PORT = 1015,
        IDC_BAUD = 1020,
        IDC_PARITY = 1021,
        IDC_DATA_BITS = 1022,
        IDC_STOP_BITS = 1023,
        IDC_USE_COM = 1040,
        IDC_SETUP_GROUP = 2001,
    };

    // `current`: the port settings in use now; `found`: the port names of the machine.
    CSerialportSetDlg(const QString& configPath, const SerialPortChoice& current,
                      const QStringList& found, QWidget* parent);

    // The machine's serial ports as QSerialPortInfo reports them (ttyS0, ttyUSB0, ...).
    static QStringList MachinePorts();

    // The lists converted back.
    SerialPortChoice Choice() const;
    // Writes [SerialPort] "PortName", then "Port", "BaudRate" and "UserCom", so the remote port
    // opens the chosen device even before the main window saves its settings.
    bool Store(const SerialPortChoice& choice);

private:
    void SelectText(QComboBox* list, const QString& text);
    void UpdateEnabled();

    QString m_configPath;
    SerialPortChoice m_current;
    QCheckBox* m_useCom = nullptr;
    QComboBox* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_stopBits = nullptr;
};

}  // namespace orv
