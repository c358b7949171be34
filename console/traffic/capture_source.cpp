#include "capture_source.h"

#include <QHash>

#include <algorithm>
#include <new>

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

// Builds a source's index as the reader hands the packets over. Until a
// second interface is read, a capture of one serial interface is split by
// direction; a second one turns that into a panel an interface, and what was
// split goes back to the left panel in the file's order.
class CaptureIndexer final : public capture::CaptureSink {
public:
    CaptureIndexer(CaptureSource &source, qint64 maxPackets)
        : m_source(source)
        , m_maxPackets(maxPackets)
    {
    }

    void interfaceRead(const capture::Interface &face) override
    {
        const int index = m_interfaces++;
        if (index < 2) {
            m_source.m_ports[index] = face.name.isEmpty() ? QObject::tr("interface %1").arg(index) : face.name;
            m_source.m_settings[index] = face.description;
        }
        if (index == 0)
            m_byDirection = face.linkType == capture::kLinkSerial;
        else if (m_byDirection) {
            m_byDirection = false;
            joinDirections();
        }
    }

    bool packetRead(const capture::PacketInfo &p, QByteArrayView port) override
    {
        if (m_packets >= m_maxPackets)
            return false;
        ++m_packets;
        const int panel = panelOf(p.interface, p.eventType);
        const quint32 portIndex = port.isEmpty() ? CaptureSource::kPanelPort : intern(port);
        if (p.sent) {
            const QString text = portIndex == CaptureSource::kPanelPort ? QString() : m_source.m_portTexts[portIndex];
            m_source.m_events[panel].push_back({PortEventKind::Sent, {}, text, p.timeUs, p.wallMs, p.offset, p.length});
            return true;
        }
        m_source.m_frames[panel].push_back(
            {p.offset, 0, p.timeUs, p.endUs, p.wallMs, quint32(p.length), portIndex});
        return true;
    }

    void noteRead(const capture::Note &n) override
    {
        m_source.m_events[panelOf(n.interface, 0)].push_back(
            {eventKind(n.kind), n.detail, n.port, n.timeUs, n.wallMs, 0, 0});
    }

    QString stopReason() const override
    {
        return QObject::tr("the capture holds more than %1 packets, the most Tavrin indexes; the first %1 are shown")
            .arg(m_maxPackets);
    }

    // Times, stream offsets and ports put in order once all is read.
    void finish()
    {
        if (m_byDirection)
            m_source.m_ports[1] = m_source.m_ports[0], m_source.m_settings[1] = m_source.m_settings[0];
        for (int p = 0; p < 2; ++p) {
            sortByTime(m_source.m_frames[p]);
            auto &events = m_source.m_events[p];
            for (PortEvent &e : events)
                if (e.kind == PortEventKind::Sent && e.port.isEmpty())
                    e.port = m_source.m_ports[p];
            std::stable_sort(events.begin(), events.end(),
                             [](const PortEvent &a, const PortEvent &b) { return a.monotonicUs < b.monotonicUs; });
            qint64 offset = 0;
            CaptureSource::Frames &frames = m_source.m_frames[p];
            for (size_t i = 0; i < frames.size(); ++i) {
                frames[i].streamOffset = offset;
                offset += frames[i].length;
            }
        }
    }

private:
    int panelOf(int interface, quint8 eventType) const
    {
        if (m_byDirection)
            return eventType == capture::kReceived ? 1 : 0;
        return interface == 0 ? 0 : 1;
    }

    // A capture names a few ports, each over and over: they are looked for
    // among those seen before by their bytes, without a text made; past a
    // few (a file made so) through a hash.
    quint32 intern(QByteArrayView port)
    {
        for (size_t i = 0; i < std::min<size_t>(m_portUtf8.size(), kScannedPorts); ++i) {
            if (port == QByteArrayView(m_portUtf8[i]))
                return quint32(i);
        }
        QByteArray bytes = port.toByteArray();
        if (m_portUtf8.size() >= kScannedPorts) {
            const auto found = m_portIndex.constFind(bytes);
            if (found != m_portIndex.constEnd())
                return *found;
            m_portIndex.insert(bytes, quint32(m_portUtf8.size()));
        }
        m_portUtf8.push_back(std::move(bytes));
        m_source.m_portTexts.push_back(QString::fromUtf8(port));
        return quint32(m_portUtf8.size() - 1);
    }

    // Both panels' frames and events back in the left panel, in the file's
    // order (its offsets; events by time, as they are sorted anyway).
    void joinDirections()
    {
        CaptureSource::Frames &left = m_source.m_frames[0];
        CaptureSource::Frames &right = m_source.m_frames[1];
        if (!right.empty()) {
            CaptureSource::Frames joined;
            size_t l = 0, r = 0;
            while (l < left.size() || r < right.size()) {
                const bool takeLeft = r == right.size() || (l < left.size() && left[l].offset < right[r].offset);
                joined.push_back(takeLeft ? left[l++] : right[r++]);
            }
            left = std::move(joined);
            right.clear();
        }
        auto &events = m_source.m_events;
        events[0].insert(events[0].end(), events[1].begin(), events[1].end());
        events[1].clear();
    }

