#include <QRandomGenerator>
#include <QTest>

#include "remote/BlockBuffer.h"

using orv::BlockBuffer;

namespace {

QByteArray Pattern(qsizetype n, int seed) {
    QByteArray bytes(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    }
    return bytes;
}

QByteArray TakeAll(BlockBuffer& buffer, qsizetype piece) {
    QByteArray out;
    QByteArray chunk(piece, Qt::Uninitialized);
    for (;;) {
        const qsizetype n = buffer.Take(chunk.data(), piece);
        if (n == 0) {
            return out;
        }
        out.append(chunk.constData(), n);
    }
}

}  // namespace

class TestBlockBuffer final : public QObject {
    Q_OBJECT
private slots:
    // Mixed appends and reserved reads of awkward sizes, drained in awkward pieces, come out
    // whole and in order, and the counts agree at every step.
    void keepsOrderAcrossBlocks_data() {
        QTest::addColumn<QList<int>>("writes");  // > 0 Append, < 0 Reserve+Commit of -n
        QTest::addColumn<int>("piece");
        QTest::newRow("small appends") << QList<int>{1, 2, 3, 1000, 24} << 7;
        QTest::newRow("fills a block exactly") << QList<int>{1024, 1024, 1} << 1023;
        QTest::newRow("one large append") << QList<int>{10000} << 1023;
        QTest::newRow("reserved reads") << QList<int>{-100, -2112, -5, -4096} << 1023;
        QTest::newRow("mixed") << QList<int>{30, -2000, 1500, -1, 5000, -900} << 64;
        QTest::newRow("take all at once") << QList<int>{700, -700, 700} << 100000;
    }
    void keepsOrderAcrossBlocks() {
        QFETCH(QList<int>, writes);
        QFETCH(int, piece);
        BlockBuffer buffer;
        QByteArray expected;
        int seed = 0;
        for (int w : writes) {
            const QByteArray bytes = Pattern(std::abs(w), ++seed);
            if (w > 0) {
                buffer.Append(bytes.constData(), bytes.size());
            } else {
                // A read that delivers less than it asked for, as a port read does.
                char* space = buffer.Reserve(bytes.size() + 64);
                QVERIFY(space != nullptr);
                memcpy(space, bytes.constData(), static_cast<size_t>(bytes.size()));
                buffer.Commit(bytes.size());
            }
            expected += bytes;
            QCOMPARE(buffer.Size(), expected.size());
        }
        QCOMPARE(TakeAll(buffer, piece), expected);
        QCOMPARE(buffer.Size(), 0);
        QVERIFY(buffer.IsEmpty());
    }

    // Interleaved filling and draining, as the monitor and the station do, never loses or
    // reorders a byte, and memory follows what is held rather than what passed through.
    void interleavedTrafficStaysBounded() {
        BlockBuffer buffer;
        QRandomGenerator random(1234);
        QByteArray sent;
        QByteArray received;
        qsizetype maxCapacity = 0;
        char chunk[1023];
        for (int round = 0; round < 2000; ++round) {
            const qsizetype n = random.bounded(1, 3000);
            const QByteArray bytes = Pattern(n, round);
            char* space = buffer.Reserve(2 * n + 64);
            memcpy(space, bytes.constData(), static_cast<size_t>(n));
            buffer.Commit(n);
            sent += bytes;
            while (buffer.Size() > 1500) {
                const qsizetype got = buffer.Take(chunk, sizeof chunk);
                received.append(chunk, got);
            }
            maxCapacity = std::max(maxCapacity, buffer.Capacity());
        }
        received += TakeAll(buffer, 1023);
        QCOMPARE(received.size(), sent.size());
        QVERIFY(received == sent);
        // At most ~1.5 KiB held, each block at most 2 x 3000 + 64 bytes: a few blocks at most.
        QVERIFY2(maxCapacity <= 4 * 6064, QByteArray::number(maxCapacity));
    }

    // An emptied last block is kept for reuse when small, freed when large; other emptied
    // blocks are always freed.
    void reusesOnlySmallLastBlock_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<qsizetype>("capacityAfter");
        QTest::newRow("minimum block kept") << 10 << BlockBuffer::kMinimumBlock;
        QTest::newRow("4 KiB block kept") << 4096 << qsizetype{4096};
        QTest::newRow("larger block freed") << 4097 << qsizetype{0};
    }
    void reusesOnlySmallLastBlock() {
        QFETCH(int, size);
        QFETCH(qsizetype, capacityAfter);
        BlockBuffer buffer;
        const QByteArray bytes = Pattern(size, 3);
        buffer.Append(bytes.constData(), bytes.size());
        QCOMPARE(TakeAll(buffer, 1023), bytes);
        QCOMPARE(buffer.Capacity(), capacityAfter);
        QCOMPARE(buffer.BlockCount(), capacityAfter > 0 ? 1 : 0);

        // The kept block takes the next bytes without a new allocation.
        buffer.Append("abc", 3);
        QCOMPARE(buffer.Capacity(), std::max(capacityAfter, BlockBuffer::kMinimumBlock));
        char out[3];
        QCOMPARE(buffer.Take(out, 3), qsizetype{3});
        QCOMPARE(QByteArray(out, 3), QByteArray("abc"));
    }

    void appendFillsLastBlockFirst() {
        BlockBuffer buffer;
        const QByteArray first = Pattern(1000, 1);
        buffer.Append(first.constData(), first.size());
        QCOMPARE(buffer.Capacity(), BlockBuffer::kMinimumBlock);
        const QByteArray second = Pattern(24, 2);
        buffer.Append(second.constData(), second.size());
        QCOMPARE(buffer.BlockCount(), 1);  // exactly filled the first block
        const QByteArray third = Pattern(3000, 3);
        buffer.Append(third.constData(), third.size());
        QCOMPARE(buffer.BlockCount(), 2);
        QCOMPARE(buffer.Capacity(), BlockBuffer::kMinimumBlock + 3000);
        QCOMPARE(TakeAll(buffer, 500), first + second + third);
    }

    void degenerateCalls() {
        BlockBuffer buffer;
        char out[4];
        QCOMPARE(buffer.Take(out, 4), qsizetype{0});
        QCOMPARE(buffer.Reserve(0), nullptr);
        buffer.Append(nullptr, 5);
        buffer.Append("x", 0);
        QCOMPARE(buffer.Size(), 0);
        // A reservation that receives nothing leaves nothing behind to read.
        QVERIFY(buffer.Reserve(100) != nullptr);
        buffer.Commit(0);
        QCOMPARE(buffer.Size(), 0);
        QCOMPARE(buffer.Take(out, 4), qsizetype{0});
        buffer.Append("wxyz", 4);
        buffer.Clear();
        QCOMPARE(buffer.Size(), 0);
        QCOMPARE(buffer.Capacity(), 0);
    }
};

QTEST_APPLESS_MAIN(TestBlockBuffer)
#include "tst_BlockBuffer.moc"
