#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

// The adapter as the station sees it: a device that exchanges 65-byte reports. Byte 0 is the
// report id (always 0); bytes 1 to 64 carry module text padded with zero bytes. The real adapter
// (hidapi on hidraw) and the simulated one both sit behind these interfaces; only the transport
// factory knows which one is in use.
namespace orv {

inline constexpr int kReportSize = 65;
inline constexpr std::uint16_t kAdapterVendorId = 0x0483;
inline constexpr std::uint16_t kAdapterProductIdA = 0x5750;  // "ORV318Pro", DeviceSelect 0
inline constexpr std::uint16_t kAdapterProductIdB = 0x5751;  // "ORV318Pro B", DeviceSelect 1

using Report = std::array<std::uint8_t, kReportSize>;

struct ReportDeviceInfo {
    QString path;  // hidraw node, or the simulator's name for its adapter
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// One open adapter. A single reader thread calls ReadReport; writers are serialised by the
// caller (one report in flight at a time). Destroying the object closes the device.
class IReportDevice {
public:
    virtual ~IReportDevice() = default;

    // Waits at most `timeoutMs` for one input report. Returns the number of bytes stored in
    // `report` (report id included), 0 on time-out, -1 when the device failed or was removed.
    virtual int ReadReport(Report& report, int timeoutMs) = 0;

    // Writes one output report. Returns false when it failed or did not complete within
    // `timeoutMs`.
    virtual bool WriteReport(const Report& report, int timeoutMs) = 0;

    // Makes a ReadReport that is waiting, or the next one, return -1 at once; lets Close stop the
    // reader without waiting out its time-out. Safe from any thread.
    virtual void Interrupt() = 0;
};

// All adapters of one kind: lists them, opens one, and reports arrival and removal. Signals
// are emitted on the thread that owns the bus object.
class IReportBus : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~IReportBus() override = default;

    virtual QList<ReportDeviceInfo> Enumerate() = 0;

    // Opens the first device with these ids, or gives nullptr when none is present.
    virtual std::unique_ptr<IReportDevice> Open(std::uint16_t vendorId,
                                                std::uint16_t productId) = 0;

    // Starts the arrival and removal notifications.
    virtual void StartWatching() = 0;

signals:
    void deviceArrived(const orv::ReportDeviceInfo& info);
    void deviceRemoved(const orv::ReportDeviceInfo& info);
};

}  // namespace orv
