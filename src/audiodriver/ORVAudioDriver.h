#pragma once

#include <QByteArray>
#include <QString>

#include "audiodriver/AudioDriverExport.h"

class QAudioDevice;

namespace orv {

// The receiver of WM_CAPTURE_CHUNK (WM_USER+301): told after each captured block has been
// written to the WAV file and stored as the last block.
class ORV_AUDIODRIVER_EXPORT ICaptureListener {
public:
    virtual ~ICaptureListener();
    // Runs on the capture thread, which waits until it returns, so `data` (the same bytes as
    // GetCaptureData gives) stays valid meanwhile. A block arrives every 125 ms: return well
    // within that. Never wait here for a thread that may itself wait for the capture to end
    // (for example one destroying the driver): that would dead-lock.
    virtual void OnCaptureChunk(const unsigned char* data, unsigned long length) = 0;
};

// The driver's play flags.
inline constexpr int kPlayLooping = 1;

// Playback and capture on a chosen Qt Multimedia audio device; null means the default device.
//
// All audio state is process-wide and shared by every instance: one process has at most one
// loaded sound and one capture at a time.
//
// Capture: 48000 Hz, 2 channels, signed 16-bit little-endian, interleaved. A capture thread
// writes whole blocks of exactly 24000 bytes (125 ms) to the WAV file, keeps the latest as the
// last block and calls the listener after each. Bytes after the last whole block before a stop
// are neither written nor reported. Order of use:
//   SetMsgWnd, DirectSound_InitCaptureAudioSound, DirectSound_CaptureAudioData,
//   GetCaptureData inside each OnCaptureChunk, DirectSound_StopCaptureAudioData, then poll
//   IsCaptureFinish (or WaitCaptureFinish) until 1 before the next capture.
//
// Playback: the whole WAV is loaded at once and played from memory; play/pause is a toggle.
// The playback objects have the affinity of the thread that loads the sound, which needs a
// running event loop while the sound plays.
class ORV_AUDIODRIVER_EXPORT CORVAudioDriver final {
public:
    // Bytes per captured block: 125 ms of the capture format.
    static constexpr unsigned long kBlockBytes = 24000;

    CORVAudioDriver();
    // Stops a running capture and waits for its thread to end, then releases the capture.
    ~CORVAudioDriver();
    CORVAudioDriver(const CORVAudioDriver&) = default;
    CORVAudioDriver& operator=(const CORVAudioDriver&) = default;

    // Drops any loaded sound, opens `device` and loads `fileName` whole (a name that is no file
    // is looked up as a WAV resource, see CWaveRiffFile). 1 on success, 0 on failure.
    int DirectSound_InitPlayAudioSound(QString fileName, const QAudioDevice* device);
    // Toggle: pauses the sound when it plays (the position stays), else plays it from where it
    // stands (the start after loading or a stop). `flags` kPlayLooping repeats it. 1/0.
    int DirectSound_PlayAudioData(int flags);
    // Stops the sound and rewinds it to the start.
    void DirectSound_StopPlayAudioData();

    // Opens `device` for capture and creates the WAV file `fileName` (truncating it). 1/0.
    int DirectSound_InitCaptureAudioSound(QString fileName, const QAudioDevice* device);
    // Starts the capture thread and waits until the device has started. 0 when the capture
    // was not opened or the device would not start; the thread has then ended and the file is
    // closed.
    int DirectSound_CaptureAudioData();
    // Asks the capture thread to stop and returns at once; always 1.
    int DirectSound_StopCaptureAudioData();
    // Releases the capture objects: stops a running capture and waits for its thread. Always 1.
    int DirectSound_FreeDirectSound();

    // The last block: null and 0 before the first block of the current capture; the capture's
    // last block after it has ended. Valid until the next block is stored, i.e. while
    // OnCaptureChunk runs; do not free it.
    void GetCaptureData(unsigned char** data, unsigned long* length);
    // A copy of the last block, safe to call from any thread at any time.
    QByteArray LastCaptureBlock() const;
    // 1 when no capture thread runs (none started yet, or it ended and released everything).
    int IsCaptureFinish();
    // Blocks until the capture thread has ended or `timeoutMs` has passed; IsCaptureFinish().
    int WaitCaptureFinish(int timeoutMs);

    int GetDSCapFinishFlag() const { return m_capFinishFlag; }
    void SetDSCapFinishFlag(int flag) { m_capFinishFlag = flag; }
    // The receiver of each block; null for none. Replacing it waits for a call in progress.
    void SetMsgWnd(ICaptureListener* listener);

    // 1 while the loaded sound plays.
    int IsPlaying();
    // Bytes of the loaded sound handed to the device so far (rewinds to 0 with a stop).
    qint64 PlayPosition();
    // Why the last operation that returned 0 failed (also logged as a warning).
    QString LastErrorText() const;

private:
    int m_capFinishFlag = 0;  // the caller's flag; the driver never looks at it
};

}  // namespace orv
