#pragma once

#include <QString>

class QTextStream;

namespace orv {

class CORV318PRODlg;
class CSimpleTestSetup;
struct AppOptions;

// Exit codes of the command-line test run.
enum AutoTestExit : int {
    kAutoTestPass = 0,
    kAutoTestFail = 1,
    kAutoTestNotTested = 2,  // no adapter, an invalid MAC, no connection
};

// Runs one headset through the simple test window's flow on `dlg`: "Start test", connection
// to `mac`, the one-key test, save and count. Prints every item row (item, information, result,
// time) and the verdict to `out`. Returns an AutoTestExit. `timeoutMs` bounds the whole run so
// a script never hangs on a station that cannot finish (the run then counts as not tested).
int RunAutoTest(CORV318PRODlg* dlg, CSimpleTestSetup* setup, const QString& mac, QTextStream& out,
                int timeoutMs);

// `ORV318PRO --auto-test MAC`: builds the station on the adapter the options name, without
// showing the main window, and runs RunAutoTest. The process exit code.
int RunAutoTestCommand(const AppOptions& options);

}  // namespace orv
