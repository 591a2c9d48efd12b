#pragma once

#include "config/dialogs/BaseDlg.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace orv {

// Page 3: automatic saving of every result and the database it goes to. The path is an SQLite
// file (a .mdb name is an SQLite file here too), "odbc:<connection string>" or
// "postgresql://user@host/dbname".
class CAutoSavePage final : public CBaseDlg {
    Q_OBJECT
public:
    enum ControlId : int {
        IDC_FILE_PATH = 1075,
        IDC_BROWSE = 1076,
        IDC_AUTO_SAVE = 1077,
    };

    CAutoSavePage(const QString& configPath, QWidget* parent);

    // False, after reporting it, when saving is on and no path is given: every result would be
    // lost at the end of its test.
    bool ReadControls(bool* isSave, QString* filePath);
    // Writes [AutoSave] "IsSave" and "FilePath".
    bool Store(bool isSave, const QString& filePath);

    // The open-file chooser's filter: SQLite files, Access files, all files.
    static QString BrowseFilter();

private:
    void UpdateEnabled();
    void Browse();

    QString m_configPath;
    QCheckBox* m_autoSave = nullptr;
    QLineEdit* m_path = nullptr;
    QPushButton* m_browse = nullptr;
};

}  // namespace orv
