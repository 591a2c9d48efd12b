#pragma once

#include <QString>
#include <QStringList>

namespace orv {

// The adapter's audio devices are recognised by their descriptions: the first device carries
// "ORV318Pro", the second "ORV318Pro B" (which also contains the first name).
inline constexpr const char* kAdapterDeviceName = "ORV318Pro";
inline constexpr const char* kAdapterDeviceNameB = "ORV318Pro B";

// The player's rule over output devices listed in enumeration order: a description matches
// when it contains the wanted name ("ORV318Pro", or "ORV318Pro B" with `deviceB`) and contains
// neither "CSR Audio Dongle -A" nor "CSR Audio Dongle -B". Every device is examined and the last
// match wins. Returns its index in `descriptions`, or -1.
int SelectPlaybackDevice(const QStringList& descriptions, bool deviceB);

// The recorder's rule over input devices: descriptions with trailing white space removed are
// ordered ordinally (case-sensitive); of equal descriptions the first listed stays. The first
// in that order containing "ORV318Pro" (with `deviceB`, also "ORV318Pro B") is taken. Returns
// its index in `descriptions`, or -1.
int SelectCaptureDevice(const QStringList& descriptions, bool deviceB);

}  // namespace orv
