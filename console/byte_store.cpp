#include "byte_store.h"

#include <algorithm>
#include <cstring>

namespace console {

void ByteStore::append(const char *data, qsizetype count)
{
    while (count > 0) {
        const qsizetype used = qsizetype(m_size % kChunkSize);
        if (used == 0 && size_t(m_size / kChunkSize) == m_chunks.size())
            m_chunks.push_back(std::make_unique_for_overwrite<Chunk>());
        const qsizetype take = std::min(count, kChunkSize - used);
        std::memcpy(m_chunks.back()->data() + used, data, size_t(take));
        m_size += take;
        data += take;
        count -= take;
    }
}

void ByteStore::clear()
{
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_size = 0;
    ++m_generation;
}

void ByteStore::truncate(qint64 size)
{
    if (size >= m_size)
        return;
    m_size = std::max<qint64>(0, size);
    m_chunks.resize(size_t((m_size + kChunkSize - 1) / kChunkSize));
}

QByteArrayView ByteStore::span(qint64 index) const
{
    if (index < 0 || index >= m_size)
        return {};
    const qint64 inChunk = index % kChunkSize;
    const qint64 length = std::min<qint64>(kChunkSize - inChunk, m_size - index);
    return QByteArrayView(m_chunks[size_t(index / kChunkSize)]->data() + inChunk, length);
}

} // namespace console
