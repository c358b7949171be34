#pragma once

// A Modbus RTU device played from a register table: the answer to each
// request, and the line discipline around it (requests framed from the
// bytes as they arrive, answers sent in turn after the reply delay, a
// bounded queue). Plain C++20, no Qt: times are microseconds of any clock
// that does not go back, given by the caller.

#include "protocol/protocol.h"
#include "protocol/register_table.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace protocol {

// What became of one request.
enum class ExchangeStatus : std::uint8_t {
    Answered,  // a normal answer
    Exception, // an exception answer (`exception` says which)
    Broadcast, // unit 0: a write applied, or a request ignored; no answer either way
    OtherUnit, // for a unit this device is not
    BadCheck,  // a frame whose CRC is wrong
    Dropped,   // too many answers were waiting: not handled at all
};

struct Exchange {
    std::int64_t timeUs = 0; // when the request was complete
    std::uint8_t unit = 0;
    std::uint8_t function = 0;
    // The first address and the count the request names (function 23: the
    // read's); 0 when it names none.
    std::uint16_t address = 0;
    std::uint16_t count = 0;
    ExchangeStatus status = ExchangeStatus::Answered;
    std::uint8_t exception = 0;
    // The entries the request wrote, in the table as they are now.
    struct Write {
        RegisterKind kind;
        std::uint16_t address;
    };
    std::vector<Write> writes;
    // The answer with its CRC; empty when none goes out.
    std::vector<std::uint8_t> answer;
};

// "ok", "exception 2 (Illegal data address)", "broadcast, no answer",
// "other unit, no answer", "bad CRC, no answer", "dropped: too many waiting".
std::string exchangeStatusText(const Exchange &exchange);
// "time unit function address count status", the line a device prints for
// an exchange: "12:00:01.250 unit 1 function 3 address 0 count 10 ok". The
// time is the caller's text.
std::string exchangeLine(std::string_view time, const Exchange &exchange);

// The answers of one device: the units it is (1-247) over a register
// table. An answer is made from one whole frame, its CRC included.
class ModbusAnswerer {
public:
    ModbusAnswerer(RegisterTable table, std::vector<std::uint8_t> units);

    // Applies the request's writes at once and gives what to answer.
    Exchange answer(std::span<const std::uint8_t> frame);

    const RegisterTable &table() const { return m_table; }
    RegisterTable &table() { return m_table; }
    const std::vector<std::uint8_t> &units() const { return m_units; }
    void setUnits(std::vector<std::uint8_t> units) { m_units = std::move(units); }

private:
    bool isOurs(std::uint8_t unit) const;

    RegisterTable m_table;
    std::vector<std::uint8_t> m_units;
};

// The device on a line: bytes in as they arrive, answers out when they are
// due. One answer goes out at a time; the next waits until the line has
// carried the one before (its length at the line's byte time), so that a
// request that arrives while an answer is going out waits its turn.
class ModbusDevice {
public:
    struct Options {
        std::int64_t replyDelayUs = 0;
        // Time the line takes for one byte (start, data, parity and stop
        // bits at the baud rate).
        std::int64_t byteTimeUs = 1042; // 9600,n,8,1
        // Silence after which bytes that make no frame are let go.
        std::int64_t silenceUs = 100'000;
        // Answers waiting beyond this many: further requests are dropped.
        std::size_t maxWaiting = 64;
        // Exchanges kept for takeExchanges() beyond this many: the oldest go.
        std::size_t maxExchanges = 4096;
    };

    ModbusDevice(ModbusAnswerer &answerer, const Options &options);
    ~ModbusDevice();

    void setReplyDelayUs(std::int64_t us) { m_options.replyDelayUs = us; }

    // Received bytes, arrived at `nowUs`.
    void feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
    // Nothing arrived until `nowUs`.
    void idle(std::int64_t nowUs);

    // When the next answer may go out; nothing when none waits.
    std::optional<std::int64_t> nextDueUs() const;
    // The answer to send now, if one is due; the line counts as busy with it
    // from `nowUs` on.
    std::optional<std::vector<std::uint8_t>> takeDue(std::int64_t nowUs);

    // The exchanges since the last call, oldest first.
    std::vector<Exchange> takeExchanges();

    struct Counts {
        std::int64_t requests = 0; // whole frames with a good CRC
        std::int64_t answered = 0; // answers handed out (exceptions too)
        std::int64_t exceptions = 0;
        std::int64_t ignored = 0;  // other units, broadcasts, bad CRCs
        std::int64_t dropped = 0;
        std::int64_t noiseBytes = 0; // bytes that made no frame
        // Exchanges let go beyond `maxExchanges` before takeExchanges()
        // gave them out: counted only.
        std::int64_t unlisted = 0;
    };
    const Counts &counts() const { return m_counts; }
    std::size_t waiting() const { return m_waiting.size(); }

private:
    void handle(const std::vector<FrameMark> &marks, std::int64_t nowUs);
    void keep(Exchange exchange);

    ModbusAnswerer &m_answerer;
    Options m_options;
    std::unique_ptr<Framer> m_framer;
    // The bytes fed and not yet behind a mark, from stream offset m_base on.
    std::vector<std::uint8_t> m_bytes;
    std::int64_t m_base = 0;
    struct Waiting {
        std::int64_t dueUs;
        std::vector<std::uint8_t> bytes;
    };
    std::deque<Waiting> m_waiting;
    std::int64_t m_lineFreeUs = 0;
    std::deque<Exchange> m_exchanges;
    Counts m_counts;
};

// Parses "1,2,17" into unit numbers 1-247; nothing with the reason for any
// other text.
std::optional<std::vector<std::uint8_t>> parseUnits(std::string_view text, std::string *reason);

} // namespace protocol
