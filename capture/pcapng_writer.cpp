#include "pcapng_writer.h"

#include <QtEndian>

namespace capture {

namespace {

void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void pad4(QByteArray &out)
{
    while (out.size() % 4)
        out.append('\0');
}

void option(QByteArray &out, quint16 code, QByteArrayView value)
{
    put16(out, code);
    put16(out, quint16(value.size()));
    out.append(value.data(), value.size());
    pad4(out);
}

// The block around `body` (padded to 4): type, total length, body, total length.
QByteArray block(quint32 type, QByteArray body)
{
    pad4(body);
    const auto total = quint32(body.size() + 12);
    QByteArray out;
    out.reserve(qsizetype(total));
    put32(out, type);
    put32(out, total);
    out += body;
    put32(out, total);
    return out;
}

// Option values are at most 65535 bytes; a longer text is cut there, on a
// character boundary.
QByteArray optionText(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > 65535) {
        qsizetype cut = 65535;
        while (cut > 0 && (quint8(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.truncate(cut);
    }
    return utf8;
}

QByteArray packet(quint32 interface, qint64 timeUs, QByteArrayView header, QByteArrayView bytes)
{
    const auto length = quint32(header.size() + bytes.size());
    QByteArray body;
    body.reserve(qsizetype(20 + length + 4));
    put32(body, interface);
    put32(body, quint32(quint64(timeUs) >> 32));
    put32(body, quint32(quint64(timeUs)));
    put32(body, length);
    put32(body, length);
    body.append(header.data(), header.size());
    body.append(bytes.data(), bytes.size());
    return block(kEnhancedPacketBlock, std::move(body));
}

void lengthAndText(QByteArray &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    put32(out, quint32(utf8.size()));
    out += utf8;
    pad4(out);
}

} // namespace

QByteArray sectionHeaderBlock(const QString &application)
{
    QByteArray body;
    put32(body, 0x1A2B3C4D);
    put16(body, 1);
    put16(body, 0);
    put32(body, 0xFFFFFFFF); // section length not given
    put32(body, 0xFFFFFFFF);
    option(body, 4, optionText(application)); // shb_userappl
    option(body, 0, {});
    return block(kSectionHeaderBlock, std::move(body));
}

QByteArray interfaceBlock(quint16 linkType, const QString &name, const QString &description)
{
    QByteArray body;
    put16(body, linkType);
    put16(body, 0);
    put32(body, 0); // no snap length
    option(body, 2, optionText(name));
    option(body, 3, optionText(description));
    const char microseconds = 6;
    option(body, 9, QByteArrayView(&microseconds, 1));
    option(body, 0, {});
    return block(kInterfaceBlock, std::move(body));
}

QByteArray serialPacketBlock(quint32 interface, qint64 timeUs, quint8 eventType, QByteArrayView bytes,
                             quint8 lineState)
{
    char header[kSerialHeaderBytes] = {};
    const qint64 seconds = timeUs >= 0 ? timeUs / 1000000 : (timeUs - 999999) / 1000000;
    qToBigEndian(quint32(seconds), header);
    qToBigEndian(quint32(timeUs - seconds * 1000000), header + 4);
    header[8] = char(eventType);
    header[9] = char(lineState);
    return packet(interface, timeUs, QByteArrayView(header, kSerialHeaderBytes), bytes);
}

QByteArray rawPacketBlock(quint32 interface, qint64 timeUs, QByteArrayView bytes)
{
    return packet(interface, timeUs, {}, bytes);
}

QByteArray noteBlock(quint32 interface, qint64 timeUs, NoteKind kind, const QString &detail, const QString &port,
                     qint64 wallMs)
{
    QByteArray body;
    put32(body, interface);
    put32(body, quint32(quint64(timeUs) >> 32));
    put32(body, quint32(quint64(timeUs)));
    put16(body, quint16(kind));
    put16(body, 0);
    lengthAndText(body, detail);
    lengthAndText(body, port);
    const quint64 wall = quint64(wallMs >= 0 ? wallMs : timeUs / 1000);
    put32(body, quint32(wall));
    put32(body, quint32(wall >> 32));
    return block(kNoteBlock, std::move(body));
}

QByteArray frameBlocks(quint32 interface, qint64 startUs, qint64 endUs, quint8 eventType, bool sent,
                       QByteArrayView bytes, const QString &port, qint64 wallMs)
{
    return serialPacketBlock(interface, startUs, eventType, bytes)
        + noteBlock(interface, endUs, sent ? NoteKind::SentEnd : NoteKind::ReceivedEnd, {}, port,
                    wallMs >= 0 ? wallMs : startUs / 1000);
}

} // namespace capture
