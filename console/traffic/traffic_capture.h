#pragma once

#include "console/files/receive_files.h"
#include "console/traffic/traffic_export.h"
#include "console/traffic/traffic_model.h"

#include <functional>
#include <optional>

namespace console {

// The serial event type of a row with bytes in a capture file. Without a
// protocol: bytes a panel sent 0x01 (transmitted), the left panel's frames
// 0x01 and the right panel's 0x02 (the sniffing rig: the left panel hears
// the master, the right its slaves).
quint8 plainEventType(int panel, bool sent);

// Says 0x01 for a request and 0x02 for an answer where a decoder knows,
// nothing where it does not (plainEventType() then).
using EventTypeOf = std::function<std::optional<quint8>(int row)>;

// The directions a model's protocol found (a request 0x01, an answer 0x02,
// by its pairing); an empty hook without a protocol.
EventTypeOf decodedEventType(const TrafficModel &model);

// Writes the model's rows as a pcapng file through the one file writer:
// one interface a panel (link type 250, named for its port, described by
// its settings), one packet a row with bytes, in the rows' order, and the
// port events and frame ends as notes, so that opening the file gives the
// same rows again. Times are microseconds; the arrival clock is set on the
// wall clock by the first row.
// With `rows`, only those.
SaveResult exportCapture(const TrafficModel &model, const QString &path, const SaveProgress &progress = {},
                         const EventTypeOf &eventType = {}, const ExportRows &rows = {});

} // namespace console
