#pragma once

#include "grid/MyCug.h"

namespace orv {

// The key count strip: one row of label and count cells for VOL+, VOL- and Play/Pause, shown
// under the status label in the float view. Next and Previous have no cells.
class KeyTestCug final : public MyCug {
    Q_OBJECT
public:
    explicit KeyTestCug(QWidget* parent = nullptr);

    // Shows `count` in the cell of key `keyCode` (1 VOL+, 2 VOL-, 3 Play/Pause); other codes
    // have no cell and are ignored.
    void SetKeyCount(int keyCode, int count);
    // The text of the count cell of `keyCode` ("" for a key without a cell).
    QString KeyCountText(int keyCode) const;
    // Empties the three count cells.
    void ClearCounts();
    // Re-reads the label texts (after the language or the font changed).
    void SetLabels();

    // Column of the count cell of `keyCode`, -1 when the key has no cell.
    static int CountColumn(int keyCode);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace orv
