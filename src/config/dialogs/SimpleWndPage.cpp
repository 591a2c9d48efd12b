#include "config/dialogs/SimpleWndPage.h"

#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "config/dialogs/NumberField.h"
#include "lang/Language.h"
#include "lang/UiFonts.h"

namespace orv {

CSimpleWndPage::CSimpleWndPage(const QString& configPath, int width, int height, QWidget* parent)
    : CBaseDlg(parent, true), m_configPath(configPath) {
    setObjectName(QStringLiteral("CSimpleWndPage"));
    auto* group = new QGroupBox(UiCaption(kSimpleWndPage, IDC_SIZE_GROUP), this);
    group->setObjectName(ControlName(IDC_SIZE_GROUP));
    auto* grid = new QGridLayout(group);
    const auto addField = [&](int id, int row) {
        auto* label = new QLabel(UiCaption(kSimpleWndPage, id), group);
        label->setObjectName(ControlName(id) + QStringLiteral("_LABEL"));
        auto* edit = new QLineEdit(group);
        edit->setObjectName(ControlName(id));
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("000000")) +
                              12);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    m_width = addField(IDC_WIDTH, 0);
    m_height = addField(IDC_HEIGHT, 1);

    m_font = new QPushButton(UiCaption(kSimpleWndPage, IDC_FONT), this);
    m_font->setObjectName(ControlName(IDC_FONT));
    m_font->setAutoDefault(false);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 8);
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(group);
    groupRow->addStretch(1);
    top->addLayout(groupRow);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_font);
    buttonRow->addStretch(1);
    top->addLayout(buttonRow);
    top->addStretch(1);

    InitBaseLook();
    m_width->setText(QString::number(width));
    m_height->setText(QString::number(height));
    connect(m_font, &QPushButton::clicked, this, [this] { ChooseFont(); });
}

bool CSimpleWndPage::ReadControls(int* width, int* height) {
    const std::optional<int> w = ParseIntField(m_width->text());
    if (!w) {
        FailField(m_width, IntNumberMessage());
        return false;
    }
    const std::optional<int> h = ParseIntField(m_height->text());
    if (!h) {
        FailField(m_height, IntNumberMessage());
        return false;
    }
    *width = *w;
    *height = *h;
    return true;
}

bool CSimpleWndPage::Store(int width, int height) {
    bool ok = SetSimpleWidth(m_configPath, width);
    ok = SetSimpleHeight(m_configPath, height) && ok;
    return ok;
}

void CSimpleWndPage::ChooseFont() {
    // The chooser's own widgets, so it looks and behaves the same on every desktop; the chosen
    // font takes effect at once and reaches the file when the main window saves its settings.
    QFontDialog chooser(GetUiFonts().simple, this);
    chooser.setObjectName(QStringLiteral("SimpleFontChooser"));
    chooser.setOption(QFontDialog::DontUseNativeDialog, true);
    if (chooser.exec() != QDialog::Accepted) {
        return;
    }
    SetSimpleWindowFont(chooser.selectedFont());
    m_fontChanged = true;
    emit simpleFontChanged();
}

}  // namespace orv
