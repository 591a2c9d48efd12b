#include "lang/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include "lang/Language.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"

namespace orv {
namespace {

void ShowOnGuiThread(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption), text,
                    QMessageBox::Ok, owner);
    // The closest a Qt box comes to a system-modal one: it blocks every window of the program
    // and stays above other programs' windows.
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (IsEnglishUi()) {
        // The toolkit words its buttons in the system's language; an English UI gets English
        // buttons whatever the system's language is.
        const struct {
            QMessageBox::StandardButton id;
            const char* text;
        } kWords[] = {{QMessageBox::Yes, "&Yes"},
                      {QMessageBox::No, "&No"},
                      {QMessageBox::Ok, "&OK"},
                      {QMessageBox::Cancel, "&Cancel"},
                      {QMessageBox::Apply, "&Apply"}};
        for (const auto& w : kWords) {
            if (QAbstractButton* b = box.button(w.id)) {
                b->setText(QString::fromLatin1(w.text));
            }
        }
    }
    box.exec();
}

}  // namespace

void ShowMessage(QWidget* owner, const QString& text) {
    // Without a widget application (a console tool, a Qt Core test) there is no box to show.
    if (IsHeadlessUi() || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        LogInfo(QString::fromLatin1(kMessageCaption) + QStringLiteral(": ") + text);
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
        ShowOnGuiThread(owner, text);
        return;
    }
    QPointer<QWidget> guardedOwner(owner);
    QMetaObject::invokeMethod(
        app, [guardedOwner, text] { ShowOnGuiThread(guardedOwner.data(), text); },
        Qt::BlockingQueuedConnection);
}

}  // namespace orv
