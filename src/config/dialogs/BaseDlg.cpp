#include "config/dialogs/BaseDlg.h"

#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QShowEvent>
#include <QTabWidget>

#include "lang/MessageBox.h"
#include "lang/UiFonts.h"

namespace orv {

CBaseDlg::CBaseDlg(QWidget* parent, bool embedded) : QDialog(parent) {
    if (embedded) {
        // QDialog makes itself a window; a page is a plain child of the tab control.
        setWindowFlags(Qt::Widget);
    }
}

QString CBaseDlg::ControlName(int id) {
    return QStringLiteral("IDC_%1").arg(id);
}

void CBaseDlg::ApplyBackground(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, QColor(240, 240, 240));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void CBaseDlg::InitBaseLook() {
    ApplyDialogFont(this);
    ApplyBackground(this);
}

void CBaseDlg::FailField(QWidget* field, const QString& message) {
    for (QWidget* p = parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
            const int index = tabs->indexOf(this);
            if (index >= 0) {
                tabs->setCurrentIndex(index);
            }
            break;
        }
    }
    ShowMessage(window(), message);
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
        spin->selectAll();
    }
}

void CBaseDlg::keyPressEvent(QKeyEvent* event) {
    if (!isWindow()) {
        // A page would otherwise reject itself (hide) on Escape and look for its own default
        // button on Enter.
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CBaseDlg::showEvent(QShowEvent* event) {
    if (!isWindow()) {
        QWidget::showEvent(event);  // QDialog would move the page to centre it
        return;
    }
    QDialog::showEvent(event);
}

}  // namespace orv
