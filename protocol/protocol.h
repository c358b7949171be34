#pragma once

// The PLC protocols a serial line carries: where their frames begin and end
// in a panel's byte stream, and what each frame says. Plain C++20: no Qt, no
// window, so that a recorder, a fuzzer or a benchmark uses it as the
// console does.
//
// Two steps, kept apart so that a long capture costs little memory:
//  - a Framer is fed the bytes as they arrive and leaves a FrameMark per
//    frame (16 bytes: where, which way, whether its check held);
//  - describe() reads one frame's bytes again when a row is shown or
//    exported, and names its fields.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

// The names in settings are fixed (test rigs write them): "none",
// "modbus-rtu", "modbus-ascii", "fx-programming", "mc-ascii", "mewtocol".
enum class Protocol : std::uint8_t { None, ModbusRtu, ModbusAscii, FxProgramming, McAscii, Mewtocol };

std::string_view settingName(Protocol protocol);
// Exactly one of the setting names; nothing for any other text.
std::optional<Protocol> protocolFromSettingName(std::string_view name);
// What a user reads in a choice: "None", "Modbus RTU", "Modbus ASCII",
// "FX programming port", "A/Q computer link", "MEWTOCOL".
std::string_view displayName(Protocol protocol);

enum class Direction : std::uint8_t { Unknown, Request, Answer };

enum class Verdict : std::uint8_t {
    Good,         // a whole frame whose check held
    BadCheck,     // a whole frame by the grammar, its check wrong
    Unrecognised, // bytes that are no frame of the protocol
    Cut,          // a frame begun and abandoned for longer than the reply timeout
};

// Where a framer found a frame in the stream it was fed.
struct FrameMark {
    std::int64_t begin = 0; // offset of its first byte in the stream
    std::uint32_t length = 0;
    Direction direction = Direction::Unknown;
    Verdict verdict = Verdict::Good;

    std::int64_t end() const { return begin + length; }
    bool operator==(const FrameMark &) const = default;
};
static_assert(sizeof(FrameMark) <= 16, "a mark is kept for every frame of a capture");

// The longest run of bytes that are no frame one mark holds: a flood of
// noise is marked in pieces of this size.
constexpr std::int64_t kLongestUnframedRun = 1 << 20;

struct Options {
    // A frame begun and not completed for longer than this is cut.
    std::int64_t replyTimeoutUs = 1'000'000;
};

// Finds frames in one stream of bytes (one panel's received bytes). Bytes
// that are no frame leave as Unrecognised marks, and the framer
// resynchronises byte by byte; a frame split across arrivals is joined.
class Framer {
public:
    virtual ~Framer() = default;
    // The next bytes of the stream, which arrived at `arrivalUs` (any clock
    // in microseconds that does not go back). Marks of the frames these
    // bytes complete are appended to `out`, in stream order.
    virtual void feed(std::span<const std::uint8_t> bytes, std::int64_t arrivalUs,
                      std::vector<FrameMark> &out) = 0;
    // Nothing more arrived until `nowUs`: bytes waiting for the rest of
    // their frame since before nowUs - replyTimeoutUs leave as Cut (or
    // Unrecognised) marks.
    virtual void idle(std::int64_t nowUs, std::vector<FrameMark> &out) = 0;
    // The stream ends: whatever waits leaves as marks.
    virtual void finish(std::vector<FrameMark> &out) = 0;
    // Bytes fed and not yet in a mark (a frame still growing).
    virtual std::int64_t pending() const = 0;
};

// A framer for the protocol; null for None, which has no grammar.
std::unique_ptr<Framer> makeFramer(Protocol protocol, const Options &options = {});

// A named part of a frame: bytes [begin, end) of the frame, `depth` 0 for a
// top-level field, 1 for one inside the field before it, and so on.
struct Field {
    std::string name;  // "Unit", "Function", "Starting address", "CRC"
    std::string value; // "1", "3 (Read holding registers)", "0x840A (ok)"
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    int depth = 0;
};

enum class Status : std::uint8_t { Request, Answer, Exception, Nak, BadCheck, Unrecognised };

// What one frame says. The text members are the CSV export's columns, as
// the export writes them (empty where the protocol or frame has none).
struct Description {
    Direction direction = Direction::Unknown;
    Status status = Status::Unrecognised;
    std::string code;     // the exception number, or the NAK's code as sent
    std::string unit;     // the station: Modbus "1", MC and MEWTOCOL "01", FX empty
    std::string function; // Modbus "3", FX "0" or "ENQ", MC the command, MEWTOCOL "RD"
    std::string address;
    std::string count;
    std::string values;   // blank-separated
    std::string summary;  // "Read holding registers 0-9, unit 1"
    std::vector<Field> fields;
    // A MEWTOCOL answer ending in '&' CR: its data goes on in the next frame.
    bool continues = false;
};

// Names the fields of a frame the framer marked. `request` is the bytes of
// the request an answer answers, when one was paired with it: an answer
// then repeats its request's function, address and count, and its values
// are read with the request's meaning (the count of coils asked for, the
// FX device read). Bytes that are no frame (an Unrecognised or Cut mark)
// may be given in part: the description counts the mark's length.
Description describe(Protocol protocol, std::span<const std::uint8_t> frame, const FrameMark &mark,
                     std::span<const std::uint8_t> request = {});

// What a walk over every frame reads (the statistics, a row filter): the
// description's direction, status, code, unit and function, as describe()
// gives them for the same frame, mark and request, without the fields,
// values and summary text that cost most of a description. Bytes that are
// no frame and a frame cut short have none (a default Facts), whatever
// their bytes: they need not be read.
struct Facts {
    Direction direction = Direction::Unknown;
    Status status = Status::Unrecognised;
    std::string code;
    std::string unit;
    std::string function;
    bool operator==(const Facts &) const = default;
};
Facts factsOf(Protocol protocol, std::span<const std::uint8_t> frame, const FrameMark &mark,
              std::span<const std::uint8_t> request = {});
Facts factsOf(const Description &description);

// What ties an answer to its request, cheap enough to take for every frame:
// Modbus station and function (an exception answer's function without its
// 0x80 bit), MC and MEWTOCOL the station, FX one key for all. Nothing for
// a frame that cannot be paired (unrecognised, cut).
std::optional<std::uint32_t> pairingKey(Protocol protocol, std::span<const std::uint8_t> frame,
                                        const FrameMark &mark);
// The key is read from at most this many of the frame's first bytes.
constexpr std::size_t kPairingKeyBytes = 8;

} // namespace protocol
