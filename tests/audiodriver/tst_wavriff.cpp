// The RIFF WAVE reader and writer, on files built byte by byte.

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "audiodriver/WaveRiffFile.h"

using orv::CWaveRiffFile;
using orv::WaveFormat;

namespace {

QByteArray U16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray U32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray Chunk(const char* id, const QByteArray& body, qint64 claimedSize = -1) {
    QByteArray c =
        QByteArray(id, 4) + U32(quint32(claimedSize < 0 ? body.size() : claimedSize)) + body;
    if (body.size() % 2) {
        c += '\0';  // pad to even
    }
    return c;
}
QByteArray Riff(const QByteArray& chunks, const char* form = "WAVE") {
    return "RIFF" + U32(quint32(4 + chunks.size())) + QByteArray(form, 4) + chunks;
}
QByteArray FmtRecord(quint16 tag, quint16 channels, quint32 rate, quint16 bits) {
    const quint16 align = quint16(channels * bits / 8);
    return U16(tag) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits);
}
quint32 U32At(const QByteArray& b, int offset) {
    return qFromLittleEndian<quint32>(b.constData() + offset);
}
QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestWavRiff final : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void writerHeaderWhileWritingAndAfterClose();
    void unclosedFileIsReadable();
    void writeThenReadBack();
    void reader_data();
    void reader();
    void resourceLookup();
    void writerErrors();

private:
    QTemporaryDir m_dir;
};

// The header of the capture format, with the sizes brought up to date after every write and the
// "fact" value 0xFFFFFFFF until the close sets it to 0.
void TestWavRiff::writerHeaderWhileWritingAndAfterClose() {
    const QString path = m_dir.filePath("w.wav");
    CWaveRiffFile w;
    QVERIFY(w.OpenWrite(path, WaveFormat::CaptureFormat()));
    const QByteArray expect = "RIFF" + U32(48) + "WAVE" + "fmt " + U32(16) +
                              FmtRecord(1, 2, 48000, 16) + "fact" + U32(4) + U32(0xFFFFFFFF) +
                              "data" + U32(0);
    QCOMPARE(CWaveRiffFile::DataOffset(WaveFormat::CaptureFormat()), 56);
    QCOMPARE(FileBytes(path), expect);

    const QByteArray samples("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    QVERIFY(w.WriteData(samples.constData(), samples.size()));
    QVERIFY(w.WriteData(samples.constData(), 4));
    QByteArray now = FileBytes(path);
    QCOMPARE(now.size(), 56 + 12);
    QCOMPARE(U32At(now, 4), 60u);
    QCOMPARE(U32At(now, 44), 0xFFFFFFFFu);
    QCOMPARE(U32At(now, 52), 12u);
    QCOMPARE(now.mid(56), samples + samples.left(4));

    QVERIFY(w.Close());
    now = FileBytes(path);
    QCOMPARE(now.size(), 68);
    QCOMPARE(now.left(44), expect.left(4) + U32(60) + expect.mid(8, 36));
    QCOMPARE(U32At(now, 44), 0u);
    QCOMPARE(U32At(now, 52), 12u);
}

// A writer that never closes (the program died) leaves a file the reader takes whole.
void TestWavRiff::unclosedFileIsReadable() {
    const QString path = m_dir.filePath("crash.wav");
    auto* w = new CWaveRiffFile;
    QVERIFY(w->OpenWrite(path, WaveFormat::CaptureFormat()));
    const QByteArray block(24000, '\x11');
    QVERIFY(w->WriteData(block.constData(), block.size()));
    QVERIFY(w->WriteData(block.constData(), block.size()));
    CWaveRiffFile r;
    QVERIFY2(r.OpenRead(path), qPrintable(r.ErrorText()));
    QCOMPARE(r.DataSize(), 48000u);
    QCOMPARE(U32At(FileBytes(path), 44), 0xFFFFFFFFu);
    delete w;
}

void TestWavRiff::writeThenReadBack() {
    const QString path = m_dir.filePath("rb.wav");
    WaveFormat f;
    f.formatTag = 3;
    f.channels = 1;
    f.sampleRate = 44100;
    f.avgBytesPerSec = 44100 * 4;
    f.blockAlign = 4;
    f.bitsPerSample = 32;
    f.extra = QByteArray("\xAA\xBB", 2);
    QByteArray samples(4000, '\0');
    for (int i = 0; i < samples.size(); ++i) {
        samples[i] = char(i * 7);
    }
    CWaveRiffFile w;
    QVERIFY(w.OpenWrite(path, f));
    QVERIFY(w.WriteData(samples.constData(), samples.size()));
    QVERIFY(w.Close());
    QCOMPARE(U32At(FileBytes(path), 16), 20u);  // 18 + 2 extra bytes for a non-PCM record

    CWaveRiffFile r;
    QVERIFY2(r.OpenRead(path), qPrintable(r.ErrorText()));
    QCOMPARE(r.Format().formatTag, quint16(3));
    QCOMPARE(r.Format().sampleRate, 44100u);
    QCOMPARE(r.Format().extra, f.extra);
    QCOMPARE(r.DataSize(), quint64(samples.size()));
    QByteArray got(6000, '\0');
    QCOMPARE(r.Read(got.data(), 1000), 1000);
    QCOMPARE(r.Read(got.data() + 1000, 5000), 3000);  // never past the data chunk
    QCOMPARE(r.Read(got.data(), 10), 0);
    QCOMPARE(got.left(4000), samples);
    QVERIFY(r.ResetRead());
    QCOMPARE(r.Read(got.data(), 4), 4);
    QCOMPARE(got.left(4), samples.left(4));
}

void TestWavRiff::reader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("extraSize");
    QTest::addColumn<int>("dataSize");

    const QByteArray fmt = Chunk("fmt ", FmtRecord(1, 2, 48000, 16));
    const QByteArray data = Chunk("data", QByteArray(16, '\x01'));
    QTest::newRow("plain PCM") << Riff(fmt + data) << true << 1 << 0 << 16;
    QTest::newRow("PCM fmt of 18 bytes")
        << Riff(Chunk("fmt ", FmtRecord(1, 2, 48000, 16) + U16(0)) + data) << true << 1 << 0 << 16;
    QTest::newRow("odd chunk padded, fmt after LIST")
        << Riff(Chunk("LIST", "abc") + fmt + Chunk("fact", U32(4)) + data) << true << 1 << 0 << 16;
    QTest::newRow("data before fmt") << Riff(data + fmt) << true << 1 << 0 << 16;
    QTest::newRow("float, no extra bytes")
        << Riff(Chunk("fmt ", FmtRecord(3, 2, 48000, 32) + U16(0)) + data) << true << 3 << 0 << 16;
    QTest::newRow("extensible, 22 extra bytes")
        << Riff(Chunk("fmt ", FmtRecord(0xFFFE, 2, 48000, 16) + U16(22) + QByteArray(22, '\x05')) +
                data)
        << true << 0xFFFE << 22 << 16;
    QTest::newRow("data size beyond the file keeps what is there")
        << Riff(fmt + "data" + U32(1000) + QByteArray(40, '\x02')) << true << 1 << 0 << 40;
    QTest::newRow("fmt of 14 bytes")
        << Riff(Chunk("fmt ", FmtRecord(1, 2, 48000, 16).left(14)) + data) << false << 0 << 0 << 0;
    QTest::newRow("non-PCM without extra size")
        << Riff(Chunk("fmt ", FmtRecord(2, 2, 48000, 4)) + data) << false << 0 << 0 << 0;
    QTest::newRow("extra bytes beyond the chunk")
        << Riff(Chunk("fmt ", FmtRecord(2, 2, 48000, 4) + U16(30) + QByteArray(4, '\0')) + data)
        << false << 0 << 0 << 0;
    QTest::newRow("not RIFF") << QByteArray("RIFX").append(Riff(fmt + data).mid(4)) << false << 0
                              << 0 << 0;
    QTest::newRow("RIFF but not WAVE") << Riff(fmt + data, "AVI ") << false << 0 << 0 << 0;
    QTest::newRow("no data chunk") << Riff(fmt) << false << 0 << 0 << 0;
    QTest::newRow("no fmt chunk") << Riff(data) << false << 0 << 0 << 0;
    QTest::newRow("zero channels")
        << Riff(Chunk("fmt ", FmtRecord(1, 0, 48000, 16)) + data) << false << 0 << 0 << 0;
    QTest::newRow("empty file") << QByteArray() << false << 0 << 0 << 0;
}

