#include "protocol/modbus.h"

#include "protocol/text.h"

#include <array>
#include <optional>
#include <vector>

namespace protocol::detail {

namespace {

// The largest RTU frame (application data unit), check included.
constexpr std::size_t kLongestRtu = 256;
// The largest ASCII frame: ':', 252 bytes and the LRC as hex, CR LF.
constexpr std::size_t kLongestAscii = 1 + 2 * 253 + 2;

enum class Way : std::uint8_t { Request, Answer, Either };

// One shape a function's frames take. Lengths leave out the check.
struct Form {
    Way way = Way::Request;
    std::uint8_t fixed = 0;   // length when it does not depend on a count
    std::uint8_t countAt = 0; // else where the byte count is, and its width
    std::uint8_t countWidth = 0;

    // Nothing when the bytes do not yet reach the count.
    std::optional<std::size_t> length(Bytes body) const
    {
        if (fixed)
            return fixed;
        if (body.size() < std::size_t(countAt + countWidth))
            return std::nullopt;
        std::size_t count = body[countAt];
        if (countWidth == 2)
            count = count * 256 + body[countAt + 1];
        return countAt + countWidth + count;
    }
};

struct Forms {
    Form form[2];
    int count = 0;
};

constexpr Forms formsOfFunction(std::uint8_t function)
{
    const Form request6{Way::Request, 6}, request2{Way::Request, 2};
    const Form countedAnswer{Way::Answer, 0, 2, 1};
    switch (function) {
    case 1: case 2: case 3: case 4:
        return {{request6, countedAnswer}, 2};
    case 5: case 6: case 8:
        return {{{Way::Either, 6}}, 1};
    case 7:
        return {{request2, {Way::Answer, 3}}, 2};
    case 11:
        return {{request2, {Way::Answer, 6}}, 2};
    case 12: case 17:
        return {{request2, countedAnswer}, 2};
    case 15: case 16:
        return {{{Way::Request, 0, 6, 1}, {Way::Answer, 6}}, 2};
    case 20: case 21:
        return {{{Way::Either, 0, 2, 1}}, 1};
    case 22:
        return {{{Way::Either, 8}}, 1};
    case 23:
        return {{{Way::Request, 0, 10, 1}, countedAnswer}, 2};
    case 24:
        return {{{Way::Request, 4}, {Way::Answer, 0, 2, 2}}, 2};
    default:
        if (function & 0x80)
            return {{{Way::Answer, 3}}, 1};
        return {};
    }
}

// Looked up at nearly every byte of a re-decode: a table, not a switch.
constexpr auto kForms = [] {
    std::array<Forms, 256> forms{};
    for (unsigned function = 0; function < 256; ++function)
        forms[function] = formsOfFunction(std::uint8_t(function));
    return forms;
}();

// The functions with frames of a form other than an exception's.
constexpr auto kOtherKnown = [] {
    std::array<bool, 256> other{};
    for (unsigned function = 0; function < 128; ++function)
        other[function] = kForms[function].count > 0;
    return other;
}();

const Forms &formsOf(std::uint8_t function)
{
    return kForms[function];
}

std::uint16_t be16(Bytes body, std::size_t at)
{
    return std::uint16_t(body[at] << 8 | body[at + 1]);
}

// Whether a frame of this form is likely enough to be claimed as one with a
// wrong check (or cut short): the fields it has so far are within the
// protocol's limits.
bool credible(const Form &form, Bytes body)
{
    const std::uint8_t unit = body[0];
    const std::uint8_t function = body[1];
    if (unit > 247 || (form.way == Way::Answer && unit == 0))
        return false;
    const auto has = [&](std::size_t n) { return body.size() >= n; };
    if (function & 0x80)
        return !has(3) || (body[2] >= 1 && body[2] <= 11);
    if (form.way == Way::Request) {
        const auto quantityIn = [&](unsigned low, unsigned high) {
            return !has(6) || (be16(body, 4) >= low && be16(body, 4) <= high);
        };
        switch (function) {
        case 1: case 2: return quantityIn(1, 2000);
        case 3: case 4: return quantityIn(1, 125);
        case 15: return quantityIn(1, 1968) && (!has(7) || body[6] == (be16(body, 4) + 7) / 8);
        case 16: return quantityIn(1, 123) && (!has(7) || body[6] == 2 * be16(body, 4));
        case 23: return !has(11) || body[10] == 2 * be16(body, 8);
        default: return true;
        }
    }
    if (form.way == Way::Answer && form.countAt == 2 && form.countWidth == 1 && has(3)) {
        if (body[2] == 0 || body[2] > 250)
            return false;
        if (function == 3 || function == 4 || function == 23)
            return body[2] % 2 == 0;
    }
    if (function == 5 && has(6))
        return be16(body, 4) == 0xFF00 || be16(body, 4) == 0x0000;
    return true;
}

// What the frames before tell about the direction of the next one.
class Context {
public:
    Direction expected(std::uint8_t unit, std::uint8_t function) const
    {
        if (lastWasRequest_ && lastUnit_ == unit && lastFunction_ == (function & 0x7F))
            return Direction::Answer;
        return Direction::Request;
    }
    // A frame that looks the same either way (an echo).
    Direction either(std::uint8_t unit, std::uint8_t function) const
    {
        if (expected(unit, function) == Direction::Answer || (sawAnswer_ && !sawRequest_))
            return Direction::Answer;
        return Direction::Request;
    }
    void probed(bool ambiguous) { ambiguous_ = ambiguous; }
    void marked(Bytes body, const FrameMark &mark)
    {
        if (mark.verdict != Verdict::Good || body.size() < 2)
            return;
        lastWasRequest_ = mark.direction == Direction::Request;
        lastUnit_ = body[0];
        lastFunction_ = body[1] & 0x7F;
        if (!ambiguous_) {
            sawRequest_ = sawRequest_ || mark.direction == Direction::Request;
            sawAnswer_ = sawAnswer_ || mark.direction == Direction::Answer;
        }
    }

private:
    bool lastWasRequest_ = false;
    std::uint8_t lastUnit_ = 0;
    std::uint8_t lastFunction_ = 0;
    bool sawRequest_ = false;
    bool sawAnswer_ = false;
    bool ambiguous_ = false;
};

Direction directionOf(Way way, const Context &context, Bytes body)
{
    if (way == Way::Either)
        return context.either(body[0], body[1]);
    return way == Way::Request ? Direction::Request : Direction::Answer;
}

class RtuGrammar final : public Grammar {
public:
    Probe probe(Bytes b, bool boundary, bool final) override
    {
        if (b.size() < 2)
            return {final ? Probe::NoFrame : Probe::NeedMore};
        const Forms &forms = formsOf(b[1]);
        if (forms.count == 0)
            return unknownFunction(b, boundary, final);
        const Direction expected = context_.expected(b[0], b[1]);
        std::optional<Probe> good, bad;
        bool waiting = false;
        bool cut = false;
        for (int i = 0; i < forms.count; ++i) {
            const Form &form = forms.form[i];
            const std::optional<std::size_t> body = form.length(b);
            if (body && *body + 2 > kLongestRtu)
                continue;
            if (!body || *body + 2 > b.size()) {
                waiting = true;
                cut = cut || (boundary && credible(form, b));
                continue;
            }
            const Direction direction = directionOf(form.way, context_, b);
            const std::uint16_t crc = modbusCrc16(b.first(*body));
            const Probe frame{Probe::Frame, Verdict::Good, direction, std::uint32_t(*body + 2)};
            if ((b[*body] | b[*body + 1] << 8) == crc) {
                if (!good || direction == expected)
                    good = frame;
            } else if (boundary && credible(form, b.first(*body))) {
                if (!bad || direction == expected)
                    bad = frame;
            }
        }
        if (good) {
            context_.probed(forms.count == 1 && forms.form[0].way == Way::Either);
            return *good;
        }
        if (waiting && !final)
            return {Probe::NeedMore};
        if (bad) {
            bad->verdict = Verdict::BadCheck;
            return *bad;
        }
        if (cut)
            return {Probe::Frame, Verdict::Cut, Direction::Unknown, std::uint32_t(b.size())};
        return {};
    }

