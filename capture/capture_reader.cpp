#include "capture_reader.h"

#include <QObject>
#include <QtEndian>

#include <limits>

namespace capture {

namespace {

constexpr quint32 kByteOrderMagic = 0x1A2B3C4D;
constexpr quint32 kPcapMicro = 0xA1B2C3D4;
constexpr quint32 kPcapNano = 0xA1B23C4D;

// Reads little- or big-endian numbers from bytes the caller fetched.
struct Numbers {
    bool big = false;
    quint16 u16(const uchar *p) const { return big ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p); }
    quint32 u32(const uchar *p) const { return big ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p); }
};

bool linkRead(quint32 link)
{
    return link == kLinkSerial || link == kLinkUser;
}

QString linkRefusal(quint32 link)
{
    return QObject::tr("link type %1 is not one Tavrin reads (250 serial, 147 raw bytes)").arg(link);
}

// A timestamp in units of 10^-exponent s (or 2^-exponent s when `binary`)
// as microseconds; nothing when it does not fit.
std::optional<qint64> toMicroseconds(quint64 ts, int exponent, bool binary, qint64 offsetSeconds)
{
    __int128 us;
    if (binary) {
        us = (__int128(ts) * 1000000) >> exponent;
    } else if (exponent <= 6) {
        __int128 scale = 1;
        for (int i = exponent; i < 6; ++i)
            scale *= 10;
        us = __int128(ts) * scale;
    } else {
        __int128 scale = 1;
        for (int i = 6; i < exponent; ++i)
            scale *= 10;
        us = __int128(ts) / scale;
    }
    us += __int128(offsetSeconds) * 1000000;
    if (us > std::numeric_limits<qint64>::max() || us < std::numeric_limits<qint64>::min())
        return std::nullopt;
    return qint64(us);
}

struct InterfaceTime {
    int exponent = 6;
    bool binary = false;
    qint64 offsetSeconds = 0;
};

class PcapngReader {
public:
    PcapngReader(CaptureBytes &bytes, CaptureSink &sink)
        : m_file(bytes)
        , m_sink(sink)
    {
    }

    ReadSummary read()
    {
        m_summary.format = Capture::Format::Pcapng;
        qint64 at = 0;
        const qint64 size = m_file.size();
        for (qint64 block = 1; at < size; ++block) {
            m_block = block;
            m_at = at;
            const qint64 left = size - at;
            if (left < 12)
                return fail(QObject::tr("the file ends inside a block header (%1 bytes left)").arg(left));
            const uchar *header = fetch(at, 12);
            if (!header)
                return finish();
            // The section header's type reads the same in either byte order.
            const quint32 type = m_n.u32(header);
            if (type == kSectionHeaderBlock && !startSection(at))
                return finish();
            if (!(header = fetch(at, 12)))
                return finish();
            const quint32 length = m_n.u32(header + 4);
            if (length < 12 || length % 4)
                return fail(QObject::tr("block length %1 is not a multiple of 4 of at least 12").arg(length));
            if (length > left)
                return fail(QObject::tr("block length %1 runs past the end of the file (%2 bytes left)")
                                .arg(length)
                                .arg(left));
            const uchar *closing = fetch(at + length - 4, 4);
            if (!closing)
                return finish();
            if (m_n.u32(closing) != length)
                return fail(QObject::tr("the block's closing length %1 differs from its length %2")
                                .arg(m_n.u32(closing))
                                .arg(length));
            if (!readBlock(type, at + 8, qint64(length) - 12))
                return finish();
            at += length;
        }
        if (!flush())
            return finish();
        if (m_summary.packets == 0 && m_summary.interfaces.empty() && !m_summary.damage)
            fail(QObject::tr("the file holds no interface"));
        return std::move(m_summary);
    }

private:
    ReadSummary finish()
    {
        // A packet held for its note still counts when the reading stops.
        if (m_summary.damage) {
            const std::optional<Damage> damage = std::move(m_summary.damage);
            m_summary.damage.reset();
            flush();
            if (!m_summary.damage)
                m_summary.damage = damage;
        }
        return std::move(m_summary);
    }
    ReadSummary fail(const QString &what)
    {
        m_summary.damage = Damage{what, m_block, m_at};
        return finish();
    }
    bool refuse(const QString &what)
    {
        m_summary.damage = Damage{what, m_block, m_at};
        return false;
    }
    // The bytes of [at, at + length) or, when they cannot be had, nothing
    // and the reason as damage.
    const uchar *fetch(qint64 at, qint64 length)
    {
        const uchar *p = m_file.bytes(at, length);
        if (!p)
            refuse(QObject::tr("the file cannot be read here: %1").arg(m_file.error()));
        return p;
    }

