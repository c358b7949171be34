#pragma once

#include <QByteArray>
#include <QByteArrayView>

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
    // Drops the bytes from `size` on; keeps those before it where they are.
    void truncate(qint64 size);
    // Changes with every clear(): a reader that let events run in between
    // checks it to know the bytes it was reading are still there.
    quint64 generation() const { return m_generation; }

    qint64 size() const { return m_size; }
    std::uint8_t at(qint64 index) const
    {
        return (*m_chunks[size_t(index / kChunkSize)])[size_t(index % kChunkSize)];
    }

    // The stored bytes from `index` up to the end of its chunk or of the
    // store, whichever comes first; empty at or past the end.
    QByteArrayView span(qint64 index) const;
    // Calls f(QByteArrayView) for consecutive pieces of [first, first + count).
    template<typename F>
    void forEachSpan(qint64 first, qint64 count, F &&f) const
    {
        while (count > 0) {
            QByteArrayView piece = span(first);
            if (piece.isEmpty())
                return;
            piece = piece.first(std::min<qint64>(piece.size(), count));
            f(piece);
            first += piece.size();
            count -= piece.size();
        }
    }

private:
    using Chunk = std::array<std::uint8_t, kChunkSize>;
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    qint64 m_size = 0;
    quint64 m_generation = 0;
};

} // namespace console
