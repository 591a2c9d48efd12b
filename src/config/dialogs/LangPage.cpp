#include "config/dialogs/LangPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "lang/Language.h"

namespace orv {

CLangPage::CLangPage(const QString& configPath, QWidget* parent)
    : CBaseDlg(parent, true), m_configPath(configPath) {
    setObjectName(QStringLiteral("CLangPage"));
    auto* label = new QLabel(UiCaption(kLangPage, IDC_LANG), this);
    label->setObjectName(ControlName(IDC_LANG) + QStringLiteral("_LABEL"));
    m_lang = new QComboBox(this);
    m_lang->setObjectName(ControlName(IDC_LANG));
    m_lang->addItems(UiListEntries(kLangPage, IDC_LANG));
    auto* note = new QLabel(UiCaption(kLangPage, kLangPageNote), this);
    note->setObjectName(QStringLiteral("IDC_LANG_NOTE"));
    note->setWordWrap(true);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_lang);
    row->addStretch(1);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 8);
    top->addLayout(row);
    top->addWidget(note);
    top->addStretch(1);
    InitBaseLook();

    // 1 is English; any other stored value means Chinese.
    m_lang->setCurrentIndex(GetLang(m_configPath) == 1 ? 1 : 0);
}

int CLangPage::Selected() const {
    return qMax(0, m_lang->currentIndex());
}

bool CLangPage::Store(int index) {
    return SetLang(m_configPath, index);
}

}  // namespace orv
