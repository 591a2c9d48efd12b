#include "shell/PlaceholderWindow.h"

#include "lang/Language.h"
#include "lang/UiFonts.h"
#include "shell/LogWriter.h"

namespace orv {

CPlaceholderWindow::CPlaceholderWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(UiCaption(kMainDialog, kDialogTitle));
    resize(1036, 574);  // the main window's normal size
    ApplyDialogFont(this);
}

CPlaceholderWindow::~CPlaceholderWindow() {
    LogTrace(QString::fromLatin1(kEndOfProgram));
}

void CPlaceholderWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_started) {
        m_started = true;
        LogTrace(QString::fromLatin1(kStartOfProgram));
    }
}

}  // namespace orv
