#pragma once

#include "capture/capture_format.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace capture {

// Blocks of a little-endian pcapng file whose timestamps are microseconds
// since 1970 (UTC). A file is a section header, its interfaces, then packet
// and note blocks; each block is complete in itself, so a file cut after
// any block is a valid capture.
QByteArray sectionHeaderBlock(const QString &application);
// An interface: if_name, if_description and if_tsresol (microseconds).
QByteArray interfaceBlock(quint16 linkType, const QString &name, const QString &description);
// An enhanced packet of link type 250: the serial header with `eventType`
// (kTransmitted, kReceived) and `lineState`, then `bytes`.
QByteArray serialPacketBlock(quint32 interface, qint64 timeUs, quint8 eventType, QByteArrayView bytes,
                             quint8 lineState = 0);
// An enhanced packet of raw bytes (link type 147).
QByteArray rawPacketBlock(quint32 interface, qint64 timeUs, QByteArrayView bytes);
// A note; `wallMs` below 0 says timeUs / 1000.
QByteArray noteBlock(quint32 interface, qint64 timeUs, NoteKind kind, const QString &detail = {},
                     const QString &port = {}, qint64 wallMs = -1);

// A frame as Tavrin writes it: the serial packet at its first byte's time
// and the note of its end (`sent` for bytes the panel sent), with the port
// and the wall-clock time the row shows.
QByteArray frameBlocks(quint32 interface, qint64 startUs, qint64 endUs, quint8 eventType, bool sent,
                       QByteArrayView bytes, const QString &port = {}, qint64 wallMs = -1);

} // namespace capture
