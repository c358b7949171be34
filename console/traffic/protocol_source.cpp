#include "protocol_source.h"

#include <algorithm>
#include <limits>

namespace console {

namespace {
// A burst is fed in pieces of at most this much: a flood handed over as
// one burst does not make the framer hold it all.
constexpr qint64 kPieceBytes = 64 * 1024;
} // namespace

ProtocolSource::ProtocolSource(const TrafficSource &base, protocol::Protocol protocol, qint64 replyTimeoutUs,
                               QObject *parent)
    : TrafficSource(parent)
    , m_base(base)
    , m_protocol(protocol)
    , m_timeoutUs(replyTimeoutUs)
{
    connect(&m_base, &TrafficSource::grown, this, &ProtocolSource::baseGrown);
    connect(&m_base, &TrafficSource::reset, this, [this] {
        restart();
        emit reset();
        scheduleMore();
    });
    m_idle.setInterval(kIdleTickMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (const auto now = m_base.nowUs())
            idle(*now);
    });
    restart();
    if (m_hasFramer && m_base.nowUs())
        m_idle.start();
    // What is stored already is framed a slice now, the rest from the event
    // loop.
    frameSome(kSliceBytes);
}

ProtocolSource::~ProtocolSource() = default;

void ProtocolSource::restart()
{
    ++m_generation;
    m_moreScheduled = false;
    m_lastLane = -1;
    const protocol::Options options{m_timeoutUs};
    for (Lane &lane : m_lanes) {
        lane.framer = protocol::makeFramer(m_protocol, options);
        lane.marks.clear();
        lane.fed = 0;
        lane.finished = false;
    }
    m_hasFramer = m_lanes[0].framer != nullptr;
}

bool ProtocolSource::caughtUp() const
{
    if (!m_hasFramer)
        return true;
    for (int p = 0; p < 2; ++p)
        if (m_lanes[p].fed < m_base.streamSize(p) || (!m_base.nowUs() && !m_lanes[p].finished))
            return false;
    return true;
}

void ProtocolSource::baseGrown()
{
    frameSome(kSliceBytes);
    // New events come through even when no frame did.
    emit grown();
}

void ProtocolSource::scheduleMore()
{
    if (m_moreScheduled || caughtUp())
        return;
    m_moreScheduled = true;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_generation)
            return;
        m_moreScheduled = false;
        frameSome(kSliceBytes);
        emit grown();
    });
}

qint64 ProtocolSource::feedNext(int panel, QByteArray &scratch, std::vector<protocol::FrameMark> &out)
{
    Lane &lane = m_lanes[panel];
    const qint64 size = m_base.streamSize(panel);
    const auto index = m_base.burstOf(panel, lane.fed);
    const Burst b = index ? m_base.burst(panel, *index) : Burst{lane.fed, 0, 0, 0};
    qint64 burstEnd = size;
    if (index && *index + 1 < m_base.burstCount(panel))
        burstEnd = std::min(size, m_base.burst(panel, *index + 1).firstByte);
    const qint64 count = std::min(burstEnd - lane.fed, kPieceBytes);
    if (count <= 0)
        return 0;
    scratch.resize(0);
    m_base.streamBytes(panel, lane.fed, count, scratch);
    const auto *data = reinterpret_cast<const std::uint8_t *>(scratch.constData());
    lane.framer->feed({data, size_t(scratch.size())}, b.startUs, out);
    lane.fed += count;
    return count;
}

void ProtocolSource::take(int panel, std::vector<protocol::FrameMark> &out)
{
    auto &marks = m_lanes[panel].marks;
    for (const protocol::FrameMark &m : out) {
        if (!marks.empty() && m_lastLane == panel && continuesRun(panel, marks.back(), m)) {
            marks.back().length += m.length;
        } else {
            marks.push_back(m);
            m_lastLane = panel;
        }
    }
    out.clear();
}