    bool startSection(qint64 at)
    {
        if (m_file.size() - at < 28)
            return refuse(QObject::tr("the file ends inside a section header"));
        const uchar *header = fetch(at, 16);
        if (!header)
            return false;
        const quint32 magic = qFromLittleEndian<quint32>(header + 8);
        if (magic == kByteOrderMagic)
            m_n.big = false;
        else if (magic == qbswap(kByteOrderMagic))
            m_n.big = true;
        else
            return refuse(QObject::tr("the section header's byte-order mark is %1").arg(magic, 8, 16, QLatin1Char('0')));
        if (m_n.u16(header + 12) != 1)
            return refuse(QObject::tr("pcapng version %1.%2 is not read").arg(m_n.u16(header + 12)).arg(m_n.u16(header + 14)));
        m_sectionFirst = int(m_summary.interfaces.size());
        m_times.resize(m_summary.interfaces.size());
        return true;
    }

    // Calls `each(code, at, length)` for the options in [at, end) of
    // `bytes`; false when one runs past the end.
    template<typename Each>
    bool options(const uchar *bytes, qint64 at, qint64 end, Each &&each)
    {
        while (at + 4 <= end) {
            const quint16 code = m_n.u16(bytes + at);
            const quint16 length = m_n.u16(bytes + at + 2);
            if (code == 0)
                return true;
            if (at + 4 + length > end)
                return refuse(QObject::tr("option %1 of %2 bytes runs past its block").arg(code).arg(length));
            each(code, at + 4, qint64(length));
            at += 4 + ((length + 3) & ~3);
        }
        return true;
    }

