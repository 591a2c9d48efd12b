#include "results/TestWnd.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>

#include "adapter/AdapterLink.h"
#include "config/Config.h"
#include "lang/Language.h"
#include "lang/UiFonts.h"
#include "results/LinkHeadset.h"
#include "results/StatisticsCug.h"
#include "shell/LogWriter.h"
#include "station/ColorStatic.h"
#include "station/ORV318PRODlg.h"

namespace orv {

namespace {

// Dialog units of the window's template to pixels: two pixels a unit, so the item list's
// columns (550 pixels) fill its 274 units and the statistics strip (client height - 85, 50
// high) sits between the result label and the buttons.
QRect Du(int x, int y, int w, int h) {
    return QRect(x * 2, y * 2, w * 2, h * 2);
}
constexpr int kClientWidth = 550;   // pixels
constexpr int kClientHeight = 568;  // pixels

QColor Rgb(unsigned rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

const QColor kGreen{0, 255, 0};
const QColor kRed{255, 0, 0};
constexpr int kStatisticsHeight = 50;  // pixels
constexpr int kStatisticsFromBottom = 85;
constexpr int kTimerMs = 100;

// Window texts that are not in the string table, English and Chinese.
QString Caption(const char* en, const char* zh) {
    return UiString(214) == QLatin1String("TEST_CN") ? QString::fromUtf8(zh)
                                                     : QString::fromUtf8(en);
}

}  // namespace

CTestWnd::CTestWnd(CORV318PRODlg* dlg, const QString& journalPath)
    : QDialog(dlg, Qt::Window),
      m_dlg(dlg),
      m_results(ResultTexts::FromStringTable(&UiString), GetConfigPath(), journalPath) {
    setWindowTitle(QStringLiteral("ORV318 Pro"));
    setObjectName(QStringLiteral("CTestWnd"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    resize(kClientWidth, kClientHeight);

    m_banner = new CColorStatic(this);
    m_banner->setObjectName(ControlName(IDC_BANNER));
    m_banner->setGeometry(Du(0, 0, 274, 28));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(ControlName(IDC_ITEM_LIST));
    m_list->setGeometry(Du(0, 29, 274, 173));
    m_list->setColumnCount(4);
    m_list->setHeaderLabels({UiString(198), UiString(199), UiString(200), UiString(201)});
    const int widths[4] = {100, 250, 100, 100};
    for (int c = 0; c < 4; ++c)
        m_list->setColumnWidth(c, widths[c]);
    m_list->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    m_list->headerItem()->setTextAlignment(3, Qt::AlignCenter);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setRootIsDecorated(false);
    m_list->setIndentation(8);
    m_list->setFrameShape(QFrame::Box);

    m_resultLabel = new CColorStatic(this);
    m_resultLabel->setObjectName(ControlName(IDC_RESULT));
    m_resultLabel->setGeometry(Du(0, 199, 274, 39));

    auto addButton = [this](int id, const QString& text, const QRect& r) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(ControlName(id));
        b->setAutoDefault(false);
        b->setGeometry(r);
        m_buttons.insert(id, b);
        return b;
    };
    addButton(IDC_SHOW_HIDE_MAIN, Caption("Show&&Hide Main UI", "显示&&隐藏主界面"),
              Du(204, 197, 70, 14))
        ->setVisible(false);
    addButton(IDC_START_TEST, Caption("Start test", "开始测试"), Du(147, 269, 39, 14));
    addButton(IDC_STOP_TEST, Caption("Stop test", "停止测试"), Du(191, 269, 39, 14));
    addButton(IDC_TEST_FAIL, Caption("Test Fail", "测试失败"), Du(103, 269, 39, 14));
    addButton(IDC_BACK, Caption("Back", "返回"), Du(235, 269, 39, 14));

    m_mac = new QLineEdit(this);
    m_mac->setObjectName(ControlName(IDC_MAC));
    m_mac->setGeometry(Du(38, 270, 63, 13));
    m_mac->installEventFilter(this);
    auto* macLabel = new QLabel(Caption("MAC", "MAC地址"), this);
    macLabel->setGeometry(Du(5, 272, 34, 8));

    // Save failures stay in front of the operator until the next save.
    m_saveStatus = new QLabel(this);
    m_saveStatus->setObjectName(QStringLiteral("SaveStatus"));
    m_saveStatus->setGeometry(Du(0, 189, 274, 10));
    m_saveStatus->setStyleSheet(
        QStringLiteral("color: rgb(255,255,255); background: rgb(255,0,0)"));
    m_saveStatus->setWordWrap(true);
    m_saveStatus->hide();

    m_stats = new CStatisticsCug(&m_results.statistics(), this);
    m_stats->setObjectName(ControlName(IDC_STATISTICS));
    m_stats->setFrameShape(QFrame::Box);

    connect(m_buttons.value(IDC_START_TEST), &QPushButton::clicked, this, &CTestWnd::OnStartTest);
    connect(m_buttons.value(IDC_STOP_TEST), &QPushButton::clicked, this, &CTestWnd::OnStopTest);
    connect(m_buttons.value(IDC_TEST_FAIL), &QPushButton::clicked, this, &CTestWnd::OnTestFail);
    connect(m_buttons.value(IDC_BACK), &QPushButton::clicked, this, &CTestWnd::OnBack);
    connect(m_buttons.value(IDC_SHOW_HIDE_MAIN), &QPushButton::clicked, this,
            &CTestWnd::OnShowHideMain);

    CTestRecord* record = &m_results.record();
    connect(record, &CTestRecord::rowsReset, this, &CTestWnd::ShowRows, Qt::QueuedConnection);
    connect(record, &CTestRecord::rowChanged, this, &CTestWnd::ShowRow, Qt::QueuedConnection);
    connect(&m_results, &CTestResults::saveFinished, this, &CTestWnd::OnSaveFinished);
    connect(&m_results, &CTestResults::testFinished, this, &CTestWnd::testFinished);

    m_runTimer.setInterval(kTimerMs);
    connect(&m_runTimer, &QTimer::timeout, this, [this] { ShowResult(m_results.LastResult()); });
    m_nextTimer.setInterval(kTimerMs);
    m_nextTimer.setSingleShot(true);
    connect(&m_nextTimer, &QTimer::timeout, this, [this] {
        if (isVisible()) {
            m_mac->setFocus();
            m_mac->selectAll();
        }
    });

    ApplyDialogFont(this);
    // The banner and the result label use copies of the simple window font, drawn large.
    const QFont simple = GetUiFonts().simple;
    m_banner->SetFont(simple);
    m_banner->SetAutoSize(true);
    m_resultLabel->SetFont(simple);
    m_resultLabel->SetAutoSize(true);

    CAdapterLink* link = m_dlg ? m_dlg->Link() : nullptr;
    SetAdapterState(link && link->IsOpen() ? 1 : 0);
    m_resultLabel->Show(QStringLiteral("PASS"), kGreen);
    RebuildItemRows();
    ShowRows();
    PlaceStatistics();
    UpdateButtons();
    m_results.RetryJournal();  // rows a failed save left behind go out first
}

CTestWnd::~CTestWnd() {
    m_results.WaitForSaves(5000);
}

bool CTestWnd::TimerActive(int timer) const {
    return timer == TIMER_RUN ? m_runTimer.isActive() : m_nextTimer.isActive();
}

void CTestWnd::SetItemInfo(const QString& item, const QString& info) {
    RememberHeadset();
    m_results.record().SetItemInfo(item, info);
}

void CTestWnd::SetItemResult(const QString& item, const QString& info, bool pass) {
    RememberHeadset();
    m_results.record().SetItemResult(item, info, pass);
}

void CTestWnd::RememberHeadset(bool fresh) {
    if (!m_dlg || !m_dlg->Link())
        return;
    const HeadsetValues now = HeadsetFromLinkState(m_dlg->Link()->Parser());
    std::lock_guard<std::mutex> lock(m_headsetLock);
    if (!now.mac.isEmpty())
        m_lastHeadset = now;
    else if (fresh)
        m_lastHeadset = HeadsetValues{};
}

void CTestWnd::RestartItemClock() {
    m_results.record().RestartItemClock();
}

void CTestWnd::SetHfpMaxLevel(double dbfs) {
    m_results.record().SetHfpMaxLevel(dbfs);
}

void CTestWnd::ArmNextTimer() {
    QMetaObject::invokeMethod(
        this, [this] { m_nextTimer.start(); }, Qt::AutoConnection);
}

int CTestWnd::TestStage() const {
    return m_dlg ? m_dlg->TestStage() : 0;
}

void CTestWnd::SetItemInfo(int itemStringId, const QString& text) {
    SetItemInfo(UiString(itemStringId), text);
}

void CTestWnd::FinishFailed(int step) {
    Finish(false, step);
}

void CTestWnd::FinishPassed() {
    Finish(true, kStepNone);
}

void CTestWnd::Finish(bool pass, int step) {
    int running = kOneKeyRunning;
    if (!m_oneKey.compare_exchange_strong(running, kOneKeyConcluded) &&
        running == kOneKeyConcluded) {
        LogInfo(QStringLiteral("Test already concluded; step %1 not saved again").arg(step));
        return;
    }
    // The row is journalled here, on the caller's thread, before anything else can go wrong.
    HeadsetValues headset;
    if (m_dlg && m_dlg->Link())
        headset = HeadsetFromLinkState(m_dlg->Link()->Parser());
    if (headset.mac.isEmpty() && running == kOneKeyRunning) {
        // The link state was emptied under the running test (link loss, Disconnect): the row
        // still names the headset with what was known of it during the test; the key counts
        // survive the reset.
        std::lock_guard<std::mutex> lock(m_headsetLock);
        const KeyPressCounts keys = headset.keys;
        headset = m_lastHeadset;
        headset.keys = keys;
    }
    m_results.Finish(pass, step, headset);
    auto after = [this] {
        if (m_dlg)
            m_dlg->OnDisconnect();
        m_nextTimer.start();
    };
    if (QThread::currentThread() == thread())
        after();
    else
        QMetaObject::invokeMethod(this, after, Qt::QueuedConnection);
}

void CTestWnd::AdapterRemoved() {
    SetAdapterState(0);
}

void CTestWnd::RebuildItemRows() {
    m_results.RebuildItemRows();
}

void CTestWnd::ShowRows() {
    m_list->clear();
    m_rowItems.clear();
    const QList<ItemRow> rows = m_results.record().Rows();
    QHash<QString, QTreeWidgetItem*> groups;
    for (const ItemRow& row : rows) {
        // The rows are grouped by their (hidden) group text.
        QTreeWidgetItem* group = groups.value(row.group);
        if (!group) {
            group = new QTreeWidgetItem(m_list, {row.group});
            group->setFirstColumnSpanned(true);
            group->setFlags(Qt::ItemIsEnabled);
            group->setExpanded(true);
            groups.insert(row.group, group);
        }
        auto* item = new QTreeWidgetItem(group);
        item->setFlags(Qt::ItemIsEnabled);
        item->setTextAlignment(2, Qt::AlignCenter);
        item->setTextAlignment(3, Qt::AlignCenter);
        m_rowItems.append(item);
    }
    m_list->expandAll();
    for (int i = 0; i < rows.size(); ++i)
        ShowRow(i);
}

void CTestWnd::ShowRow(int row) {
    const QList<ItemRow> rows = m_results.record().Rows();
    if (row < 0 || row >= rows.size() || row >= m_rowItems.size())
        return;
    const ItemRow& r = rows.at(row);
    QTreeWidgetItem* item = m_rowItems.at(row);
    item->setText(0, r.item);
    item->setText(1, r.info);
    item->setText(2, r.result);
    item->setText(3, r.time);
    const unsigned colours[3] = {r.itemRgb, r.infoRgb, r.resultRgb};
    for (int c = 0; c < 3; ++c)
        item->setBackground(c, colours[c] == kNoRgb ? QBrush() : QBrush(Rgb(colours[c])));
}

void CTestWnd::SetAdapterState(int connected) {
    m_banner->Show(UiString(connected ? 167 : 168), connected ? kGreen : kRed);
}

void CTestWnd::ShowResult(int pass) {
    m_resultLabel->Show(ResultLabelText(pass != 0, m_results.record().RunElapsedMs()),
                        pass ? kGreen : kRed);
}

void CTestWnd::UpdateButtons() {
    m_buttons.value(IDC_START_TEST)->setEnabled(m_testing == 0);
    m_buttons.value(IDC_STOP_TEST)->setEnabled(m_testing != 0);
    m_buttons.value(IDC_TEST_FAIL)->setEnabled(m_testing != 0);
}

void CTestWnd::OnStartTest() {
    m_testing = 1;
    m_results.StartRun();
    UpdateButtons();
    m_nextTimer.start();
    m_runTimer.start();
}

void CTestWnd::OnStopTest() {
    if (m_dlg)
        m_dlg->OnDisconnect();
    m_runTimer.stop();
    RebuildItemRows();
    m_testing = 0;
    UpdateButtons();
    m_nextTimer.start();
}

void CTestWnd::OnTestFail() {
    if (m_testing != 1)
        return;
    if (m_dlg && m_dlg->TestRunning())
        m_dlg->OnOneKeyTest();  // the stop request ends the running test as failed
    m_nextTimer.start();
}

void CTestWnd::OnBack() {
    close();
}

void CTestWnd::OnShowHideMain() {
    if (!m_dlg)
        return;
    if (m_dlg->isVisible()) {
        m_dlg->hide();
        show();
    } else {
        m_dlg->show();
    }
}

void CTestWnd::OnMacEnter() {
    if (m_testing != 1 || !m_dlg)
        return;
    m_dlg->PressMacPair(m_mac->text().trimmed());
}

void CTestWnd::PlaceStatistics() {
    m_stats->setGeometry(0, height() - kStatisticsFromBottom, width(), kStatisticsHeight);
    m_stats->LayoutColumns();
    m_stats->Refresh();
}

void CTestWnd::OnSaveFinished(const SaveReport& report) {
    LogInfo(report.Summary());
    m_saveStatus->setText(report.Failed() ? report.Summary() : QString());
    m_saveStatus->setVisible(report.Failed());
    m_saveStatus->raise();
}

void CTestWnd::showEvent(QShowEvent* event) {
    m_shown.store(true);
    // The main window tells a hidden window nothing about the adapter: catch up now.
    CAdapterLink* link = m_dlg ? m_dlg->Link() : nullptr;
    SetAdapterState(link && link->IsOpen() ? 1 : 0);
    QDialog::showEvent(event);
}

void CTestWnd::hideEvent(QHideEvent* event) {
    m_shown.store(false);
    QDialog::hideEvent(event);
}

void CTestWnd::closeEvent(QCloseEvent* event) {
    if (m_dlg)
        m_dlg->show();
    QDialog::closeEvent(event);
}

void CTestWnd::keyPressEvent(QKeyEvent* event) {
    // Enter never closes or "accepts" the window; a scanner ends every MAC with it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CTestWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_mac && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OnMacEnter();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTestWnd::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_stats)
        PlaceStatistics();
}

}  // namespace orv
