#pragma once

#include <QString>

// The desktop's sound server (PulseAudio or PipeWire's pulse server) seen from the station:
// the volume of the default playback device, and which devices are the defaults.
namespace orv {

// Sets the default playback device to `percent` (0 to 100, as the sound server's own per cent:
// 100 is the normal volume) and clears its mute. Returns 1 when set. With `*legacyAudio`
// non-zero nothing is touched and 0 is returned. On a failure `error` gets the failing step
// ("pa_context_connect", "get_server_info", "set_sink_volume", "set_sink_mute") and 0 is
// returned; the step is also logged.
int SetSystemVolume(const int* legacyAudio, int percent, QString* error = nullptr);

// Makes the first playback device and the first recording device whose description contains
// `descriptionPart` the defaults, each unless the current default's description already
// contains it. Monitor sources are not recording devices. Returns false, with the failing step
// logged and in `error`, when the sound server cannot be reached.
bool SelectDefaultDevices(const QString& descriptionPart, QString* error = nullptr);

}  // namespace orv
