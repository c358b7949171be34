#include "traffic_source.h"

#include <algorithm>

namespace console {

PanelSource::PanelSource(std::array<const Panel *, 2> panels, QObject *parent)
    : TrafficSource(parent)
    , m_panels(panels)
{
    for (const Panel *p : m_panels) {
        connect(p, &Panel::framesGrown, this, &TrafficSource::grown);
        connect(p, &Panel::portEvent, this, &TrafficSource::grown);
        connect(p, &Panel::framesReset, this, &TrafficSource::reset);
    }
}

std::optional<TrafficSource::Span> PanelSource::frameSpan(int panel, qint64 frame) const
{
    const Panel &p = *m_panels[panel];
    const auto span = console::frameSpan(p.frames(), p.receive().arrivalTimes(), frame);
    if (!span)
        return std::nullopt;
    return Span{span->startUs, span->endUs};
}

std::optional<qint64> PanelSource::longestPauseUs(int panel, qint64 frame) const
{
    const Panel &p = *m_panels[panel];
    const ArrivalTimes &times = p.receive().arrivalTimes();
    const auto first = times.markOf(p.frames().start(frame));
    const auto last = times.markOf(p.frames().end(frame) - 1);
    if (!first || !last || *last <= *first)
        return std::nullopt;
    qint64 longest = 0;
    for (size_t i = *first + 1; i <= *last; ++i)
        longest = std::max(longest, times.idleBeforeUs(i));
    return longest;
}

qint64 PanelSource::frameWallMs(int panel, qint64 frame) const
{
    const Panel &p = *m_panels[panel];
    const ArrivalTimes &times = p.receive().arrivalTimes();
    const auto mark = times.markOf(p.frames().start(frame));
    return mark ? times.wallMs(*mark) : 0;
}

void PanelSource::frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const
{
    const Panel &p = *m_panels[panel];
    p.receive().store().forEachSpan(p.frames().start(frame), count, [&](QByteArrayView piece) { out.append(piece); });
}

QString PanelSource::framePort(int panel, qint64 frame) const
{
    // The port of the last event before the frame: a start or a reconnect
    // names where the bytes came from.
    const auto span = frameSpan(panel, frame);
    return portAt(panel, span ? span->startUs : 0);
}

QString PanelSource::portAt(int panel, qint64 at) const
{
    const Panel &p = *m_panels[panel];
    const auto &events = p.events();
    auto after = std::upper_bound(events.begin(), events.end(), at,
                                  [](qint64 t, const PortEvent &e) { return t < e.monotonicUs; });
    return after == events.begin() ? p.portText() : std::prev(after)->port;
}

void PanelSource::sentBytes(int panel, qint64 first, qint64 count, QByteArray &out) const
{
    m_panels[panel]->sentBytes().forEachSpan(first, count, [&](QByteArrayView piece) { out.append(piece); });
}

QString PanelSource::settings(int panel) const
{
    const auto &events = m_panels[panel]->events();
    for (auto e = events.rbegin(); e != events.rend(); ++e)
        if (e->kind == PortEventKind::Started)
            return e->detail;
    return m_panels[panel]->control().settings();
}

qint64 PanelSource::burstCount(int panel) const
{
    // Bursts of bytes still waiting to be shown are not in the stream yet.
    const Panel &p = *m_panels[panel];
    const qint64 shown = p.receive().shownSize();
    if (shown == 0)
        return 0;
    const auto last = p.receive().arrivalTimes().markOf(shown - 1);
    return last ? qint64(*last) + 1 : 0;
}

TrafficSource::Burst PanelSource::burst(int panel, qint64 index) const
{
    const ArrivalTimes &times = m_panels[panel]->receive().arrivalTimes();
    const ArrivalTimes::Mark &m = times.mark(size_t(index));
    return {m.firstByte, m.startUs, m.endUs, times.wallMs(size_t(index))};
}

std::optional<qint64> PanelSource::burstOf(int panel, qint64 byte) const
{
    const auto mark = m_panels[panel]->receive().arrivalTimes().markOf(byte);
    return mark ? std::optional<qint64>(qint64(*mark)) : std::nullopt;
}

void PanelSource::streamBytes(int panel, qint64 first, qint64 count, QByteArray &out) const
{
    m_panels[panel]->receive().store().forEachSpan(first, count, [&](QByteArrayView piece) { out.append(piece); });
}

bool PanelSource::streamReadable(int panel, qint64 first, qint64 count) const
{
    return m_panels[panel]->receive().store().readable(first, count);
}

QString PanelSource::streamPort(int panel, qint64 byte) const
{
    const auto mark = burstOf(panel, byte);
    return portAt(panel, mark ? burst(panel, *mark).startUs : 0);
}

std::optional<qint64> PanelSource::nowUs() const
{
    return m_panels[0]->receive().clock().monotonicUs();
}

} // namespace console