    void marked(Bytes frame, const FrameMark &mark) override { context_.marked(frame, mark); }

    // Away from a boundary probe() finds only a frame whose CRC holds (or
    // waits for one's last bytes), and changes nothing otherwise.
    //
    // In noise half the function bytes are an exception's (0x80 and up),
    // each a 5-byte frame to check, at random: their check is tried without
    // a branch on the function, so that what the processor guesses wrong is
    // only the rare other known function or a frame found.
    std::size_t noFrameRun(Bytes b, std::size_t limit) const override
    {
        const std::uint8_t *p = b.data();
        const std::size_t whole = b.size() >= 5 ? b.size() - 4 : 0; // positions with an exception's 5 bytes
        std::size_t i = 0;
        for (; i < limit && i < whole; ++i) {
            const std::uint8_t function = p[i + 1];
            if (kOtherKnown[function]) {
                if (mayBeFrame(b.subspan(i)))
                    break;
                continue;
            }
            std::uint16_t crc = modbusCrc16Step(0xFFFF, p[i]);
            crc = modbusCrc16Step(crc, function);
            crc = modbusCrc16Step(crc, p[i + 2]);
            if ((function >> 7) & (crc == (p[i + 3] | p[i + 4] << 8)))
                break;
        }
        for (; i < limit && i + 2 <= b.size(); ++i)
            if (mayBeFrame(b.subspan(i)))
                break;
        return i;
    }

private:
    // Whether a frame of a known function may start at b[0] (at least 2
    // bytes): one of its forms has its CRC, or lacks bytes to tell.
    static bool mayBeFrame(Bytes b)
    {
        const Forms &forms = formsOf(b[1]);
        for (int i = 0; i < forms.count; ++i) {
            const std::optional<std::size_t> body = forms.form[i].length(b);
            if (body && *body + 2 > kLongestRtu)
                continue;
            if (!body || *body + 2 > b.size() || (b[*body] | b[*body + 1] << 8) == modbusCrc16(b.first(*body)))
                return true;
        }
        return false;
    }

