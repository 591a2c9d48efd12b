#include "remote/BlockBuffer.h"

#include <algorithm>
#include <cstring>

namespace orv {

BlockBuffer::Block& BlockBuffer::AddBlock(qsizetype capacity) {
    Block block;
    block.capacity = capacity;
    block.bytes = std::make_unique<char[]>(static_cast<size_t>(capacity));
    m_capacity += capacity;
    m_blocks.push_back(std::move(block));
    return m_blocks.back();
}

void BlockBuffer::Append(const char* data, qsizetype n) {
    if (n <= 0 || data == nullptr) {
        return;
    }
    m_reserved = 0;
    if (!m_blocks.empty()) {
        Block& last = m_blocks.back();
        const qsizetype room = std::min(n, last.capacity - last.end);
        if (room > 0) {
            std::memcpy(last.bytes.get() + last.end, data, static_cast<size_t>(room));
            last.end += room;
            m_size += room;
            data += room;
            n -= room;
        }
    }
    if (n > 0) {
        Block& block = AddBlock(std::max(kMinimumBlock, n));
        std::memcpy(block.bytes.get(), data, static_cast<size_t>(n));
        block.end = n;
        m_size += n;
    }
}

char* BlockBuffer::Reserve(qsizetype n) {
    m_reserved = 0;
    if (n <= 0) {
        return nullptr;
    }
    if (m_blocks.empty() || m_blocks.back().capacity - m_blocks.back().end < n) {
        AddBlock(std::max(kMinimumBlock, n));
    }
    Block& last = m_blocks.back();
    m_reserved = n;
    return last.bytes.get() + last.end;
}

void BlockBuffer::Commit(qsizetype n) {
    Q_ASSERT(n >= 0 && n <= m_reserved);
    n = std::clamp<qsizetype>(n, 0, m_reserved);
    m_reserved = 0;
    if (n == 0) {
        return;
    }
    m_blocks.back().end += n;
    m_size += n;
}

qsizetype BlockBuffer::Take(char* out, qsizetype n) {
    qsizetype taken = 0;
    m_reserved = 0;
    while (taken < n && !m_blocks.empty()) {
        Block& first = m_blocks.front();
        const qsizetype count = std::min(n - taken, first.end - first.start);
        if (count > 0) {
            std::memcpy(out + taken, first.bytes.get() + first.start, static_cast<size_t>(count));
            first.start += count;
            taken += count;
            m_size -= count;
        }
        if (first.start < first.end) {
            break;  // out is full
        }
        if (m_blocks.size() == 1 && first.capacity <= kReuseLimit) {
            first.start = 0;
            first.end = 0;
            break;
        }
        m_capacity -= first.capacity;
        m_blocks.pop_front();
    }
    return taken;
}

void BlockBuffer::Clear() {
    m_blocks.clear();
    m_size = 0;
    m_capacity = 0;
    m_reserved = 0;
}

}  // namespace orv
