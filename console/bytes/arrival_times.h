#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace console {

// Where arrival times come from: a monotonic clock in microseconds for gaps
// and a wall clock in microseconds since the epoch for display. Tests drive
// both by hand.
struct ArrivalClock {
    std::function<qint64()> monotonicUs;
    std::function<qint64()> wallUs;

    static ArrivalClock system();
    // One reading in milliseconds serves as both clocks.
    static ArrivalClock fromMilliseconds(std::function<qint64()> msecs);
};

// When the received bytes came, one mark per burst: bytes that arrive within
// 1 ms of the previous ones share its mark, so memory grows with the number
// of bursts, not of bytes. A mark holds the index of its first byte, when
// that byte came and when the last byte of the burst came (monotonic).
// Wall-clock times follow from the monotonic ones through an offset that is
// noted again only when the wall clock moves against the monotonic one.
class ArrivalTimes {
public:
    struct Mark {
        qint64 firstByte;
        qint64 startUs;
        qint64 endUs;
    };
    // A burst is idle-separated from the previous one by at least this much.
    static constexpr qint64 kBurstGapUs = 1000;

    // Bytes from `firstByte` on (the store's size before they were added)
    // arrived now.
    void arrived(qint64 firstByte, const ArrivalClock &clock);
    // Forgets the bytes from `size` on.
    void truncate(qint64 size);
    // Forgets the bytes before `first`; byte `first` becomes byte 0.
    void dropBefore(qint64 first);
    void clear();

    size_t count() const { return m_marks.size(); }
    const Mark &mark(size_t i) const { return m_marks[i]; }
    // The mark whose burst holds byte `index`; nothing before the first mark.
    std::optional<size_t> markOf(qint64 index) const;
    // Silence on the line before mark i (from the end of the burst before).
    qint64 idleBeforeUs(size_t i) const;
    // Wall-clock milliseconds since the epoch of a monotonic time noted at or
    // after mark i.
    qint64 wallMs(size_t i, qint64 monotonicUs) const;
    qint64 wallMs(size_t i) const { return wallMs(i, m_marks[i].startUs); }

    // Wall-clock arrival time of the byte at `index` (its burst's start).
    std::optional<qint64> timeOf(qint64 index) const;

private:
    std::deque<Mark> m_marks;
    // markOf()'s last answer: only a hint, checked before it is used.
    mutable size_t m_lastMark = 0;
    struct Offset {
        size_t fromMark;
        qint64 wallMinusMonotonicUs;
    };
    std::vector<Offset> m_offsets;
};

// Whole milliseconds of a time in microseconds, rounded down (also before
// 1970).
inline qint64 millisecondsOf(qint64 us)
{
    return us >= 0 ? us / 1000 : -((999 - us) / 1000);
}

// Local time with milliseconds: 2026-12-07 14:03:11.482.
QString arrivalText(qint64 msecs);
// The row label's tooltip: the whole row number and, when the row holds a
// byte, the arrival time of its first byte.
QString rowToolTip(qint64 rowLabel, std::optional<qint64> firstByteMsecs);

} // namespace console
