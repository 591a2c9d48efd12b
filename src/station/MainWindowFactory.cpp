#include "station/MainWindowFactory.h"

#include <QWidget>

#include "adapter/LinuxDesktop.h"
#include "adapter/Transport.h"
#include "results/SimpleTestSetup.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"
#include "station/ORV318PRODlg.h"

namespace orv {

std::unique_ptr<QWidget> CreateMainWindow(const AppOptions& options) {
    QString error;
    std::unique_ptr<IReportBus> bus = CreateReportBus(options.adapter, &error);
    if (!bus) {
        // The window still runs: it shows the adapter as disconnected.
        LogInfo(QStringLiteral("adapter \"%1\": %2").arg(options.adapter, error));
    }
    auto dlg = std::make_unique<CORV318PRODlg>(std::move(bus), std::make_unique<CLinuxDesktop>());
    new CSimpleTestSetup(dlg.get());  // the one-key test and the simple test window
    return dlg;
}

}  // namespace orv
