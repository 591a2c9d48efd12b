#include "shell/ORV318PROApp.h"

#include <QDir>
#include <QPointer>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "config/AppHome.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "lang/Language.h"
#include "lang/MessageBox.h"
#include "lang/UiFonts.h"
#include "results/AutoTestRun.h"
#include "shell/CrashHandler.h"
#include "shell/ShutdownSignals.h"
#include "station/MainWindowFactory.h"

namespace orv {
namespace {
bool Unset(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr || *v == '\0';
}
}  // namespace

void CORV318PROApp::PrepareEnvironment() {
    if (Unset("DISPLAY") && Unset("WAYLAND_DISPLAY") && Unset("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    if (Unset("QT_MEDIA_BACKEND")) {
        setenv("QT_MEDIA_BACKEND", "ffmpeg", 1);
    }
}

CORV318PROApp::CORV318PROApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("ORV318PRO"));
}

int CORV318PROApp::InitInstance(const AppOptions& options) {
    if (!options.home.isEmpty()) {
        QDir().mkpath(options.home);
        SetAppHome(options.home);
    }
    // On the offscreen platform nobody can see, let alone click, a message box: one that waited
    // would hang the station for good, so such a run is headless whatever the options say.
    SetHeadlessUi(options.headless || platformName() == QLatin1String("offscreen"));

    InstallCrashHandler();
    const QString config = GetConfigPath();
    m_englishLoaded = LoadLanguage(GetLang(config));

    if (!options.autoTestMac.isEmpty())
        return RunAutoTestCommand(options);

    std::unique_ptr<QWidget> window = CreateMainWindow(options);
    if (!window) {
        ShowMessage(nullptr, UiString(155));
        return 1;
    }

    // SIGTERM and SIGINT close the window through the event loop, as a click on its close box
    // would, and then leave the loop even if the window chose to stay.
    CShutdownSignals shutdown;
    QPointer<QWidget> guarded(window.get());
    connect(&shutdown, &CShutdownSignals::requested, this, [guarded] {
        if (guarded) {
            guarded->close();
        }
        QCoreApplication::quit();
    });

    window->show();
    const int code = exec();
    window.reset();  // the window's destruction ends its run (END OF PROGRAM)
    return code;
}

void CORV318PROApp::ExitInstance() {
    ReleaseConfigPath();
    ReleaseUiFonts();
}

}  // namespace orv
