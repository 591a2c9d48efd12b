#pragma once

#include <QString>

#include <memory>

#include "adapter/ReportDevice.h"

namespace orv {

// The report bus named by a connection string (the command line's --adapter):
//   "hid" (also the empty text)   the real adapter through hidapi and udev
//   "sim:<scenario file>"         the simulated adapter described by that scenario
// Returns nullptr with a message in `error` for an unknown kind or a bus that cannot start.
std::unique_ptr<IReportBus> CreateReportBus(const QString& connection, QString* error);

}  // namespace orv
