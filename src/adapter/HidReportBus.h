#pragma once

#include <QHash>

#include <memory>

#include "adapter/ReportDevice.h"

class QSocketNotifier;
struct udev;
struct udev_monitor;

// The real adapter: hidapi on hidraw for the reports, a libudev monitor on the hidraw subsystem
// for arrival and removal. Access to /dev/hidraw* needs the udev rule in dist/udev.
namespace orv {

class CHidReportBus final : public IReportBus {
    Q_OBJECT
public:
    explicit CHidReportBus(QObject* parent = nullptr);
    ~CHidReportBus() override;

    QList<ReportDeviceInfo> Enumerate() override;
    std::unique_ptr<IReportDevice> Open(std::uint16_t vendorId, std::uint16_t productId) override;
    // Starts the udev monitor; notifications are delivered on this object's thread, which
    // needs a running event loop.
    void StartWatching() override;

private:
    void OnUdevReadable();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    // The ids of the hidraw nodes seen arriving: a removed node's sysfs entry is gone, so its
    // ids are remembered from its arrival.
    QHash<QString, ReportDeviceInfo> m_known;
};

// Reads the vendor and product id out of a HID_ID property ("0003:00000483:00005750").
bool ParseHidId(const QString& hidId, std::uint16_t* vendorId, std::uint16_t* productId);

}  // namespace orv