    // A function whose frames' lengths are not known here: only where a
    // frame is expected, the shortest length whose CRC holds.
    Probe unknownFunction(Bytes b, bool boundary, bool final)
    {
        if (!boundary || b[0] > 247 || b[1] == 0)
            return {};
        const std::size_t reach = std::min(b.size(), kLongestRtu);
        std::uint16_t crc = modbusCrc16(b.first(2));
        for (std::size_t length = 4; length <= reach; ++length) {
            if ((b[length - 2] | b[length - 1] << 8) == crc) {
                context_.probed(true);
                return {Probe::Frame, Verdict::Good, context_.either(b[0], b[1]), std::uint32_t(length)};
            }
            crc = modbusCrc16(b.subspan(length - 2, 1), crc);
        }
        if (b.size() < kLongestRtu && !final)
            return {Probe::NeedMore};
        return {};
    }

    Context context_;
};

// The bytes the hex characters of an ASCII frame stand for (LRC included);
// nothing when a character is no digit or their number is odd.
std::optional<std::vector<std::uint8_t>> asciiBytes(Bytes hex)
{
    if (hex.size() % 2)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto value = hexPairValue(hex[2 * i], hex[2 * i + 1]);
        if (!value)
            return std::nullopt;
        bytes[i] = *value;
    }
    return bytes;
}

class AsciiGrammar final : public Grammar {
public:
    std::size_t noFrameRun(Bytes b, std::size_t limit) const override
    {
        static constexpr ByteSet starts{':'};
        return starts.runWithout(b, limit);
    }

