#pragma once

#include <memory>

class QWidget;

namespace orv {

struct AppOptions;

// The program's main window, built after the settings path and the language are chosen. The
// application shows it, runs the event loop until it closes and destroys it at the end.
std::unique_ptr<QWidget> CreateMainWindow(const AppOptions& options);

}  // namespace orv