    static QString text(const uchar *at, qint64 length)
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(at), length);
    }

    bool readBlock(quint32 type, qint64 body, qint64 length)
    {
        switch (type) {
        case kSectionHeaderBlock:
            return true;
        case kInterfaceBlock: return readInterface(body, length);
        case kEnhancedPacketBlock: return readPacket(body, length);
        case kNoteBlock: return readNote(body, length);
        default: return true; // nothing Tavrin shows
        }
    }

    bool readInterface(qint64 body, qint64 length)
    {
        if (length < 8)
            return refuse(QObject::tr("the interface block is too short"));
        const uchar *b = fetch(body, length);
        if (!b)
            return false;
        Interface iface;
        iface.linkType = m_n.u16(b);
        InterfaceTime time;
        bool ok = options(b, 8, length, [&](quint16 code, qint64 at, qint64 size) {
            if (code == 2)
                iface.name = text(b + at, size);
            else if (code == 3)
                iface.description = text(b + at, size);
            else if (code == 9 && size >= 1) {
                const quint8 r = b[at];
                time.binary = r & 0x80;
                time.exponent = r & 0x7F;
            } else if (code == 14 && size >= 8) {
                time.offsetSeconds = qint64(m_n.big ? qFromBigEndian<quint64>(b + at)
                                                    : qFromLittleEndian<quint64>(b + at));
            }
        });
        if (!ok)
            return false;
        if (!linkRead(iface.linkType))
            return refuse(QObject::tr("interface %1: %2").arg(m_summary.interfaces.size() - m_sectionFirst)
                              .arg(linkRefusal(iface.linkType)));
        if ((time.binary && time.exponent > 63) || (!time.binary && time.exponent > 19))
            return refuse(QObject::tr("the interface's time resolution %1 is not read").arg(time.exponent));
        m_sink.interfaceRead(iface);
        m_summary.interfaces.push_back(std::move(iface));
        m_times.push_back(time);
        return true;
    }

    // The interface a block names, in the file's numbering; -1 when the
    // section has no such interface.
    int interfaceOf(quint32 id) const
    {
        const qint64 index = qint64(m_sectionFirst) + id;
        return index < qint64(m_summary.interfaces.size()) ? int(index) : -1;
    }

    std::optional<qint64> time(int interface, quint32 high, quint32 low) const
    {
        const InterfaceTime &t = m_times[size_t(interface)];
        return toMicroseconds((quint64(high) << 32) | low, t.exponent, t.binary, t.offsetSeconds);
    }

    // Hands on the packet held for its note, with the note's port.
    bool flush(QByteArrayView port = {})
    {
        if (!m_pending)
            return true;
        const PacketInfo p = *m_pending;
        m_pending.reset();
        if (!m_sink.packetRead(p, port))
            return refuse(m_sink.stopReason());
        ++m_summary.packets;
        return true;
    }

    bool readPacket(qint64 body, qint64 length)
    {
        if (!flush())
            return false;
        if (length < 20)
            return refuse(QObject::tr("the packet block is too short"));
        const uchar *b = fetch(body, std::min<qint64>(length, 20 + kSerialHeaderBytes));
        if (!b)
            return false;
        const quint32 id = m_n.u32(b);
        const int interface = interfaceOf(id);
        if (interface < 0)
            return refuse(QObject::tr("the packet names interface %1, which the section does not have").arg(id));
        const quint32 captured = m_n.u32(b + 12);
        if (captured > length - 20)
            return refuse(QObject::tr("the packet's %1 bytes run past its block").arg(captured));
        const auto at = time(interface, m_n.u32(b + 4), m_n.u32(b + 8));
        if (!at)
            return refuse(QObject::tr("the packet's time is out of range"));
        PacketInfo p;
        p.interface = interface;
        p.timeUs = p.endUs = *at;
        p.wallMs = *at / 1000;
        p.offset = body + 20;
        p.length = captured;
        if (m_summary.interfaces[size_t(interface)].linkType == kLinkSerial) {
            if (captured < quint32(kSerialHeaderBytes))
                return refuse(QObject::tr("the packet's %1 bytes are shorter than the 12-byte serial header").arg(captured));
            p.eventType = b[20 + 8];
            p.offset += kSerialHeaderBytes;
            p.length -= kSerialHeaderBytes;
        }
        m_pending = p;
        m_notedLast = false;
        return true;
    }

    bool readNote(qint64 body, qint64 length)
    {
        if (length < 20)
            return refuse(QObject::tr("the note block is too short"));
        const uchar *b = fetch(body, length);
        if (!b)
            return false;
        const quint32 id = m_n.u32(b);
        const int interface = interfaceOf(id);
        if (interface < 0)
            return refuse(QObject::tr("the note names interface %1, which the section does not have").arg(id));
        const auto at = time(interface, m_n.u32(b + 4), m_n.u32(b + 8));
        if (!at)
            return refuse(QObject::tr("the note's time is out of range"));
        const auto kind = NoteKind(m_n.u16(b + 12));
        const qint64 end = length;
        qint64 pos = 16;
        QByteArrayView texts[2];
        for (QByteArrayView &t : texts) {
            if (end - pos < 4)
                return refuse(QObject::tr("the note block is too short"));
            const quint32 size = m_n.u32(b + pos);
            if (size > end - pos - 4)
                return refuse(QObject::tr("the note's text of %1 bytes runs past its block").arg(size));
            t = QByteArrayView(b + pos + 4, size);
            pos += 4 + ((qint64(size) + 3) & ~qint64(3));
        }
        // Notes of the first version had no wall-clock time.
        const qint64 wallMs = end - pos >= 8
            ? qint64(quint64(m_n.u32(b + pos)) | (quint64(m_n.u32(b + pos + 4)) << 32))
            : *at / 1000;
        switch (kind) {
        case NoteKind::ReceivedEnd:
        case NoteKind::SentEnd: {
            // Only the packet just before it: a note after another block is
            // about nothing we have.
            if (!m_pending || m_notedLast)
                return true;
            PacketInfo &p = *m_pending;
            if (p.interface != interface || *at < p.timeUs)
                return true;
            p.endUs = *at;
            p.sent = kind == NoteKind::SentEnd;
            p.wallMs = wallMs;
            m_notedLast = true;
            return flush(texts[1]);
        }
        case NoteKind::Started:
        case NoteKind::Stopped:
        case NoteKind::Fault:
        case NoteKind::Waiting:
        case NoteKind::Reconnected:
        case NoteKind::Cleared:
            if (!flush())
                return false;
            m_sink.noteRead({*at, interface, kind, QString::fromUtf8(texts[0]), QString::fromUtf8(texts[1]), wallMs});
            ++m_summary.notes;
            m_notedLast = true;
            return true;
        }
        return true; // a kind of a later version
    }

    CaptureBytes &m_file;
    CaptureSink &m_sink;
    Numbers m_n;
    ReadSummary m_summary;
    std::vector<InterfaceTime> m_times;
    // The last packet, until the block after it says whether a note ends it.
    std::optional<PacketInfo> m_pending;
    int m_sectionFirst = 0;
    bool m_notedLast = true;
    qint64 m_block = 0;
    qint64 m_at = 0;
};

