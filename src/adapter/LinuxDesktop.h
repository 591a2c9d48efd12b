#pragma once

#include <QString>

#include "adapter/Desktop.h"

// The Linux desktop: the sound server through libpulse, the media player through MPRIS on the
// session bus.
namespace orv {

class CLinuxDesktop final : public IDesktop {
public:
    void SelectAdapterAudio() override;
    int SetSystemVolume(int legacyAudio, int percent) override;
    // Sends PlayPause, Next or Previous to the MPRIS player on the session bus (the playing one
    // when several are there). Without a session bus or a player the key is logged and skipped.
    void PressMediaKey(MediaKey key) override;
};

// The MPRIS method for a key: "PlayPause", "Next", "Previous".
QString MprisMethod(MediaKey key);

}  // namespace orv
