#pragma once

// The desktop around the station: its sound server and its media player. The real one lives in
// orvplatform (libpulse and MPRIS); the link works without one.
namespace orv {

enum class MediaKey { PlayPause, Next, Previous };

class IDesktop {
public:
    virtual ~IDesktop() = default;

    // Makes the first playback device and the first recording device whose description
    // contains "ORV318Pro" the defaults, unless the current default's description already
    // contains it. Without a sound server nothing happens (the failing step is logged).
    virtual void SelectAdapterAudio() = 0;

    // Sets the default playback device to `percent` (0 to 100) and unmutes it. Returns 1 when
    // set, 0 when not (legacy audio, or no sound server).
    virtual int SetSystemVolume(int legacyAudio, int percent) = 0;

    // The headset released a transport key: pass it to the desktop's media player.
    virtual void PressMediaKey(MediaKey key) = 0;
};

}  // namespace orv
