#pragma once

#include "config/dialogs/BaseDlg.h"

class QComboBox;

namespace orv {

// Page 4: the UI language, taken into use at the next start of the program.
class CLangPage final : public CBaseDlg {
    Q_OBJECT
public:
    enum ControlId : int { IDC_LANG = 1073 };

    CLangPage(const QString& configPath, QWidget* parent);

    // 0 Chinese, 1 English.
    int Selected() const;
    // Writes [Lang] "Lang" with the selected index.
    bool Store(int index);

private:
    QString m_configPath;
    QComboBox* m_lang = nullptr;
};

}  // namespace orv
