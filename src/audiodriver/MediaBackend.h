#pragma once

#include "audiodriver/AudioDriverExport.h"

namespace orv {

// Chooses Qt Multimedia's FFmpeg backend unless the user set QT_MEDIA_BACKEND. Must run before
// the application object exists: Qt 6.4's GStreamer backend aborts now and then when a playing
// player is destroyed.
ORV_AUDIODRIVER_EXPORT void UseFfmpegMediaBackend();

}  // namespace orv
