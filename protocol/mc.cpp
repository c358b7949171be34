#include "protocol/mc.h"

#include "protocol/text.h"

namespace protocol::detail {

namespace {

constexpr std::uint8_t kStx = 0x02, kEtx = 0x03, kEnq = 0x05, kAck = 0x06, kNak = 0x15, kCr = '\r', kLf = '\n';

// ENQ, station, PC number, command and wait: where a request's data begins.
constexpr std::size_t kHeader = 1 + 2 + 2 + 2 + 1;
// The longest frame before its terminator: a batch write of 256 bits or of
// 64 words, or a loopback of 254 characters, with room to spare.
constexpr std::size_t kLongestFrame = 600;

// The sum check: the low byte of the sum of the characters from the one
// after ENQ or STX up to the one before the sum, so an answer's ETX is in
// it and a request's is its station to its last data character. This is
// the range the computer link's description gives for both frame kinds,
// and it makes one function check both.
bool sumHolds(Bytes frame, std::size_t sumAt)
{
    const auto sum = hexPair(sum8(frame.subspan(1, sumAt - 1)));
    return frame[sumAt] == sum[0] && frame[sumAt + 1] == sum[1];
}

// The commands whose data lengths are known: the device's width (5
// characters, 7 for the extended ones), and what follows the count.
struct CommandForm {
    std::string_view code;
    const char *name;
    std::uint8_t deviceWidth; // 0: no device before the count
    std::uint8_t perItem;     // characters per counted item after the count
    bool counted;             // a count of 2 hex characters
    bool devicePerItem;       // each item is a device and its value (random writes)
};

constexpr CommandForm kCommands[] = {
    {"BR", "Batch read bits", 5, 0, true, false},
    {"WR", "Batch read words", 5, 0, true, false},
    {"BW", "Batch write bits", 5, 1, true, false},
    {"WW", "Batch write words", 5, 4, true, false},
    {"BT", "Test bits (random write)", 0, 5 + 1, true, true},
    {"WT", "Test words (random write)", 0, 5 + 4, true, true},
    {"JR", "Batch read bits (extended)", 7, 0, true, false},
    {"QR", "Batch read words (extended)", 7, 0, true, false},
    {"JW", "Batch write bits (extended)", 7, 1, true, false},
    {"QW", "Batch write words (extended)", 7, 4, true, false},
    {"JT", "Test bits (extended, random write)", 0, 7 + 1, true, true},
    {"QT", "Test words (extended, random write)", 0, 7 + 4, true, true},
    {"RR", "Remote RUN", 0, 0, false, false},
    {"RS", "Remote STOP", 0, 0, false, false},
    {"PC", "Read CPU model", 0, 0, false, false},
    {"TT", "Loopback test", 0, 1, true, false},
};

const CommandForm *formOf(Bytes command)
{
    for (const CommandForm &form : kCommands)
        if (asText(command) == form.code)
            return &form;
    return nullptr;
}

// A count of 2 hex characters: "00" stands for 256.
std::optional<unsigned> countValue(Bytes two)
{
    const auto value = hexValue(two);
    if (!value)
        return std::nullopt;
    return *value ? *value : 256u;
}

// The length of a request up to its terminator, sum included, from its
// command. Nothing for a command whose length is not known here, or when
// the bytes do not yet reach the count.
std::optional<std::size_t> requestLength(Bytes b)
{
    const CommandForm *form = formOf(b.subspan(5, 2));
    if (!form)
        return std::nullopt;
    std::size_t length = kHeader + form->deviceWidth;
    if (form->counted) {
        if (b.size() < length + 2)
            return std::nullopt;
        const auto count = countValue(b.subspan(length, 2));
        if (!count)
            return std::nullopt;
        length += 2 + *count * form->perItem;
    }
    return length + 2;
}

class McGrammar final : public Grammar {
public:
    // CR stops the run too: a CR LF after a frame tells format 4.
    std::size_t noFrameRun(Bytes b, std::size_t limit) const override
    {
        static constexpr ByteSet starts{kEnq, kStx, kAck, kNak, kCr};
        return starts.runWithout(b, limit);
    }