ReadSummary readPcap(CaptureBytes &file, CaptureSink &sink)
{
    ReadSummary summary;
    summary.format = Capture::Format::Pcap;
    if (file.size() < 24) {
        summary.damage = Damage{QObject::tr("the file ends inside the pcap header"), 0, 0};
        return summary;
    }
    const uchar *header = file.bytes(0, 24);
    if (!header) {
        summary.damage = Damage{QObject::tr("the file cannot be read here: %1").arg(file.error()), 0, 0};
        return summary;
    }
    Numbers n;
    const quint32 magic = qFromLittleEndian<quint32>(header);
    n.big = magic == qbswap(kPcapMicro) || magic == qbswap(kPcapNano);
    const bool nano = n.u32(header) == kPcapNano;
    const quint32 link = n.u32(header + 20) & 0x0FFFFFFF;
    if (!linkRead(link)) {
        summary.damage = Damage{linkRefusal(link), 0, 0};
        return summary;
    }
    summary.interfaces.push_back({quint16(link), {}, {}});
    sink.interfaceRead(summary.interfaces.back());
    qint64 at = 24;
    for (qint64 record = 1; at < file.size(); ++record) {
        auto fail = [&](const QString &what) {
            summary.damage = Damage{what, record, at};
            return summary;
        };
        if (file.size() - at < 16)
            return fail(QObject::tr("the file ends inside a record header"));
        const uchar *r = file.bytes(at, std::min<qint64>(file.size() - at, 16 + kSerialHeaderBytes));
        if (!r)
            return fail(QObject::tr("the file cannot be read here: %1").arg(file.error()));
        const quint32 captured = n.u32(r + 8);
        if (captured > kMaxRecordBytes)
            return fail(QObject::tr("the record claims %1 bytes, more than a record can hold").arg(captured));
        if (captured > file.size() - at - 16)
            return fail(QObject::tr("the record's %1 bytes run past the end of the file (%2 bytes left)")
                            .arg(captured)
                            .arg(file.size() - at - 16));
        const quint32 fraction = n.u32(r + 4);
        if (fraction >= (nano ? 1000000000u : 1000000u))
            return fail(QObject::tr("the record's time has %1 in its fraction of a second").arg(fraction));
        PacketInfo p;
        p.timeUs = p.endUs = qint64(n.u32(r)) * 1000000 + (nano ? fraction / 1000 : fraction);
        p.wallMs = p.timeUs / 1000;
        p.offset = at + 16;
        p.length = captured;
        if (link == kLinkSerial) {
            if (captured < quint32(kSerialHeaderBytes))
                return fail(QObject::tr("the record's %1 bytes are shorter than the 12-byte serial header").arg(captured));
            p.eventType = r[16 + 8];
            p.offset += kSerialHeaderBytes;
            p.length -= kSerialHeaderBytes;
        }
        if (!sink.packetRead(p, {}))
            return fail(sink.stopReason());
        ++summary.packets;
        at += 16 + captured;
    }
    return summary;
}

// Keeps everything read.
class KeepAll final : public CaptureSink {
public:
    explicit KeepAll(Capture &capture)
        : m_capture(capture)
    {
    }
    bool packetRead(const PacketInfo &packet, QByteArrayView port) override
    {
        Packet p;
        static_cast<PacketInfo &>(p) = packet;
        p.port = QString::fromUtf8(port);
        m_capture.packets.push_back(std::move(p));
        return true;
    }
    void noteRead(const Note &note) override { m_capture.notes.push_back(note); }

private:
    Capture &m_capture;
};

} // namespace

ReadSummary readCapture(CaptureBytes &bytes, CaptureSink &sink)
{
    const uchar *first = bytes.size() >= 4 ? bytes.bytes(0, 4) : nullptr;
    if (first) {
        const quint32 magic = qFromLittleEndian<quint32>(first);
        if (magic == kSectionHeaderBlock)
            return PcapngReader(bytes, sink).read();
        if (magic == kPcapMicro || magic == kPcapNano || magic == qbswap(kPcapMicro) || magic == qbswap(kPcapNano))
            return readPcap(bytes, sink);
    }
    ReadSummary none;
    none.damage = Damage{bytes.size() >= 4 && !first
                             ? QObject::tr("the file cannot be read: %1").arg(bytes.error())
                             : QObject::tr("this is not a capture file (neither pcapng nor pcap)"),
                         0, 0};
    return none;
}

Capture readCapture(QByteArrayView file)
{
    ViewBytes bytes(file);
    return readCapture(bytes);
}

Capture readCapture(CaptureBytes &bytes)
{
    Capture capture;
    KeepAll keep(capture);
    ReadSummary summary = readCapture(bytes, keep);
    capture.format = summary.format;
    capture.interfaces = std::move(summary.interfaces);
    capture.damage = std::move(summary.damage);
    return capture;
}

int panelOf(const Capture &capture, int interface, quint8 eventType)
{
    if (capture.interfaces.size() == 1 && capture.interfaces[0].linkType == kLinkSerial)
        return eventType == kReceived ? 1 : 0;
    return interface == 0 ? 0 : 1;
}

QString damageText(const Damage &damage)
{
    if (damage.block == 0)
        return damage.what;
    return QObject::tr("block %1 at byte %2: %3").arg(damage.block).arg(damage.offset).arg(damage.what);
}

} // namespace capture
