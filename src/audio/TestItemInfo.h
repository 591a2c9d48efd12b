#pragma once

#include <QString>

namespace orv {

// What the player and the recorder tell the simple test window: while it is shown and the
// one-key test is at the matching stage, the running item's row shows the player's time text
// or the recorder's elapsed time. The results side implements it and hands it to the pages.
class ITestItemInfo {
public:
    virtual ~ITestItemInfo() = default;
    // True while the simple test window is shown.
    virtual bool IsTestWindowShown() const = 0;
    // The one-key test's current stage (test step numbers: 5 A2DP listening, 6 HFP record,
    // 7 HFP listening), 0 when no test runs.
    virtual int TestStage() const = 0;
    // Shows `text` as the information of the item named by UI string `itemStringId`
    // (182 "A2DP listening", 185 HFP record, 187 "HFP listening").
    virtual void SetItemInfo(int itemStringId, const QString& text) = 0;
};

// UI string identifiers of the items the audio pages report on.
inline constexpr int kItemA2dpListening = 182;
inline constexpr int kItemHfpRecord = 185;
inline constexpr int kItemHfpListening = 187;

}  // namespace orv
