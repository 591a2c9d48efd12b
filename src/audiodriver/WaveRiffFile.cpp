#include "audiodriver/WaveRiffFile.h"

#include <QFileInfo>
#include <QtEndian>

#include <cstring>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace orv {

namespace {

constexpr quint32 kFactUnfinished = 0xFFFFFFFFu;
// RIFF sizes are 32-bit; the writer refuses data that would overflow them.
constexpr quint64 kMaxRiffSize = 0xFFFFFFFFull;

void PutU16(char* p, quint16 v) {
    qToLittleEndian(v, p);
}
void PutU32(char* p, quint32 v) {
    qToLittleEndian(v, p);
}
quint16 GetU16(const char* p) {
    return qFromLittleEndian<quint16>(p);
}
quint32 GetU32(const char* p) {
    return qFromLittleEndian<quint32>(p);
}

}  // namespace

CWaveRiffFile::~CWaveRiffFile() {
    Close();
}

bool CWaveRiffFile::Fail(const QString& text) {
    m_error = text;
    return false;
}

qint64 CWaveRiffFile::DataOffset(const WaveFormat& format) {
    // "RIFF" size "WAVE", "fmt " size record, "fact" 4 value, "data" size.
    return 12 + 8 + format.ChunkSize() + 12 + 8;
}

bool CWaveRiffFile::OpenRead(const QString& name) {
    Close();
    m_error.clear();
    m_fromResource = false;
    if (QFileInfo(name).isFile()) {
        m_file.setFileName(name);
    } else {
        // Not a file: a WAV compiled into the program under the resource types WAVE or WAV.
        const QString base = name.startsWith(QLatin1String(":/")) ? QString() : name;
        const QString wave = QStringLiteral(":/WAVE/") + base;
        const QString wav = QStringLiteral(":/WAV/") + base;
        if (!base.isEmpty() && QFileInfo(wave).isFile()) {
            m_file.setFileName(wave);
        } else if (!base.isEmpty() && QFileInfo(wav).isFile()) {
            m_file.setFileName(wav);
        } else if (name.startsWith(QLatin1String(":/")) && QFileInfo(name).isFile()) {
            m_file.setFileName(name);
        } else {
            return Fail(QStringLiteral("%1: no such file or WAV resource").arg(name));
        }
        m_fromResource = true;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        return Fail(QStringLiteral("%1: %2").arg(name, m_file.errorString()));
    }
    m_mode = Mode::Read;
    if (!ParseRead()) {
        const QString why = m_error;
        Close();
        m_error = QStringLiteral("%1: %2").arg(name, why);
        return false;
    }
    return true;
}

bool CWaveRiffFile::ParseRead() {
    const qint64 fileSize = m_file.size();
    char head[12];
    if (m_file.read(head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        return Fail(QStringLiteral("not a RIFF WAVE file"));
    }
    // A RIFF size beyond the end (a file cut short) is read as far as the file goes.
    const qint64 riffEnd = qMin<qint64>(8 + qint64(GetU32(head + 4)), fileSize);

    bool haveFmt = false;
    bool haveData = false;
    qint64 pos = 12;
    while (pos + 8 <= riffEnd && !(haveFmt && haveData)) {
        char chunk[8];
        if (!m_file.seek(pos) || m_file.read(chunk, 8) != 8) {
            return Fail(QStringLiteral("cannot read chunk header at offset %1").arg(pos));
        }
        const quint32 size = GetU32(chunk + 4);
        const qint64 body = pos + 8;
        if (!haveFmt && std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) {
                return Fail(
                    QStringLiteral("\"fmt \" chunk of %1 bytes, at least 16 needed").arg(size));
            }
            char rec[16];
            if (m_file.read(rec, 16) != 16) {
                return Fail(QStringLiteral("\"fmt \" chunk cut short"));
            }
            WaveFormat f;
            f.formatTag = GetU16(rec);
            f.channels = GetU16(rec + 2);
            f.sampleRate = GetU32(rec + 4);
            f.avgBytesPerSec = GetU32(rec + 8);
            f.blockAlign = GetU16(rec + 12);
            f.bitsPerSample = GetU16(rec + 14);
            if (!f.IsPcm()) {
                char ext[2];
                if (size < 18 || m_file.read(ext, 2) != 2) {
                    return Fail(QStringLiteral("\"fmt \" chunk lacks the extra size"));
                }
                const quint16 extraSize = GetU16(ext);
                if (quint32(18) + extraSize > size) {
                    return Fail(QStringLiteral("\"fmt \" extra bytes beyond the chunk"));
                }
                f.extra = m_file.read(extraSize);
                if (f.extra.size() != extraSize) {
                    return Fail(QStringLiteral("\"fmt \" extra bytes cut short"));
                }
            }
            m_format = f;
            haveFmt = true;
        } else if (!haveData && std::memcmp(chunk, "data", 4) == 0) {
            m_dataStart = body;
            // A data size beyond the end of the file (a recording cut short) keeps what is there.
            m_dataSize = quint64(qMax<qint64>(0, qMin<qint64>(qint64(size), fileSize - body)));
            haveData = true;
        }
        pos = body + qint64(size) + (size & 1);  // chunks are padded to even lengths
    }
    if (!haveFmt) {
        return Fail(QStringLiteral("no \"fmt \" chunk"));
    }
    if (!haveData) {
        return Fail(QStringLiteral("no \"data\" chunk"));
    }
    if (m_format.channels == 0 || m_format.blockAlign == 0 || m_format.sampleRate == 0) {
        return Fail(QStringLiteral("format with no channels, frames or rate"));
    }
    return ResetRead();
}

