#pragma once

#include "adapter/ReportDevice.h"
#include "sim/Scenario.h"

#include <QString>
#include <QThread>

#include <memory>

// The simulated ORV318 adapter as a report bus: one adapter (vendor 0x0483, the scenario's
// product id) whose iWRAP module and headsets run on their own thread. The station opens it
// like the real adapter; the control socket, or Control() from a test, presses keys, drops
// links and plugs the adapter out and in (deviceRemoved / deviceArrived, as udev would).
namespace orv::sim {

class CReportPipe;
class CSimModule;

class CSimulatedBus final : public IReportBus {
    Q_OBJECT
public:
    // Reads the scenario file and starts the simulator (plugged in). Gives nullptr and a
    // message naming the file and line when the scenario is bad or the control socket cannot
    // be opened.
    static std::unique_ptr<CSimulatedBus> Create(const QString& scenarioPath, QString* error);
    static std::unique_ptr<CSimulatedBus> Create(const Scenario& scenario, QString* error);

    ~CSimulatedBus() override;

    QList<ReportDeviceInfo> Enumerate() override;
    std::unique_ptr<IReportDevice> Open(std::uint16_t vendorId, std::uint16_t productId) override;
    void StartWatching() override;

    // Runs one control command exactly as the control socket does and gives its answer:
    // "OK", "OK <state>" for `state`, or "ERROR <why>". Blocks until the simulator thread has
    // handled it; callable from any thread but the simulator's own.
    QString Control(const QString& command);

    const Scenario& scenario() const { return m_scenario; }

private:
    explicit CSimulatedBus(const Scenario& scenario);
    bool Start(QString* error);
    void OnPlugged(bool plugged);

    Scenario m_scenario;
    ReportDeviceInfo m_info;
    std::shared_ptr<CReportPipe> m_pipe;
    QThread m_thread;
    CSimModule* m_module = nullptr;  // lives on m_thread; deleted there at shutdown
    bool m_watching = false;
};

}  // namespace orv::sim

namespace orv::sim {
// The transport factory's entry point for "--adapter sim:<scenario file>".
std::unique_ptr<orv::IReportBus> CreateSimulatedBus(const QString& scenarioPath, QString* error);
}  // namespace orv::sim
