#pragma once

#include "protocol/stream_framer.h"

namespace protocol::detail {

// MEWTOCOL-COM: '%' station, then '#' a command, '$' its answer or '!' an
// error, the BCC and CR ('&' CR when the next frame goes on).
std::unique_ptr<Grammar> makeMewtocolGrammar();
Description describeMewtocol(Bytes frame, const FrameMark &mark, Bytes request);
// What describeMewtocol() says of the frame's status, station, function and
// error code, without its fields and texts.
Facts mewtocolFacts(Bytes frame, const FrameMark &mark, Bytes request);
std::optional<std::uint32_t> mewtocolPairingKey(Bytes frame);

} // namespace protocol::detail
