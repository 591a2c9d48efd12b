// The main window driven against the simulated adapter on the offscreen platform.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "adapter/AdapterLink.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "keytest/BTKeyTest.h"
#include "keytest/KeyTestCug.h"
#include "lang/Language.h"
#include "remote/CnComm.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"
#include "sim/SimulatedBus.h"
#include "station/ColorStatic.h"
#include "station/ORV318PRODlg.h"
#include "station/StationUi.h"

using namespace orv;

namespace {

const QString kMac = QStringLiteral("00:1a:7d:da:71:13");

QString Scenario(const QString& productId) {
    return QStringLiteral(
               "[Adapter]\nProductId=%1\nFirmware=6.1.0 build 1022\nReplyDelayMs=1\n"
               "ControlSocket=\n"
               "[Headset1]\nName=Line Headset\nMac=00:1a:7d:da:71:13\nRssi=-47\nBattery=80\n"
               "BatteryReport=iphoneaccev\nProfiles=hfp,a2dp,avrcp\nHfpVolume=9\n"
               "AvrcpVolume=55\nMicLevelDb=-12\nMicToneHz=1000\n"
               "Keys=20:VOL+,40:VOL-,60:PLAY/PAUSE,80:NEXT,100:PREVIOUS\nKeysRepeatMs=150\n"
               "Faults=\n")
        .arg(productId);
}

}  // namespace

