#include "protocol/fx.h"

#include "protocol/text.h"

namespace protocol::detail {

namespace {

constexpr std::uint8_t kStx = 0x02, kEtx = 0x03, kEnq = 0x05, kAck = 0x06, kNak = 0x15;

// The longest text between STX and ETX: an E10 write of 255 bytes (command,
// address, count, data).
constexpr std::size_t kLongestText = 3 + 4 + 2 + 2 * 255;

// A request's text, as the grammar reads it.
struct Request {
    std::string_view function; // "0", "1", "7", "8", "E00", "E01", "E10", "E11"
    std::size_t commandLength = 1;
    bool force = false;            // 7 and 8: a bit address, low byte first
    std::optional<unsigned> count; // the byte count, when the command has one
    std::size_t dataAt = 0;        // where a write's data starts; 0 for none
};

// What the text between STX and ETX is a request of, if any. Every request
// text has an odd length and every answer an even one (its data as hex
// pairs), so the two are told apart by grammar alone.
std::optional<Request> requestOf(Bytes text)
{
    if (text.empty() || !allHex(text.subspan(1)))
        return std::nullopt;
    const auto countAt = [&](std::size_t at) { return unsigned(*hexValue(text.subspan(at, 2))); };
    switch (text[0]) {
    case '0':
        if (text.size() == 7)
            return Request{"0", 1, false, countAt(5), 0};
        return std::nullopt;
    case '1':
        if (text.size() >= 7 && text.size() == 7 + 2 * countAt(5))
            return Request{"1", 1, false, countAt(5), 7};
        return std::nullopt;
    case '7':
    case '8': {
        const std::string_view function = text[0] == '7' ? "7" : "8";
        if (text.size() == 5)
            return Request{function, 1, true, std::nullopt, 0};
        if (text.size() == 7)
            return Request{function, 1, true, countAt(5), 0};
        return std::nullopt;
    }
    case 'E': {
        if (text.size() < 9)
            return std::nullopt;
        const std::string_view code = asText(text.first(3));
        const unsigned count = countAt(7);
        if ((code == "E00" || code == "E01") && text.size() == 9)
            return Request{code, 3, false, count, 0};
        if ((code == "E10" || code == "E11") && text.size() == 9 + 2 * count)
            return Request{code, 3, false, count, 9};
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

class FxGrammar final : public Grammar {
public:
    std::size_t noFrameRun(Bytes b, std::size_t limit) const override
    {
        static constexpr ByteSet starts{kStx, kEnq, kAck, kNak};
        return starts.runWithout(b, limit);
    }

    Probe probe(Bytes b, bool boundary, bool final) override
    {
        (void)boundary; // STX, ENQ, ACK and NAK mark where a frame starts
        switch (b[0]) {
        case kEnq:
            return {Probe::Frame, Verdict::Good, Direction::Request, 1};
        case kAck:
        case kNak:
            return {Probe::Frame, Verdict::Good, Direction::Answer, 1};
        case kStx:
            break;
        default:
            return {};
        }
        std::size_t etx = 1;
        while (etx < b.size() && b[etx] != kEtx) {
            if (!printableChar(b[etx]) || etx > kLongestText)
                return {};
            ++etx;
        }
        if (etx + 3 > b.size()) {
            if (!final)
                return {Probe::NeedMore};
            return b.size() >= 2 ? Probe{Probe::Frame, Verdict::Cut, Direction::Unknown, std::uint32_t(b.size())}
                                 : Probe{};
        }
        if (hexDigitValue(b[etx + 1]) < 0 || hexDigitValue(b[etx + 2]) < 0)
            return {};
        const auto sum = hexPair(fxSum(b.subspan(1, etx)));
        const bool good = b[etx + 1] == sum[0] && b[etx + 2] == sum[1];
        const Bytes text = b.subspan(1, etx - 1);
        Direction direction = Direction::Unknown;
        if (requestOf(text))
            direction = Direction::Request;
        else if (text.size() % 2 == 0 && allHex(text))
            direction = Direction::Answer;
        return {Probe::Frame, good ? Verdict::Good : Verdict::BadCheck, direction, std::uint32_t(etx + 3)};
    }
};

// ---- descriptions

const char *commandName(std::string_view function)
{
    if (function == "0") return "Read";
    if (function == "1") return "Write";
    if (function == "7") return "Force on";
    if (function == "8") return "Force off";
    if (function == "E00") return "Read (E00)";
    if (function == "E01") return "Read (E01)";
    if (function == "E10") return "Write (E10)";
    if (function == "E11") return "Write (E11)";
    return "Command";
}

// The device at an address, where the map is known: word devices for reads
// and writes (two bytes each, low byte first), bits for forces.
struct Device {
    std::string name; // "D123", "Y10"; empty when unknown
    bool word = false;
};

Device deviceAt(const Request &request, std::uint32_t address)
{
    if (request.force) {
        // X and Y are numbered in octal, M in decimal.
        const auto octal = [](unsigned n) {
            std::string text;
            do
                text.insert(text.begin(), char('0' + n % 8));
            while (n /= 8);
            return text;
        };
        if (address >= 0x0400 && address < 0x0500)
            return {"X" + octal(address - 0x0400)};
        if (address >= 0x0500 && address < 0x0600)
            return {"Y" + octal(address - 0x0500)};
        if (address >= 0x0800 && address < 0x1000)
            return {"M" + std::to_string(address - 0x0800)};
        return {};
    }
    if ((request.function != "0" && request.function != "1") || address % 2)
        return {};
    if (address >= 0x1000 && address < 0x1800)
        return {"D" + std::to_string((address - 0x1000) / 2), true};
    if (address >= 0x0800 && address < 0x0A00)
        return {"T" + std::to_string((address - 0x0800) / 2), true};
    if (address >= 0x0A00 && address < 0x0A00 + 2 * 200)
        return {"C" + std::to_string((address - 0x0A00) / 2), true};
    return {};
}

// The address as a number: forces send theirs low byte first.
std::uint32_t addressValue(const Request &request, Bytes digits)
{
    const std::uint32_t value = *hexValue(digits);
    return request.force ? (value & 0xFF) << 8 | value >> 8 : value;
}

// The data bytes of hex pairs (pass only hex characters), as upper-case pairs.
std::string dataValues(Bytes chars)
{
    std::string list;
    for (std::size_t i = 0; i + 1 < chars.size(); i += 2)
        appendItem(list, hexText(*hexPairValue(chars[i], chars[i + 1]), 2));
    return list;
}

// Fields for each word of data read or written at `address`: "D123" = 4660.
void wordFields(Fields &f, const Request &request, std::uint32_t address, Bytes chars, std::size_t at)
{
    if (!allHex(chars))
        return;
    for (std::size_t i = 0; i + 3 < chars.size(); i += 4) {
        const Device device = deviceAt(request, address + std::uint32_t(i / 2));
        if (!device.word)
            return;
        const unsigned low = *hexPairValue(chars[i], chars[i + 1]);
        const unsigned high = *hexPairValue(chars[i + 2], chars[i + 3]);
        f.add(device.name, std::to_string(high << 8 | low), at + i, at + i + 4, 1);
    }
}

struct Asking : AskedTexts {
    std::optional<Request> request;
    std::uint32_t addressValue = 0;
};

// What the paired request asked for, as the answer repeats it.
std::optional<Asking> askedBy(Bytes request)
{
    if (request.size() == 1 && request[0] == kEnq)
        return Asking{{"ENQ", "", ""}, std::nullopt};
    if (request.size() < 4 || request[0] != kStx || request[request.size() - 3] != kEtx)
        return std::nullopt;
    const Bytes text = request.subspan(1, request.size() - 4);
    const std::optional<Request> r = requestOf(text);
    if (!r)
        return std::nullopt;
    const Bytes digits = text.subspan(r->commandLength, 4);
    return Asking{{std::string(r->function), std::string(asText(digits)), r->count ? std::to_string(*r->count) : ""},
                 r, addressValue(*r, digits)};
}

// askedBy()'s function alone, without the texts of the address and count.
std::string askedFunction(Bytes request)
{
    if (request.size() == 1 && request[0] == kEnq)
        return "ENQ";
    if (request.size() < 4 || request[0] != kStx || request[request.size() - 3] != kEtx)
        return {};
    const std::optional<Request> r = requestOf(request.subspan(1, request.size() - 4));
    return r ? std::string(r->function) : std::string();
}

void describeRequest(Description &d, Bytes text, const Request &r)
{
    Fields f(d);
    const std::size_t at = 1 + r.commandLength; // the address, in the frame
    const Bytes digits = text.subspan(r.commandLength, 4);
    const std::uint32_t address = addressValue(r, digits);
    const Device device = deviceAt(r, address);
    d.function = std::string(r.function);
    d.address = std::string(asText(digits));
    f.add("Command", d.function + " (" + commandName(r.function) + ")", 1, at);
    f.add("Address", d.address + (device.name.empty() ? "" : " (" + device.name + ")"), at, at + 4);
    std::string summary = std::string(commandName(r.function));
    if (r.count) {
        d.count = std::to_string(*r.count);
        f.add("Byte count", d.count, at + 4, at + 6);
        summary += " " + d.count + (*r.count == 1 ? " byte" : " bytes");
    }
    summary += (r.force ? " " : " at ") + (device.name.empty() ? d.address : device.name + " (" + d.address + ")");
    if (r.dataAt) {
        const Bytes data = text.subspan(r.dataAt);
        d.values = dataValues(data);
        f.add("Data", d.values, 1 + r.dataAt, 1 + text.size());
        wordFields(f, r, address, data, 1 + r.dataAt);
        summary += ": " + firstItems(d.values, 8);
    }
    d.summary = summary;
}

} // namespace

std::unique_ptr<Grammar> makeFxGrammar()
{
    return std::make_unique<FxGrammar>();
}

Description describeFx(Bytes frame, const FrameMark &mark, Bytes request)
{
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut || frame.empty())
        return describeUnframed(frame, mark);
    Description d;
    d.direction = mark.direction;
    Fields f(d);
    const std::optional<Asking> asks = mark.direction == Direction::Answer ? askedBy(request) : std::nullopt;
    if (asks)
        repeatAsked(d, *asks);
    if (frame.size() == 1) {
        switch (frame[0]) {
        case kEnq:
            d.status = Status::Request;
            d.function = "ENQ";
            f.add("Control", "ENQ (enquiry)", 0, 1);
            d.summary = "ENQ";
            return d;
        case kAck:
            d.status = Status::Answer;
            f.add("Control", "ACK (acknowledged)", 0, 1);
            d.summary = "ACK";
            return d;
        case kNak:
            d.status = Status::Nak;
            f.add("Control", "NAK (refused)", 0, 1);
            d.summary = "NAK";
            return d;
        default:
            return describeUnframed(frame, mark);
        }
    }
    // STX text ETX sum(2), as the framer found it.
    const std::size_t n = frame.size();
    if (n < 4 || frame[0] != kStx || frame[n - 3] != kEtx)
        return describeUnframed(frame, {mark.begin, mark.length, Direction::Unknown, Verdict::Unrecognised});
    const Bytes text = frame.subspan(1, n - 4);
    f.add("Start", "STX", 0, 1);
    const std::optional<Request> r = requestOf(text);
    if (mark.direction == Direction::Request && r) {
        d.status = Status::Request;
        describeRequest(d, text, *r);
    } else if (mark.direction == Direction::Answer) {
        d.status = Status::Answer;
        if (text.size() % 2 == 0 && allHex(text)) {
            d.values = dataValues(text);
            f.add("Data", d.values, 1, n - 3);
        } else {
            f.add("Text", printable(text), 1, n - 3);
        }
        if (asks && asks->request && !asks->request->dataAt)
            wordFields(f, *asks->request, asks->addressValue, text, 1);
        d.summary = "Answer: " + (text.empty() ? std::string("no data") : d.values.empty() ? printable(text) : firstItems(d.values, 8));
    } else {
        d.status = Status::Request;
        f.add("Text", printable(text), 1, n - 3);
        d.summary = "Frame: " + printable(text);
    }
    f.add("End", "ETX", n - 3, n - 2);
    const auto expected = hexPair(fxSum(frame.subspan(1, n - 3)));
    f.add("Sum", checkText(asText(frame.last(2)), std::string_view(expected.data(), 2)), n - 2, n);
    if (mark.verdict == Verdict::BadCheck) {
        d.status = Status::BadCheck;
        d.summary = "Bad check: " + d.summary;
    }
    return d;
}

Facts fxFacts(Bytes frame, const FrameMark &mark, Bytes request)
{
    // Each step as describeFx() takes it: what it reads as no frame has
    // default facts.
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut || frame.empty())
        return {};
    Facts f;
    f.direction = mark.direction;
    if (mark.direction == Direction::Answer)
        f.function = askedFunction(request);
    if (frame.size() == 1) {
        switch (frame[0]) {
        case kEnq: f.status = Status::Request, f.function = "ENQ"; return f;
        case kAck: f.status = Status::Answer; return f;
        case kNak: f.status = Status::Nak; return f;
        default: return {};
        }
    }
    const std::size_t n = frame.size();
    if (n < 4 || frame[0] != kStx || frame[n - 3] != kEtx)
        return {};
    const std::optional<Request> r = requestOf(frame.subspan(1, n - 4));
    if (mark.direction == Direction::Request && r) {
        f.status = Status::Request;
        f.function = std::string(r->function);
    } else {
        f.status = mark.direction == Direction::Answer ? Status::Answer : Status::Request;
    }
    if (mark.verdict == Verdict::BadCheck)
        f.status = Status::BadCheck;
    return f;
}

} // namespace protocol::detail
