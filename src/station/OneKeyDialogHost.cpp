#include "station/OneKeyDialogHost.h"

#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

#include "adapter/AdapterLink.h"
#include "audio/BTPlayMusic.h"
#include "audio/BTRecordSound.h"
#include "config/Config.h"
#include "keytest/BTKeyTest.h"
#include "keytest/KeyTestCug.h"
#include "lang/Language.h"
#include "lang/MessageBox.h"
#include "module/ModuleParser.h"
#include "station/ColorStatic.h"
#include "station/ORV318PRODlg.h"
#include "station/StationUi.h"

namespace orv {

// Hand-over between the test's thread and the window's thread.
struct COneKeyDialogHost::Gate {
    std::mutex lock;  // guards aborted and every job's done flag
    std::condition_variable wake;
    bool aborted = false;
};

COneKeyDialogHost::COneKeyDialogHost(CORV318PRODlg* dlg)
    : m_dlg(dlg), m_gate(std::make_shared<Gate>()) {}

void COneKeyDialogHost::Abort() {
    {
        std::lock_guard<std::mutex> lock(m_gate->lock);
        m_gate->aborted = true;
    }
    m_gate->wake.notify_all();
}

bool COneKeyDialogHost::OnGui(const std::function<void()>& work) {
    if (QThread::currentThread() == m_dlg->thread()) {
        work();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    std::shared_ptr<Gate> gate = m_gate;
    {
        std::lock_guard<std::mutex> lock(gate->lock);
        if (gate->aborted)
            return false;
    }
    // Queued, not blocking-queued: a window being destroyed aborts the wait instead of
    // waiting for a test that waits for it. The job looks at the gate before it runs.
    QMetaObject::invokeMethod(
        m_dlg,
        [gate, done, work] {
            {
                std::lock_guard<std::mutex> lock(gate->lock);
                if (gate->aborted)
                    return;
            }
            work();
            {
                std::lock_guard<std::mutex> lock(gate->lock);
                *done = true;
            }
            gate->wake.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(gate->lock);
    gate->wake.wait(lock, [&] { return *done || gate->aborted; });
    return *done;
}

QString COneKeyDialogHost::ReadName() {
    CAdapterLink* link = m_dlg->Link();
    return link ? link->ReadName() : QString();
}

int COneKeyDialogHost::Battery() {
    CAdapterLink* link = m_dlg->Link();
    return link ? link->Parser().Read([](const LinkState& s) { return s.battery; }) : -1;
}

int COneKeyDialogHost::ReadRssi() {
    CAdapterLink* link = m_dlg->Link();
    return link ? link->ReadRssi() : -1;
}

bool COneKeyDialogHost::HfpReady() {
    CAdapterLink* link = m_dlg->Link();
    return link && link->Parser().Read([](const LinkState& s) { return s.hfpLink >= 0; });
}

bool COneKeyDialogHost::A2dpReady() {
    CAdapterLink* link = m_dlg->Link();
    return link && link->Parser().Read(
                       [](const LinkState& s) { return s.a2dpLink >= 0 && s.avrcpLink >= 0; });
}

int COneKeyDialogHost::StartA2dp() {
    CAdapterLink* link = m_dlg->Link();
    return link ? link->StartA2dp() : 0;
}

int COneKeyDialogHost::OpenHfpAudio(int kind) {
    CAdapterLink* link = m_dlg->Link();
    return link ? link->OpenHfpAudio(kind) : 0;
}

void COneKeyDialogHost::RingTest() {
    if (CAdapterLink* link = m_dlg->Link())
        link->RingTest();
}

int COneKeyDialogHost::Hangup() {
    CAdapterLink* link = m_dlg->Link();
    return link ? link->Hangup() : 0;
}

int COneKeyDialogHost::SendCallIndicator(int ringing) {
    CAdapterLink* link = m_dlg->Link();
    return link ? link->SendCallIndicator(ringing) : 0;
}

void COneKeyDialogHost::SetBluetoothLabel(const QString& text, bool good) {
    OnGui([&] { m_dlg->SetLabel(m_dlg->BluetoothLabel(), text, good ? kGreen : kRed); });
}

void COneKeyDialogHost::SetBatteryLabel(const QString& text, bool good) {
    OnGui([&] { m_dlg->SetLabel(m_dlg->BatteryLabel(), text, good ? kGreen : kRed); });
}

void COneKeyDialogHost::SetRssiLabel(const QString& text, bool good) {
    OnGui([&] {
        if (text.isEmpty()) {
            m_dlg->RssiLabel()->Show(QString(), kClearedGrey);
            m_dlg->RssiLabel()->repaint();
        } else {
            m_dlg->SetLabel(m_dlg->RssiLabel(), text, good ? kGreen : kRed);
        }
    });
}

void COneKeyDialogHost::RefreshDeviceList() {
    OnGui([&] { m_dlg->RefreshDeviceList(); });
}

void COneKeyDialogHost::SetTestStage(int stage) {
    OnGui([&] { m_dlg->SetTestStage(stage); });
}

void COneKeyDialogHost::ShowMessage(const QString& text) {
    OnGui([&] { orv::ShowMessage(m_dlg, text); });
}

void COneKeyDialogHost::TestDone() {
    OnGui([&] { m_dlg->OnTestDone(); });
}

bool COneKeyDialogHost::TakeStopRequest() {
    return m_dlg->TakeStopTestRequest();
}

void COneKeyDialogHost::ItemBegins(int step) {
    m_dlg->SetTestStep(step);
}

void COneKeyDialogHost::PressPlay() {
    OnGui([&] { m_dlg->OnPlay(); });
}

void COneKeyDialogHost::PressStop() {
    OnGui([&] { m_dlg->OnStop(); });
}

bool COneKeyDialogHost::MusicPlaying() {
    bool playing = false;
    OnGui([&] { playing = m_dlg->MusicPlayer()->GetState() == CBTPlayMusic::Running; });
    return playing;
}

void COneKeyDialogHost::PressRecord() {
    OnGui([&] { m_dlg->OnRecord(); });
}

bool COneKeyDialogHost::Recording() {
    return m_dlg->Recorder()->IsRecording();
}

void COneKeyDialogHost::StopRecord() {
    OnGui([&] { m_dlg->Recorder()->StopRecord(); });
}

double COneKeyDialogHost::RecordMaxLevel() {
    double level = 0;
    OnGui([&] { level = m_dlg->Recorder()->MaxLevel(); });
    return level;
}

bool COneKeyDialogHost::RecordLevelPass() {
    bool pass = false;
    OnGui([&] { pass = m_dlg->Recorder()->IsLevelPass() != 0; });
    return pass;
}

void COneKeyDialogHost::PressRecordPlay() {
    OnGui([&] { m_dlg->OnRecordPlay(); });
}

void COneKeyDialogHost::PressRecordStop() {
    OnGui([&] { m_dlg->OnRecordStop(); });
}

bool COneKeyDialogHost::PlaybackPlaying() {
    bool playing = false;
    OnGui([&] { playing = m_dlg->RecordPlayer()->GetState() == CBTPlayMusic::Running; });
    return playing;
}

void COneKeyDialogHost::PressKeyStart() {
    OnGui([&] { m_dlg->OnKeyStart(); });
}

bool COneKeyDialogHost::KeyTestRunning() {
    return m_dlg->KeyTest()->IsRunning();
}

void COneKeyDialogHost::StopKeyTest() {
    OnGui([&] { m_dlg->KeyTest()->Stop(); });
}

QString COneKeyDialogHost::Text(int id) {
    return UiString(id);
}

COneKeyTestOwner::COneKeyTestOwner(CORV318PRODlg* dlg)
    : QObject(dlg),
      m_host(std::make_unique<COneKeyDialogHost>(dlg)),
      m_test(std::make_unique<COneKeyTest>(m_host.get(), GetConfigPath())) {
    dlg->SetOneKeyTestStarter([this, dlg] {
        dlg->SetTestRunning(true);
        // The window knows of the test from now on, so that a link or adapter lost before the
        // thread gets going concludes this test, and only once.
        IOneKeyTestWindow* window = m_host->TestWindow();
        if (window)
            window->OneKeyTestBegins();
        if (!m_test->Start()) {
            if (window)
                window->OneKeyTestEnded();
            dlg->OnTestDone();  // the last run is still settling: nothing started
        }
    });
}

COneKeyTestOwner::~COneKeyTestOwner() {
    Shutdown();
}

void COneKeyTestOwner::Shutdown() {
    m_host->Abort();
    m_test->Abort();
    m_test->Join();
}

}  // namespace orv