bool ProtocolSource::continuesRun(int panel, const protocol::FrameMark &last, const protocol::FrameMark &next) const
{
    // The framer marks what waits at the end of every arrival; a run of
    // bytes that are no frame is one row however the line handed it over,
    // up to the framer's longest run, unless a silence longer than the
    // reply timeout parts it (the framer begins again after one) or a row
    // of the other panel came between (take() asks that first).
    const auto unframed = [](const protocol::FrameMark &m) {
        return m.verdict == protocol::Verdict::Unrecognised && m.direction == protocol::Direction::Unknown;
    };
    if (!unframed(last) || !unframed(next) || last.end() != next.begin
        || qint64(last.length) + next.length > protocol::kLongestUnframedRun)
        return false;
    const auto before = m_base.burstOf(panel, last.end() - 1);
    const auto after = m_base.burstOf(panel, next.begin);
    return before && after && m_base.burst(panel, *after).startUs - m_base.burst(panel, *before).startUs <= m_timeoutUs;
}

bool ProtocolSource::frameMore(qint64 budget)
{
    const qint64 before = frameCount(0) + frameCount(1);
    const bool all = frameSome(budget);
    if (frameCount(0) + frameCount(1) != before)
        emit grown();
    return all;
}

bool ProtocolSource::frameSome(qint64 budget)
{
    if (!m_hasFramer)
        return true;
    QByteArray scratch;
    std::vector<protocol::FrameMark> out;
    qint64 done = 0;
    while (done < budget) {
        // The panel whose next unframed byte came first.
        int next = -1;
        qint64 nextUs = 0;
        for (int p = 0; p < 2; ++p) {
            if (m_lanes[p].fed >= m_base.streamSize(p))
                continue;
            const auto index = m_base.burstOf(p, m_lanes[p].fed);
            const qint64 us = index ? m_base.burst(p, *index).startUs : std::numeric_limits<qint64>::min();
            if (next < 0 || us < nextUs)
                next = p, nextUs = us;
        }
        if (next < 0)
            break;
        const qint64 fed = feedNext(next, scratch, out);
        take(next, out);
        if (fed == 0)
            break;
        done += fed;
    }
    // A complete source has no more to come: what waits leaves as marks.
    if (!m_base.nowUs()) {
        for (int p = 0; p < 2; ++p) {
            Lane &lane = m_lanes[p];
            if (!lane.finished && lane.fed >= m_base.streamSize(p)) {
                lane.framer->finish(out);
                take(p, out);
                lane.finished = true;
            }
        }
    }
    const bool all = caughtUp();
    if (!all)
        scheduleMore();
    return all;
}

void ProtocolSource::frameAll()
{
    frameMore(std::numeric_limits<qint64>::max());
}

void ProtocolSource::idle(qint64 nowUs)
{
    if (!m_hasFramer)
        return;
    std::vector<protocol::FrameMark> out;
    bool any = false;
    for (int p = 0; p < 2; ++p) {
        // Only once every stored byte is fed: bytes not yet fed may complete
        // the frame.
        if (m_lanes[p].fed < m_base.streamSize(p))
            continue;
        m_lanes[p].framer->idle(nowUs, out);
        any = any || !out.empty();
        take(p, out);
    }
    if (any)
        emit grown();
    emit ticked();
}

qint64 ProtocolSource::covered(int panel) const
{
    const auto &marks = m_lanes[panel].marks;
    return marks.empty() ? 0 : marks.back().end();
}

std::optional<TrafficSource::Span> ProtocolSource::frameSpan(int panel, qint64 frame) const
{
    const protocol::FrameMark &m = mark(panel, frame);
    const auto first = m_base.burstOf(panel, m.begin);
    const auto last = m_base.burstOf(panel, m.end() - 1);
    if (!first || !last)
        return std::nullopt;
    return Span{m_base.burst(panel, *first).startUs, m_base.burst(panel, *last).endUs};
}

qint64 ProtocolSource::frameWallMs(int panel, qint64 frame) const
{
    const auto first = m_base.burstOf(panel, mark(panel, frame).begin);
    return first ? m_base.burst(panel, *first).wallMs : 0;
}

void ProtocolSource::frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const
{
    const protocol::FrameMark &m = mark(panel, frame);
    m_base.streamBytes(panel, m.begin, std::min<qint64>(count, m.length), out);
}

bool ProtocolSource::frameReadable(int panel, qint64 frame, qint64 count) const
{
    const protocol::FrameMark &m = mark(panel, frame);
    return m_base.streamReadable(panel, m.begin, std::min<qint64>(count, m.length));
}

QString ProtocolSource::framePort(int panel, qint64 frame) const
{
    return m_base.streamPort(panel, mark(panel, frame).begin);
}

} // namespace console
