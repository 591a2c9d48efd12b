#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>

#include "audiodriver/AudioDriverExport.h"

namespace orv {

// The wave format record of a RIFF WAVE "fmt " chunk. PCM (tag 1) records carry no extra bytes;
// any other tag keeps its extra-size field and that many extra bytes.
struct ORV_AUDIODRIVER_EXPORT WaveFormat {
    quint16 formatTag = 1;  // 1 PCM, 3 IEEE float, 0xFFFE extensible
    quint16 channels = 2;
    quint32 sampleRate = 48000;  // frames per second
    quint32 avgBytesPerSec = 192000;
    quint16 blockAlign = 4;  // bytes per frame
    quint16 bitsPerSample = 16;
    QByteArray extra;  // bytes after the extra-size field (non-PCM only)

    // 48000 Hz, 2 channels, 16-bit PCM: what the capture half records.
    static WaveFormat CaptureFormat() { return WaveFormat{}; }
    bool IsPcm() const { return formatTag == 1; }
    // Bytes of the "fmt " chunk as written: 16 for PCM, 18 plus the extra bytes otherwise.
    quint32 ChunkSize() const { return IsPcm() ? 16 : 18 + quint32(extra.size()); }
};

// A RIFF WAVE reader or writer.
//
// Reading: "RIFF" with form type "WAVE", a "fmt " chunk of at least 16 bytes and a "data"
// chunk, found wherever they sit inside RIFF (odd-sized chunks are padded to even lengths).
// A name that is no file is looked up as a compiled-in resource ":/WAVE/<name>", then
// ":/WAV/<name>" (the two resource types of the original program's executable).
//
// Writing: the header below is written at once, and after every WriteData the RIFF and "data"
// sizes are brought up to date on disk, so a crash or power loss leaves a valid file holding
// everything written so far. The "fact" value stays 0xFFFFFFFF until Close, which sets it to 0:
// a file still marked 0xFFFFFFFF was never finished.
//   0 "RIFF" | 4 file length - 8 | 8 "WAVE" | 12 "fmt " | 16 16 | 20 format record (16 bytes)
//   36 "fact" | 40 4 | 44 0xFFFFFFFF, 0 once closed | 48 "data" | 52 data length | 56 samples
class ORV_AUDIODRIVER_EXPORT CWaveRiffFile final {
public:
    CWaveRiffFile() = default;
    ~CWaveRiffFile();
    CWaveRiffFile(const CWaveRiffFile&) = delete;
    CWaveRiffFile& operator=(const CWaveRiffFile&) = delete;

    bool OpenRead(const QString& name);
    bool OpenWrite(const QString& name, const WaveFormat& format);
    // Rewinds the reader to the first data byte.
    bool ResetRead();
    // Reads up to `size` bytes, never past the data chunk; returns the count, -1 on error.
    qint64 Read(char* buffer, qint64 size);
    // Appends samples and updates the sizes in the header; false on a failed write.
    bool WriteData(const char* data, qint64 size);
    // Writer: fixes the sizes, sets "fact" to 0 and closes. Reader: closes. True when done
    // cleanly (or when nothing was open).
    bool Close();

    bool IsOpen() const { return m_mode != Mode::None; }
    bool FromResource() const { return m_fromResource; }
    const WaveFormat& Format() const { return m_format; }
    // Reader: bytes of the data chunk present in the file. Writer: bytes written so far.
    quint64 DataSize() const { return m_dataSize; }
    // Why the last open, read or write failed.
    QString ErrorText() const { return m_error; }

    // Byte offset of the first sample in files this class writes for `format`.
    static qint64 DataOffset(const WaveFormat& format);

private:
    enum class Mode { None, Read, Write };
    bool Fail(const QString& text);
    bool ParseRead();
    bool UpdateSizes();

    QFile m_file;
    Mode m_mode = Mode::None;
    bool m_fromResource = false;
    WaveFormat m_format;
    qint64 m_dataStart = 0;  // file offset of the first data byte
    quint64 m_dataSize = 0;
    quint64 m_readPos = 0;  // bytes of data already read
    QString m_error;
};

}  // namespace orv