    Probe probe(Bytes b, bool boundary, bool final) override
    {
        (void)boundary; // the colon marks where a frame starts
        if (b[0] != ':')
            return {};
        std::size_t i = 1;
        const std::size_t reach = std::min(b.size(), kLongestAscii);
        while (i < reach && hexDigitValue(b[i]) >= 0)
            ++i;
        if (i == reach) {
            if (b.size() < kLongestAscii && !final)
                return {Probe::NeedMore};
            if (final && b.size() < kLongestAscii && i >= 5)
                return {Probe::Frame, Verdict::Cut, Direction::Unknown, std::uint32_t(i)};
            return {};
        }
        if (b[i] != '\r')
            return {};
        if (i + 1 >= b.size())
            return final ? Probe{Probe::Frame, Verdict::Cut, Direction::Unknown, std::uint32_t(i + 1)}
                         : Probe{Probe::NeedMore};
        if (b[i + 1] != '\n')
            return {};
        const auto length = std::uint32_t(i + 2);
        const auto bytes = asciiBytes(b.subspan(1, i - 1));
        if (!bytes || bytes->size() < 3)
            return {Probe::Frame, Verdict::BadCheck, Direction::Unknown, length};
        const Bytes body = Bytes(*bytes).first(bytes->size() - 1);
        const Verdict verdict = lrc(body) == bytes->back() ? Verdict::Good : Verdict::BadCheck;
        Direction direction = context_.either(body[0], body[1]);
        bool ambiguous = true;
        const Forms &forms = formsOf(body[1]);
        for (int f = 0; f < forms.count; ++f) {
            if (forms.form[f].length(body) == body.size()) {
                direction = directionOf(forms.form[f].way, context_, body);
                ambiguous = forms.form[f].way == Way::Either;
                break;
            }
        }
        context_.probed(ambiguous);
        return {Probe::Frame, verdict, direction, length};
    }

    void marked(Bytes frame, const FrameMark &mark) override
    {
        if (frame.size() < 5)
            return;
        const auto unit = hexPairValue(frame[1], frame[2]);
        const auto function = hexPairValue(frame[3], frame[4]);
        if (unit && function) {
            const std::uint8_t head[2] = {*unit, *function};
            context_.marked(head, mark);
        }
    }

private:
    Context context_;
};

// ---- descriptions

const char *functionName(std::uint8_t function)
{
    switch (function) {
    case 1: return "Read coils";
    case 2: return "Read discrete inputs";
    case 3: return "Read holding registers";
    case 4: return "Read input registers";
    case 5: return "Write single coil";
    case 6: return "Write single register";
    case 7: return "Read exception status";
    case 8: return "Diagnostics";
    case 11: return "Get comm event counter";
    case 12: return "Get comm event log";
    case 15: return "Write multiple coils";
    case 16: return "Write multiple registers";
    case 17: return "Report server ID";
    case 20: return "Read file record";
    case 21: return "Write file record";
    case 22: return "Mask write register";
    case 23: return "Read/write multiple registers";
    case 24: return "Read FIFO queue";
    case 43: return "Encapsulated interface transport";
    default: return nullptr;
    }
}

const char *exceptionName(std::uint8_t code)
{
    switch (code) {
    case 1: return "illegal function";
    case 2: return "illegal data address";
    case 3: return "illegal data value";
    case 4: return "server device failure";
    case 5: return "acknowledge";
    case 6: return "server device busy";
    case 8: return "memory parity error";
    case 10: return "gateway path unavailable";
    case 11: return "gateway target device failed to respond";
    default: return "unknown exception";
    }
}

bool handled(std::uint8_t function)
{
    switch (function) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 15: case 16: case 23:
        return true;
    default:
        return false;
    }
}

std::string functionText(std::uint8_t function)
{
    std::string text = std::to_string(function);
    if (function & 0x80) {
        const char *name = functionName(function & 0x7F);
        text += " (Exception to " + std::to_string(function & 0x7F);
        if (name)
            text += std::string(": ") + name;
        return text + ")";
    }
    if (const char *name = functionName(function))
        return text + " (" + name + ")";
    return text;
}

std::string range(unsigned first, unsigned count)
{
    if (count == 0)
        return std::to_string(first);
    return std::to_string(first) + "-" + std::to_string(first + count - 1);
}

// What a request asked for, as its answer repeats it.
struct Asked {
    std::uint8_t function = 0;
    std::optional<unsigned> address;
    std::optional<unsigned> count;
};

Asked asked(Bytes body)
{
    Asked a;
    if (body.size() < 2)
        return a;
    a.function = body[1];
    if (!handled(a.function) || body.size() < 6)
        return a;
    a.address = be16(body, 2);
    a.count = (a.function == 5 || a.function == 6) ? 1u : unsigned(be16(body, 4));
    return a;
}

