// The main window's "Bluetooth settings" command with the real dialog, on the offscreen platform
// against the simulated adapter: what OK changed reaches the module, the float view and the
// remote port; Cancel changes nothing.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "config/dialogs/BTSimpleTestDlg.h"
#include "config/dialogs/BlueToothSetupDlg.h"
#include "config/dialogs/SerialportSetDlg.h"
#include "config/dialogs/SimpleWndPage.h"
#include "lang/Language.h"
#include "remote/CnComm.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"
#include "sim/SimulatedBus.h"
#include "station/ORV318PRODlg.h"

using namespace orv;

namespace {

const char kScenario[] =
    "[Adapter]\nProductId=0x5750\nFirmware=6.1.0 build 1022\nReplyDelayMs=1\nControlSocket=\n"
    "[Headset1]\nName=Line Headset\nMac=00:1a:7d:da:71:13\nFaults=\n";

using B = CBTSimpleTestDlg;

QString Name(int id) {
    return CBaseDlg::ControlName(id);
}

void SetField(QWidget* page, int id, const QString& text) {
    QWidget* w = page->findChild<QWidget*>(Name(id));
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
    else if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
        s->findChild<QLineEdit*>()->setText(text);
    else
        qFatal("no text field %d", id);
}

QComboBox* List(QWidget* page, int id) {
    auto* c = page->findChild<QComboBox*>(Name(id));
    if (!c)
        qFatal("no list %d", id);
    return c;
}

// The line controller's end of a pseudo-terminal; the station opens the slave by its path.
struct ControllerLine {
    int master = -1;
    QString slavePath;

    ControllerLine() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            master = -1;
            return;
        }
        slavePath = QString::fromLocal8Bit(name);
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~ControllerLine() {
        if (master >= 0)
            ::close(master);
    }
    ControllerLine(const ControllerLine&) = delete;
    ControllerLine& operator=(const ControllerLine&) = delete;

    // Sends `command` and collects what comes back until `reply` has arrived (or 5 s passed).
    QByteArray Ask(const QByteArray& command, const QByteArray& reply) {
        if (::write(master, command.constData(), size_t(command.size())) != command.size())
            return {};
        QByteArray got;
        (void)QTest::qWaitFor(
            [&] {
                char chunk[256];
                const ssize_t n = ::read(master, chunk, sizeof chunk);
                if (n > 0)
                    got.append(chunk, n);
                return got.contains(reply);
            },
            5000);
        return got;
    }
};

