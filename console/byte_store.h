#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace console {

// Received bytes kept once, in fixed-size chunks: an append never moves
// what is stored, costs O(1) per byte, and memory stays at about one byte
// per received byte however long the console runs.
class ByteStore {
public:
    static constexpr qsizetype kChunkSize = 64 * 1024;

    void append(const char *data, qsizetype count);
    void append(const QByteArray &bytes) { append(bytes.constData(), bytes.size()); }
    void clear();

    qint64 size() const { return m_size; }
    std::uint8_t at(qint64 index) const
    {
        return (*m_chunks[size_t(index / kChunkSize)])[size_t(index % kChunkSize)];
    }

private:
    using Chunk = std::array<std::uint8_t, kChunkSize>;
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    qint64 m_size = 0;
};

} // namespace console
