#pragma once

#include <QString>

namespace orv {

// What the main window and the key test tell the simple test window (the operator's view with
// the item list and the statistics). The results side implements it; every call is made on the
// GUI thread. Item and info texts are the UI texts of the rows ("MAC input", "BT connection").
class ISimpleTestWindow {
public:
    virtual ~ISimpleTestWindow() = default;
    virtual bool IsShown() const = 0;
    virtual void SetItemInfo(const QString& item, const QString& info) = 0;
    virtual void SetItemResult(const QString& item, const QString& info, bool pass) = 0;
    virtual void RestartItemClock() = 0;
    // Arms the window's 100 ms timer 1 (it readies the window for the next MAC).
    virtual void ArmNextTimer() = 0;
    // Saves the test as failed at `step`, disconnects, counts the failure (links dropped).
    virtual void FinishFailed(int step) = 0;
    virtual void ShowAdapterState(bool connected) = 0;
    // The adapter was unplugged.
    virtual void AdapterRemoved() = 0;
};

}  // namespace orv
