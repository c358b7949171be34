#include "byte_store.h"

#include <QStandardPaths>

#include <algorithm>
#include <cstring>
#include <vector>

namespace console {

namespace {
// The most that one spill writes: large enough for few, sequential writes,
// small enough to be a fixed overhead above the budget.
constexpr qint64 kLargestSpill = 4 * 1024 * 1024;
} // namespace

QString defaultSpillFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache.isEmpty() ? QString() : cache + QStringLiteral("/Tavrin");
}

ByteStore::ByteStore(qint64 memoryBudget, const QString &spillFolder, int chunkBits)
    : m_chunkBits(chunkBits)
    , m_chunkSize(qint64(1) << chunkBits)
    , m_chunkMask(m_chunkSize - 1)
    , m_budget(std::max<qint64>(0, memoryBudget))
    , m_folder(spillFolder)
{
}

ByteStore::~ByteStore() = default;

ByteStore::Chunk ByteStore::newChunk()
{
    if (m_spare)
        return std::move(m_spare);
    return std::make_unique_for_overwrite<std::uint8_t[]>(size_t(m_chunkSize));
}

void ByteStore::append(const char *data, qsizetype count)
{
    while (count > 0) {
        const qint64 used = m_size & m_chunkMask;
        if (used == 0 && qint64(m_resident.size()) == (m_size >> m_chunkBits) - m_firstResident)
            m_resident.push_back(newChunk());
        const qint64 take = std::min<qint64>(count, m_chunkSize - used);
        std::memcpy(m_resident.back().get() + used, data, size_t(take));
        m_size += take;
        data += take;
        count -= qsizetype(take);
    }
    spillIfOver();
}

void ByteStore::spillIfOver()
{
    if (m_budget == 0 || !m_spillError.isEmpty())
        return;
    const qint64 full = (m_size >> m_chunkBits) - m_firstResident;
    const qint64 over = full - (m_budget >> m_chunkBits);
    const qint64 least = std::clamp<qint64>((m_budget / 4) >> m_chunkBits, 1, kLargestSpill >> m_chunkBits);
    if (over < least)
        return;
    if (!m_file.isOpen() && !m_file.open(m_folder.isEmpty() ? defaultSpillFolder() : m_folder)) {
        stopSpilling(m_file.errorString());
        return;
    }
    std::vector<QByteArrayView> pieces;
    pieces.reserve(size_t(over));
    for (qint64 i = 0; i < over; ++i)
        pieces.emplace_back(m_resident[size_t(i)].get(), m_chunkSize);
    if (!m_file.write(spilledSize(), pieces)) {
        stopSpilling(m_file.errorString());
        // What was written of this spill is not used: its space goes back.
        m_file.truncate(spilledSize());
        return;
    }
    // Only now, with every byte in the file, do the chunks leave memory.
    for (qint64 i = 0; i < over; ++i) {
        m_spare = std::move(m_resident.front());
        m_resident.pop_front();
    }
    m_firstResident += over;
}

void ByteStore::stopSpilling(const QString &reason) const
{
    if (m_spillError.isEmpty())
        m_spillError = reason.isEmpty() ? QStringLiteral("unknown error") : reason;
}

void ByteStore::noteIfUnreadable(qint64 chunk) const
{
    if (m_unreadable.contains(chunk))
        ++m_readFailures;
}

void ByteStore::noteUnreadable(qint64 chunk, const QString &reason) const
{
    m_unreadable.insert(chunk);
    ++m_readFailures;
    if (m_readError.isEmpty())
        m_readError = reason.isEmpty() ? QStringLiteral("unknown error") : reason;
}

void ByteStore::clear()
{
    m_resident.clear();
    m_spare.reset();
    m_firstResident = 0;
    m_size = 0;
    ++m_generation;
    m_file.close();
    m_spillError.clear();
    for (CachedChunk &cached : m_cache)
        cached = {};
    m_unreadable.clear();
    m_readError.clear();
}