void TestWavRiff::reader() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    const QString path = m_dir.filePath("r.wav");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    CWaveRiffFile r;
    QCOMPARE(r.OpenRead(path), ok);
    QCOMPARE(r.IsOpen(), ok);
    if (!ok) {
        QVERIFY(r.ErrorText().contains(path));
        return;
    }
    QFETCH(int, tag);
    QFETCH(int, extraSize);
    QFETCH(int, dataSize);
    QCOMPARE(int(r.Format().formatTag), tag);
    QCOMPARE(r.Format().extra.size(), extraSize);
    QCOMPARE(int(r.DataSize()), dataSize);
    QByteArray all(dataSize + 10, '\0');
    QCOMPARE(r.Read(all.data(), all.size()), dataSize);
}

// A name that is no file is a WAV compiled into the program: type WAVE first, then WAV.
void TestWavRiff::resourceLookup() {
    CWaveRiffFile r;
    QVERIFY2(r.OpenRead("beep.wav"), qPrintable(r.ErrorText()));
    QVERIFY(r.FromResource());
    QCOMPARE(r.Format().bitsPerSample, quint16(8));
    QCOMPARE(r.DataSize(), 400u);
    QVERIFY(r.OpenRead("boop.wav"));
    QVERIFY(r.FromResource());
    QVERIFY(!r.OpenRead("nothing.wav"));
    QVERIFY(r.ErrorText().contains("nothing.wav"));
}

void TestWavRiff::writerErrors() {
    CWaveRiffFile w;
    QVERIFY(!w.WriteData("abcd", 4));
    QVERIFY(!w.OpenWrite(m_dir.filePath("missing/dir/x.wav"), WaveFormat::CaptureFormat()));
    QVERIFY(w.ErrorText().contains("x.wav"));
    QVERIFY(!w.IsOpen());
    CWaveRiffFile r;
    QVERIFY(!r.OpenRead(m_dir.path()));  // a folder is neither a file nor a resource
}

QTEST_GUILESS_MAIN(TestWavRiff)
#include "tst_wavriff.moc"
