#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>

#include "station/OneKeyTest.h"

namespace orv {

class CORV318PRODlg;

// The one-key test's view of the main window: link operations run on the test's thread (they
// wait for the module), everything that touches a widget runs on the window's thread while the
// test's thread waits. After Abort no window work is started and no wait goes on, so the
// window can join the test while it is being destroyed.
class COneKeyDialogHost final : public IOneKeyHost {
public:
    explicit COneKeyDialogHost(CORV318PRODlg* dlg);

    void SetTestWindow(IOneKeyTestWindow* window) { m_window.store(window); }
    void Abort();

    QString ReadName() override;
    int Battery() override;
    int ReadRssi() override;
    bool HfpReady() override;
    bool A2dpReady() override;
    int StartA2dp() override;
    int OpenHfpAudio(int kind) override;
    void RingTest() override;
    int Hangup() override;
    int SendCallIndicator(int ringing) override;

    void SetBluetoothLabel(const QString& text, bool good) override;
    void SetBatteryLabel(const QString& text, bool good) override;
    void SetRssiLabel(const QString& text, bool good) override;
    void RefreshDeviceList() override;
    void SetTestStage(int stage) override;
    void ShowMessage(const QString& text) override;
    void TestDone() override;
    bool TakeStopRequest() override;
    void ItemBegins(int step) override;

    void PressPlay() override;
    void PressStop() override;
    bool MusicPlaying() override;
    void PressRecord() override;
    bool Recording() override;
    void StopRecord() override;
    double RecordMaxLevel() override;
    bool RecordLevelPass() override;
    void PressRecordPlay() override;
    void PressRecordStop() override;
    bool PlaybackPlaying() override;
    void PressKeyStart() override;
    bool KeyTestRunning() override;
    void StopKeyTest() override;

    IOneKeyTestWindow* TestWindow() override { return m_window.load(); }
    QString Text(int id) override;

private:
    // Runs `work` on the window's thread and waits for it; false (not run) after Abort.
    bool OnGui(const std::function<void()>& work);

    struct Gate;
    CORV318PRODlg* m_dlg;
    std::shared_ptr<Gate> m_gate;
    std::atomic<IOneKeyTestWindow*> m_window{nullptr};
};

// Builds the one-key test of `dlg`: the starter behind its one-key test button and the window
// hook. The returned test lives as long as the window (a child object); it is aborted and
// joined before the window's own members go.
class COneKeyTestOwner final : public QObject {
    Q_OBJECT
public:
    explicit COneKeyTestOwner(CORV318PRODlg* dlg);
    ~COneKeyTestOwner() override;

    COneKeyTest& Test() { return *m_test; }
    COneKeyDialogHost& Host() { return *m_host; }
    // Stops a running test for good and waits for its thread.
    void Shutdown();

private:
    std::unique_ptr<COneKeyDialogHost> m_host;
    std::unique_ptr<COneKeyTest> m_test;
};

}  // namespace orv
