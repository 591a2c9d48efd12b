// The RIFF WAVE reader on a file holding the input: open, read every sample in odd-sized
// pieces, rewind and read again; the counts must agree with the data size it announced.
#include "FuzzCommon.h"
#include "audiodriver/WaveRiffFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::fuzz::Home();
    const QString path = orv::fuzz::WriteScratch(QStringLiteral("fuzz.wav"), data, size);
    orv::CWaveRiffFile wave;
    if (!wave.OpenRead(path)) {
        if (wave.IsOpen() || wave.ErrorText().isEmpty())
            __builtin_trap();  // a refused file is closed and says why
        return 0;
    }
    // Players divide by these; the data chunk cannot claim more than the file holds.
    const orv::WaveFormat& format = wave.Format();
    if (format.channels == 0 || format.blockAlign == 0 || format.sampleRate == 0 ||
        wave.DataSize() > size)
        __builtin_trap();
    char buffer[997];
    for (int pass = 0; pass < 2; ++pass) {
        quint64 total = 0;
        for (;;) {
            const qint64 n = wave.Read(buffer, sizeof buffer);
            if (n <= 0)
                break;
            total += quint64(n);
        }
        if (total > wave.DataSize())
            __builtin_trap();  // read past the data chunk
        if (!wave.ResetRead())
            break;
    }
    wave.Close();
    return 0;
}
