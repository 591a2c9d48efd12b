#pragma once

#include <QFont>
#include <QString>

class QWidget;

// The process-wide font pair: created on first use (GUI thread), released by the exit step.
namespace orv {

struct UiFonts {
    QFont dialog;  // every dialog and settings page; the main window's status labels
    QFont simple;  // the float view and the simple test window's labels
};

// The pair, created on the first call: face "微软雅黑" when installed, otherwise an installed
// face that covers Chinese (Noto Sans CJK, Source Han Sans, WenQuanYi); 17 pixels high for the
// dialog font and 16 for the simple window font, normal weight.
UiFonts GetUiFonts();

// Replaces the simple window font (from [SimpleFont] at start-up, or the font chooser).
void SetSimpleWindowFont(const QFont& font);

// Gives every child widget of `dialog` the dialog font.
void ApplyDialogFont(QWidget* dialog);

// The exit step: forgets the pair (the next GetUiFonts builds it again).
void ReleaseUiFonts();

// The face the pair uses, chosen once from what is installed.
QString UiFontFace();

}  // namespace orv
