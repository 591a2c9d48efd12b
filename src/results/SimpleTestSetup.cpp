#include "results/SimpleTestSetup.h"

#include "audio/BTPlayMusic.h"
#include "audio/BTRecordSound.h"
#include "results/TestWnd.h"
#include "station/ORV318PRODlg.h"
#include "station/OneKeyDialogHost.h"

namespace orv {

CSimpleTestSetup::CSimpleTestSetup(CORV318PRODlg* dlg)
    : QObject(dlg), m_dlg(dlg), m_oneKey(new COneKeyTestOwner(dlg)) {
    dlg->SetDestroyHook([this] { m_oneKey->Shutdown(); });
    dlg->SetSimpleWindowToggle([this](QWidget*) {
        CTestWnd* wnd = Window();
        if (wnd->isVisible()) {
            wnd->close();
            return false;
        }
        wnd->show();
        wnd->raise();
        return true;
    });
}

CTestWnd* CSimpleTestSetup::Window() {
    if (!m_wnd) {
        m_wnd = new CTestWnd(m_dlg);
        m_dlg->SetSimpleTestWindow(m_wnd);
        m_oneKey->Host().SetTestWindow(m_wnd);
        m_dlg->MusicPlayer()->SetItemInfo(m_wnd);
        m_dlg->RecordPlayer()->SetItemInfo(m_wnd);
        m_dlg->Recorder()->SetItemInfo(m_wnd);
    }
    return m_wnd;
}

}  // namespace orv
