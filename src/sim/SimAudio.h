#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// The simulated adapter's sound card on a PulseAudio server (PipeWire's pulse server works
// too): a null sink described "ORV318Pro" ("ORV318Pro B" for product 0x5751) that the station
// plays into, and a capture source described the same way that the station records from. The
// source remaps the monitor of a second, internal null sink into which the headset's
// microphone tone is played; Qt 6.4 does not list monitor sources, a remapped source it does.
//
// Every object is named "orvsim.<pid>.<instance>.<role>" so that devices left behind by a
// crashed run (their pid no longer lives) are found and replaced rather than duplicated.
// Without a sound server nothing is created, the headsets are silent, and this is logged once.
namespace orv::sim {

struct HeardSound {
    bool valid = false;         // something was measured since the ear was switched on
    double levelDb = -200;      // RMS of the loudest 100 ms block, dBFS
    double frequencyHz = 0;     // dominant frequency of that block
    double lastLevelDb = -200;  // RMS of the latest block, dBFS
};

class CSimAudio final {
public:
    CSimAudio();
    ~CSimAudio();  // removes the devices

    // Adds the render sink and the capture source (replacing stale ones). False when there is
    // no sound server or the server refused; the reason is in lastError().
    bool AddDevices(std::uint16_t productId);
    void RemoveDevices();
    bool HasDevices() const;

    // The headset's ear: measures what reaches the render sink's monitor while on. Switching
    // it on clears the previous measurement.
    void SetEarOn(bool on);
    HeardSound Heard() const;

    // The headset's microphone: a sine of `hz` at `levelDb` dBFS (RMS of a full-scale sine is
    // -3 dBFS) played into the capture source while on.
    void SetMic(bool on, double hz, double levelDb);
    bool MicOn() const;

    QString renderSinkName() const;
    QString captureSourceName() const;
    QString lastError() const;

    CSimAudio(const CSimAudio&) = delete;
    CSimAudio& operator=(const CSimAudio&) = delete;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// Level (dBFS, RMS) and dominant frequency (Hz) of a block of mono samples in [-1, 1].
// Exposed for the tests of the measurement.
void MeasureBlock(const float* samples, int count, int rate, double* levelDb, double* frequencyHz);

}  // namespace orv::sim
