// Writes the station's default play file: a logarithmic sine sweep from 20 Hz to 20 kHz,
// 48000 Hz stereo 16-bit PCM, at -6 dBFS with 20 ms fades against clicks.
//   orv-make-sweep OUT.wav [SECONDS]   (default 10 s)

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "audiodriver/WaveRiffFile.h"

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUT.wav [SECONDS]\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const double seconds = argc == 3 ? std::atof(argv[2]) : 10.0;
    if (!(seconds >= 0.1 && seconds <= 600.0)) {
        std::fprintf(stderr, "%s: SECONDS must be between 0.1 and 600\n", argv[0]);
        return 2;
    }
    constexpr double kRate = 48000.0;
    constexpr double kF0 = 20.0;
    constexpr double kF1 = 20000.0;
    constexpr double kAmplitude = 0.5;  // -6 dBFS
    constexpr double kFade = 0.020;     // seconds
    const double pi = std::acos(-1.0);

    const qsizetype frames = qsizetype(seconds * kRate);
    QByteArray samples(frames * 4, Qt::Uninitialized);
    // Exponential sweep: the phase integrates f(t) = f0 (f1/f0)^(t/T).
    const double k = std::log(kF1 / kF0);
    for (qsizetype i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double phase = 2.0 * pi * kF0 * seconds / k * (std::exp(t * k / seconds) - 1.0);
        double gain = kAmplitude;
        gain *= std::min(1.0, t / kFade);
        gain *= std::min(1.0, (seconds - t) / kFade);
        const auto v = qint16(std::lround(gain * 32767.0 * std::sin(phase)));
        qToLittleEndian(v, samples.data() + 4 * i);
        qToLittleEndian(v, samples.data() + 4 * i + 2);
    }

    QDir().mkpath(QFileInfo(out).absolutePath());
    const QString temp = out + QStringLiteral(".part");
    orv::CWaveRiffFile writer;
    if (!writer.OpenWrite(temp, orv::WaveFormat::CaptureFormat()) ||
        !writer.WriteData(samples.constData(), samples.size()) || !writer.Close()) {
        std::fprintf(stderr, "%s: %s\n", argv[0], qPrintable(writer.ErrorText()));
        QFile::remove(temp);
        return 1;
    }
    QFile::remove(out);
    if (!QFile::rename(temp, out)) {
        std::fprintf(stderr, "%s: cannot rename %s to %s\n", argv[0], qPrintable(temp),
                     qPrintable(out));
        return 1;
    }
    return 0;
}
