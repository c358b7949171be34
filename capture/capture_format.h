#pragma once

#include <QtGlobal>

namespace capture {

// Link types read and written.
// 250: a record is a 12-byte big-endian header (seconds, microseconds, event
// type, line state, two footer bytes), then the bytes on the line.
constexpr quint16 kLinkSerial = 250;
// 147: the first user link type; a record is the bytes alone.
constexpr quint16 kLinkUser = 147;
constexpr int kSerialHeaderBytes = 12;

// The serial header's event types for data on the line.
constexpr quint8 kTransmitted = 0x01;
constexpr quint8 kReceived = 0x02;

// pcapng block types.
constexpr quint32 kSectionHeaderBlock = 0x0A0D0D0A;
constexpr quint32 kInterfaceBlock = 0x00000001;
constexpr quint32 kEnhancedPacketBlock = 0x00000006;
constexpr quint32 kSimplePacketBlock = 0x00000003;
// Our note block, in the range the format keeps for local use (the most
// significant bit set): readers that do not know it skip it, the packet
// analyser without a word. It carries what the serial records cannot: the
// port events, where a frame's last byte came, and which records are bytes
// a panel sent.
//   u32 interface, u32 time high, u32 time low (the interface's units),
//   u16 kind, u16 zero, u32 detail length, detail (UTF-8), padding to 4,
//   u32 port length, port (UTF-8), padding to 4, i64 wall-clock time in
//   milliseconds (the time the row shows, taken beside the microseconds).
constexpr quint32 kNoteBlock = 0x80005476;

// What a note says. A port event is one of the first six; the last two say
// when the packet just before it (on the same interface) ended, whether it
// held bytes received or sent, and the port it came through.
enum class NoteKind : quint16 {
    Started = 1,
    Stopped = 2,
    Fault = 3,
    Waiting = 4,
    Reconnected = 5,
    Cleared = 6,
    ReceivedEnd = 0x100,
    SentEnd = 0x101,
};

// The largest record the reader takes; anything longer is damage.
constexpr qint64 kMaxRecordBytes = 64 * 1024 * 1024;

} // namespace capture
