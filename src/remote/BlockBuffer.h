#pragma once

#include <QtGlobal>

#include <deque>
#include <memory>

namespace orv {

// A byte queue kept as a chain of blocks, so that appending never moves bytes already stored.
// Not thread-safe: the owner guards it (CnComm holds its receive lock around every call).
class BlockBuffer final {
public:
    // Smallest block ever allocated, in bytes.
    static constexpr qsizetype kMinimumBlock = 1024;
    // An emptied last block of at most this capacity is kept for reuse instead of freed.
    static constexpr qsizetype kReuseLimit = 4 * kMinimumBlock;

    BlockBuffer() = default;
    BlockBuffer(const BlockBuffer&) = delete;
    BlockBuffer& operator=(const BlockBuffer&) = delete;

    // Copies n bytes in: the last block's free space first, the rest into one new block of
    // max(kMinimumBlock, rest) bytes.
    void Append(const char* data, qsizetype n);

    // Contiguous space for one read of up to n bytes: the last block's free space when it holds
    // n, else a new block of max(kMinimumBlock, n) bytes. The reader writes into it and then
    // calls Commit with what arrived. Returns nullptr for n <= 0.
    char* Reserve(qsizetype n);
    // Counts n bytes written into the space of the last Reserve (n at most what was reserved).
    void Commit(qsizetype n);

    // Copies up to n bytes out from the front; returns the count. Emptied blocks are freed,
    // except a last block of at most kReuseLimit bytes, which is emptied and kept.
    qsizetype Take(char* out, qsizetype n);

    void Clear();

    qsizetype Size() const { return m_size; }
    bool IsEmpty() const { return m_size == 0; }
    // Bytes allocated for blocks, stored or free.
    qsizetype Capacity() const { return m_capacity; }
    qsizetype BlockCount() const { return static_cast<qsizetype>(m_blocks.size()); }

private:
    struct Block {
        qsizetype start = 0;  // first stored byte
        qsizetype end = 0;    // one past the last stored byte
        qsizetype capacity = 0;
        std::unique_ptr<char[]> bytes;
    };

    Block& AddBlock(qsizetype capacity);

    std::deque<Block> m_blocks;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
    qsizetype m_reserved = 0;  // space handed out by the last Reserve, not yet committed
};

}  // namespace orv
