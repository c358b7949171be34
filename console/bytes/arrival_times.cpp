#include "arrival_times.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>

namespace console {

ArrivalClock ArrivalClock::system()
{
    using namespace std::chrono;
    return {[] { return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count(); },
            [] { return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count(); }};
}

ArrivalClock ArrivalClock::fromMilliseconds(std::function<qint64()> msecs)
{
    return {[msecs] { return msecs() * 1000; }, [msecs] { return msecs() * 1000; }};
}

void ArrivalTimes::arrived(qint64 firstByte, const ArrivalClock &clock)
{
    const qint64 now = clock.monotonicUs();
    if (!m_marks.empty() && now - m_marks.back().endUs < kBurstGapUs) {
        m_marks.back().endUs = std::max(m_marks.back().endUs, now);
        return;
    }
    m_marks.push_back({firstByte, now, now});
    // The wall clock is read only to note where it stands against the
    // monotonic one; a step of a millisecond or more starts a new offset.
    const qint64 offset = clock.wallUs() - now;
    if (m_offsets.empty() || std::abs(offset - m_offsets.back().wallMinusMonotonicUs) >= 1000)
        m_offsets.push_back({m_marks.size() - 1, offset});
}

void ArrivalTimes::truncate(qint64 size)
{
    while (!m_marks.empty() && m_marks.back().firstByte >= size)
        m_marks.pop_back();
    while (!m_offsets.empty() && m_offsets.back().fromMark >= m_marks.size())
        m_offsets.pop_back();
}

void ArrivalTimes::dropBefore(qint64 first)
{
    if (const auto holder = markOf(first)) {
        m_marks.erase(m_marks.begin(), m_marks.begin() + qsizetype(*holder));
        m_marks.front().firstByte = first;
        // The offset in force for the kept first mark moves to it.
        auto kept = std::upper_bound(m_offsets.begin(), m_offsets.end(), *holder,
                                     [](size_t i, const Offset &o) { return i < o.fromMark; });
        if (kept != m_offsets.begin())
            m_offsets.erase(m_offsets.begin(), std::prev(kept));
        for (Offset &o : m_offsets)
            o.fromMark = o.fromMark > *holder ? o.fromMark - *holder : 0;
    }
    for (Mark &m : m_marks)
        m.firstByte -= first;
}

void ArrivalTimes::clear()
{
    m_marks.clear();
    m_offsets.clear();
}

std::optional<size_t> ArrivalTimes::markOf(qint64 index) const
{
    // Walks over rows ask for the same or the next burst again and again:
    // the last answer and the one after it are tried before a search.
    const size_t count = m_marks.size();
    for (const size_t k : {m_lastMark, m_lastMark + 1}) {
        if (k < count && m_marks[k].firstByte <= index && (k + 1 == count || index < m_marks[k + 1].firstByte)) {
            m_lastMark = k;
            return k;
        }
    }
    auto after = std::upper_bound(m_marks.begin(), m_marks.end(), index,
                                  [](qint64 i, const Mark &m) { return i < m.firstByte; });
    if (after == m_marks.begin())
        return std::nullopt;
    m_lastMark = size_t(std::prev(after) - m_marks.begin());
    return m_lastMark;
}

qint64 ArrivalTimes::idleBeforeUs(size_t i) const
{
    return i == 0 ? std::numeric_limits<qint64>::max() : m_marks[i].startUs - m_marks[i - 1].endUs;
}

qint64 ArrivalTimes::wallMs(size_t i, qint64 monotonicUs) const
{
    auto after = std::upper_bound(m_offsets.begin(), m_offsets.end(), i,
                                  [](size_t mark, const Offset &o) { return mark < o.fromMark; });
    const qint64 offset = after == m_offsets.begin() ? 0 : std::prev(after)->wallMinusMonotonicUs;
    return millisecondsOf(monotonicUs + offset);
}

std::optional<qint64> ArrivalTimes::timeOf(qint64 index) const
{
    if (const auto k = markOf(index))
        return wallMs(*k);
    return std::nullopt;
}

QString arrivalText(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString rowToolTip(qint64 rowLabel, std::optional<qint64> firstByteMsecs)
{
    QString tip = QStringLiteral("Row ") + QString::number(rowLabel);
    if (firstByteMsecs)
        tip += QStringLiteral(" \u2014 ") + arrivalText(*firstByteMsecs);
    return tip;
}

} // namespace console
