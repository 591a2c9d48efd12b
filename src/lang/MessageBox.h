#pragma once

#include <QString>

class QWidget;

namespace orv {

// Caption of every message box of the station.
inline constexpr const char* kMessageCaption = "ORV318Pro";

// The station's message box: modal over the whole application and kept on top, caption
// "ORV318Pro", one OK button (worded "&OK" when the English UI is loaded, the toolkit's own
// words otherwise). Returns when the box is closed. With --headless it writes
// "ORV318Pro: <text>" to the log and returns at once. From a worker thread the box is shown on
// the GUI thread and the worker waits for it: the GUI thread must not be waiting on that worker.
void ShowMessage(QWidget* owner, const QString& text);

}  // namespace orv
