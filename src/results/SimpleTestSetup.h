#pragma once

#include <QObject>
#include <QPointer>

namespace orv {

class CORV318PRODlg;
class COneKeyTestOwner;
class CTestWnd;

// Joins the main window, the one-key test and the simple test window: the one-key test button
// starts OneKeyTestThread, the simple-window command shows CTestWnd (created on first use), and
// the test ends before the window's link goes. A child of the main window.
class CSimpleTestSetup final : public QObject {
    Q_OBJECT
public:
    explicit CSimpleTestSetup(CORV318PRODlg* dlg);

    // The simple test window, created (hidden) on first use.
    CTestWnd* Window();
    COneKeyTestOwner* OneKey() const { return m_oneKey; }

private:
    CORV318PRODlg* m_dlg;
    COneKeyTestOwner* m_oneKey;
    QPointer<CTestWnd> m_wnd;
};

}  // namespace orv
