#pragma once

#include "console/bytes/spill_file.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>

namespace console {

// Received bytes kept once, in fixed-size chunks: an append never moves
// what is stored and costs O(1) per byte. The most recent bytes stay in
// memory up to a budget; older whole chunks move, in large sequential
// writes, to a file without a name in the user's cache folder (SpillFile),
// and are read back a chunk at a time into a small cache. Memory stays at
// the budget plus a fixed overhead however long the console runs. A file
// that cannot be written leaves every byte in memory from then on.
//
// Reading is the same for every byte, wherever it lives. A view that span()
// returns, or that forEachSpan() hands over, holds until the next call on
// the store.
class ByteStore {
public:
    static constexpr qsizetype kChunkSize = 64 * 1024;
    static constexpr qint64 kDefaultMemoryBudget = 64 * 1024 * 1024;

    // `memoryBudget` 0: everything in memory, no file. `spillFolder` empty:
    // defaultSpillFolder(). Chunks hold 2^chunkBits bytes.
    explicit ByteStore(qint64 memoryBudget = kDefaultMemoryBudget, const QString &spillFolder = {},
                       int chunkBits = 16);
    ~ByteStore();

    // Takes effect at the next append.
    void setMemoryBudget(qint64 bytes) { m_budget = std::max<qint64>(0, bytes); }
    qint64 memoryBudget() const { return m_budget; }

    void append(const char *data, qsizetype count);
    void append(const QByteArray &bytes) { append(bytes.constData(), bytes.size()); }
    // Empties the store and its file.
    void clear();
    // Drops the bytes from `size` on; keeps those before it where they are.
    void truncate(qint64 size);
    // Changes with every clear(): a reader that let events run in between
    // checks it to know the bytes it was reading are still there.
    quint64 generation() const { return m_generation; }

    qint64 size() const { return m_size; }
    std::uint8_t at(qint64 index) const
    {
        const qint64 chunk = index >> m_chunkBits;
        if (chunk < m_firstResident)
            return std::uint8_t(spilledSpan(index)[0]);
        if (!m_unreadable.empty()) [[unlikely]]
            noteIfUnreadable(chunk);
        return m_resident[size_t(chunk - m_firstResident)][size_t(index & m_chunkMask)];
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

    // Bytes [0, spilledSize()) live in the file.
    qint64 spilledSize() const { return m_firstResident << m_chunkBits; }
    // Why bytes stopped going to the file (they stay in memory since);
    // empty while all is well. clear() starts over with a new file.
    QString spillError() const { return m_spillError; }

    // Bytes of the file that could not be read back (a failing disk) read
    // as zeros: readable() tells them, and every read that met them counts
    // in readFailures(), so that a reader can tell that what it read is not
    // what came. readError() is the first reason. Until clear(), or a
    // truncate() that drops them.
    bool readable(qint64 index) const { return readable(index, 1); }
    // Whether every byte of [first, first + count) was read back as stored.
    bool readable(qint64 first, qint64 count) const
    {
        if (m_unreadable.empty() || count <= 0)
            return true;
        const auto found = m_unreadable.lower_bound(first >> m_chunkBits);
        return found == m_unreadable.end() || *found > ((first + count - 1) >> m_chunkBits);
    }
    quint64 readFailures() const { return m_readFailures; }
    QString readError() const { return m_readError; }

private:
    using Chunk = std::unique_ptr<std::uint8_t[]>;
    // A spilled chunk read back.
    struct CachedChunk {
        qint64 chunk = -1;
        quint64 lastUse = 0;
        Chunk bytes;
    };

    QByteArrayView spilledSpan(qint64 index) const;
    void spillIfOver();
    Chunk newChunk();
    void dropCache() const;
    void stopSpilling(const QString &reason) const;
    void noteIfUnreadable(qint64 chunk) const;
    void noteUnreadable(qint64 chunk, const QString &reason) const;

    int m_chunkBits;
    qint64 m_chunkSize;
    qint64 m_chunkMask;
    qint64 m_budget;
    QString m_folder;

    // Chunks m_firstResident.. in memory, the last one partly filled.
    std::deque<Chunk> m_resident;
    qint64 m_firstResident = 0;
    qint64 m_size = 0;
    quint64 m_generation = 0;
    // A chunk freed by the last spill, for the next append to fill.
    Chunk m_spare;

    mutable SpillFile m_file;
    mutable QString m_spillError;
    mutable std::array<CachedChunk, 4> m_cache;
    mutable quint64 m_uses = 0;
    // Chunks that could not be read back, and the reads that met them.
    mutable std::set<qint64> m_unreadable;
    mutable quint64 m_readFailures = 0;
    mutable QString m_readError;
};

// Where spill files go when no folder is given: "Tavrin" in the user's
// cache folder ($XDG_CACHE_HOME, ~/.cache, or the local application data).
QString defaultSpillFolder();

} // namespace console
