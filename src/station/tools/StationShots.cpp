// Renders the main window against the simulated adapter into PNG files: the normal view with a
// connected headset and the float view, in the language given. Used by scripts/screenshots.
//   orv-station-shots OUTDIR LANG(0 Chinese, 1 English) SCENARIO
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "adapter/AdapterLink.h"
#include "adapter/Transport.h"
#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "lang/Language.h"
#include "shell/AppOptions.h"
#include "station/ColorStatic.h"
#include "station/ORV318PRODlg.h"
#include "station/StationUi.h"

using namespace orv;

static int Fail(const QString& why) {
    QTextStream(stderr) << "orv-station-shots: " << why << '\n';
    return 1;
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return Fail(QStringLiteral("usage: orv-station-shots OUTDIR LANG SCENARIO"));
    const QString out = args[1];
    const int lang = args[2].toInt();
    const QString tag = lang == 1 ? QStringLiteral("en") : QStringLiteral("zh");
    QDir().mkpath(out);

    QTemporaryDir home;
    SetAppHome(home.path());
    SetHeadlessUi(true);
    const QString config = GetConfigPath();
    SetLang(config, lang);
    SetTopMost(config, 0);
    if (lang == 1 && !LoadLanguage(1, {QCoreApplication::applicationDirPath()}))
        return Fail(QStringLiteral("the English library is missing"));

    QString error;
    auto bus = CreateReportBus(QStringLiteral("sim:") + args[3], &error);
    if (!bus)
        return Fail(error);
    CORV318PRODlg w(std::move(bus), nullptr);
    w.move(0, 0);
    w.show();
    if (!QTest::qWaitFor([&] { return w.Link()->IsOpen(); }, 5000))
        return Fail(QStringLiteral("the simulated adapter did not open"));

    w.MacEdit()->setText(QStringLiteral("00:1A:7D:DA:71:13"));
    w.findChild<QPushButton*>(ControlName(IDC_MAC_PAIR))->click();
    if (!QTest::qWaitFor([&] { return w.Link()->Parser().IsConnected(); }, 15000))
        return Fail(QStringLiteral("the simulated headset did not connect"));
    // A connection flow still running after 5 s only shows in the picture; go on regardless.
    (void)QTest::qWaitFor([&] { return !w.TimerActive(CORV318PRODlg::TIMER_CONNECTING); }, 5000);
    w.findChild<QPushButton*>(ControlName(IDC_BATTERY))->click();
    w.findChild<QPushButton*>(ControlName(IDC_RSSI))->click();
    w.findChild<QPushButton*>(ControlName(IDC_READ_INFO))->click();
    QTest::qWait(500);
    w.MacEdit()->setText(QStringLiteral("00:1A:7D:DA:71:13"));
    w.RefreshDeviceList();
    QTest::qWait(200);
    if (!w.grab().save(QDir(out).filePath(QStringLiteral("main-normal-%1.png").arg(tag))))
        return Fail(QStringLiteral("cannot write to %1").arg(out));

    w.OnMenuCommand(CORV318PRODlg::ID_FLOAT_WINDOW);
    QTest::qWait(300);
    w.grab().save(QDir(out).filePath(QStringLiteral("main-float-%1.png").arg(tag)));
    w.OnMenuCommand(CORV318PRODlg::ID_NORMAL_WINDOW);
    return 0;
}
