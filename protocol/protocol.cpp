#include "protocol/protocol.h"

#include "protocol/fx.h"
#include "protocol/mc.h"
#include "protocol/mewtocol.h"
#include "protocol/modbus.h"
#include "protocol/stream_framer.h"
#include "protocol/text.h"

namespace protocol {

std::unique_ptr<Framer> makeFramer(Protocol protocol, const Options &options)
{
    switch (protocol) {
    case Protocol::ModbusRtu:
        return detail::makeStreamFramer(detail::makeModbusRtuGrammar(), options);
    case Protocol::ModbusAscii:
        return detail::makeStreamFramer(detail::makeModbusAsciiGrammar(), options);
    case Protocol::FxProgramming:
        return detail::makeStreamFramer(detail::makeFxGrammar(), options);
    case Protocol::McAscii:
        return detail::makeStreamFramer(detail::makeMcGrammar(), options);
    case Protocol::Mewtocol:
        return detail::makeStreamFramer(detail::makeMewtocolGrammar(), options);
    default:
        return nullptr;
    }
}

Description describe(Protocol protocol, std::span<const std::uint8_t> frame, const FrameMark &mark,
                     std::span<const std::uint8_t> request)
{
    switch (protocol) {
    case Protocol::ModbusRtu:
        return detail::describeModbus(false, frame, mark, request);
    case Protocol::ModbusAscii:
        return detail::describeModbus(true, frame, mark, request);
    case Protocol::FxProgramming:
        return detail::describeFx(frame, mark, request);
    case Protocol::McAscii:
        return detail::describeMc(frame, mark, request);
    case Protocol::Mewtocol:
        return detail::describeMewtocol(frame, mark, request);
    default:
        return detail::describeUnframed(frame, mark);
    }
}

Facts factsOf(const Description &d)
{
    return {d.direction, d.status, d.code, d.unit, d.function};
}

Facts factsOf(Protocol protocol, std::span<const std::uint8_t> frame, const FrameMark &mark,
              std::span<const std::uint8_t> request)
{
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut)
        return {};
    switch (protocol) {
    case Protocol::ModbusRtu:
        return detail::modbusFacts(false, frame, mark);
    case Protocol::ModbusAscii:
        return detail::modbusFacts(true, frame, mark);
    case Protocol::FxProgramming:
        return detail::fxFacts(frame, mark, request);
    case Protocol::McAscii:
        return detail::mcFacts(frame, mark, request);
    case Protocol::Mewtocol:
        return detail::mewtocolFacts(frame, mark, request);
    default:
        return factsOf(describe(protocol, frame, mark, request));
    }
}

std::optional<std::uint32_t> pairingKey(Protocol protocol, std::span<const std::uint8_t> frame,
                                        const FrameMark &mark)
{
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut)
        return std::nullopt;
    switch (protocol) {
    case Protocol::ModbusRtu:
        return detail::modbusPairingKey(false, frame);
    case Protocol::ModbusAscii:
        return detail::modbusPairingKey(true, frame);
    case Protocol::FxProgramming:
        return 0; // one conversation: an answer answers the ENQ or STX frame before it
    case Protocol::McAscii:
        return detail::mcPairingKey(frame);
    case Protocol::Mewtocol:
        return detail::mewtocolPairingKey(frame);
    default:
        return std::nullopt;
    }
}

} // namespace protocol
