#pragma once

#include "capture/capture_reader.h"
#include "protocol/recording.h"

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace capture {

// What a recording file holds for playing it back: each panel's received
// bytes as they came. The file is a capture (pcapng or pcap, its panels as
// the traffic view shows them; bytes a panel sent are left out) or the
// traffic view's CSV export (its frame rows; event and "sent" rows are
// left out).
struct RecordingRead {
    std::vector<protocol::RecordedBurst> bursts;
    // Why the file cannot be used, saying where: "block 3 at byte 1024:
    // ...", "line 5: ...". Empty when it can.
    QString error;
    // The protocol a CSV export was decoded with; nothing for a capture or
    // an export without one.
    std::optional<protocol::Protocol> protocol;
};

// A CSV export is told by its header line; anything else is read as a
// capture. A damaged capture is refused (a conversation cut short would
// play as one that ended there).
RecordingRead readRecording(QByteArrayView file);

struct RecordingLoad {
    std::vector<protocol::RecordedExchange> exchanges;
    // The protocol the exchanges were found with.
    protocol::Protocol protocol = protocol::Protocol::None;
    // "<path>: <reason>" when there are none to play.
    QString error;
};

// The exchanges of the file at `path`, found with `chosen`, else the
// protocol the export names, else `fallback`.
RecordingLoad loadRecording(const QString &path, std::optional<protocol::Protocol> chosen,
                            protocol::Protocol fallback, qint64 replyTimeoutUs);

} // namespace capture
