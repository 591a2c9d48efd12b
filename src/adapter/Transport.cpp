#include "adapter/Transport.h"

#include "adapter/HidReportBus.h"
#include "sim/SimulatedBus.h"

namespace orv {

std::unique_ptr<IReportBus> CreateReportBus(const QString& connection, QString* error) {
    const QString text = connection.trimmed();
    if (text.isEmpty() || text == QLatin1String("hid")) {
        return std::make_unique<CHidReportBus>();
    }
    if (text.startsWith(QLatin1String("sim:"))) {
        const QString scenario = text.mid(4).trimmed();
        if (scenario.isEmpty()) {
            if (error != nullptr) {
                *error = QStringLiteral("\"sim:\" needs a scenario file: sim:<scenario file>");
            }
            return nullptr;
        }
        return sim::CreateSimulatedBus(scenario, error);
    }
    if (error != nullptr) {
        *error = QStringLiteral(
                     "unknown adapter connection \"%1\": use \"hid\" or "
                     "\"sim:<scenario file>\"")
                     .arg(connection);
    }
    return nullptr;
}

}  // namespace orv
