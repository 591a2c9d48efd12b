#pragma once

#include <QObject>
#include <QPointer>

#include <array>

#include "keytest/KeyTestWorker.h"

namespace orv {

class CAdapterLink;
class CColorStatic;
class CWorkerPool;
class ISimpleTestWindow;
class KeyTestCug;

// The key test page: counts the headset's key presses, colours the five key fields, judges PASS
// and reports every key to the main window. Lives on the GUI thread; its worker runs on a pool
// thread and reaches it only through queued signals.
class CBTKeyTest final : public QObject {
    Q_OBJECT
public:
    CBTKeyTest(CAdapterLink* link, CWorkerPool* pool, QObject* parent = nullptr);
    ~CBTKeyTest() override;

    // The fields, indexed by key code (1 VOL+, 2 VOL-, 3 Play/Pause, 4 Next, 5 Previous), and
    // the result field.
    void SetFields(const std::array<CColorStatic*, 6>& keyFields, CColorStatic* resultField);
    void SetGrid(KeyTestCug* grid) { m_grid = grid; }
    void SetTestWindow(ISimpleTestWindow* window) { m_testWnd = window; }

    // Zeroes the counts; key fields white (enabled) or light grey (disabled) without text; the
    // result field white and empty; the grid's count cells emptied.
    void Reset();
    // 1 when the worker was started. Shows string 184 and returns 0 in A2DP mode without the
    // A2DP and AVRCP links.
    int Start();
    // Asks the worker to end (Key Stop, STOPKEY, the PASS rule, a connection button).
    void Stop();
    // Safe from any thread (the one-key test polls it).
    bool IsRunning() const { return m_worker.IsRunning(); }
    int Count(int keyCode) const { return m_judge.Count(keyCode); }

    // One key press (WM_KEYTEST_KEY): count, colour, judge, report.
    void OnKey(int keyCode);

signals:
    // Every key seen, enabled or not (the main window reports it on the remote port).
    void keyEvent(int keyCode);
    // The worker has ended (WM_KEYTEST_DONE).
    void keyTestDone();
    // Streaming was started for the test: the device list has news.
    void linkInfoChanged();

private:
    void OnWorkerFinished();
    void ReportRows(const CKeyJudge::Outcome& o);
    // The simple window's rows of the volume keys and of the media keys, with their counts.
    QString VolumeRowText() const;
    QString MediaRowText() const;

    CAdapterLink* const m_link;
    CWorkerPool* const m_pool;
    CKeyTestWorker m_worker;
    CKeyJudge m_judge;
    std::array<CColorStatic*, 6> m_fields{};
    CColorStatic* m_result = nullptr;
    QPointer<KeyTestCug> m_grid;
    ISimpleTestWindow* m_testWnd = nullptr;
};

}  // namespace orv
