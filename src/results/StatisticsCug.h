#pragma once

#include "grid/MyCug.h"

namespace orv {

class CStatistics;

// The statistics strip of the simple test window: "Pass", "Fail", "Rate", "Total" over one
// row of counts. Its right-button menu resets the counters.
class CStatisticsCug final : public MyCug {
    Q_OBJECT
public:
    static constexpr int kResetCommand = 32780;

    // `stats` outlives the grid.
    explicit CStatisticsCug(CStatistics* stats, QWidget* parent = nullptr);

    // Shows the counters and the rate.
    void Refresh();
    // Columns equally wide: the client width / 4.
    void LayoutColumns();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CStatistics* m_stats;
};

}  // namespace orv