    Probe probe(Bytes b, bool boundary, bool final) override
    {
        (void)boundary; // ENQ, STX, ACK and NAK mark where a frame starts
        if (b[0] == kCr) {
            // A CR LF after a frame ended: format 4.
            if (b.size() >= 2 && b[1] == kLf)
                format1_ = false;
            return {};
        }
        switch (b[0]) {
        case kEnq:
            return request(b, final);
        case kStx:
            return answer(b, final);
        case kAck:
            return fixed(b, 5, final);
        case kNak:
            return fixed(b, 9, final);
        default:
            return {};
        }
    }

private:
    // The end of a frame whose length is known: a CR LF after it (format 4)
    // joins it; format 1 has nothing after it, so the next byte (or the
    // format seen before) decides.
    Probe ending(Bytes b, std::size_t length, Verdict verdict, Direction direction, bool final)
    {
        const Probe frame{Probe::Frame, verdict, direction, std::uint32_t(length)};
        if (b.size() == length)
            return format1_ || final ? frame : Probe{Probe::NeedMore};
        if (b[length] != kCr) {
            format1_ = true;
            return frame;
        }
        if (b.size() == length + 1)
            return final ? frame : Probe{Probe::NeedMore};
        if (b[length + 1] != kLf)
            return frame;
        format1_ = false;
        return {Probe::Frame, verdict, direction, std::uint32_t(length + 2)};
    }

    static bool hexRun(Bytes b, std::size_t from, std::size_t to)
    {
        return to <= b.size() && allHex(b.subspan(from, to - from));
    }

    // ACK station PC, NAK station PC error(4): hex characters only.
    Probe fixed(Bytes b, std::size_t length, bool final)
    {
        const std::size_t have = std::min(b.size(), length);
        if (!hexRun(b, 1, have))
            return {};
        if (have < length)
            return final ? Probe{} : Probe{Probe::NeedMore};
        return ending(b, length, Verdict::Good, Direction::Answer, final);
    }

    // STX station PC data ETX sum.
    Probe answer(Bytes b, bool final)
    {
        if (!hexRun(b, 1, std::min<std::size_t>(b.size(), 5)))
            return {};
        std::size_t etx = 1;
        while (etx < b.size() && b[etx] != kEtx) {
            if (!printableChar(b[etx]) || etx > kLongestFrame)
                return {};
            ++etx;
        }
        if (etx + 3 > b.size())
            return final ? cut(b) : Probe{Probe::NeedMore};
        if (etx < 5 || !hexRun(b, etx + 1, etx + 3))
            return {};
        return ending(b, etx + 3, sumHolds(b, etx + 1) ? Verdict::Good : Verdict::BadCheck, Direction::Answer, final);
    }

    // ENQ station PC command wait data sum: its length from its command
    // when known, else up to the next control character or CR LF.
    Probe request(Bytes b, bool final)
    {
        const std::size_t head = std::min(b.size(), kHeader);
        if (!hexRun(b, 1, std::min<std::size_t>(head, 5)))
            return {};
        for (std::size_t i = 5; i < head; ++i)
            if (!printableChar(b[i]))
                return {};
        if (b.size() < kHeader)
            return final ? cut(b) : Probe{Probe::NeedMore};
        std::size_t end = kHeader; // the first character that is not printable
        while (end < b.size() && printableChar(b[end]) && end <= kLongestFrame)
            ++end;
        if (end > kLongestFrame)
            return {};
        const std::optional<std::size_t> length = requestLength(b);
        if (length && *length <= end && *length <= b.size() && hexRun(b, *length - 2, *length) &&
            (*length == end || sumHolds(b, *length - 2)))
            return ending(b, *length, sumHolds(b, *length - 2) ? Verdict::Good : Verdict::BadCheck,
                          Direction::Request, final);
        if (end == b.size())
            return final ? cut(b) : Probe{Probe::NeedMore};
        // Ended by a control character: a format 4 CR LF, or the next frame.
        std::size_t frameEnd = end;
        if (b[end] == kCr) {
            if (end + 1 == b.size())
                return final ? cut(b) : Probe{Probe::NeedMore};
            if (b[end + 1] == kLf)
                frameEnd = end + 2;
        }
        format1_ = frameEnd == end;
        if (end < kHeader + 2 || !hexRun(b, end - 2, end))
            return {};
        return {Probe::Frame, sumHolds(b, end - 2) ? Verdict::Good : Verdict::BadCheck, Direction::Request,
                std::uint32_t(frameEnd)};
    }

    static Probe cut(Bytes b)
    {
        return b.size() >= 3 ? Probe{Probe::Frame, Verdict::Cut, Direction::Unknown, std::uint32_t(b.size())}
                             : Probe{};
    }

