#include "keytest/BTKeyTest.h"

#include "adapter/AdapterLink.h"
#include "config/Settings.h"
#include "keytest/KeyPressParse.h"
#include "keytest/KeyTestCug.h"
#include "lang/MessageBox.h"
#include "station/ColorStatic.h"
#include "station/SimpleTestWindow.h"
#include "station/StationUi.h"
#include "station/WorkerPool.h"

namespace orv {

namespace {
std::array<bool, 6> EnabledKeys(const QString& path) {
    std::array<bool, 6> on{};
    on[kKeyVolUp] = GetKeyVolAdd(path) != 0;
    on[kKeyVolDown] = GetKeyVolDel(path) != 0;
    on[kKeyPlayPause] = GetKeyPlayPause(path) != 0;
    on[kKeyNext] = GetKeyNext(path) != 0;
    on[kKeyPrevious] = GetKeyPrevious(path) != 0;
    return on;
}
}  // namespace

CBTKeyTest::CBTKeyTest(CAdapterLink* link, CWorkerPool* pool, QObject* parent)
    : QObject(parent), m_link(link), m_pool(pool), m_worker(link) {
    connect(&m_worker, &CKeyTestWorker::keyPressed, this, &CBTKeyTest::OnKey,
            Qt::QueuedConnection);
    connect(&m_worker, &CKeyTestWorker::finished, this, &CBTKeyTest::OnWorkerFinished,
            Qt::QueuedConnection);
    connect(&m_worker, &CKeyTestWorker::a2dpStarted, this, &CBTKeyTest::linkInfoChanged,
            Qt::QueuedConnection);
    connect(
        &m_worker, &CKeyTestWorker::a2dpFailed, this,
        [this] {
            ShowMessage(qobject_cast<QWidget*>(this->parent()),
                        StationText(IDS_SWITCH_A2DP_FAILED));
        },
        Qt::QueuedConnection);
}

CBTKeyTest::~CBTKeyTest() {
    m_worker.RequestStop();
}

void CBTKeyTest::SetFields(const std::array<CColorStatic*, 6>& keyFields,
                           CColorStatic* resultField) {
    m_fields = keyFields;
    m_result = resultField;
}

void CBTKeyTest::Reset() {
    const QString path = GetConfigPath();
    m_judge.Reset(EnabledKeys(path), GetKeyCheckTimes(path), GetNeedKeyTimesCheck(path) != 0);
    for (int k = 1; k <= 5; ++k) {
        if (m_fields[size_t(k)])
            m_fields[size_t(k)]->Show(QString(), m_judge.Enabled(k) ? kKeyOn : kKeyOff);
    }
    if (m_result)
        m_result->Show(QString(), kKeyOn);
    if (m_grid)
        m_grid->ClearCounts();
}

int CBTKeyTest::Start() {
    Reset();
    if (!m_link || !m_pool)
        return 0;
    if (!m_judge.AnyEnabled())
        return 0;
    if (m_worker.IsRunning())
        return 0;  // one worker at a time; the running one keeps counting
    const int btMode = GetBTMode(GetConfigPath());
    if (btMode == 0) {
        const bool links = m_link->Parser().Read(
            [](const LinkState& s) { return s.avrcpLink >= 0 && s.a2dpLink >= 0; });
        if (!links) {
            ShowMessage(qobject_cast<QWidget*>(parent()), StationText(IDS_SWITCH_A2DP_FAILED));
            return 0;
        }
    }
    // Starting the stream waits for the module: the worker does it, so the window stays live.
    m_worker.Arm();
    m_pool->Run([this, btMode] { m_worker.Run(btMode); });
    return 1;
}

void CBTKeyTest::Stop() {
    m_worker.RequestStop();
}

void CBTKeyTest::OnKey(int keyCode) {
    const CKeyJudge::Outcome o = m_judge.Press(keyCode);
    if (o.counted) {
        if (CColorStatic* field = m_fields[size_t(keyCode)]) {
            if (o.fieldDone)
                field->SetBkColor(kGreen);
            field->SetText(QString::number(o.count));
            field->update();
        }
        if (m_testWnd && m_testWnd->IsShown()) {
            if (keyCode == kKeyVolUp || keyCode == kKeyVolDown) {
                m_testWnd->SetItemInfo(StationText(IDS_KEY_VOL_GROUP), VolumeRowText());
            } else {
                m_testWnd->SetItemInfo(StationText(IDS_KEY_MEDIA_GROUP), MediaRowText());
            }
        }
        if (m_grid)
            m_grid->SetKeyCount(keyCode, o.count);
    }
    ReportRows(o);
    emit keyEvent(keyCode);
    if (o.pass) {
        if (m_result)
            m_result->Show(QStringLiteral("PASS"), kGreen);
        m_worker.RequestStop();
    }
}

QString CBTKeyTest::VolumeRowText() const {
    return QStringLiteral("%1 = %2, %3 = %4")
        .arg(StationText(IDS_KEY_VOLUP))
        .arg(m_judge.Count(kKeyVolUp))
        .arg(StationText(IDS_KEY_VOLDOWN))
        .arg(m_judge.Count(kKeyVolDown));
}

QString CBTKeyTest::MediaRowText() const {
    return QStringLiteral("%1=%2,%3=%4,%5=%6")
        .arg(StationText(IDS_KEY_PLAYPAUSE))
        .arg(m_judge.Count(kKeyPlayPause))
        .arg(StationText(IDS_KEY_PREVIOUS))
        .arg(m_judge.Count(kKeyPrevious))
        .arg(StationText(IDS_KEY_NEXT))
        .arg(m_judge.Count(kKeyNext));
}

void CBTKeyTest::ReportRows(const CKeyJudge::Outcome& o) {
    if (!m_testWnd || !m_testWnd->IsShown())
        return;
    if (o.volumePass) {
        m_testWnd->SetItemResult(StationText(IDS_KEY_VOL_GROUP), VolumeRowText(), true);
    }
    if (o.mediaPass) {
        m_testWnd->SetItemResult(StationText(IDS_KEY_MEDIA_GROUP), MediaRowText(), true);
    }
}

void CBTKeyTest::OnWorkerFinished() {
    emit keyTestDone();
}

}  // namespace orv
