#include "config/dialogs/SerialportSetDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QVBoxLayout>

#include <algorithm>

#include "config/Settings.h"
#include "lang/Language.h"

namespace orv {
namespace {

const QLatin1String kDevFolder("/dev/");
const QLatin1String kTtyS("/dev/ttyS");

}  // namespace

QString SerialEntryDevice(const QString& entry) {
    static const QRegularExpression kCom(QStringLiteral("^COM([0-9]+)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kCom.match(entry);
    if (m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n >= 1) {
            return kTtyS + QString::number(n - 1);
        }
    }
    if (entry.startsWith(QLatin1Char('/'))) {
        return entry;
    }
    return kDevFolder + entry;
}

int SerialDevicePortNumber(const QString& device) {
    static const QRegularExpression kTtyNumber(QStringLiteral("^/dev/ttyS([0-9]+)$"));
    const QRegularExpressionMatch m = kTtyNumber.match(SerialEntryDevice(device));
    if (!m.hasMatch()) {
        return 0;
    }
    bool ok = false;
    const int n = m.captured(1).toInt(&ok);
    return ok && n < 1024 ? n + 1 : 0;
}

QStringList SerialPortEntries(const QStringList& initial, QStringList found) {
    // Character-code order, as the port list has always been sorted (ttyS10 before ttyS2).
    std::sort(found.begin(), found.end());
    QStringList entries = initial;
    for (const QString& f : found) {
        if (!f.isEmpty() && !entries.contains(f)) {
            entries << f;
        }
    }
    return entries;
}

QStringList CSerialportSetDlg::MachinePorts() {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        names << info.portName();
    }
    return names;
}

CSerialportSetDlg::CSerialportSetDlg(const QString& configPath, const SerialPortChoice& current,
                                     const QStringList& found, QWidget* parent)
    : CBaseDlg(parent, true), m_configPath(configPath), m_current(current) {
    setObjectName(QStringLiteral("CSerialportSetDlg"));
    m_useCom = new QCheckBox(UiCaption(kSerialPortPage, IDC_USE_COM), this);
    m_useCom->setObjectName(ControlName(IDC_USE_COM));

    auto* group = new QGroupBox(UiCaption(kSerialPortPage, IDC_SETUP_GROUP), this);
    group->setObjectName(ControlName(IDC_SETUP_GROUP));
    auto* grid = new QGridLayout(group);
    const auto addList = [&](int id, int row, const QStringList& entries) {
        auto* label = new QLabel(UiCaption(kSerialPortPage, id), group);
        label->setObjectName(ControlName(id) + QStringLiteral("_LABEL"));
        auto* list = new QComboBox(group);
        list->setObjectName(ControlName(id));
        list->addItems(entries);
        list->setMinimumContentsLength(10);
        grid->addWidget(label, row, 0);
        grid->addWidget(list, row, 1);
        return list;
    };
    m_port =
        addList(IDC_PORT, 0, SerialPortEntries(UiListEntries(kSerialPortPage, IDC_PORT), found));
    m_baud = addList(IDC_BAUD, 1, UiListEntries(kSerialPortPage, IDC_BAUD));
    m_parity = addList(IDC_PARITY, 2, UiListEntries(kSerialPortPage, IDC_PARITY));
    m_dataBits = addList(IDC_DATA_BITS, 3, UiListEntries(kSerialPortPage, IDC_DATA_BITS));
    m_stopBits = addList(IDC_STOP_BITS, 4, UiListEntries(kSerialPortPage, IDC_STOP_BITS));

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 8);
    top->addWidget(m_useCom);
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(group);
    groupRow->addStretch(1);
    top->addLayout(groupRow);
    top->addStretch(1);
    InitBaseLook();

    // The port in use: the entry that opens the same device, "COM" and the number when no device
    // is named. A device the list lacks (a pseudo-terminal, a port unplugged for now) is added
    // so OK keeps it rather than switching to another port.
    const QString device = current.device.isEmpty()
                               ? SerialEntryDevice(QStringLiteral("COM%1").arg(current.port))
                               : current.device;
    int portIndex = -1;
    for (int i = 0; i < m_port->count(); ++i) {
        if (SerialEntryDevice(m_port->itemText(i)) == device) {
            portIndex = i;
            break;
        }
    }
    if (portIndex < 0) {
        m_port->addItem(current.device.isEmpty() ? QStringLiteral("COM%1").arg(current.port)
                                                 : current.device);
        portIndex = m_port->count() - 1;
    }
    m_port->setCurrentIndex(portIndex);
    m_parity->setCurrentIndex(current.parity == 'O' ? 1 : current.parity == 'E' ? 2 : 0);
    SelectText(m_baud, QString::number(current.baudRate));
    SelectText(m_dataBits, QString::number(current.dataBits));
    SelectText(m_stopBits, QString::number(current.stopBits));
    m_useCom->setChecked(current.useCom);
    UpdateEnabled();
    connect(m_useCom, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
}

void CSerialportSetDlg::SelectText(QComboBox* list, const QString& text) {
    int index = list->findText(text, Qt::MatchExactly);
    if (index < 0) {
        // A value the list does not offer (hand-edited file) stays what it is.
        list->addItem(text);
        index = list->count() - 1;
    }
    list->setCurrentIndex(index);
}

void CSerialportSetDlg::UpdateEnabled() {
    const bool on = m_useCom->isChecked();
    for (QComboBox* list : {m_port, m_baud, m_parity, m_dataBits, m_stopBits}) {
        list->setEnabled(on);
    }
}

SerialPortChoice CSerialportSetDlg::Choice() const {
    SerialPortChoice c = m_current;
    c.device = SerialEntryDevice(m_port->currentText());
    const int number = SerialDevicePortNumber(c.device);
    if (number > 0) {
        c.port = number;
    }
    c.baudRate = m_baud->currentText().toInt();
    static const char kParity[] = {'N', 'O', 'E'};
    c.parity = kParity[qBound(0, m_parity->currentIndex(), 2)];
    c.dataBits = m_dataBits->currentText().toInt();
    c.stopBits = m_stopBits->currentText().toInt();
    c.useCom = m_useCom->isChecked();
    return c;
}

bool CSerialportSetDlg::Store(const SerialPortChoice& choice) {
    bool ok = SetSerialPortName(m_configPath, choice.device);
    ok = SetSerialPort(m_configPath, choice.port, choice.baudRate, choice.useCom ? 1 : 0) && ok;
    return ok;
}

}  // namespace orv
