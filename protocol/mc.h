#pragma once

#include "protocol/stream_framer.h"

namespace protocol::detail {

// The computer link's MC protocol in ASCII, formats 1 (no terminator) and 4
// (CR LF after each frame).
std::unique_ptr<Grammar> makeMcGrammar();
Description describeMc(Bytes frame, const FrameMark &mark, Bytes request);
// What describeMc() says of the frame's status, station, function and NAK
// code, without its fields and texts.
Facts mcFacts(Bytes frame, const FrameMark &mark, Bytes request);
std::optional<std::uint32_t> mcPairingKey(Bytes frame);

} // namespace protocol::detail