    bool format1_ = false; // frames were seen with nothing after them
};

// ---- descriptions

struct Request : AskedTexts {
    bool words = false; // its answer's data are words
};

// The characters up to the sum and terminator.
Bytes bodyOf(Bytes frame, std::size_t sumAt)
{
    return frame.first(sumAt);
}

// Where a request's sum is: before CR LF, else at its end.
std::size_t requestSumAt(Bytes frame)
{
    const std::size_t n = frame.size();
    const bool crlf = n >= 2 && frame[n - 2] == kCr && frame[n - 1] == kLf;
    return n - 2 - (crlf ? 2 : 0);
}

// Reads a request's data into fields and values; false when the data do not
// fit the command.
bool readRequest(Description &d, Bytes body, const CommandForm &form)
{
    Fields f(d);
    std::size_t at = kHeader;
    if (form.deviceWidth) {
        if (body.size() < at + form.deviceWidth)
            return false;
        d.address = std::string(asText(body.subspan(at, form.deviceWidth)));
        f.add("Device", d.address, at, at + form.deviceWidth);
        at += form.deviceWidth;
    }
    if (!form.counted)
        return body.size() == at;
    if (body.size() < at + 2)
        return false;
    const auto count = countValue(body.subspan(at, 2));
    if (!count || body.size() != at + 2 + *count * form.perItem)
        return false;
    d.count = std::to_string(*count);
    f.add(form.devicePerItem ? "Devices" : form.code == "TT" ? "Characters" : "Points", d.count, at, at + 2);
    at += 2;
    const Bytes data = body.subspan(at);
    if (form.devicePerItem) {
        // BT and WT name 5-character devices, JT and QT 7-character ones.
        const std::size_t width = form.code[0] == 'B' || form.code[0] == 'W' ? 5 : 7;
        const std::size_t valueWidth = form.perItem - width;
        for (std::size_t i = 0; i < data.size(); i += form.perItem) {
            const std::string device(asText(data.subspan(i, width)));
            const Bytes valueChars = data.subspan(i + width, valueWidth);
            const auto value = valueWidth == 1 ? bitList(valueChars) : wordList(valueChars, false);
            if (!value)
                return false;
            if (i == 0)
                d.address = device;
            appendItem(d.values, *value);
            f.add(device, *value, at + i, at + i + form.perItem, 1);
        }
        return true;
    }
    if (form.perItem == 0)
        return true;
    if (form.code == "TT") {
        f.add("Loopback data", printable(data), at, body.size());
        return true;
    }
    const auto values = form.perItem == 1 ? bitList(data) : wordList(data, false);
    if (!values)
        return false;
    d.values = *values;
    f.add("Values", d.values, at, body.size());
    return true;
}

std::optional<Request> askedBy(Bytes request)
{
    if (request.size() < kHeader + 2 || request[0] != kEnq)
        return std::nullopt;
    const Bytes body = bodyOf(request, requestSumAt(request));
    if (body.size() < kHeader)
        return std::nullopt;
    Request asked;
    asked.function = std::string(asText(body.subspan(5, 2)));
    const CommandForm *form = formOf(body.subspan(5, 2));
    Description scratch;
    if (form && readRequest(scratch, body, *form)) {
        asked.address = scratch.address;
        asked.count = scratch.count;
        asked.words = form->code == "WR" || form->code == "QR";
    }
    return asked;
}

void headerFields(Description &d, Bytes frame, const char *control)
{
    Fields f(d);
    d.unit = std::string(asText(frame.subspan(1, 2)));
    f.add("Control", control, 0, 1);
    f.add("Station", d.unit, 1, 3);
    f.add("PC", std::string(asText(frame.subspan(3, 2))), 3, 5);
}

void endField(Description &d, Bytes frame, std::size_t at)
{
    if (at + 2 == frame.size())
        Fields(d).add("End", "CR LF", at, at + 2);
}

} // namespace

std::unique_ptr<Grammar> makeMcGrammar()
{
    return std::make_unique<McGrammar>();
}

Description describeMc(Bytes frame, const FrameMark &mark, Bytes request)
{
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut || frame.size() < 5)
        return describeUnframed(frame, mark);
    Description d;
    d.direction = mark.direction;
    Fields f(d);
    const std::optional<Request> asks = mark.direction == Direction::Answer ? askedBy(request) : std::nullopt;
    if (asks)
        repeatAsked(d, *asks);
    const std::string station = std::string(asText(frame.subspan(1, 2)));
    std::size_t sumAt = 0;
    switch (frame[0]) {
    case kEnq: {
        if (frame.size() < kHeader + 2)
            return describeUnframed(frame, {mark.begin, mark.length, Direction::Unknown, Verdict::Unrecognised});
        headerFields(d, frame, "ENQ");
        d.status = Status::Request;
        sumAt = requestSumAt(frame);
        const Bytes body = bodyOf(frame, sumAt);
        const Bytes command = body.subspan(5, 2);
        const CommandForm *form = formOf(command);
        d.function = std::string(asText(command));
        f.add("Command", d.function + (form ? std::string(" (") + form->name + ")" : ""), 5, 7);
        f.add("Wait", std::string(1, char(body[7])), 7, 8);
        const std::size_t before = d.fields.size();
        if (form && readRequest(d, body, *form)) {
            d.summary = std::string(form->name) + (d.address.empty() ? "" : " " + d.address) +
                        (d.count.empty() ? "" : " (" + d.count + ")") +
                        (d.values.empty() ? "" : " = " + firstItems(d.values, 8)) + ", station " + d.unit;
        } else {
            d.fields.resize(before);
            d.address.clear(), d.count.clear(), d.values.clear();
            if (body.size() > kHeader)
                f.add("Data", printable(body.subspan(kHeader)), kHeader, body.size());
            d.summary = "Command " + d.function + ", station " + d.unit;
        }
        break;
    }
    case kStx: {
        const std::size_t n = frame.size();
        const bool crlf = frame[n - 1] == kLf;
        sumAt = n - 2 - (crlf ? 2 : 0);
        if (sumAt < 6 || frame[sumAt - 1] != kEtx)
            return describeUnframed(frame, {mark.begin, mark.length, Direction::Unknown, Verdict::Unrecognised});
        headerFields(d, frame, "STX");
        d.status = Status::Answer;
        const Bytes data = frame.subspan(5, sumAt - 6);
        std::optional<std::string> values;
        if (asks && (asks->function == "BR" || asks->function == "JR"))
            values = bitList(data);
        else if (asks && asks->words)
            values = wordList(data, false);
        if (values) {
            d.values = *values;
            f.add("Values", d.values, 5, sumAt - 1);
            d.summary = "Answer: " + firstItems(d.values, 8);
        } else {
            f.add("Data", printable(data), 5, sumAt - 1);
            d.summary = "Answer: " + printable(data);
        }
        f.add("End of text", "ETX", sumAt - 1, sumAt);
        break;
    }
    case kAck:
        headerFields(d, frame, "ACK");
        d.status = Status::Answer;
        d.summary = "ACK, station " + station;
        endField(d, frame, 5);
        return d;
    case kNak:
        if (frame.size() < 9)
            return describeUnframed(frame, {mark.begin, mark.length, Direction::Unknown, Verdict::Unrecognised});
        headerFields(d, frame, "NAK");
        d.status = Status::Nak;
        d.code = std::string(asText(frame.subspan(5, 4)));
        f.add("Error code", d.code, 5, 9);
        d.summary = "NAK " + d.code + ", station " + station;
        endField(d, frame, 9);
        return d;
    default:
        return describeUnframed(frame, {mark.begin, mark.length, Direction::Unknown, Verdict::Unrecognised});
    }
    const auto expected = hexPair(sum8(frame.subspan(1, sumAt - 1)));
    f.add("Sum", checkText(asText(frame.subspan(sumAt, 2)), std::string_view(expected.data(), 2)), sumAt, sumAt + 2);
    endField(d, frame, sumAt + 2);
    if (mark.verdict == Verdict::BadCheck) {
        d.status = Status::BadCheck;
        d.summary = "Bad check: " + d.summary;
    }
    return d;
}

