#include "keytest/KeyTestCug.h"

#include <QHeaderView>
#include <QResizeEvent>

#include "station/StationUi.h"

namespace orv {

namespace {
constexpr int kCells = 3;
}

KeyTestCug::KeyTestCug(QWidget* parent) : MyCug(parent) {
    SetNumberCols(2 * kCells);
    SetNumberRows(1);
    SetTH_Height(0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    SetDefFont(MakeUiFont(14));
    SetLabels();
}

int KeyTestCug::CountColumn(int keyCode) {
    return keyCode >= 1 && keyCode <= kCells ? 2 * (keyCode - 1) + 1 : -1;
}

void KeyTestCug::SetLabels() {
    static const int ids[kCells] = {IDS_KEY_VOLUP, IDS_KEY_VOLDOWN, IDS_KEY_PLAYPAUSE};
    for (int i = 0; i < kCells; ++i) {
        QuickSetText(2 * i, 0, StationText(ids[i]));
        QuickSetBackColor(2 * i, 0, QColor(230, 230, 230));
    }
    RedrawAll();
}

void KeyTestCug::SetKeyCount(int keyCode, int count) {
    const int col = CountColumn(keyCode);
    if (col < 0)
        return;
    QuickSetText(col, 0, QString::number(count));
    RedrawAll();
}

QString KeyTestCug::KeyCountText(int keyCode) const {
    const int col = CountColumn(keyCode);
    return col < 0 ? QString() : QuickGetText(col, 0);
}

void KeyTestCug::ClearCounts() {
    for (int key = 1; key <= kCells; ++key)
        QuickSetText(CountColumn(key), 0, QString());
    RedrawAll();
}

void KeyTestCug::resizeEvent(QResizeEvent* event) {
    MyCug::resizeEvent(event);
    // The strip always fills its width: labels take 3/5 of a key's share, counts the rest.
    const int w = event->size().width();
    const int share = w / kCells;
    for (int i = 0; i < kCells; ++i) {
        const int label = share * 3 / 5;
        SetColWidth(2 * i, label);
        SetColWidth(2 * i + 1, (i == kCells - 1 ? w - share * (kCells - 1) : share) - label);
    }
    SetDefRowHeight(event->size().height());
}

}  // namespace orv
