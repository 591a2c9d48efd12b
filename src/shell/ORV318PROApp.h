#pragma once

#include <QApplication>

#include "shell/AppOptions.h"

// The application object: the start-up sequence before the main window exists and the exit
// step after it has gone.
namespace orv {

class CORV318PROApp final : public QApplication {
    Q_OBJECT
public:
    // Environment the toolkit reads while the application object is built; call before it:
    // the offscreen platform when there is no display and no QT_QPA_PLATFORM, and the FFmpeg
    // media backend unless QT_MEDIA_BACKEND names another.
    static void PrepareEnvironment();

    CORV318PROApp(int& argc, char** argv);

    // Home folder, crash handler, settings path, language, then the main window until it is
    // closed or SIGTERM/SIGINT arrives. Returns the process exit code.
    int InitInstance(const AppOptions& options);

    // Releases the settings path and the shared fonts.
    void ExitInstance();

    // True when the English resource library was loaded (m_langLibrary of the original).
    bool englishLoaded() const { return m_englishLoaded; }

private:
    bool m_englishLoaded = false;
};

}  // namespace orv
