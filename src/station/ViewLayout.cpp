#include <QActionGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

#include "config/Settings.h"
#include "keytest/KeyTestCug.h"
#include "shell/LogWriter.h"
#include "station/ColorStatic.h"
#include "station/ORV318PRODlg.h"
#include "station/StationUi.h"

// The view modes of the main window: the normal panel, the small borderless float window that
// shows the headset status, the MAC field and the key count strip, and top-most.
namespace orv {

namespace {
constexpr int kStripHeight = 25;
constexpr int kMacHeight = 25;
}  // namespace

QMenu* CORV318PRODlg::BuildContextMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("ContextMenu130"));
    auto add = [&](int command, bool checkable, bool checked) {
        QAction* a = menu->addAction(MenuText(command));
        a->setData(command);
        a->setObjectName(QStringLiteral("ID_%1").arg(command));
        a->setCheckable(checkable);
        a->setChecked(checked);
        return a;
    };
    add(ID_NORMAL_WINDOW, true, m_viewMode == 0);
    add(ID_FLOAT_WINDOW, true, m_viewMode == 1);
    add(ID_TOP_MOST, true, m_topMost);
    add(ID_SIMPLE_WINDOW, false, false);
    menu->addSeparator();
    add(ID_BT_SETTINGS, false, false);
    menu->addSeparator();
    add(ID_CLOSE, false, false);
    return menu;
}

void CORV318PRODlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = BuildContextMenu();
    QAction* chosen = menu->exec(event->globalPos());
    const int command = chosen ? chosen->data().toInt() : 0;
    delete menu;
    if (command != 0)
        OnMenuCommand(command);
    event->accept();
}

void CORV318PRODlg::OnMenuCommand(int command) {
    switch (command) {
        case ID_NORMAL_WINDOW:
            if (m_viewMode != 0) {
                m_viewMode = 0;
                ApplyViewLayout(0);
            }
            break;
        case ID_FLOAT_WINDOW:
            if (m_viewMode != 1) {
                m_viewMode = 1;
                ApplyViewLayout(1);
            }
            break;
        case ID_TOP_MOST:
            m_topMost = !m_topMost;
            ApplyTopMost(true);
            SetTopMost(m_configPath, m_topMost ? 1 : 0);
            break;
        case ID_SIMPLE_WINDOW:
            OnSimpleWindow();
            break;
        case ID_BT_SETTINGS:
            OnBluetoothSettings();
            break;
        case ID_CLOSE:
            OnClose();
            break;
        default:
            break;
    }
}

void CORV318PRODlg::ApplyTopMost(bool toFront) {
    // Changing the flags hides a shown window; position and size are kept.
    const bool wasVisible = isVisible();
    const QRect g = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_topMost);
    if (wasVisible) {
        setGeometry(g);
        show();
    }
    if (m_topMost && toFront && isVisible()) {
        raise();
        activateWindow();
    }
}

void CORV318PRODlg::SetFrameless(bool frameless) {
    if (windowFlags().testFlag(Qt::FramelessWindowHint) == frameless)
        return;
    const bool wasVisible = isVisible();
    const QPoint topLeft = pos();
    setWindowFlag(Qt::FramelessWindowHint, frameless);
    move(topLeft);
    if (wasVisible)
        show();
}

bool CORV318PRODlg::KeyItemOn() const {
    QCheckBox* box = m_checks.value(IDC_ITEM_KEY);
    return box ? box->isChecked() : GetAutoTestItem(m_configPath, 8) != 0;
}

void CORV318PRODlg::PlaceFloat(int width, int height) {
    const bool keyOn = KeyItemOn();
    // Status label on top, the key count strip (when the key test is an item) and the MAC field
    // at the bottom, each the full width; nothing overlaps.
    const int bottom = height - kMacHeight - (keyOn ? kStripHeight : 0);
    m_btLabel->setGeometry(0, 0, width, qMax(10, bottom));
    m_btLabel->setFrameStyle(QFrame::NoFrame);
    m_btLabel->SetFont(m_simpleFont);
    m_btLabel->SetAutoSize(true);
    m_macEdit->setGeometry(0, height - kMacHeight, width, kMacHeight);
    if (keyOn) {
        m_keyStrip->setParent(this);
        m_keyStrip->setGeometry(0, bottom, width, kStripHeight - 1);
        m_keyStrip->show();
        m_keyStrip->RedrawAll();
    } else {
        m_keyStrip->hide();
    }
    m_btLabel->update();
}

void CORV318PRODlg::ApplyViewLayout(int mode) {
    const QPoint topLeft = pos();
    if (mode == 1) {
        for (QObject* child : children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (!w || w->isWindow())
                continue;
            if (w != m_btLabel && w != m_macEdit && w != m_keyStrip)
                w->hide();
        }
        SetFrameless(true);
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setGeometry(QRect(topLeft, QSize(m_simpleWidth, m_simpleHeight)));
        move(topLeft);
        setFixedSize(m_simpleWidth, m_simpleHeight);
        PlaceFloat(m_simpleWidth, m_simpleHeight);
        m_btLabel->show();
        m_macEdit->show();
        setCursor(Qt::PointingHandCursor);
    } else {
        m_keyStrip->hide();
        SetFrameless(false);
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        move(topLeft);
        setFixedSize(kNormalWidth, kNormalHeight);
        m_btLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_btLabel->SetFont(m_statusFont);
        m_btLabel->SetAutoSize(false);
        for (auto it = m_normalGeometry.cbegin(); it != m_normalGeometry.cend(); ++it) {
            it.key()->setGeometry(it.value());
            it.key()->show();
        }
        m_btLabel->update();
        unsetCursor();
        m_dragging = false;
    }
    emit viewLayoutApplied(mode);
}

void CORV318PRODlg::RelayoutFloatAfterSettings() {
    if (m_viewMode != 1) {
        m_btLabel->SetFont(m_statusFont);
        m_btLabel->update();
        return;
    }
    const QPoint topLeft = pos();
    setFixedSize(m_simpleWidth, m_simpleHeight);
    move(topLeft);
    PlaceFloat(m_simpleWidth, m_simpleHeight);
}

void CORV318PRODlg::mousePressEvent(QMouseEvent* event) {
    // In the float view the whole window is its own caption: the left button drags it.
    if (m_viewMode == 1 && event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CORV318PRODlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void CORV318PRODlg::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

}  // namespace orv
