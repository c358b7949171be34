#pragma once

#include "protocol/stream_framer.h"

namespace protocol::detail {

// The FX programming port: ENQ, ACK, NAK, and STX text ETX sum frames.
std::unique_ptr<Grammar> makeFxGrammar();
Description describeFx(Bytes frame, const FrameMark &mark, Bytes request);
// What describeFx() says of the frame's status and function, without its
// fields and texts.
Facts fxFacts(Bytes frame, const FrameMark &mark, Bytes request);

} // namespace protocol::detail