class TestStationWindow final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    sim::CSimulatedBus* m_sim = nullptr;  // owned by the window

    std::unique_ptr<CORV318PRODlg> MakeWindow(const QString& productId, bool plugged = true) {
        const QString file = m_home.filePath(QStringLiteral("scenario.ini"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return nullptr;
        f.write(Scenario(productId).toUtf8());
        f.close();
        QString error;
        auto bus = sim::CSimulatedBus::Create(file, &error);
        if (!bus) {
            qWarning() << error;
            return nullptr;
        }
        m_sim = bus.get();
        if (!plugged && m_sim->Control(QStringLiteral("unplug")) != QLatin1String("OK"))
            return nullptr;
        auto w = std::make_unique<CORV318PRODlg>(std::move(bus), nullptr);
        // The simulated module needs none of the real module's pauses between commands.
        ModuleTiming timing;
        timing.closeAllPause = 20;
        timing.streamingStopPause = 50;
        timing.notifyPause = 5;
        timing.codecPause = 5;
        timing.initLinePause = 1;
        w->Link()->SetTiming(timing);
        w->show();
        return w;
    }

    static QPushButton* Button(CORV318PRODlg* w, int id) {
        return w->findChild<QPushButton*>(ControlName(id));
    }

    // The window with the adapter open and the headset connected by MAC pair.
    std::unique_ptr<CORV318PRODlg> Connected() {
        auto w = MakeWindow(QStringLiteral("0x5750"));
        if (!w)
            return nullptr;
        if (!QTest::qWaitFor([&] { return w->Link()->IsOpen(); }, 5000))
            return nullptr;
        w->MacEdit()->setText(kMac);
        Button(w.get(), IDC_MAC_PAIR)->click();
        if (!QTest::qWaitFor(
                [&] { return w->BluetoothLabel()->GetText() == StationText(IDS_BT_CONNECTED); },
                10000))
            return nullptr;
        return w;
    }

    static QString LogText() {
        QFile f(CLogWriter::Instance()->path());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        SetHeadlessUi(true);  // message boxes log and return
        QVERIFY(LoadLanguage(1, {QStringLiteral(ORV_BINARY_DIR "/bin")}));
        const QString p = GetConfigPath();
        SetTopMost(p, 0);
        SetSearchTimeOut(p, 3);
    }

    void init() {
        const QString p = GetConfigPath();
        SetKeyCheckTimes(p, 1);
        SetDeviceSelect(p, 0);
        SetAutoTestItem(p, 8, 1);
        SetViewMode(p, 0);
    }

    void startsWithoutAdapterThenPlugsInSecondType() {
        auto w = MakeWindow(QStringLiteral("0x5751"), false);
        QVERIFY(w);
        QSignalSpy opened(w.get(), &CORV318PRODlg::adapterOpened);
        QVERIFY(opened.wait(3000));
        QCOMPARE(opened.first().first().toBool(), false);
        QCOMPARE(w->AdapterLabel()->GetText(), QStringLiteral("Dongle\nDisconnected"));
        QCOMPARE(w->AdapterLabel()->GetBkColor(), kRed);
        QCOMPARE(w->BluetoothLabel()->GetText(), QStringLiteral("BT\nDisconnected"));

        QCOMPARE(m_sim->Control(QStringLiteral("plug")), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->IsOpen(), 5000);
        QCOMPARE(w->AdapterLabel()->GetText(), QStringLiteral("Dongle\nConnected"));
        QCOMPARE(w->AdapterLabel()->GetBkColor(), kGreen);
        auto* type = w->findChild<QComboBox*>(ControlName(IDC_DEVICE_TYPE));
        QCOMPARE(type->currentIndex(), 1);
        QCOMPARE(w->Link()->ProductId(), kAdapterProductIdB);

        // Unplugged again: closed at once, the label red.
        QCOMPARE(m_sim->Control(QStringLiteral("unplug")), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(!w->Link()->IsOpen(), 5000);
        QCOMPARE(w->AdapterLabel()->GetBkColor(), kRed);
        QVERIFY(LogText().contains(QLatin1String("DEVICE REMOVE COMPLETE")));
    }

    void macPairRejectsInvalidMacs_data() {
        QTest::addColumn<QString>("mac");
        QTest::newRow("short first pair") << QStringLiteral("0:1A:7D:DA:71:13");
        QTest::newRow("five pairs") << QStringLiteral("00:1A:7D:DA:71");
        QTest::newRow("seven pairs") << QStringLiteral("00:1A:7D:DA:71:13:14");
        QTest::newRow("not hex") << QStringLiteral("0G:1A:7D:DA:71:13");
        QTest::newRow("dashes") << QStringLiteral("00-1A-7D-DA-71-13");
        QTest::newRow("odd digits") << QStringLiteral("001A7DDA711");
        QTest::newRow("empty") << QString();
    }
    void macPairRejectsInvalidMacs() {
        QFETCH(QString, mac);
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->IsOpen(), 5000);
        w->MacEdit()->setText(mac);
        Button(w.get(), IDC_MAC_PAIR)->click();
        // No attempt: no counter, the label stays red, the MAC stays selected for re-entry.
        QVERIFY(!w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        QCOMPARE(w->BluetoothLabel()->GetBkColor(), kRed);
        QCOMPARE(w->MacEdit()->selectedText(), mac);
        QTest::qWait(50);
        QVERIFY(w->Link()->GetTargetMac().isEmpty());
    }

    void macPairConnects_data() {
        QTest::addColumn<QString>("mac");
        QTest::newRow("colons") << QStringLiteral("00:1A:7D:DA:71:13");
        QTest::newRow("bare") << QStringLiteral("001A7DDA7113");
    }
    void macPairConnects() {
        QFETCH(QString, mac);
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->IsOpen(), 5000);
        w->MacEdit()->setText(mac);
        Button(w.get(), IDC_MAC_PAIR)->click();
        QVERIFY(w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        // A second press while the attempt runs starts nothing more.
        Button(w.get(), IDC_SEARCH)->click();
        QVERIFY(!w->TimerActive(CORV318PRODlg::TIMER_SEARCHING));
        QTRY_COMPARE_WITH_TIMEOUT(w->BluetoothLabel()->GetText(), QStringLiteral("BT\nConnected"),
                                  10000);
        QCOMPARE(w->BluetoothLabel()->GetBkColor(), kGreen);
        QVERIFY(!w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        QCOMPARE(w->Link()->GetTargetMac(), kMac);
        QTRY_VERIFY(w->DeviceList()->rowCount() >= 1);
        QCOMPARE(w->DeviceList()->item(0, 1)->text(), kMac);
        QCOMPARE(w->DeviceList()->item(0, 2)->text(), QStringLiteral("Paired"));
        QVERIFY(LogText().contains(QLatin1String("Clicked Button MacConnect")));
    }

    void autoPairSearchPairAndSearch_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("log");
        QTest::addColumn<bool>("connects");
        QTest::newRow("auto pair") << int(IDC_AUTO_PAIR) << "AutoConnect" << true;
        QTest::newRow("search pair") << int(IDC_SEARCH_PAIR) << "SearchConnect" << true;
        QTest::newRow("search") << int(IDC_SEARCH) << "Inquiry" << false;
    }
    void autoPairSearchPairAndSearch() {
        QFETCH(int, button);
        QFETCH(QString, log);
        QFETCH(bool, connects);
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->IsOpen(), 5000);
        Button(w.get(), button)->click();
        // The counter runs while the worker does (the label turns yellow at its first tick).
        QVERIFY(w->TimerActive(CORV318PRODlg::TIMER_CONNECTING) ||
                w->TimerActive(CORV318PRODlg::TIMER_SEARCHING));
        QTRY_VERIFY_WITH_TIMEOUT(!w->TimerActive(CORV318PRODlg::TIMER_CONNECTING) &&
                                     !w->TimerActive(CORV318PRODlg::TIMER_SEARCHING),
                                 15000);
        QCOMPARE(w->BluetoothLabel()->GetBkColor(), connects ? kGreen : kRed);
        QVERIFY(!w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        QVERIFY(!w->TimerActive(CORV318PRODlg::TIMER_SEARCHING));
        QVERIFY(w->DeviceList()->rowCount() >= 1);  // the headset is listed
        QCOMPARE(w->DeviceList()->item(0, 1)->text(), kMac);
        QVERIFY(LogText().contains(QStringLiteral("Clicked Button ") + log));
    }

    void disconnectAndReset() {
        auto w = Connected();
        QVERIFY(w);
        w->RssiLabel()->Show(QStringLiteral("-47 dBm"), kGreen);
        Button(w.get(), IDC_DISCONNECT)->click();
        QCOMPARE(w->BluetoothLabel()->GetText(), QStringLiteral("BT\nDisconnected"));
        QCOMPARE(w->RssiLabel()->GetBkColor(), kClearedGrey);
        QVERIFY(w->Link()->GetTargetMac().isEmpty());

        Button(w.get(), IDC_RESET)->click();
        QCOMPARE(w->BluetoothLabel()->GetBkColor(), kRed);
        QVERIFY(LogText().contains(QLatin1String("ORV318Pro: Reset successed!")));
        QVERIFY(LogText().contains(QLatin1String("Clicked Button Reset")));
    }

    void modeVolumeBandAndInformation() {
        auto w = Connected();
        QVERIFY(w);
        Button(w.get(), IDC_MODE_HFP)->click();
        QCOMPARE(w->Link()->AudioState(), 2);
        QTRY_COMPARE(w->DeviceList()->item(0, 3)->text(), QStringLiteral("HFP"));
        Button(w.get(), IDC_MODE_A2DP)->click();
        QCOMPARE(w->Link()->AudioState(), 1);
        QTRY_COMPARE(w->DeviceList()->item(0, 3)->text(), QStringLiteral("A2DP"));

        const int before = w->Link()->Parser().State().avrcpVolume;
        Button(w.get(), IDC_VOL_UP)->click();
        // Each volume key waits for the headset's notification; generous for sanitizer builds.
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->Parser().State().avrcpVolume > before, 20000);
        const int up = w->Link()->Parser().State().avrcpVolume;
        Button(w.get(), IDC_VOL_DOWN)->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->Parser().State().avrcpVolume < up, 20000);

        w->findChild<QWidget*>(ControlName(IDC_NARROW_BAND))->setFocus();
        QTest::mouseClick(w->findChild<QWidget*>(ControlName(IDC_NARROW_BAND)), Qt::LeftButton);
        QCOMPARE(GetBandWidth(GetConfigPath()), 1);
        QTest::mouseClick(w->findChild<QWidget*>(ControlName(IDC_WIDE_BAND)), Qt::LeftButton);
        QCOMPARE(GetBandWidth(GetConfigPath()), 0);

        Button(w.get(), IDC_READ_INFO)->click();
        QTRY_COMPARE(w->DeviceList()->item(0, 5)->text(), QStringLiteral("80"));
        QCOMPARE(w->DeviceList()->item(0, 0)->text(), QStringLiteral("Line Headset"));
        const QString log = LogText();
        for (const char* name : {"ModeHfp", "ModeA2dp", "Volume Up", "Volume Down", "Radio Nowbs",
                                 "Radio Wbs", "ReadInfo"})
            QVERIFY2(log.contains(QStringLiteral("Clicked Button ") + QLatin1String(name)), name);
    }

    void volumeWithoutHeadsetDoesNothing() {
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->IsOpen(), 5000);
        const QString before = m_sim->Control(QStringLiteral("state"));
        Button(w.get(), IDC_VOL_UP)->click();
        QCOMPARE(m_sim->Control(QStringLiteral("state")), before);
    }

    void keyTestPassesAfterThreePressesOfEachKey() {
        SetKeyCheckTimes(GetConfigPath(), 3);
        auto w = Connected();
        QVERIFY(w);
        QSignalSpy done(w->KeyTest(), &CBTKeyTest::keyTestDone);
        QSignalSpy keys(w->KeyTest(), &CBTKeyTest::keyEvent);
        Button(w.get(), IDC_KEY_START)->click();
        QVERIFY(!Button(w.get(), IDC_KEY_START)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->Parser().State().waitMode == kWaitKeys, 5000);
        QCOMPARE(m_sim->Control(QStringLiteral("keys ") + kMac), QStringLiteral("OK"));

        // The first press turns a field green, but PASS needs three of every key.
        auto* volUp = w->findChild<CColorStatic*>(ControlName(IDC_KEYLABEL_VOLUP));
        QTRY_COMPARE_WITH_TIMEOUT(volUp->GetText(), QStringLiteral("1"), 5000);
        QCOMPARE(volUp->GetBkColor(), kGreen);
        QVERIFY(w->findChild<CColorStatic*>(ControlName(IDC_KEY_RESULT))->GetText().isEmpty());

        QVERIFY(done.wait(10000));
        auto* result = w->findChild<CColorStatic*>(ControlName(IDC_KEY_RESULT));
        QCOMPARE(result->GetText(), QStringLiteral("PASS"));
        QCOMPARE(result->GetBkColor(), kGreen);
        // Presses already on their way when PASS stopped the worker may still count.
        for (int key = 1; key <= 5; ++key)
            QVERIFY(w->KeyTest()->Count(key) >= 3);
        QVERIFY(keys.size() >= 15);
        QVERIFY(Button(w.get(), IDC_KEY_START)->isEnabled());
        QVERIFY(!Button(w.get(), IDC_KEY_STOP)->isEnabled());
        QCOMPARE(w->KeyStrip()->KeyCountText(1), QString::number(w->KeyTest()->Count(1)));
        // The module is free again for the next operation.
        QCOMPARE(w->Link()->Parser().State().waitMode, int(kWaitNone));
    }

    void macPairDuringKeyTestStopsItFirst() {
        auto w = Connected();
        QVERIFY(w);
        QSignalSpy done(w->KeyTest(), &CBTKeyTest::keyTestDone);
        Button(w.get(), IDC_KEY_START)->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->Parser().State().waitMode == kWaitKeys, 5000);
        Button(w.get(), IDC_MAC_PAIR)->click();
        QVERIFY(!w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        QVERIFY(done.wait(5000));
        Button(w.get(), IDC_MAC_PAIR)->click();
        QVERIFY(w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        QTRY_VERIFY_WITH_TIMEOUT(!w->TimerActive(CORV318PRODlg::TIMER_CONNECTING), 10000);
    }

    void linksDroppedResetsAndShowsDisconnected() {
        auto w = Connected();
        QVERIFY(w);
        QCOMPARE(m_sim->Control(QStringLiteral("drop ") + kMac), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(w->BluetoothLabel()->GetText(),
                                  QStringLiteral("BT\nDisconnected"), 8000);
        QCOMPARE(w->BluetoothLabel()->GetBkColor(), kRed);
        QVERIFY(LogText().contains(QLatin1String("ORV318Pro: Auto disconnect")));
        QVERIFY(w->Link()->IsOpen());
    }

    void viewModeCommands() {
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        QCOMPARE(w->size(), QSize(CORV318PRODlg::kNormalWidth, CORV318PRODlg::kNormalHeight));
        const QPoint corner = w->pos();
        w->OnMenuCommand(CORV318PRODlg::ID_FLOAT_WINDOW);
        QCOMPARE(w->ViewMode(), 1);
        QCOMPARE(w->size(), QSize(300, 150));
        QVERIFY(w->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(w->pos(), corner);
        QVERIFY(w->KeyStrip()->isVisible());  // the key test item is on
        QCOMPARE(w->KeyStrip()->geometry().bottom() < w->MacEdit()->geometry().top(), true);
        QVERIFY(w->BluetoothLabel()->geometry().bottom() < w->KeyStrip()->geometry().top());
        QVERIFY(!Button(w.get(), IDC_SEARCH)->isVisible());
        QCOMPARE(w->cursor().shape(), Qt::PointingHandCursor);
        QSignalSpy applied(w.get(), &CORV318PRODlg::viewLayoutApplied);
        w->OnMenuCommand(CORV318PRODlg::ID_FLOAT_WINDOW);  // already float: nothing
        QCOMPARE(applied.size(), 0);

        std::unique_ptr<QMenu> menu(w->BuildContextMenu());
        auto checked = [&](int id) {
            for (QAction* a : menu->actions()) {
                if (a->data().toInt() == id)
                    return a->isChecked();
            }
            return false;
        };
        QVERIFY(checked(CORV318PRODlg::ID_FLOAT_WINDOW));
        QVERIFY(!checked(CORV318PRODlg::ID_NORMAL_WINDOW));
        QVERIFY(!checked(CORV318PRODlg::ID_TOP_MOST));

        w->OnMenuCommand(CORV318PRODlg::ID_NORMAL_WINDOW);
        QCOMPARE(w->size(), QSize(CORV318PRODlg::kNormalWidth, CORV318PRODlg::kNormalHeight));
        QVERIFY(!w->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(w->BluetoothLabel()->geometry(), QRect(150, 32, 105, 70));
        QCOMPARE(w->MacEdit()->geometry(), QRect(368, 153, 138, 26));
        QVERIFY(!w->KeyStrip()->isVisible());
        QVERIFY(Button(w.get(), IDC_SEARCH)->isVisible());

        w->OnMenuCommand(CORV318PRODlg::ID_TOP_MOST);
        QVERIFY(w->TopMost());
        QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(GetTopMost(GetConfigPath()), 1);
        w->OnMenuCommand(CORV318PRODlg::ID_TOP_MOST);
        QCOMPARE(GetTopMost(GetConfigPath()), 0);
    }

    void floatViewWithoutKeyItemHasNoStrip() {
        SetAutoTestItem(GetConfigPath(), 8, 0);
        SetViewMode(GetConfigPath(), 1);  // starts floating
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        QCOMPARE(w->ViewMode(), 1);
        QCOMPARE(w->size(), QSize(300, 150));
        QVERIFY(!w->KeyStrip()->isVisible());
        QVERIFY(w->BluetoothLabel()->geometry().bottom() < w->MacEdit()->geometry().top());
        QCOMPARE(w->MacEdit()->geometry().bottom(), 149);
    }

    void remoteMacConnectAndKeys() {
        // A pseudo-terminal pair stands in for the line controller's cable.
        const QString station = m_home.filePath(QStringLiteral("station-tty"));
        const QString line = m_home.filePath(QStringLiteral("line-tty"));
        QProcess socat;
        socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + station,
                                              QStringLiteral("pty,raw,echo=0,link=") + line});
        QVERIFY(socat.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(station) && QFile::exists(line), 5000);
        const QString p = GetConfigPath();
        SetSerialPortName(p, station);
        SetSerialPort(p, 1, 9600, 1);
        SetKeyCheckTimes(p, 1);

        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->IsOpen(), 5000);
        QVERIFY(w->RemotePort()->IsOpen());
        QSerialPort controller(line);
        QVERIFY(controller.open(QIODevice::ReadWrite));
        QByteArray got;
        auto readUntil = [&](const QByteArray& text) {
            return QTest::qWaitFor(
                [&] {
                    got += controller.readAll();
                    return got.contains(text);
                },
                10000);
        };
        // Without colons, as a scanner sends it: connects like 00:1A:7D:DA:71:13.
        controller.write("MACCONNECT:001A7DDA7113\r\n");
        QVERIFY2(readUntil("OK"), got.constData());
        QCOMPARE(w->Link()->GetTargetMac(), kMac);
        QCOMPARE(w->MacEdit()->text(), QStringLiteral("001A7DDA7113"));

        got.clear();
        controller.write("STARTKEY");
        QVERIFY2(readUntil("OK"), got.constData());
        // The simulated operator presses every key once: each is reported on the line, and one
        // press of each passes with KeyCheckTimes 1.
        QVERIFY2(readUntil("NEXT"), got.constData());
        QVERIFY2(readUntil("PLAY/PAUSE") && readUntil("VOL+") && readUntil("PREVIOUS"),
                 got.constData());
        QTRY_COMPARE_WITH_TIMEOUT(
            w->findChild<CColorStatic*>(ControlName(IDC_KEY_RESULT))->GetText(),
            QStringLiteral("PASS"), 10000);

        // An invalid MAC starts nothing: the MAC field is emptied for the operator.
        got.clear();
        controller.write("STOPKEY");
        QVERIFY2(readUntil("OK"), got.constData());
        controller.write("MACCONNECT:0:1A:7D:DA:71:13");
        QTRY_VERIFY(w->MacEdit()->text().isEmpty());
        QVERIFY(!w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));

        controller.close();
        w.reset();
        SetSerialPort(p, 1, 9600, 0);
        socat.terminate();
        socat.waitForFinished(3000);
    }

    void floatViewTakesNewSizeAfterSettings() {
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        w->OnMenuCommand(CORV318PRODlg::ID_FLOAT_WINDOW);
        const QPoint corner = w->pos();
        SetSimpleWidth(GetConfigPath(), 400);
        SetSimpleHeight(GetConfigPath(), 200);
        w->ReapplySettings();
        QCOMPARE(w->size(), QSize(400, 200));
        QCOMPARE(w->pos(), corner);
        QCOMPARE(w->MacEdit()->geometry(), QRect(0, 175, 400, 25));
        QCOMPARE(w->KeyStrip()->geometry().top(), 150);
        QCOMPARE(w->BluetoothLabel()->geometry(), QRect(0, 0, 400, 150));
        // A size the float view cannot use is not taken.
        SetSimpleWidth(GetConfigPath(), 10);
        w->ReapplySettings();
        QCOMPARE(w->width(), 400);
        SetSimpleWidth(GetConfigPath(), 300);
        SetSimpleHeight(GetConfigPath(), 150);
    }

    void startsTopMostAndEnterPairs() {
        SetTopMost(GetConfigPath(), 1);
        auto w = MakeWindow(QStringLiteral("0x5750"));
        SetTopMost(GetConfigPath(), 0);
        QVERIFY(w);
        QVERIFY(w->TopMost());
        QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        std::unique_ptr<QMenu> menu(w->BuildContextMenu());
        QVERIFY(menu->findChild<QAction*>(QStringLiteral("ID_32772"))->isChecked());

        QTRY_VERIFY_WITH_TIMEOUT(w->Link()->IsOpen(), 5000);
        w->MacEdit()->setText(kMac);
        w->MacEdit()->setFocus();
        QTest::keyClick(w->MacEdit(), Qt::Key_Return);
        QVERIFY(w->isVisible());  // Enter never closes the window
        QVERIFY(w->TimerActive(CORV318PRODlg::TIMER_CONNECTING));
        QTRY_COMPARE_WITH_TIMEOUT(w->BluetoothLabel()->GetText(), QStringLiteral("BT\nConnected"),
                                  10000);
    }

    void switchesAreWrittenAtOnce() {
        auto w = MakeWindow(QStringLiteral("0x5750"));
        QVERIFY(w);
        auto* item = w->findChild<QCheckBox*>(ControlName(IDC_ITEM_HFP_RECORD));
        item->setChecked(!item->isChecked());
        QCOMPARE(GetAutoTestItem(GetConfigPath(), 6), item->isChecked() ? 1 : 0);
        auto* key = w->findChild<QCheckBox*>(ControlName(IDC_KEY_NEXT));
        key->setChecked(false);
        QCOMPARE(GetKeyNext(GetConfigPath()), 0);
        auto* label = w->findChild<CColorStatic*>(ControlName(IDC_KEYLABEL_NEXT));
        QCOMPARE(label->GetBkColor(), kKeyOff);
        key->setChecked(true);
        QCOMPARE(GetKeyNext(GetConfigPath()), 1);
        QCOMPARE(label->GetBkColor(), kKeyOn);
    }
};

QTEST_MAIN(TestStationWindow)
#include "tst_station_window.moc"
