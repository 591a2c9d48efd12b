#include "config/dialogs/AutoSavePage.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "lang/Language.h"
#include "lang/MessageBox.h"

namespace orv {
namespace {

constexpr int kPathEmptyText = 216;  // "File path is empty"

}  // namespace

QString CAutoSavePage::BrowseFilter() {
    return QStringLiteral("SQLite (*.db *.sqlite *.sqlite3);;文本文件(*.mdb);;所有文件(*.*)");
}

CAutoSavePage::CAutoSavePage(const QString& configPath, QWidget* parent)
    : CBaseDlg(parent, true), m_configPath(configPath) {
    setObjectName(QStringLiteral("CAutoSavePage"));
    m_autoSave = new QCheckBox(UiCaption(kAutoSavePage, IDC_AUTO_SAVE), this);
    m_autoSave->setObjectName(ControlName(IDC_AUTO_SAVE));
    auto* label = new QLabel(UiCaption(kAutoSavePage, IDC_FILE_PATH), this);
    label->setObjectName(ControlName(IDC_FILE_PATH) + QStringLiteral("_LABEL"));
    m_path = new QLineEdit(this);
    m_path->setObjectName(ControlName(IDC_FILE_PATH));
    m_path->setMinimumWidth(m_path->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 40);
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_browse->setObjectName(ControlName(IDC_BROWSE));
    m_browse->setAutoDefault(false);
    m_browse->setFixedWidth(m_browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_path, 1);
    row->addWidget(m_browse);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 8);
    top->addWidget(m_autoSave);
    top->addLayout(row);
    top->addStretch(1);
    InitBaseLook();

    m_autoSave->setChecked(GetAutoSaveIsSave(m_configPath) != 0);
    m_path->setText(GetAutoSaveFilePath(m_configPath));
    UpdateEnabled();
    connect(m_autoSave, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { Browse(); });
}

void CAutoSavePage::UpdateEnabled() {
    const bool on = m_autoSave->isChecked();
    m_path->setEnabled(on);
    m_browse->setEnabled(on);
}

void CAutoSavePage::Browse() {
    // An existing database or the name of a new one (created with its table on the first save).
    QFileDialog chooser(this, QString(), QFileInfo(m_path->text()).absolutePath(), BrowseFilter());
    chooser.setObjectName(QStringLiteral("AutoSaveFileChooser"));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setDefaultSuffix(QStringLiteral("db"));
    if (chooser.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList files = chooser.selectedFiles();
    const QString chosen = files.isEmpty() ? QString() : files.first();
    if (chosen.isEmpty()) {
        ShowMessage(window(), UiString(kPathEmptyText));
        return;
    }
    m_path->setText(chosen);
}

bool CAutoSavePage::ReadControls(bool* isSave, QString* filePath) {
    const bool on = m_autoSave->isChecked();
    const QString path = m_path->text().trimmed();
    if (on && path.isEmpty()) {
        FailField(m_path, UiString(kPathEmptyText));
        return false;
    }
    *isSave = on;
    *filePath = path;
    return true;
}

bool CAutoSavePage::Store(bool isSave, const QString& filePath) {
    bool ok = SetAutoSaveIsSave(m_configPath, isSave ? 1 : 0);
    ok = SetAutoSaveFilePath(m_configPath, filePath) && ok;
    return ok;
}

}  // namespace orv
