#include "adapter/HidReportBus.h"

#include <QSocketNotifier>

#include <hidapi/hidapi.h>
#include <libudev.h>

#include <atomic>
#include <chrono>
#include <cstring>

#include "shell/LogWriter.h"

namespace orv {

namespace {

// hid_read_timeout cannot be interrupted, so a read waits in slices and looks at the interrupt
// request between them: Close waits at most one slice, an idle monitor wakes 4 times a second.
constexpr int kReadSliceMs = 250;

class CHidDevice final : public IReportDevice {
public:
    explicit CHidDevice(hid_device* device) : m_device(device) {}
    ~CHidDevice() override { hid_close(m_device); }

    int ReadReport(Report& report, int timeoutMs) override {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (m_interrupted.load()) {
                return -1;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                return 0;
            }
            // The adapter's reports carry no report id: hidraw gives the 64 text bytes, and
            // byte 0 of our report is the id 0.
            std::uint8_t buffer[kReportSize - 1] = {};
            const int n =
                hid_read_timeout(m_device, buffer, sizeof buffer,
                                 static_cast<int>(std::min<long long>(left, kReadSliceMs)));
            if (n < 0) {
                return -1;
            }
            if (n > 0) {
                report.fill(0);
                std::memcpy(report.data() + 1, buffer, static_cast<size_t>(n));
                return n + 1;
            }
        }
    }

    bool WriteReport(const Report& report, int /*timeoutMs*/) override {
        // hidraw writes block until the report is sent; the adapter takes one at a time.
        return hid_write(m_device, report.data(), report.size()) == kReportSize;
    }

    void Interrupt() override { m_interrupted.store(true); }

private:
    hid_device* const m_device;
    std::atomic<bool> m_interrupted{false};
};

}  // namespace

bool ParseHidId(const QString& hidId, std::uint16_t* vendorId, std::uint16_t* productId) {
    const QStringList parts = hidId.split(QLatin1Char(':'));
    if (parts.size() != 3) {
        return false;
    }
    bool okV = false;
    bool okP = false;
    const uint v = parts[1].toUInt(&okV, 16);
    const uint p = parts[2].toUInt(&okP, 16);
    if (!okV || !okP || v > 0xFFFF || p > 0xFFFF) {
        return false;
    }
    *vendorId = static_cast<std::uint16_t>(v);
    *productId = static_cast<std::uint16_t>(p);
    return true;
}

CHidReportBus::CHidReportBus(QObject* parent) : IReportBus(parent) {
    hid_init();
}

CHidReportBus::~CHidReportBus() {
    delete m_notifier;
    if (m_monitor != nullptr) {
        udev_monitor_unref(m_monitor);
    }
    if (m_udev != nullptr) {
        udev_unref(m_udev);
    }
}

QList<ReportDeviceInfo> CHidReportBus::Enumerate() {
    QList<ReportDeviceInfo> list;
    hid_device_info* all = hid_enumerate(0, 0);
    for (hid_device_info* d = all; d != nullptr; d = d->next) {
        list.append({QString::fromLocal8Bit(d->path), d->vendor_id, d->product_id});
    }
    hid_free_enumeration(all);
    return list;
}

std::unique_ptr<IReportDevice> CHidReportBus::Open(std::uint16_t vendorId,
                                                   std::uint16_t productId) {
    std::unique_ptr<IReportDevice> opened;
    hid_device_info* all = hid_enumerate(vendorId, productId);
    for (hid_device_info* d = all; d != nullptr && !opened; d = d->next) {
        if (d->vendor_id != vendorId || d->product_id != productId) {
            continue;  // another product of the same vendor is never used
        }
        hid_device* device = hid_open_path(d->path);
        if (device == nullptr) {
            LogInfo(QStringLiteral("cannot open %1 (see dist/udev for the access rule)")
                        .arg(QString::fromLocal8Bit(d->path)));
            continue;
        }
        opened = std::make_unique<CHidDevice>(device);
    }
    hid_free_enumeration(all);
    return opened;
}

void CHidReportBus::StartWatching() {
    if (m_monitor != nullptr) {
        return;
    }
    m_udev = udev_new();
    if (m_udev == nullptr) {
        LogInfo(QStringLiteral("udev_new failed: no adapter notifications"));
        return;
    }
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        LogInfo(QStringLiteral("udev monitor failed: no adapter notifications"));
        return;
    }
    // Remember the ids of the nodes present now, so a removal can name them.
    for (const ReportDeviceInfo& info : Enumerate()) {
        m_known.insert(info.path, info);
    }
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { OnUdevReadable(); });
}

void CHidReportBus::OnUdevReadable() {
    udev_device* device = udev_monitor_receive_device(m_monitor);
    if (device == nullptr) {
        return;
    }
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    if (action != nullptr && node != nullptr) {
        ReportDeviceInfo info;
        info.path = QString::fromLocal8Bit(node);
        udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
        const char* hidId =
            hid != nullptr ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
        if (hidId != nullptr) {
            ParseHidId(QString::fromLatin1(hidId), &info.vendorId, &info.productId);
        }
        if (std::strcmp(action, "add") == 0) {
            m_known.insert(info.path, info);
            emit deviceArrived(info);
        } else if (std::strcmp(action, "remove") == 0) {
            if (info.vendorId == 0) {
                info = m_known.value(info.path, info);
            }
            m_known.remove(info.path);
            emit deviceRemoved(info);
        }
    }
    udev_device_unref(device);
}

}  // namespace orv