bool CWaveRiffFile::ResetRead() {
    if (m_mode != Mode::Read) {
        return Fail(QStringLiteral("not open for reading"));
    }
    m_readPos = 0;
    if (!m_file.seek(m_dataStart)) {
        return Fail(m_file.errorString());
    }
    return true;
}

qint64 CWaveRiffFile::Read(char* buffer, qint64 size) {
    if (m_mode != Mode::Read) {
        Fail(QStringLiteral("not open for reading"));
        return -1;
    }
    const qint64 want = qMin<qint64>(size, qint64(m_dataSize - m_readPos));
    if (want <= 0) {
        return 0;
    }
    const qint64 got = m_file.read(buffer, want);
    if (got < 0) {
        Fail(m_file.errorString());
        return -1;
    }
    m_readPos += quint64(got);
    return got;
}

bool CWaveRiffFile::OpenWrite(const QString& name, const WaveFormat& format) {
    Close();
    m_error.clear();
    m_fromResource = false;
    if (!format.IsPcm() && format.extra.size() > 0xFFFF) {
        return Fail(QStringLiteral("format record extra bytes too long"));
    }
    m_file.setFileName(name);
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        return Fail(QStringLiteral("%1: %2").arg(name, m_file.errorString()));
    }
    m_format = format;
    m_dataSize = 0;
    m_dataStart = DataOffset(format);

    QByteArray h(int(m_dataStart), '\0');
    char* p = h.data();
    std::memcpy(p, "RIFF", 4);
    PutU32(p + 4, quint32(m_dataStart - 8));
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    PutU32(p + 16, format.ChunkSize());
    char* r = p + 20;
    PutU16(r, format.formatTag);
    PutU16(r + 2, format.channels);
    PutU32(r + 4, format.sampleRate);
    PutU32(r + 8, format.avgBytesPerSec);
    PutU16(r + 12, format.blockAlign);
    PutU16(r + 14, format.bitsPerSample);
    if (!format.IsPcm()) {
        PutU16(r + 16, quint16(format.extra.size()));
        std::memcpy(r + 18, format.extra.constData(), size_t(format.extra.size()));
    }
    char* f = r + format.ChunkSize();
    std::memcpy(f, "fact", 4);
    PutU32(f + 4, 4);
    PutU32(f + 8, kFactUnfinished);
    std::memcpy(f + 12, "data", 4);
    PutU32(f + 16, 0);
    if (m_file.write(h) != h.size() || !m_file.flush()) {
        const QString why = m_file.errorString();
        m_file.close();
        return Fail(QStringLiteral("%1: %2").arg(name, why));
    }
    m_mode = Mode::Write;
    return true;
}

bool CWaveRiffFile::UpdateSizes() {
    char v[4];
    PutU32(v, quint32(m_dataStart - 8 + qint64(m_dataSize)));
    if (!m_file.seek(4) || m_file.write(v, 4) != 4) {
        return Fail(m_file.errorString());
    }
    PutU32(v, quint32(m_dataSize));
    if (!m_file.seek(m_dataStart - 4) || m_file.write(v, 4) != 4) {
        return Fail(m_file.errorString());
    }
    if (!m_file.seek(m_dataStart + qint64(m_dataSize)) || !m_file.flush()) {
        return Fail(m_file.errorString());
    }
    return true;
}

bool CWaveRiffFile::WriteData(const char* data, qint64 size) {
    if (m_mode != Mode::Write) {
        return Fail(QStringLiteral("not open for writing"));
    }
    if (quint64(m_dataStart - 8) + m_dataSize + quint64(size) > kMaxRiffSize) {
        return Fail(QStringLiteral("WAV file would exceed 4 GiB"));
    }
    if (m_file.write(data, size) != size) {
        return Fail(m_file.errorString());
    }
    m_dataSize += quint64(size);
    if (!UpdateSizes()) {
        return false;
    }
#if defined(Q_OS_UNIX)
    // On the disk, not only in the page cache: a power cut keeps the recording up to here.
    ::fdatasync(m_file.handle());
#endif
    return true;
}

bool CWaveRiffFile::Close() {
    bool ok = true;
    if (m_mode == Mode::Write) {
        char v[4];
        PutU32(v, 0);
        ok = UpdateSizes() && m_file.seek(m_dataStart - 12) && m_file.write(v, 4) == 4 &&
             m_file.flush();
        if (!ok) {
            Fail(m_file.errorString());
        }
    }
    if (m_file.isOpen()) {
        m_file.close();
    }
    m_mode = Mode::None;
    return ok;
}

}  // namespace orv
