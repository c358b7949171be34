#pragma once

#include "capture/capture_bytes.h"
#include "capture/capture_format.h"

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace capture {

struct Interface {
    quint16 linkType = 0;
    QString name;
    QString description;
};

// A record's bytes stay in the file: `offset` and `length` say where (the
// serial header left out), so a capture is read without copying them.
struct PacketInfo {
    qint64 offset = 0;
    qint64 length = 0;
    // Microseconds since 1970; endUs is the note's, else timeUs.
    qint64 timeUs = 0;
    qint64 endUs = 0;
    int interface = 0;
    // The serial header's event type; 0 for link type 147.
    quint8 eventType = 0;
    // A note said these are bytes a panel sent.
    bool sent = false;
    // The time a row shows (the note's; else timeUs / 1000).
    qint64 wallMs = 0;
};

struct Packet : PacketInfo {
    // The port the note names; empty without one.
    QString port;
};

struct Note {
    qint64 timeUs = 0;
    int interface = 0;
    NoteKind kind = NoteKind::Started;
    QString detail;
    QString port;
    qint64 wallMs = 0;
};

// Where the reading stopped and why: the block (1 for the first; a record
// of a classic pcap file) and its byte offset in the file.
struct Damage {
    QString what;
    qint64 block = 0;
    qint64 offset = 0;
};

struct Capture {
    enum class Format { Unknown, Pcapng, Pcap };
    Format format = Format::Unknown;
    // Every section's interfaces, numbered on through the file.
    std::vector<Interface> interfaces;
    std::vector<Packet> packets;
    std::vector<Note> notes;
    // Set when the file ended in damage; what came before it is above.
    std::optional<Damage> damage;
};

// What the reader hands on as it reads, in the file's order: the packets
// (each with what the note after it said) and the port events.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    virtual void interfaceRead(const Interface &) {}
    // `port` is the note's port text (UTF-8), empty without one; it is
    // valid during the call only. False stops the reading before this
    // packet, with stopReason() as the damage.
    virtual bool packetRead(const PacketInfo &packet, QByteArrayView port) = 0;
    virtual void noteRead(const Note &note) = 0;
    virtual QString stopReason() const { return {}; }
};

// What a reading found besides its packets and notes.
struct ReadSummary {
    Capture::Format format = Capture::Format::Unknown;
    std::vector<Interface> interfaces;
    std::optional<Damage> damage;
    qint64 packets = 0;
    qint64 notes = 0;
};

// Reads a pcapng file or a classic pcap file (either byte order,
// microsecond or nanosecond times) of link types 250 and 147. Nothing is
// allocated by what a length field claims: every length is checked against
// the bytes there are first. Blocks and link types it does not know end the
// reading where they stand, with the reason; blocks it has no use for are
// skipped.
// The sink is handed every packet as it is read: nothing is kept per
// packet, so a capture of any size is read in the memory of its largest
// block, through windows of the file when `bytes` reads one so.
ReadSummary readCapture(CaptureBytes &bytes, CaptureSink &sink);
// Everything read, kept.
Capture readCapture(CaptureBytes &bytes);
Capture readCapture(QByteArrayView file);

// The panel (0 left, 1 right) a packet or note of the capture shows in:
// with two interfaces or more the first is the left panel and the others
// the right; with one interface of link type 250, bytes transmitted (0x01)
// are the left panel's and received (0x02) the right's; otherwise all are
// the left panel's.
int panelOf(const Capture &capture, int interface, quint8 eventType);

// "block 3 at byte 1024: <what>", for the open's message.
QString damageText(const Damage &damage);

} // namespace capture
