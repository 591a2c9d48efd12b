#include "results/StatisticsCug.h"

#include <QHeaderView>
#include <QResizeEvent>

#include "lang/Language.h"
#include "lang/UiFonts.h"
#include "results/TestRecord.h"

namespace orv {

namespace {
constexpr int kHeadingHeight = 20;  // pixels
constexpr int kRowHeight = 26;      // pixels
constexpr int kColumns = 4;
enum : int { kColPass, kColFail, kColRate, kColTotal };
}  // namespace

CStatisticsCug::CStatisticsCug(CStatistics* stats, QWidget* parent)
    : MyCug(parent), m_stats(stats) {
    SetDefFont(GetUiFonts().dialog);
    SetNumberCols(kColumns);
    SetNumberRows(1);
    SetTH_Height(kHeadingHeight);
    SetDefRowHeight(kRowHeight);
    for (int c = 0; c < kColumns; ++c) {
        QuickSetText(c, kHeadingRow, UiString(149 + c));  // Pass, Fail, Rate, Total
        QuickSetAlignment(c, 0, Qt::AlignCenter);
    }
    AddMenuItem(kResetCommand, QStringLiteral("清空"));
    connect(this, &MyCug::menuCommand, this, [this](int id, int, int) {
        if (id == kResetCommand)
            m_stats->Reset();
    });
    connect(m_stats, &CStatistics::changed, this, &CStatisticsCug::Refresh, Qt::QueuedConnection);
    LayoutColumns();
    Refresh();
}

void CStatisticsCug::Refresh() {
    QuickSetText(kColPass, 0, QString::number(m_stats->PassCount()));
    QuickSetText(kColFail, 0, QString::number(m_stats->FailCount()));
    QuickSetText(kColRate, 0, m_stats->RateText());
    QuickSetText(kColTotal, 0, QString::number(m_stats->Total()));
    RedrawAll();
}

void CStatisticsCug::LayoutColumns() {
    const int width = viewport()->width() / kColumns;
    for (int c = 0; c < kColumns; ++c)
        SetColWidth(c, width);
}

void CStatisticsCug::resizeEvent(QResizeEvent* event) {
    MyCug::resizeEvent(event);
    LayoutColumns();
}

}  // namespace orv