std::string registers(Bytes data, unsigned limit = 0xFFFF)
{
    std::string list;
    for (std::size_t i = 0; i + 1 < data.size() && i / 2 < limit; i += 2)
        appendItem(list, std::to_string(be16(data, i)));
    return list;
}

std::string bits(Bytes data, unsigned count)
{
    std::string list;
    for (unsigned i = 0; i < count && i / 8 < data.size(); ++i)
        appendItem(list, (data[i / 8] >> (i % 8)) & 1 ? "1" : "0");
    return list;
}

// Where the bytes of the frame's body are: RTU byte i is at i, ASCII at 1 + 2i.
struct Layout {
    std::size_t offset;
    std::size_t scale;
    std::size_t at(std::size_t i) const { return offset + scale * i; }
};

void describeBody(Description &d, Bytes body, Direction direction, const Layout &at,
                  std::optional<Asked> request)
{
    Fields f(d);
    const auto field = [&](std::string name, std::string value, std::size_t begin, std::size_t end, int depth = 0) {
        f.add(std::move(name), std::move(value), at.at(begin), at.at(end), depth);
    };
    if (body.size() < 2) {
        field("Data", hexBytes(body), 0, body.size());
        d.summary = "Frame too short";
        return;
    }
    const std::uint8_t unit = body[0];
    const std::uint8_t function = body[1];
    d.unit = std::to_string(unit);
    d.function = std::to_string(function & 0x7F);
    field("Unit", unit == 0 ? "0 (broadcast)" : std::to_string(unit), 0, 1);
    field("Function", functionText(function), 1, 2);
    const std::string ofUnit = ", unit " + d.unit;
    if (request && request->function != (function & 0x7F))
        request.reset();
    if (request && request->address)
        d.address = std::to_string(*request->address);
    if (request && request->count)
        d.count = std::to_string(*request->count);

    if (function & 0x80) {
        d.status = Status::Exception;
        if (body.size() >= 3) {
            d.code = std::to_string(body[2]);
            field("Exception code", d.code + " (" + exceptionName(body[2]) + ")", 2, 3);
            d.summary = "Exception " + d.code + ": " + exceptionName(body[2]);
        }
        return;
    }
    d.status = direction == Direction::Answer ? Status::Answer : Status::Request;
    const std::string name = functionName(function) ? functionName(function) : "Function " + d.function;
    const auto wholeIs = [&](std::size_t length) { return body.size() == length; };
    const auto counted = [&](std::size_t countAt) {
        return body.size() > countAt && body.size() == countAt + 1 + body[countAt];
    };
    const auto addressed = [&](const char *what, const char *howMany) {
        d.address = std::to_string(be16(body, 2));
        field(what, d.address, 2, 4);
        if (howMany) {
            d.count = std::to_string(be16(body, 4));
            field(howMany, d.count, 4, 6);
        }
    };

    if (handled(function) && direction == Direction::Request) {
        if ((function <= 4 && wholeIs(6)) || ((function == 15 || function == 16) && counted(6))) {
            addressed("Starting address", function == 1 || function == 15 ? "Quantity of coils"
                                          : function == 2                ? "Quantity of inputs"
                                                                         : "Quantity of registers");
            d.summary = name + " " + range(be16(body, 2), be16(body, 4)) + ofUnit;
            if (function >= 15) {
                field("Byte count", std::to_string(body[6]), 6, 7);
                const Bytes data = body.subspan(7);
                d.values = function == 15 ? bits(data, be16(body, 4)) : registers(data, be16(body, 4));
                field("Values", d.values, 7, body.size());
                if (function == 16)
                    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
                        field("Register " + std::to_string(be16(body, 2) + i / 2), std::to_string(be16(data, i)),
                              7 + i, 9 + i, 1);
            }
            return;
        }
        if ((function == 5 || function == 6) && wholeIs(6)) {
            addressed(function == 5 ? "Output address" : "Register address", nullptr);
            d.count = "1";
            const std::uint16_t value = be16(body, 4);
            if (function == 5) {
                d.values = value == 0xFF00 ? "1" : value == 0 ? "0" : "";
                field("Output value", "0x" + hexText(value, 4) + (value == 0xFF00 ? " (on)" : value == 0 ? " (off)" : " (invalid)"), 4, 6);
                d.summary = name + " " + d.address + " = " + (value == 0xFF00 ? "on" : value == 0 ? "off" : "0x" + hexText(value, 4)) + ofUnit;
            } else {
                d.values = std::to_string(value);
                field("Register value", d.values, 4, 6);
                d.summary = name + " " + d.address + " = " + d.values + ofUnit;
            }
            return;
        }
        if (function == 23 && counted(10)) {
            addressed("Read starting address", "Quantity to read");
            field("Write starting address", std::to_string(be16(body, 6)), 6, 8);
            field("Quantity to write", std::to_string(be16(body, 8)), 8, 10);
            field("Write byte count", std::to_string(body[10]), 10, 11);
            d.values = registers(body.subspan(11), be16(body, 8));
            field("Write values", d.values, 11, body.size());
            d.summary = name + " " + range(be16(body, 2), be16(body, 4)) + ", write " +
                        range(be16(body, 6), be16(body, 8)) + ofUnit;
            return;
        }
    }
    if (handled(function) && direction == Direction::Answer) {
        if ((function <= 4 || function == 23) && counted(2)) {
            field("Byte count", std::to_string(body[2]), 2, 3);
            const Bytes data = body.subspan(3);
            if (function <= 2) {
                const unsigned count = request && request->count ? std::min<unsigned>(*request->count, 8 * data.size())
                                                                 : unsigned(8 * data.size());
                d.values = bits(data, count);
            } else {
                d.values = registers(data);
            }
            field(function <= 2 ? (function == 1 ? "Coil status" : "Input status") : "Register values", d.values, 3,
                  body.size());
            if (function >= 3) {
                const unsigned first = request && request->address ? *request->address : 0;
                for (std::size_t i = 0; i + 1 < data.size(); i += 2)
                    field((request && request->address ? "Register " : "Value ") + std::to_string(first + i / 2),
                          std::to_string(be16(data, i)), 3 + i, 5 + i, 1);
            }
            d.summary = "Answer: " + firstItems(d.values, 8);
            return;
        }
        if ((function == 5 || function == 6) && wholeIs(6)) {
            addressed(function == 5 ? "Output address" : "Register address", nullptr);
            d.count = "1";
            const std::uint16_t value = be16(body, 4);
            if (function == 5) {
                d.values = value == 0xFF00 ? "1" : value == 0 ? "0" : "";
                field("Output value", "0x" + hexText(value, 4), 4, 6);
            } else {
                d.values = std::to_string(value);
                field("Register value", d.values, 4, 6);
            }
            d.summary = "Answer: wrote " + d.address + " = " + (function == 5 ? (value == 0xFF00 ? "on" : "off") : d.values);
            return;
        }
        if ((function == 15 || function == 16) && wholeIs(6)) {
            addressed("Starting address", function == 15 ? "Quantity of coils" : "Quantity of registers");
            d.summary = "Answer: wrote " + range(be16(body, 2), be16(body, 4));
            return;
        }
    }
    // Named by number, with its bytes.
    if (body.size() > 2)
        field("Data", hexBytes(body.subspan(2)), 2, body.size());
    d.summary = (direction == Direction::Answer ? "Answer: " : "") + name + ofUnit;
}

