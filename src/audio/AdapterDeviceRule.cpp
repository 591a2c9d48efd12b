#include "audio/AdapterDeviceRule.h"

#include <map>

namespace orv {

namespace {

QString TrimTrailing(const QString& s) {
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1).isSpace()) {
        --end;
    }
    return s.left(end);
}

}  // namespace

int SelectPlaybackDevice(const QStringList& descriptions, bool deviceB) {
    const QLatin1String wanted(deviceB ? kAdapterDeviceNameB : kAdapterDeviceName);
    int found = -1;
    for (int i = 0; i < descriptions.size(); ++i) {
        const QString& d = descriptions.at(i);
        if (d.contains(wanted) && !d.contains(QLatin1String("CSR Audio Dongle -A")) &&
            !d.contains(QLatin1String("CSR Audio Dongle -B"))) {
            found = i;
        }
    }
    return found;
}

int SelectCaptureDevice(const QStringList& descriptions, bool deviceB) {
    // QString's operator< compares UTF-16 code units: ordinal and case-sensitive.
    std::map<QString, int> byDescription;
    for (int i = 0; i < descriptions.size(); ++i) {
        byDescription.emplace(TrimTrailing(descriptions.at(i)), i);  // the first one stays
    }
    for (const auto& [description, index] : byDescription) {
        if (description.contains(QLatin1String(kAdapterDeviceName)) &&
            (!deviceB || description.contains(QLatin1String(kAdapterDeviceNameB)))) {
            return index;
        }
    }
    return -1;
}

}  // namespace orv
