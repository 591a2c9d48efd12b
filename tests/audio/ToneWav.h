#pragma once

// Test and benchmark helper: sine tones as raw blocks and as WAV files.

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cmath>

#include "audiodriver/WaveRiffFile.h"

namespace orv::test {

// Interleaved stereo 16-bit frames (both channels alike) of a sine whose RMS is `dbfs` relative
// to full scale, the level the recorder's formula reports, plus a DC `offset` in full-scale
// units.
inline QByteArray SineFrames(double frequency, double dbfs, int frames, double offset = 0.0,
                             int rate = 48000) {
    const double amplitude = std::pow(10.0, dbfs / 20.0) * std::sqrt(2.0);
    const double pi = std::acos(-1.0);
    QByteArray out(frames * 4, Qt::Uninitialized);
    for (int i = 0; i < frames; ++i) {
        const double x = offset + amplitude * std::sin(2.0 * pi * frequency * i / rate);
        const auto v = qint16(std::lround(std::clamp(x * 32768.0, -32768.0, 32767.0)));
        qToLittleEndian(v, out.data() + 4 * i);
        qToLittleEndian(v, out.data() + 4 * i + 2);
    }
    return out;
}

// Writes a 48000 Hz stereo 16-bit WAV of a 1 kHz tone; true on success.
inline bool WriteToneWav(const QString& path, double seconds, double dbfs = -12.5) {
    CWaveRiffFile w;
    const QByteArray frames = SineFrames(1000.0, dbfs, int(seconds * 48000));
    return w.OpenWrite(path, WaveFormat::CaptureFormat()) &&
           w.WriteData(frames.constData(), frames.size()) && w.Close();
}

}  // namespace orv::test
