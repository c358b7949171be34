#include "capture_source.h"

#include <algorithm>

namespace console {

namespace {

PortEventKind eventKind(capture::NoteKind kind)
{
    switch (kind) {
    case capture::NoteKind::Started: return PortEventKind::Started;
    case capture::NoteKind::Stopped: return PortEventKind::Stopped;
    case capture::NoteKind::Fault: return PortEventKind::Fault;
    case capture::NoteKind::Waiting: return PortEventKind::Waiting;
    case capture::NoteKind::Reconnected: return PortEventKind::Reconnected;
    default: break;
    }
    return PortEventKind::Cleared;
}

} // namespace

std::unique_ptr<CaptureSource> CaptureSource::open(const QString &path, QString *failure)
{
    std::unique_ptr<CaptureSource> source(new CaptureSource);
    source->m_file.setFileName(path);
    if (!source->m_file.open(QIODevice::ReadOnly)) {
        *failure = source->m_file.errorString();
        return nullptr;
    }
    const qint64 size = source->m_file.size();
    static const char empty = 0;
    source->m_bytes = size ? reinterpret_cast<const char *>(source->m_file.map(0, size)) : &empty;
    if (!source->m_bytes) {
        *failure = source->m_file.errorString();
        return nullptr;
    }
    const capture::Capture c = capture::readCapture(QByteArrayView(source->m_bytes, size));
    if (c.damage && c.packets.empty() && c.notes.empty()) {
        *failure = capture::damageText(*c.damage);
        return nullptr;
    }
    if (c.damage)
        source->m_damage = capture::damageText(*c.damage);
    const size_t interfaces = c.interfaces.size();
    const bool byDirection = interfaces == 1 && c.interfaces[0].linkType == capture::kLinkSerial;
    const auto panelOf = [&](int interface, quint8 eventType) { return capture::panelOf(c, interface, eventType); };
    for (size_t i = 0; i < interfaces && i < 2; ++i) {
        const capture::Interface &face = c.interfaces[i];
        source->m_ports[i] = face.name.isEmpty() ? QObject::tr("interface %1").arg(i) : face.name;
        source->m_settings[i] = face.description;
    }
    if (byDirection)
        source->m_ports[1] = source->m_ports[0], source->m_settings[1] = source->m_settings[0];
    for (const capture::Packet &p : c.packets) {
        const int panel = panelOf(p.interface, p.eventType);
        const QString port = p.port.isEmpty() ? source->m_ports[panel] : p.port;
        if (p.sent) {
            PortEvent sent{PortEventKind::Sent, {}, port, p.timeUs, p.wallMs, p.offset, p.length};
            source->m_events[panel].push_back(sent);
            continue;
        }
        auto &frames = source->m_frames[panel];
        // One port string shared by the frames that name it.
        const QString shared = !frames.empty() && frames.back().port == port ? frames.back().port : port;
        frames.push_back({p.offset, p.length, p.timeUs, p.endUs, p.wallMs, shared});
    }
    for (const capture::Note &n : c.notes) {
        const int panel = panelOf(n.interface, 0);
        source->m_events[panel].push_back({eventKind(n.kind), n.detail, n.port, n.timeUs, n.wallMs, 0, 0});
    }
    for (int p = 0; p < 2; ++p) {
        std::stable_sort(source->m_frames[p].begin(), source->m_frames[p].end(),
                         [](const Frame &a, const Frame &b) { return a.startUs < b.startUs; });
        std::stable_sort(source->m_events[p].begin(), source->m_events[p].end(),
                         [](const PortEvent &a, const PortEvent &b) { return a.monotonicUs < b.monotonicUs; });
        qint64 offset = 0;
        for (Frame &f : source->m_frames[p]) {
            f.streamOffset = offset;
            offset += f.length;
        }
    }
    return source;
}

std::optional<TrafficSource::Span> CaptureSource::frameSpan(int panel, qint64 frame) const
{
    const Frame &f = at(panel, frame);
    return Span{f.startUs, f.endUs};
}

void CaptureSource::frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const
{
    const Frame &f = at(panel, frame);
    out.append(m_bytes + f.offset, qsizetype(std::min(count, f.length)));
}

QString CaptureSource::framePort(int panel, qint64 frame) const
{
    return at(panel, frame).port;
}

void CaptureSource::sentBytes(int, qint64 first, qint64 count, QByteArray &out) const
{
    // A sent row's bytes are where its packet's are in the file.
    out.append(m_bytes + first, qsizetype(count));
}

qint64 CaptureSource::streamSize(int panel) const
{
    const auto &frames = m_frames[panel];
    return frames.empty() ? 0 : frames.back().streamOffset + frames.back().length;
}

TrafficSource::Burst CaptureSource::burst(int panel, qint64 index) const
{
    const Frame &f = at(panel, index);
    return {f.streamOffset, f.startUs, f.endUs, f.wallMs};
}

std::optional<qint64> CaptureSource::burstOf(int panel, qint64 byte) const
{
    const auto &frames = m_frames[panel];
    if (byte < 0 || byte >= streamSize(panel))
        return std::nullopt;
    // The last packet that begins at or before the byte (empty packets
    // hold none of it).
    auto after = std::upper_bound(frames.begin(), frames.end(), byte,
                                  [](qint64 b, const Frame &f) { return b < f.streamOffset; });
    return qint64(after - frames.begin()) - 1;
}

void CaptureSource::streamBytes(int panel, qint64 first, qint64 count, QByteArray &out) const
{
    auto index = burstOf(panel, first);
    if (!index)
        return;
    const auto &frames = m_frames[panel];
    for (size_t i = size_t(*index); i < frames.size() && count > 0; ++i) {
        const Frame &f = frames[i];
        const qint64 skip = first - f.streamOffset;
        const qint64 take = std::min(count, f.length - skip);
        if (take <= 0)
            continue;
        out.append(m_bytes + f.offset + skip, qsizetype(take));
        first += take;
        count -= take;
    }
}

QString CaptureSource::streamPort(int panel, qint64 byte) const
{
    const auto index = burstOf(panel, byte);
    return index ? at(panel, *index).port : m_ports[panel];
}

} // namespace console
