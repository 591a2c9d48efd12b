#pragma once

#include "config/dialogs/BaseDlg.h"

class QLineEdit;
class QPushButton;

namespace orv {

// Page 1: the float window's size and the shared simple window font.
class CSimpleWndPage final : public CBaseDlg {
    Q_OBJECT
public:
    enum ControlId : int {
        IDC_FONT = 3,
        IDC_WIDTH = 1012,
        IDC_HEIGHT = 1013,
        IDC_SIZE_GROUP = 2001,
    };

    // `width` and `height`: the size the main window uses now (pixels).
    CSimpleWndPage(const QString& configPath, int width, int height, QWidget* parent);

    // Reads width and height back (whole numbers, no range); false after reporting the field.
    bool ReadControls(int* width, int* height);
    // Writes [General Info] "SimpleWidth" and "SimpleHeight" as entered.
    bool Store(int width, int height);

    // True once the font chooser replaced the shared simple window font.
    bool FontChanged() const { return m_fontChanged; }

signals:
    void simpleFontChanged();

private:
    void ChooseFont();

    QString m_configPath;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_height = nullptr;
    QPushButton* m_font = nullptr;
    bool m_fontChanged = false;
};

}  // namespace orv