QByteArray LogBytes() {
    QFile f(CLogWriter::Instance()->path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestSettingsApply final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    sim::CSimulatedBus* m_sim = nullptr;  // owned by the window
    std::unique_ptr<CORV318PRODlg> m_window;
    QString m_config;
    ControllerLine m_line;

    // Runs the settings command; `edit` fills the dialog while it is up, then OK or Cancel
    // closes it. Returns the module lines the window sent meanwhile.
    QByteArray RunSettings(const std::function<void(CBlueToothSetupDlg*)>& edit, bool ok) {
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = qobject_cast<CBlueToothSetupDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            shown = true;
            edit(dlg);
            dlg->findChild<QPushButton*>(QString::fromLatin1(ok ? "IDOK" : "IDCANCEL"))->click();
        });
        const qsizetype before = LogBytes().size();
        m_window->OnMenuCommand(CORV318PRODlg::ID_BT_SETTINGS);
        if (!shown)
            qWarning("the settings dialog did not come up");
        QByteArray sent;
        for (const QByteArray& line : LogBytes().mid(before).split('\n')) {
            const qsizetype at = line.indexOf("send:");
            if (at >= 0)
                sent += line.mid(at + 5).trimmed() + '\n';
        }
        return sent;
    }

    QString ModuleState() { return m_sim->Control(QStringLiteral("state")); }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        SetHeadlessUi(true);  // message boxes go to the log
        QVERIFY(LoadLanguage(1, {QStringLiteral(ORV_BINARY_DIR "/bin")}));
        m_config = GetConfigPath();
        SetTopMost(m_config, 0);
        // The remote port is configured but off.
        QVERIFY(m_line.master >= 0);
        SetSerialPortName(m_config, m_line.slavePath);
        SetSerialPort(m_config, 1, 9600, 0);
        const QString scenario = m_home.filePath(QStringLiteral("line.ini"));
        QFile f(scenario);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kScenario);
        f.close();
        QString error;
        auto bus = sim::CSimulatedBus::Create(scenario, &error);
        QVERIFY2(bus, qPrintable(error));
        m_sim = bus.get();
        m_window = std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
        m_window->show();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Link()->IsOpen(), 5000);
        // The start-up settings: power 6, PIN 7315, 44.1 kHz.
        QTRY_VERIFY_WITH_TIMEOUT(ModuleState().contains(QStringLiteral("codec=SBC/44100")), 5000);
        QVERIFY(ModuleState().contains(QStringLiteral("pin=7315")));
        QVERIFY(ModuleState().contains(QStringLiteral("power=6_6_6")));
    }

    void cleanupTestCase() { m_window.reset(); }

    void cancelSendsAndStoresNothing() {
        const QByteArray sent = RunSettings(
            [](CBlueToothSetupDlg* dlg) {
                SetField(dlg->AudioPage(), B::IDC_SEARCH_POWER, QStringLiteral("-6"));
                SetField(dlg->AudioPage(), B::IDC_PASSWORD, QStringLiteral("1234"));
                List(dlg->AudioPage(), B::IDC_SAMPLE_RATE)->setCurrentIndex(1);
            },
            false);
        QCOMPARE(sent, QByteArray());
        QCOMPARE(GetSearchPower(m_config), 6);
        QCOMPARE(GetPassWord(m_config), QStringLiteral("7315"));
        QVERIFY(ModuleState().contains(QStringLiteral("pin=7315")));
    }

    void okSendsChangedModuleSettings() {
        const QByteArray sent = RunSettings(
            [](CBlueToothSetupDlg* dlg) {
                SetField(dlg->AudioPage(), B::IDC_SEARCH_POWER, QStringLiteral("-6"));
                SetField(dlg->AudioPage(), B::IDC_PASSWORD, QStringLiteral("1234"));
                List(dlg->AudioPage(), B::IDC_SAMPLE_RATE)->setCurrentIndex(1);
            },
            true);
        QVERIFY2(sent.contains("set bt power 6 6 -6\n"), sent.constData());
        QVERIFY2(sent.contains("set bt auth * 1234\n"), sent.constData());
        QVERIFY2(sent.contains("SET CONTROL CODEC SBC JOINT_STEREO 48000 1\n"), sent.constData());
        // The module took them.
        const QString state = ModuleState();
        QVERIFY2(state.contains(QStringLiteral("power=6_6_-6")), qPrintable(state));
        QVERIFY2(state.contains(QStringLiteral("pin=1234")), qPrintable(state));
        QVERIFY2(state.contains(QStringLiteral("codec=SBC/48000")), qPrintable(state));
    }

    // Only what differs from the file as the dialog found it goes to the module.
    void okSendsOnlyWhatChanged() {
        const QByteArray sent = RunSettings(
            [](CBlueToothSetupDlg* dlg) {
                SetField(dlg->AudioPage(), B::IDC_PASSWORD, QStringLiteral("0042"));
            },
            true);
        QCOMPARE(sent, QByteArray("set bt auth * 0042\n"));
        QVERIFY(ModuleState().contains(QStringLiteral("pin=0042")));

        QCOMPARE(RunSettings([](CBlueToothSetupDlg*) {}, true), QByteArray());
    }

    // The page stores every size it is given; the float view takes only sizes above 29.
    void floatViewTakesOnlyUsableSize() {
        m_window->OnMenuCommand(CORV318PRODlg::ID_FLOAT_WINDOW);
        QCOMPARE(m_window->ViewMode(), 1);
        const QSize before = m_window->size();
        RunSettings(
            [](CBlueToothSetupDlg* dlg) {
                SetField(dlg->SimpleWndPage(), CSimpleWndPage::IDC_WIDTH, QStringLiteral("20"));
                SetField(dlg->SimpleWndPage(), CSimpleWndPage::IDC_HEIGHT, QStringLiteral("210"));
            },
            true);
        QCOMPARE(GetSimpleWidth(m_config), 20);
        QCOMPARE(GetSimpleHeight(m_config), 210);
        QCOMPARE(m_window->size(), QSize(before.width(), 210));
        m_window->OnMenuCommand(CORV318PRODlg::ID_NORMAL_WINDOW);
    }

    // Parity, data bits and stop bits are not in the file: the window keeps them for the next
    // run of the dialog.
    void serialChoiceKeptByTheWindow() {
        RunSettings(
            [](CBlueToothSetupDlg* dlg) {
                List(dlg->SerialPage(), CSerialportSetDlg::IDC_PARITY)->setCurrentIndex(2);
                QComboBox* stop = List(dlg->SerialPage(), CSerialportSetDlg::IDC_STOP_BITS);
                stop->setCurrentIndex(stop->findText(QStringLiteral("2")));
            },
            true);
        char parity = 0;
        QString stopBits;
        RunSettings(
            [&](CBlueToothSetupDlg* dlg) {
                parity = dlg->SerialPage()->Choice().parity;
                stopBits =
                    List(dlg->SerialPage(), CSerialportSetDlg::IDC_STOP_BITS)->currentText();
            },
            false);
        QCOMPARE(parity, 'E');
        QCOMPARE(stopBits, QStringLiteral("2"));
    }

    // "Use COM" switched on: the port opens after OK and the controller is answered; switched
    // off again, it closes.
    void useComOpensRemotePort() {
        CnComm* port = m_window->RemotePort();
        QVERIFY(!port->IsOpen());
        const auto useCom = [](bool on) {
            return [on](CBlueToothSetupDlg* dlg) {
                dlg->SerialPage()
                    ->findChild<QCheckBox*>(Name(CSerialportSetDlg::IDC_USE_COM))
                    ->setChecked(on);
            };
        };
        RunSettings(useCom(true), true);
        QVERIFY(port->IsOpen());
        QCOMPARE(port->DevicePath(), m_line.slavePath);
        QCOMPARE(GetSerialPort(m_config).userCom, 1);
        QCOMPARE(GetSerialPortName(m_config), m_line.slavePath);
        QCOMPARE(m_line.Ask("BATTERY", "OK"), QByteArray("OK"));

        RunSettings(useCom(false), true);
        QVERIFY(!port->IsOpen());
        QCOMPARE(GetSerialPort(m_config).userCom, 0);
    }
};

QTEST_MAIN(TestSettingsApply)
#include "tst_settings_apply.moc"
