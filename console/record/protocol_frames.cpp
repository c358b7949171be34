#include "protocol_frames.h"

#include <algorithm>
#include <span>

namespace console {

ProtocolFrames::ProtocolFrames(std::unique_ptr<protocol::Framer> framer)
    : m_framer(std::move(framer))
{
}

void ProtocolFrames::feed(QByteArrayView bytes, qint64 startUs, qint64 endUs)
{
    if (bytes.isEmpty())
        return;
    m_bursts.push_back({m_heldFrom + m_held.size(), startUs, endUs});
    m_held.append(bytes);
    m_framer->feed(std::span(reinterpret_cast<const std::uint8_t *>(bytes.data()), size_t(bytes.size())), startUs,
                   m_marks);
    collect();
}

void ProtocolFrames::idle(qint64 nowUs)
{
    m_framer->idle(nowUs, m_marks);
    collect();
}

void ProtocolFrames::finish()
{
    m_framer->finish(m_marks);
    collect();
}

const ProtocolFrames::Burst &ProtocolFrames::burstOf(qint64 offset) const
{
    // The last burst that begins at or before the offset.
    auto after = std::upper_bound(m_bursts.begin(), m_bursts.end(), offset,
                                  [](qint64 o, const Burst &b) { return o < b.first; });
    return after == m_bursts.begin() ? m_bursts.front() : *(after - 1);
}

void ProtocolFrames::collect()
{
    for (const protocol::FrameMark &mark : m_marks) {
        if (mark.length == 0 || mark.begin < m_heldFrom || mark.end() > m_heldFrom + m_held.size())
            continue; // not the framer's to give: nothing held for it
        Frame frame;
        frame.bytes = m_held.mid(mark.begin - m_heldFrom, mark.length);
        frame.startUs = burstOf(mark.begin).startUs;
        frame.endUs = burstOf(mark.end() - 1).endUs;
        frame.direction = mark.direction;
        frame.verdict = mark.verdict;
        m_ready.push_back(std::move(frame));
    }
    m_marks.clear();
    // Only the bytes the framer still waits on are kept.
    const qint64 keepFrom = m_heldFrom + m_held.size() - m_framer->pending();
    if (keepFrom > m_heldFrom) {
        m_held.remove(0, keepFrom - m_heldFrom);
        m_heldFrom = keepFrom;
    }
    while (m_bursts.size() > 1 && m_bursts[1].first <= m_heldFrom)
        m_bursts.pop_front();
    if (m_held.isEmpty())
        m_bursts.clear();
}

std::optional<qint64> ProtocolFrames::pendingSinceUs() const
{
    if (m_held.isEmpty())
        return std::nullopt;
    return burstOf(m_heldFrom).startUs;
}

} // namespace console