void ByteStore::dropCache() const
{
    for (CachedChunk &cached : m_cache)
        cached.chunk = -1;
}

void ByteStore::truncate(qint64 size)
{
    if (size >= m_size)
        return;
    size = std::max<qint64>(0, size);
    const qint64 spilled = spilledSize();
    // Unreadable chunks past the new end go with the bytes they held.
    m_unreadable.erase(m_unreadable.lower_bound((size + m_chunkMask) >> m_chunkBits), m_unreadable.end());
    if (size >= spilled) {
        m_resident.resize(size_t((size - spilled + m_chunkMask) >> m_chunkBits));
        m_size = size;
        return;
    }
    // The cut lies in the file: the bytes of its chunk before it come back
    // to memory, and the file ends where the chunk begins.
    const qint64 chunk = size >> m_chunkBits;
    const qint64 kept = size & m_chunkMask;
    m_resident.clear();
    if (kept > 0) {
        Chunk back = newChunk();
        if (!m_unreadable.contains(chunk)
            && !m_file.read(chunk << m_chunkBits, reinterpret_cast<char *>(back.get()), kept)) {
            // The bytes stay, unreadable, as zeros in memory; the file is
            // not trusted with more.
            noteUnreadable(chunk, m_file.errorString());
            stopSpilling(m_file.errorString());
        }
        if (m_unreadable.contains(chunk))
            std::memset(back.get(), 0, size_t(kept));
        m_resident.push_back(std::move(back));
    }
    m_firstResident = chunk;
    m_size = size;
    dropCache();
    // Bytes past the end of the file's part are never read; a file that
    // cannot be shortened only keeps its space a little longer.
    m_file.truncate(spilledSize());
}

QByteArrayView ByteStore::span(qint64 index) const
{
    if (index < 0 || index >= m_size)
        return {};
    const qint64 chunk = index >> m_chunkBits;
    if (chunk < m_firstResident)
        return spilledSpan(index);
    if (!m_unreadable.empty()) [[unlikely]]
        noteIfUnreadable(chunk);
    const qint64 inChunk = index & m_chunkMask;
    const qint64 length = std::min<qint64>(m_chunkSize - inChunk, m_size - index);
    return QByteArrayView(m_resident[size_t(chunk - m_firstResident)].get() + inChunk, length);
}

QByteArrayView ByteStore::spilledSpan(qint64 index) const
{
    const qint64 chunk = index >> m_chunkBits;
    auto cached = std::find_if(m_cache.begin(), m_cache.end(), [&](const CachedChunk &c) { return c.chunk == chunk; });
    if (cached == m_cache.end()) {
        cached = std::min_element(m_cache.begin(), m_cache.end(),
                                  [](const CachedChunk &a, const CachedChunk &b) { return a.lastUse < b.lastUse; });
        if (!cached->bytes)
            cached->bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size_t(m_chunkSize));
        cached->chunk = chunk;
        // Spilled chunks are always whole. One that could not be read is
        // not read again: it reads as zeros, counted each time.
        if (m_unreadable.contains(chunk)) {
            std::memset(cached->bytes.get(), 0, size_t(m_chunkSize));
            ++m_readFailures;
        } else if (!m_file.read(chunk << m_chunkBits, reinterpret_cast<char *>(cached->bytes.get()), m_chunkSize)) {
            std::memset(cached->bytes.get(), 0, size_t(m_chunkSize));
            noteUnreadable(chunk, m_file.errorString());
            stopSpilling(m_file.errorString());
        }
    } else if (!m_unreadable.empty()) {
        noteIfUnreadable(chunk);
    }
    cached->lastUse = ++m_uses;
    const qint64 inChunk = index & m_chunkMask;
    return QByteArrayView(cached->bytes.get() + inChunk, m_chunkSize - inChunk);
}

} // namespace console
