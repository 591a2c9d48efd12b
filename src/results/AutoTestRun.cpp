#include "results/AutoTestRun.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <mutex>

#include "adapter/AdapterLink.h"
#include "adapter/LinuxDesktop.h"
#include "adapter/Transport.h"
#include "config/Config.h"
#include "config/Settings.h"
#include "results/SimpleTestSetup.h"
#include "results/TestWnd.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"
#include "station/MacText.h"
#include "station/ORV318PRODlg.h"

namespace orv {

namespace {

constexpr int kAdapterOpenMs = 15000;         // the window opens the adapter 500 ms after start
constexpr int kSaveWaitMs = 15000;            // a database gets a few seconds per connection
constexpr int kDefaultRunTimeoutMs = 600000;  // a run longer than this is a hung station

// The rows as the test left them, taken each time a row changes (the end of the test lays the
// rows out afresh for the next headset, so they are copied before that).
struct RowSnapshot {
    std::mutex lock;  // guards rows
    QList<ItemRow> rows;
};

void PrintRows(QTextStream& out, const QList<ItemRow>& rows) {
    for (const ItemRow& r : rows) {
        out << r.item << " | " << r.info << " | " << r.result << " | " << r.time << '\n';
    }
}

}  // namespace

int RunAutoTest(CORV318PRODlg* dlg, CSimpleTestSetup* setup, const QString& mac, QTextStream& out,
                int timeoutMs) {
    CAdapterLink* link = dlg->Link();
    if (!link) {
        out << "Not tested: no adapter\n";
        out.flush();
        return kAutoTestNotTested;
    }
    if (!IsValidMacText(mac)) {
        out << "Not tested: invalid MAC address \"" << mac << "\"\n";
        out.flush();
        return kAutoTestNotTested;
    }
    if (!link->IsOpen()) {
        QEventLoop wait;
        QObject::connect(dlg, &CORV318PRODlg::adapterOpened, &wait, [&wait] { wait.quit(); });
        QTimer::singleShot(kAdapterOpenMs, &wait, &QEventLoop::quit);
        wait.exec();
        if (!link->IsOpen()) {
            out << "Not tested: the adapter could not be opened\n";
            out.flush();
            return kAutoTestNotTested;
        }
    }

    CTestWnd* wnd = setup->Window();
    wnd->show();
    dlg->hide();
    wnd->OnStartTest();

    auto snapshot = std::make_shared<RowSnapshot>();
    CTestRecord* record = &wnd->Results().record();
    auto take = [snapshot, record] {
        QList<ItemRow> rows = record->Rows();
        std::lock_guard<std::mutex> lock(snapshot->lock);
        snapshot->rows = rows;
    };
    take();
    // Direct: taken on the thread that changed the row, before anything can lay the rows out.
    QObject::connect(record, &CTestRecord::rowChanged, record, take, Qt::DirectConnection);

    QEventLoop loop;
    int code = -1;
    int failedStep = 0;
    bool started = false;
    QObject::connect(wnd, &CTestWnd::testFinished, &loop, [&](bool pass, int step) {
        code = pass ? kAutoTestPass : kAutoTestFail;
        failedStep = step;
        loop.quit();
    });
    // Queued after the window's own handler, which starts the test itself when
    // "AutoTestAfterMacConnected" is set.
    QObject::connect(
        link, &CAdapterLink::connected, &loop,
        [&] {
            started = true;
            if (!dlg->TestRunning() && GetAutoTestAfterMacConnected(GetConfigPath()) == 0)
                dlg->OnOneKeyTest();
        },
        Qt::QueuedConnection);
    QObject::connect(
        dlg, &CORV318PRODlg::flowDone, &loop,
        [&](int flow, int result) {
            if (flow == CORV318PRODlg::kFlowMacConnect && result == 0 && !started) {
                code = kAutoTestNotTested;
                loop.quit();
            }
        },
        Qt::QueuedConnection);
    QTimer::singleShot(timeoutMs > 0 ? timeoutMs : kDefaultRunTimeoutMs, &loop, [&] {
        out << "Not tested: no verdict within " << (timeoutMs / 1000) << " s\n";
        code = kAutoTestNotTested;
        loop.quit();
    });
    QMetaObject::invokeMethod(
        &loop, [dlg, mac] { dlg->PressMacPair(mac); }, Qt::QueuedConnection);
    loop.exec();
    QObject::disconnect(record, &CTestRecord::rowChanged, record, nullptr);

    if (code == kAutoTestNotTested) {
        // A test still running is stopped; it ends without a verdict of this run.
        if (dlg->TestRunning())
            dlg->OnOneKeyTest();
    }
    QList<ItemRow> rows;
    {
        std::lock_guard<std::mutex> lock(snapshot->lock);
        rows = snapshot->rows;
    }
    PrintRows(out, rows);
    if (!wnd->Results().WaitForSaves(kSaveWaitMs))
        out << "The result is still being saved; it waits in the journal\n";
    switch (code) {
        case kAutoTestPass:
            out << "Verdict: PASS\n";
            break;
        case kAutoTestFail:
            out << "Verdict: FAIL (step " << failedStep << ")\n";
            break;
        default:
            out << "Verdict: NOT TESTED\n";
            break;
    }
    out.flush();
    return code;
}

int RunAutoTestCommand(const AppOptions& options) {
    QTextStream out(stdout);
    QString error;
    std::unique_ptr<IReportBus> bus = CreateReportBus(options.adapter, &error);
    if (!bus) {
        out << "Not tested: adapter \"" << options.adapter << "\": " << error << '\n';
        return kAutoTestNotTested;
    }
    CORV318PRODlg dlg(std::move(bus), std::make_unique<CLinuxDesktop>());
    auto* setup = new CSimpleTestSetup(&dlg);
    CTestWnd* wnd = setup->Window();
    // Saves are reported as they finish, so a row left in the journal is never silent.
    QObject::connect(&wnd->Results(), &CTestResults::saveFinished, &dlg,
                     [&out](const SaveReport& report) {
                         if (report.Failed() || report.written > 0)
                             out << report.Summary() << '\n';
                     });
    const int code = RunAutoTest(&dlg, setup, options.autoTestMac, out, kDefaultRunTimeoutMs);
    // Let the queued save reports and the disconnection run before the window goes.
    QCoreApplication::processEvents();
    out.flush();
    return code;
}

}  // namespace orv