    // Frames in time order, those of one time in the file's order.
    static void sortByTime(CaptureSource::Frames &frames)
    {
        bool sorted = true;
        for (size_t i = 1; i < frames.size() && sorted; ++i)
            sorted = frames[i - 1].startUs <= frames[i].startUs;
        if (sorted)
            return;
        std::vector<CaptureSource::Frame> all;
        all.reserve(frames.size());
        for (size_t i = 0; i < frames.size(); ++i)
            all.push_back(frames[i]);
        frames.clear();
        std::sort(all.begin(), all.end(), [](const CaptureSource::Frame &a, const CaptureSource::Frame &b) {
            return a.startUs != b.startUs ? a.startUs < b.startUs : a.offset < b.offset;
        });
        for (const CaptureSource::Frame &f : all)
            frames.push_back(f);
    }

    CaptureSource &m_source;
    qint64 m_maxPackets;
    qint64 m_packets = 0;
    int m_interfaces = 0;
    bool m_byDirection = false;
    static constexpr size_t kScannedPorts = 16;
    // The port texts' bytes, as m_portTexts; those past the first few by
    // their index too.
    std::vector<QByteArray> m_portUtf8;
    QHash<QByteArray, quint32> m_portIndex;
};

std::unique_ptr<CaptureSource> CaptureSource::open(const QString &path, QString *failure, const Limits &limits)
{
    std::unique_ptr<CaptureSource> source(new CaptureSource(limits.windowBytes));
    if (!source->m_windows.open(path)) {
        *failure = source->m_windows.error();
        return nullptr;
    }
    capture::ReadSummary summary;
    try {
        CaptureIndexer indexer(*source, limits.maxPackets);
        summary = capture::readCapture(source->m_windows, indexer);
        indexer.finish();
    } catch (const std::bad_alloc &) {
        *failure = QObject::tr("there is not enough memory to index its packets (48 bytes a packet)");
        return nullptr;
    }
    if (summary.damage && summary.packets == 0 && summary.notes == 0) {
        *failure = capture::damageText(*summary.damage);
        return nullptr;
    }
    if (summary.damage)
        source->m_damage = capture::damageText(*summary.damage);
    return source;
}

void CaptureSource::fileBytes(qint64 offset, qint64 count, QByteArray &out) const
{
    if (!m_windows.append(offset, count, out))
        out.append(qsizetype(count), '\0');
}

bool CaptureSource::fileReadable(qint64 offset, qint64 count) const
{
    QByteArray probe;
    return count <= 0 || m_windows.append(offset, std::min<qint64>(count, 1), probe);
}

std::optional<TrafficSource::Span> CaptureSource::frameSpan(int panel, qint64 frame) const
{
    const Frame &f = at(panel, frame);
    return Span{f.startUs, f.endUs};
}

void CaptureSource::frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const
{
    const Frame &f = at(panel, frame);
    fileBytes(f.offset, std::min<qint64>(count, f.length), out);
}

bool CaptureSource::frameReadable(int panel, qint64 frame, qint64 count) const
{
    const Frame &f = at(panel, frame);
    return fileReadable(f.offset, std::min<qint64>(count, f.length));
}

QString CaptureSource::framePort(int panel, qint64 frame) const
{
    const quint32 port = at(panel, frame).port;
    return port == kPanelPort ? m_ports[panel] : m_portTexts[port];
}

void CaptureSource::sentBytes(int, qint64 first, qint64 count, QByteArray &out) const
{
    // A sent row's bytes are where its packet's are in the file.
    fileBytes(first, count, out);
}

qint64 CaptureSource::streamSize(int panel) const
{
    const Frames &frames = m_frames[panel];
    return frames.empty() ? 0 : frames.back().streamOffset + frames.back().length;
}

TrafficSource::Burst CaptureSource::burst(int panel, qint64 index) const
{
    const Frame &f = at(panel, index);
    return {f.streamOffset, f.startUs, f.endUs, f.wallMs};
}

std::optional<qint64> CaptureSource::burstOf(int panel, qint64 byte) const
{
    const Frames &frames = m_frames[panel];
    if (byte < 0 || byte >= streamSize(panel))
        return std::nullopt;
    // The last packet that begins at or before the byte (empty packets
    // hold none of it).
    size_t low = 0, high = frames.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (frames[middle].streamOffset <= byte)
            low = middle + 1;
        else
            high = middle;
    }
    return qint64(low) - 1;
}

void CaptureSource::streamBytes(int panel, qint64 first, qint64 count, QByteArray &out) const
{
    auto index = burstOf(panel, first);
    if (!index)
        return;
    const Frames &frames = m_frames[panel];
    for (size_t i = size_t(*index); i < frames.size() && count > 0; ++i) {
        const Frame &f = frames[i];
        const qint64 skip = first - f.streamOffset;
        const qint64 take = std::min(count, qint64(f.length) - skip);
        if (take <= 0)
            continue;
        fileBytes(f.offset + skip, take, out);
        first += take;
        count -= take;
    }
}

bool CaptureSource::streamReadable(int panel, qint64 first, qint64 count) const
{
    const auto index = burstOf(panel, first);
    if (!index || count <= 0)
        return true;
    const Frame &f = at(panel, *index);
    return fileReadable(f.offset + (first - f.streamOffset), 1);
}

QString CaptureSource::streamPort(int panel, qint64 byte) const
{
    const auto index = burstOf(panel, byte);
    return index ? framePort(panel, *index) : m_ports[panel];
}

} // namespace console
