#include "row_walker.h"

#include <QElapsedTimer>

#include <charconv>
#include <optional>

namespace console {

namespace {

// A station's number, for ordering; nothing for a text that is none.
std::optional<long> stationNumber(const std::string &unit)
{
    long n = 0;
    const auto [end, error] = std::from_chars(unit.data(), unit.data() + unit.size(), n);
    if (unit.empty() || error != std::errc() || end != unit.data() + unit.size())
        return std::nullopt;
    return n;
}

} // namespace

bool stationBefore(const std::string &a, const std::string &b)
{
    if (a.empty() != b.empty())
        return b.empty(); // the frames with no station last
    const auto na = stationNumber(a), nb = stationNumber(b);
    if (na.has_value() != nb.has_value())
        return na.has_value();
    if (na && *na != *nb)
        return *na < *nb;
    return a < b;
}

RowWalker::RowWalker(Rows rows, Take take, Settled settled, QObject *parent)
    : QObject(parent)
    , m_rows(std::move(rows))
    , m_take(std::move(take))
    , m_settled(std::move(settled))
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &RowWalker::schedule);
}

void RowWalker::restartAt(int row)
{
    m_next = std::max(0, row);
    ++m_generation;
    m_scheduled = false;
    schedule();
}

void RowWalker::more()
{
    schedule();
}

bool RowWalker::walk(int limit)
{
    const int count = m_rows.count();
    if (m_next > count)
        m_next = count; // the rows were made again, fewer
    const int stop = std::min<qint64>(count, qint64(m_next) + std::max(limit, 0));
    bool waiting = false;
    const int from = m_next;
    QElapsedTimer slice;
    slice.start();
    while (m_next < stop) {
        // The clock is read every few rows: reading it costs as much as a row.
        if ((m_next - from) % 64 == 63 && slice.elapsed() >= kSliceMs)
            break;
        const RowFacts facts = m_rows.factsAt(m_next);
        if (!m_settled(facts)) {
            waiting = true;
            break;
        }
        m_take(m_next, facts);
        ++m_next;
    }
    if (waiting)
        m_retry.start();
    if (m_next != from)
        emit progressed();
    return caughtUp();
}

void RowWalker::schedule()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_generation)
            return;
        m_scheduled = false;
        const int before = m_next;
        walk();
        // A slice went through without waiting: the rest follows in the
        // next turn.
        if (m_next > before && !m_retry.isActive() && !caughtUp())
            schedule();
    });
}

} // namespace console