std::optional<std::vector<std::uint8_t>> asciiBody(Bytes frame)
{
    // ':' hex... LRC(2) CR LF
    if (frame.size() < 9 || frame[0] != ':')
        return std::nullopt;
    auto bytes = asciiBytes(frame.subspan(1, frame.size() - 3));
    return bytes;
}

std::optional<Asked> askedBy(bool ascii, Bytes request)
{
    if (request.empty())
        return std::nullopt;
    if (ascii) {
        const auto body = asciiBody(request);
        if (!body)
            return std::nullopt;
        return asked(*body);
    }
    if (request.size() < 4)
        return std::nullopt;
    return asked(request.first(request.size() - 2));
}

} // namespace

std::unique_ptr<Grammar> makeModbusRtuGrammar()
{
    return std::make_unique<RtuGrammar>();
}

std::unique_ptr<Grammar> makeModbusAsciiGrammar()
{
    return std::make_unique<AsciiGrammar>();
}

Description describeModbus(bool ascii, Bytes frame, const FrameMark &mark, Bytes request)
{
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut)
        return describeUnframed(frame, mark);
    Description d;
    d.direction = mark.direction;
    const std::optional<Asked> asks =
        mark.direction == Direction::Answer ? askedBy(ascii, request) : std::optional<Asked>();
    if (!ascii) {
        const std::size_t n = frame.size();
        if (n < 4) {
            d.status = Status::BadCheck;
            Fields(d).add("Data", hexBytes(frame), 0, n);
            d.summary = "Bad check: frame too short";
            return d;
        }
        describeBody(d, frame.first(n - 2), mark.direction, {0, 1}, asks);
        const std::uint16_t found = std::uint16_t(frame[n - 2] | frame[n - 1] << 8);
        const std::uint16_t expected = modbusCrc16(frame.first(n - 2));
        Fields(d).add("CRC", checkText("0x" + hexText(found, 4), "0x" + hexText(expected, 4)), n - 2, n);
    } else {
        const auto bytes = asciiBody(frame);
        Fields(d).add("Start", ":", 0, 1);
        if (!bytes || bytes->empty()) {
            d.status = Status::BadCheck;
            Fields(d).add("Data", printable(frame.subspan(1)), 1, frame.size());
            d.summary = "Bad check: no whole frame of hex digits";
            return d;
        }
        const Bytes body = Bytes(*bytes).first(bytes->size() - 1);
        describeBody(d, body, mark.direction, {1, 2}, asks);
        const std::uint8_t expected = lrc(body);
        const std::size_t n = frame.size();
        Fields(d).add("LRC", checkText(hexText(bytes->back(), 2), hexText(expected, 2)), n - 4, n - 2);
        Fields(d).add("End", "CR LF", n - 2, n);
    }
    if (mark.verdict == Verdict::BadCheck) {
        d.status = Status::BadCheck;
        d.summary = "Bad check: " + d.summary;
    }
    return d;
}

