#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "adapter/Desktop.h"

// The Linux desktop: the sound server through libpulse, the media player through MPRIS on the
// session bus.
namespace orv {

class CLinuxDesktop final : public IDesktop {
public:
    CLinuxDesktop() = default;
    ~CLinuxDesktop() override;  // waits for the keys already pressed

    CLinuxDesktop(const CLinuxDesktop&) = delete;
    CLinuxDesktop& operator=(const CLinuxDesktop&) = delete;

    void SelectAdapterAudio() override;
    int SetSystemVolume(int legacyAudio, int percent) override;
    // Queues PlayPause, Next or Previous for the MPRIS player on the session bus (the playing
    // one when several are there) and returns at once: a slow player never holds up the
    // caller. Keys reach the player in the order pressed. Without a session bus or a player the
    // key is logged and skipped.
    void PressMediaKey(MediaKey key) override;

private:
    void KeyThread();

    std::mutex m_mutex;  // guards m_keys, m_stop and the start of m_thread
    std::condition_variable m_wake;
    std::deque<MediaKey> m_keys;
    bool m_stop = false;
    std::thread m_thread;  // started by the first key
};

// Sends one key to the MPRIS player at once, blocking for at most a second.
void SendMprisKey(MediaKey key);

// The MPRIS method for a key: "PlayPause", "Next", "Previous".
QString MprisMethod(MediaKey key);

}  // namespace orv
