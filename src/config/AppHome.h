#pragma once

#include <QString>

namespace orv {

// The folder that holds config.ini, log/, crash/, temp.wav and wav/. It is the executable's
// folder unless the program was started with --home DIR (tests, the demo, and installed systems
// whose program folder is read-only). Set once at start-up, before any other thread exists.
void SetAppHome(const QString& dir);

// Absolute path of the home folder, without a trailing slash.
QString AppHome();

// AppHome() joined with a relative name ("config.ini", "log", "wav/20-20k.wav").
QString AppHomePath(const QString& relative);

}  // namespace orv
