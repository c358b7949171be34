#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace console {

// When the received bytes came: one entry per receive tick that brought
// bytes, holding the index of the tick's first byte and its arrival time in
// milliseconds since the epoch. 16 bytes a tick, nothing per byte.
class ArrivalTimes {
public:
    struct Entry {
        qint64 firstByte;
        qint64 msecs;
    };

    // `firstByte` grows from one call to the next; a tick that brought no
    // bytes is not recorded.
    void record(qint64 firstByte, qint64 msecs);
    void clear() { m_entries.clear(); }

    // Arrival time of the byte at `index`: that of the tick that brought it.
    std::optional<qint64> timeOf(qint64 index) const;
    const std::vector<Entry> &entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
};

// Local time with milliseconds: 2026-12-07 14:03:11.482.
QString arrivalText(qint64 msecs);
// The row label's tooltip: the whole row number and, when the row holds a
// byte, the arrival time of its first byte.
QString rowToolTip(qint64 rowLabel, std::optional<qint64> firstByteMsecs);

} // namespace console
