#pragma once

#include <QDialog>
#include <QString>

class QKeyEvent;
class QShowEvent;

namespace orv {

// Resource ids of the settings dialog and its pages (the others are in lang/Language.h).
inline constexpr int kSettingsDialog = 133;  // the container with the tabs, OK and Cancel
inline constexpr int kSimpleWndPage = 132;   // simple window page
inline constexpr int kAutoSavePage = 138;    // auto save page

// Base of the settings dialog and of each of its pages: the dialog font on every child and the
// light grey background. A page is a frameless child of the tab control; it hands the keys it
// does not use to its parent, so Enter and Escape reach the container, and it never moves
// itself when shown (a top-level dialog centres itself over its parent).
class CBaseDlg : public QDialog {
    Q_OBJECT
public:
    // A page when `embedded`; otherwise a dialog window of its own.
    CBaseDlg(QWidget* parent, bool embedded);

    // Object name of the control with resource id `id` ("IDC_1029").
    static QString ControlName(int id);

    // Background red 240, green 240, blue 240.
    static void ApplyBackground(QWidget* w);

protected:
    // Gives every child the dialog font and sets the background; called once the children exist.
    void InitBaseLook();

    // A field failed its check on OK: brings the page to the front of its tab control, shows
    // `message` and puts the focus on the field (its text selected).
    void FailField(QWidget* field, const QString& message);

    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

// Second base of the audio settings page and the serial port page: one text member that these
// pages leave empty.
class CCommonInfo {
public:
    QString m_info;
};

}  // namespace orv