Facts mcFacts(Bytes frame, const FrameMark &mark, Bytes request)
{
    // Each step as describeMc() takes it: what it reads as no frame has
    // default facts.
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut || frame.size() < 5)
        return {};
    Facts f;
    f.direction = mark.direction;
    if (mark.direction == Direction::Answer && request.size() >= kHeader + 2 && request[0] == kEnq &&
        requestSumAt(request) >= kHeader)
        f.function = std::string(asText(request.subspan(5, 2)));
    f.unit = std::string(asText(frame.subspan(1, 2)));
    switch (frame[0]) {
    case kEnq:
        if (frame.size() < kHeader + 2)
            return {};
        f.status = Status::Request;
        f.function = std::string(asText(frame.subspan(5, 2)));
        break;
    case kStx: {
        const std::size_t n = frame.size();
        const std::size_t sumAt = n - 2 - (frame[n - 1] == kLf ? 2 : 0);
        if (sumAt < 6 || frame[sumAt - 1] != kEtx)
            return {};
        f.status = Status::Answer;
        break;
    }
    case kAck: f.status = Status::Answer; return f;
    case kNak:
        if (frame.size() < 9)
            return {};
        f.status = Status::Nak;
        f.code = std::string(asText(frame.subspan(5, 4)));
        return f;
    default: return {};
    }
    if (mark.verdict == Verdict::BadCheck)
        f.status = Status::BadCheck;
    return f;
}

std::optional<std::uint32_t> mcPairingKey(Bytes frame)
{
    if (frame.size() < 3)
        return std::nullopt;
    return std::uint32_t(frame[1]) << 8 | frame[2];
}

} // namespace protocol::detail
