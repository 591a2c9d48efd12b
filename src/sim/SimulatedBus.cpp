#include "sim/SimulatedBus.h"

#include "sim/ReportPipe.h"
#include "sim/SimModule.h"

#include <QMetaObject>

namespace orv::sim {

std::unique_ptr<CSimulatedBus> CSimulatedBus::Create(const QString& scenarioPath, QString* error) {
    Scenario s;
    if (!LoadScenario(scenarioPath, &s, error))
        return nullptr;
    return Create(s, error);
}

std::unique_ptr<CSimulatedBus> CSimulatedBus::Create(const Scenario& scenario, QString* error) {
    std::unique_ptr<CSimulatedBus> bus(new CSimulatedBus(scenario));
    if (!bus->Start(error))
        return nullptr;
    return bus;
}

CSimulatedBus::CSimulatedBus(const Scenario& scenario)
    : m_scenario(scenario), m_pipe(std::make_shared<CReportPipe>()) {
    m_info.path = QStringLiteral("sim:") + scenario.path;
    m_info.vendorId = kAdapterVendorId;
    m_info.productId = scenario.adapter.productId;
    m_thread.setObjectName(QStringLiteral("orvsim"));
}

bool CSimulatedBus::Start(QString* error) {
    m_module = new CSimModule(m_scenario, m_pipe);
    m_module->moveToThread(&m_thread);
    connect(m_module, &CSimModule::pluggedChanged, this, &CSimulatedBus::OnPlugged,
            Qt::QueuedConnection);
    m_thread.start();
    // The pipe hands each written report to the module's thread, in order.
    CSimModule* module = m_module;
    m_pipe->SetInputHandler([module](const QByteArray& payload) {
        QMetaObject::invokeMethod(
            module, [module, payload]() { module->Input(payload); }, Qt::QueuedConnection);
    });
    bool ok = false;
    QString why;
    QMetaObject::invokeMethod(
        m_module, [&]() { ok = m_module->Start(&why); }, Qt::BlockingQueuedConnection);
    if (!ok) {
        if (error)
            *error = why;
        return false;
    }
    return true;
}

CSimulatedBus::~CSimulatedBus() {
    m_pipe->SetInputHandler({});
    if (m_module) {
        CSimModule* module = m_module;
        QMetaObject::invokeMethod(
            module,
            [module]() {
                module->Shutdown();
                delete module;
            },
            Qt::BlockingQueuedConnection);
        m_module = nullptr;
    }
    m_thread.quit();
    m_thread.wait();
    m_pipe->SetPlugged(false);
}

QList<ReportDeviceInfo> CSimulatedBus::Enumerate() {
    if (!m_pipe->IsPlugged())
        return {};
    return {m_info};
}

std::unique_ptr<IReportDevice> CSimulatedBus::Open(std::uint16_t vendorId,
                                                   std::uint16_t productId) {
    if (vendorId != m_info.vendorId || productId != m_info.productId)
        return nullptr;
    const int session = m_pipe->OpenSession();
    if (session < 0)
        return nullptr;
    return std::make_unique<CSimReportDevice>(m_pipe, session);
}

void CSimulatedBus::StartWatching() {
    m_watching = true;
}

void CSimulatedBus::OnPlugged(bool plugged) {
    if (!m_watching)
        return;
    if (plugged)
        emit deviceArrived(m_info);
    else
        emit deviceRemoved(m_info);
}

QString CSimulatedBus::Control(const QString& command) {
    QString answer;
    if (QThread::currentThread() == &m_thread) {
        answer = m_module->Control(command);
    } else {
        QMetaObject::invokeMethod(
            m_module, [&]() { answer = m_module->Control(command); },
            Qt::BlockingQueuedConnection);
    }
    return answer;
}

std::unique_ptr<orv::IReportBus> CreateSimulatedBus(const QString& scenarioPath, QString* error) {
    return CSimulatedBus::Create(scenarioPath, error);
}

}  // namespace orv::sim
