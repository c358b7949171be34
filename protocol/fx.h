#pragma once

#include "protocol/stream_framer.h"

namespace protocol::detail {

// The FX programming port: ENQ, ACK, NAK, and STX text ETX sum frames.
std::unique_ptr<Grammar> makeFxGrammar();
Description describeFx(Bytes frame, const FrameMark &mark, Bytes request);

} // namespace protocol::detail
