#include "station/StationUi.h"

#include "lang/UiFonts.h"

namespace orv {

QString ControlName(int id) {
    return QStringLiteral("IDC_%1").arg(id);
}

QFont MakeUiFont(int logicalHeight, int weight) {
    QFont font(UiFontFace());
    // A positive logical height is the character cell; the glyphs take about 4/5 of it.
    font.setPixelSize(qMax(6, logicalHeight * 4 / 5));
    font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    return font;
}

QFont DialogFont() {
    return GetUiFonts().dialog;
}

}  // namespace orv
