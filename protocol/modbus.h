#pragma once

#include "protocol/stream_framer.h"

namespace protocol::detail {

std::unique_ptr<Grammar> makeModbusRtuGrammar();
std::unique_ptr<Grammar> makeModbusAsciiGrammar();
Description describeModbus(bool ascii, Bytes frame, const FrameMark &mark, Bytes request);
// A Modbus answer's facts are its own: the request is not needed.
Facts modbusFacts(bool ascii, Bytes frame, const FrameMark &mark);
std::optional<std::uint32_t> modbusPairingKey(bool ascii, Bytes frame);

} // namespace protocol::detail