Facts modbusFacts(bool ascii, Bytes frame, const FrameMark &mark)
{
    Facts f;
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut)
        return f;
    f.direction = mark.direction;
    std::optional<std::vector<std::uint8_t>> decoded;
    Bytes body;
    if (!ascii) {
        if (frame.size() < 4) {
            f.status = Status::BadCheck;
            return f;
        }
        body = frame.first(frame.size() - 2);
    } else {
        decoded = asciiBody(frame);
        if (!decoded || decoded->empty()) {
            f.status = Status::BadCheck;
            return f;
        }
        body = Bytes(*decoded).first(decoded->size() - 1);
    }
    // As describeBody() reads the unit, the function and an exception's code.
    if (body.size() >= 2) {
        f.unit = std::to_string(body[0]);
        f.function = std::to_string(body[1] & 0x7F);
        if (body[1] & 0x80) {
            f.status = Status::Exception;
            if (body.size() >= 3)
                f.code = std::to_string(body[2]);
        } else {
            f.status = mark.direction == Direction::Answer ? Status::Answer : Status::Request;
        }
    }
    if (mark.verdict == Verdict::BadCheck)
        f.status = Status::BadCheck;
    return f;
}

std::optional<std::uint32_t> modbusPairingKey(bool ascii, Bytes frame)
{
    std::uint8_t unit = 0, function = 0;
    if (ascii) {
        if (frame.size() < 5)
            return std::nullopt;
        const auto u = hexPairValue(frame[1], frame[2]);
        const auto f = hexPairValue(frame[3], frame[4]);
        if (!u || !f)
            return std::nullopt;
        unit = *u;
        function = *f;
    } else {
        if (frame.size() < 2)
            return std::nullopt;
        unit = frame[0];
        function = frame[1];
    }
    return std::uint32_t(unit) << 8 | (function & 0x7F);
}

} // namespace protocol::detail
