#include "lang/UiFonts.h"

#include <QFontDatabase>
#include <QWidget>

#include <optional>

namespace orv {
namespace {

// Only touched on the GUI thread.
std::optional<UiFonts> g_fonts;

QFont MakeFont(const QString& face, int pixelHeight) {
    QFont f(face);
    // A positive LOGFONT height is the character cell height in pixels.
    f.setPixelSize(pixelHeight);
    f.setWeight(QFont::Normal);  // 400
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    f.setStyleHint(QFont::SansSerif);  // variable pitch, Swiss family
    return f;
}

QString ChooseFace() {
    const QStringList installed = QFontDatabase::families();
    auto has = [&installed](const QString& face) {
        return installed.contains(face, Qt::CaseInsensitive);
    };
    const char* const kPreferred[] = {
        "微软雅黑",          "Microsoft YaHei",     "Noto Sans CJK SC",
        "Noto Sans SC",      "Source Han Sans SC",  "WenQuanYi Micro Hei",
        "WenQuanYi Zen Hei", "Droid Sans Fallback", "AR PL UMing CN"};
    for (const char* face : kPreferred) {
        const QString name = QString::fromUtf8(face);
        if (has(name)) {
            return name;
        }
    }
    // Any face that covers Simplified Chinese; else whatever the toolkit uses by default.
    for (const QString& family : installed) {
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese)) {
            return family;
        }
    }
    return QFont().family();
}

UiFonts& Fonts() {
    if (!g_fonts) {
        const QString face = UiFontFace();
        g_fonts = UiFonts{MakeFont(face, 17), MakeFont(face, 16)};
    }
    return *g_fonts;
}

}  // namespace

QString UiFontFace() {
    static const QString face = ChooseFace();
    return face;
}

UiFonts GetUiFonts() {
    return Fonts();
}

void SetSimpleWindowFont(const QFont& font) {
    Fonts().simple = font;
}

void ApplyDialogFont(QWidget* dialog) {
    if (dialog == nullptr) {
        return;
    }
    const QFont f = Fonts().dialog;
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        child->setFont(f);
    }
}

void ReleaseUiFonts() {
    g_fonts.reset();
}

}  // namespace orv
