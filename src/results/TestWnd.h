#pragma once

#include <QDialog>
#include <QHash>
#include <QTimer>

#include <atomic>
#include <mutex>

#include "audio/TestItemInfo.h"
#include "results/TestResults.h"
#include "station/OneKeyTest.h"
#include "station/SimpleTestWindow.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orv {

class CColorStatic;
class CORV318PRODlg;
class CStatisticsCug;

// The simple test window: adapter banner, the grouped item list, the result label, the
// statistics, the MAC field and the run buttons. It owns the test record, the statistics and
// the saving of each finished test (CTestResults). The one-key test, the key test and the audio
// pages write into it from their threads; the rows are shown on the GUI thread.
class CTestWnd final : public QDialog,
                       public ISimpleTestWindow,
                       public IOneKeyTestWindow,
                       public ITestItemInfo {
    Q_OBJECT
public:
    enum ControlId : int {
        IDC_BANNER = 1066,
        IDC_ITEM_LIST = 1067,
        IDC_RESULT = 1068,
        IDC_SHOW_HIDE_MAIN = 1069,
        IDC_START_TEST = 1071,
        IDC_STOP_TEST = 1034,
        IDC_MAC = 1073,
        IDC_TEST_FAIL = 1078,
        IDC_BACK = 1079,
        IDC_STATISTICS = 4104,
    };
    enum TimerId : int { TIMER_RUN = 0, TIMER_NEXT = 1 };

    // `dlg` is the main window (its link, its Disconnect and its MAC connection); `journalPath`
    // is where rows wait for the database.
    explicit CTestWnd(CORV318PRODlg* dlg,
                      const QString& journalPath = CResultJournal::DefaultPath());
    ~CTestWnd() override;

    static QString ControlName(int id) { return QStringLiteral("IDC_%1").arg(id); }

    CTestResults& Results() { return m_results; }
    int Testing() const { return m_testing; }
    bool TimerActive(int timer) const;

    // ISimpleTestWindow / IOneKeyTestWindow (any thread; rows are updated before returning).
    bool IsShown() const override { return m_shown.load(); }
    void SetItemInfo(const QString& item, const QString& info) override;
    void SetItemResult(const QString& item, const QString& info, bool pass) override;
    void RestartItemClock() override;
    void SetHfpMaxLevel(double dbfs) override;
    void ArmNextTimer() override;
    void FinishFailed(int step) override;
    void FinishPassed() override;
    void OneKeyTestBegins() override {
        // Called by the starter before the test's thread runs and again by the thread: a
        // conclusion that came in between (the adapter pulled out at once) stands.
        int idle = kOneKeyIdle;
        if (m_oneKey.compare_exchange_strong(idle, kOneKeyRunning))
            RememberHeadset(true);
    }
    void OneKeyTestEnded() override { m_oneKey.store(kOneKeyIdle); }
    void ShowAdapterState(bool connected) override { SetAdapterState(connected ? 1 : 0); }
    void AdapterRemoved() override;

    // ITestItemInfo: the audio pages' time texts.
    bool IsTestWindowShown() const override { return IsShown(); }
    int TestStage() const override;
    void SetItemInfo(int itemStringId, const QString& text) override;

    void RebuildItemRows();
    void SetAdapterState(int connected);
    void ShowResult(int pass);

    // Buttons.
    void OnStartTest();
    void OnStopTest();
    void OnTestFail();
    void OnBack();
    void OnShowHideMain();

signals:
    // A finished test was counted (after FinishFailed / FinishPassed), on the GUI thread.
    void testFinished(bool pass, int failedStep);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Finish(bool pass, int step);
    // Keeps the headset's values while its link state still has them: a link lost mid-test, or
    // a Disconnect that stops the test, empties the link state before the conclusion saves.
    // `fresh` forgets the previous headset.
    void RememberHeadset(bool fresh = false);
    void ShowRows();
    void ShowRow(int row);
    void UpdateButtons();
    void OnMacEnter();
    void PlaceStatistics();
    void OnSaveFinished(const SaveReport& report);

    CORV318PRODlg* m_dlg;
    CTestResults m_results;
    std::atomic<bool> m_shown{false};
    // The one-key test's conclusion state: no test, running, running and concluded.
    enum : int { kOneKeyIdle, kOneKeyRunning, kOneKeyConcluded };
    std::atomic<int> m_oneKey{kOneKeyIdle};
    std::mutex m_headsetLock;  // guards m_lastHeadset
    HeadsetValues m_lastHeadset;
    int m_testing = 0;
    CColorStatic* m_banner = nullptr;
    QTreeWidget* m_list = nullptr;
    CColorStatic* m_resultLabel = nullptr;
    QLabel* m_saveStatus = nullptr;
    QLineEdit* m_mac = nullptr;
    QHash<int, QPushButton*> m_buttons;
    CStatisticsCug* m_stats = nullptr;
    QList<QTreeWidgetItem*> m_rowItems;  // tree item of each record row
    QTimer m_runTimer;                   // timer 0: the result label's run time, every 100 ms
    QTimer m_nextTimer;                  // timer 1: one shot, the MAC field gets the focus
};

}  // namespace orv
