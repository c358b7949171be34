#include "protocol/mewtocol.h"

#include "protocol/text.h"

#include <array>

namespace protocol::detail {

namespace {

constexpr std::uint8_t kCr = '\r';

// The longest frame, '%' and CR included: longer data goes on in the next
// frame after '&'. A '%' without a CR within this many characters is no
// frame, so a line that never ends is never waited for without bound.
constexpr std::size_t kLongestFrame = 2048;

bool stationChar(std::uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// A frame's parts, from the characters between '%' and CR.
struct Parts {
    std::size_t textEnd = 0; // where the BCC starts, in the frame
    bool continues = false;  // '&' before the CR
    char kind = 0;           // '#', '$', '!', or 0 for a continued frame
    bool unchecked = false;  // "**" in place of the BCC
};

// Nothing when the frame has no station and BCC.
std::optional<Parts> partsOf(Bytes frame)
{
    // '%' station(2) ... BCC(2) ['&'] CR
    std::size_t end = frame.size() - 1;
    const bool continues = end > 0 && frame[end - 1] == '&';
    if (continues)
        --end;
    if (end < 5 || frame[0] != '%' || !stationChar(frame[1]) || !stationChar(frame[2]))
        return std::nullopt;
    Parts parts;
    parts.textEnd = end - 2;
    parts.continues = continues;
    if (parts.textEnd > 3 && (frame[3] == '#' || frame[3] == '$' || frame[3] == '!'))
        parts.kind = char(frame[3]);
    parts.unchecked = frame[end - 2] == '*' && frame[end - 1] == '*';
    return parts;
}

// "%01**&" CR: the master asks for the next frame of an answer.
bool asksForMore(const Parts &parts)
{
    return parts.textEnd == 3 && parts.unchecked && parts.continues;
}

bool bccHolds(Bytes frame, const Parts &parts)
{
    if (parts.unchecked)
        return true;
    const auto bcc = hexPair(mewtocolBcc(frame.first(parts.textEnd)));
    return frame[parts.textEnd] == bcc[0] && frame[parts.textEnd + 1] == bcc[1];
}

class MewtocolGrammar final : public Grammar {
public:
    std::size_t noFrameRun(Bytes b, std::size_t limit) const override
    {
        static constexpr ByteSet starts{'%'};
        return starts.runWithout(b, limit);
    }

    Probe probe(Bytes b, bool boundary, bool final) override
    {
        (void)boundary; // '%' marks where a frame starts
        if (b[0] != '%')
            return {};
        std::size_t cr = 1;
        const std::size_t reach = std::min(b.size(), kLongestFrame);
        while (cr < reach && b[cr] != kCr) {
            // No frame holds a second '%': a run of them is scanned once.
            if (!printableChar(b[cr]) || b[cr] == '%')
                return {};
            ++cr;
        }
        if (cr == reach) {
            if (b.size() < kLongestFrame && !final)
                return {Probe::NeedMore};
            if (final && b.size() < kLongestFrame && b.size() >= 3)
                return {Probe::Frame, Verdict::Cut, Direction::Unknown, std::uint32_t(b.size())};
            return {};
        }
        const Bytes frame = b.first(cr + 1);
        const std::optional<Parts> parts = partsOf(frame);
        if (!parts)
            return {};
        if (!parts->unchecked && (hexDigitValue(frame[parts->textEnd]) < 0 || hexDigitValue(frame[parts->textEnd + 1]) < 0))
            return {};
        return {Probe::Frame, bccHolds(frame, *parts) ? Verdict::Good : Verdict::BadCheck, directionOf(frame, *parts),
                std::uint32_t(frame.size())};
    }

    void marked(Bytes frame, const FrameMark &mark) override
    {
        const std::optional<Parts> parts = partsOf(frame);
        if (mark.verdict != Verdict::Good || !parts || asksForMore(*parts))
            return;
        continued_ = parts->continues ? mark.direction : Direction::Unknown;
        station_ = {frame[1], frame[2]};
    }

private:
    Direction directionOf(Bytes frame, const Parts &parts) const
    {
        if (parts.kind == '#')
            return Direction::Request;
        if (parts.kind)
            return Direction::Answer;
        // A frame that goes on from the one before of its station takes its
        // direction; "%01**&" alone asks for the next frame of an answer.
        const bool sameStation = station_[0] == frame[1] && station_[1] == frame[2];
        if (asksForMore(parts))
            return Direction::Request;
        if (sameStation && continued_ != Direction::Unknown)
            return continued_;
        return Direction::Unknown;
    }

    Direction continued_ = Direction::Unknown;
    std::array<std::uint8_t, 2> station_{};
};

// ---- descriptions

struct Command {
    std::string function; // "RCS", "RD"
    const char *name;
};

Command commandOf(Bytes text)
{
    // text: the command and its data, after '#'.
    if (text.size() < 2)
        return {std::string(asText(text)), "Command"};
    const std::string code(asText(text.first(2)));
    if ((code == "RC" || code == "WC") && text.size() >= 3) {
        const char unit = char(text[2]);
        const bool read = code == "RC";
        if (unit == 'S')
            return {code + unit, read ? "Read contact" : "Write contact"};
        if (unit == 'P')
            return {code + unit, read ? "Read contacts" : "Write contacts"};
        if (unit == 'C')
            return {code + unit, read ? "Read contact words" : "Write contact words"};
    }
    static constexpr std::pair<const char *, const char *> kNames[] = {
        {"RC", "Read contacts"},
        {"WC", "Write contacts"},
        {"RD", "Read data area"},
        {"WD", "Write data area"},
        {"RS", "Read timer/counter set values"},
        {"WS", "Write timer/counter set values"},
        {"RK", "Read timer/counter elapsed values"},
        {"WK", "Write timer/counter elapsed values"},
        {"RR", "Read system registers"},
        {"WR", "Write system registers"},
        {"RT", "Read status"},
        {"RM", "Remote mode"},
        {"AB", "Abort"},
    };
    for (const auto &[known, name] : kNames)
        if (code == known)
            return {code, name};
    return {code, "Command"};
}

const char *errorName(std::string_view code)
{
    if (code == "40") return "BCC error";
    if (code == "41") return "format error";
    if (code == "42") return "not supported";
    if (code == "43") return "multiple frames procedure error";
    if (code == "60") return "parameter error";
    if (code == "61") return "data error";
    return nullptr;
}

// The first and last numbers of an area; the count of items between them.
std::optional<unsigned> countOf(Bytes first, Bytes last)
{
    const auto a = decimalValue(first), b = decimalValue(last);
    if (!a || !b || *b < *a)
        return std::nullopt;
    return *b - *a + 1;
}

// What a request asks for, as its answer repeats it and reads its data.
struct Request : AskedTexts {
    bool contactBits = false; // RCS and RCP answers carry one character a contact
};

// Reads a command's data, adding fields at `at` (the text's place in the
// frame). `text` starts at the command.
struct RequestReader {
    Description &d;
    Fields f{d};
    Bytes text;
    std::size_t at;
    Request asked;

    void field(std::string name, std::string value, std::size_t begin, std::size_t end, int depth = 0)
    {
        f.add(std::move(name), std::move(value), at + begin, at + end, depth);
    }

    // code(1) + start(width) + end(width), from `from`; the data after it.
    bool area(std::size_t from, std::size_t width, bool hasCode, Bytes *data)
    {
        const std::size_t code = hasCode ? 1 : 0;
        if (text.size() < from + code + 2 * width)
            return false;
        const Bytes first = text.subspan(from + code, width), last = text.subspan(from + code + width, width);
        const std::optional<unsigned> count = countOf(first, last);
        if (!count)
            return false;
        asked.address = std::string(asText(text.subspan(from, code + width)));
        asked.count = std::to_string(*count);
        if (hasCode)
            field("Area", std::string(1, char(text[from])), from, from + 1);
        field("First", std::string(asText(first)), from + code, from + code + width);
        field("Last", std::string(asText(last)), from + code + width, from + code + 2 * width);
        *data = text.subspan(from + code + 2 * width);
        return true;
    }

    bool wordData(Bytes data, bool write)
    {
        if (!write)
            return data.empty();
        const auto list = wordList(data, true);
        if (!list || asked.count != std::to_string(data.size() / 4))
            return false;
        d.values = *list;
        field("Values", d.values, std::size_t(data.data() - text.data()), text.size());
        return true;
    }

    // Whether the data after the command is as the command wants.
    bool read(const Command &command)
    {
        const std::string &fn = command.function;
        const bool write = fn[0] == 'W';
        Bytes data;
        if (fn == "RCS" || fn == "WCS") {
            if (text.size() != 3 + 5 + (write ? 1 : 0) || !decimalValue(text.subspan(4, 3)) ||
                hexDigitValue(text[7]) < 0)
                return false;
            asked.address = std::string(asText(text.subspan(3, 5)));
            asked.count = "1";
            asked.contactBits = true;
            field("Contact", asked.address, 3, 8);
            if (write) {
                const auto value = bitList(text.subspan(8, 1));
                if (!value)
                    return false;
                d.values = *value;
                field("Value", d.values, 8, 9);
            }
            return true;
        }
        if (fn == "RCP" || fn == "WCP") {
            const std::size_t each = write ? 6 : 5;
            if (text.size() < 4 || text[3] < '1' || text[3] > '8' || text.size() != 4 + each * (text[3] - '0'))
                return false;
            const unsigned n = text[3] - '0';
            asked.count = std::to_string(n);
            asked.contactBits = true;
            field("Contacts", asked.count, 3, 4);
            std::string values;
            for (unsigned i = 0; i < n; ++i) {
                const std::size_t from = 4 + i * each;
                const std::string contact(asText(text.subspan(from, 5)));
                if (i == 0)
                    asked.address = contact;
                if (write) {
                    const auto value = bitList(text.subspan(from + 5, 1));
                    if (!value)
                        return false;
                    appendItem(values, *value);
                    field("Contact " + contact, *value, from, from + 6, 1);
                } else {
                    field("Contact", contact, from, from + 5, 1);
                }
            }
            d.values = values;
            return true;
        }
        if (fn == "RCC" || fn == "WCC")
            return area(3, 4, true, &data) && wordData(data, write);
        if (fn == "RD" || fn == "WD")
            return area(2, 5, true, &data) && wordData(data, write);
        if (fn == "RS" || fn == "WS" || fn == "RK" || fn == "WK") {
            const bool hasCode = text.size() > 2 && text[2] >= 'A' && text[2] <= 'Z';
            return area(2, 4, hasCode, &data) && wordData(data, write);
        }
        if (fn == "RR" || fn == "WR") {
            // '0', then the first and last register numbers, 3 digits each.
            if (text.size() < 9 || text[2] != '0')
                return false;
            if (!area(3, 3, false, &data))
                return false;
            asked.address = std::string(asText(text.subspan(2, 4)));
            return wordData(data, write);
        }
        if (fn == "RT")
            return text.size() == 2;
        return false;
    }
};

std::string summaryOf(const Command &command, const Request &asked, const Description &d)
{
    std::string text = command.name;
    if (!asked.address.empty())
        text += " " + asked.address;
    if (!asked.count.empty() && asked.count != "1")
        text += " (" + asked.count + ")";
    if (!d.values.empty())
        text += " = " + firstItems(d.values, 8);
    return text + ", station " + d.unit;
}

std::optional<Request> askedBy(Bytes request)
{
    if (request.size() < 7 || request.back() != kCr)
        return std::nullopt;
    const std::optional<Parts> parts = partsOf(request);
    if (!parts || parts->kind != '#')
        return std::nullopt;
    Description scratch;
    RequestReader reader{scratch, Fields(scratch), request.subspan(4, parts->textEnd - 4), 4, {}};
    const Command command = commandOf(reader.text);
    if (!reader.read(command))
        return Request{{command.function, "", ""}, false};
    reader.asked.function = command.function;
    return reader.asked;
}

void describeAnswer(Description &d, Bytes text, std::size_t at, const std::optional<Request> &asks)
{
    Fields f(d);
    const std::string echo(asText(text.first(std::min<std::size_t>(2, text.size()))));
    if (d.function.empty())
        d.function = echo;
    f.add("Command", echo + " (" + commandOf(text.first(echo.size())).name + ")", at, at + echo.size());
    const Bytes data = text.subspan(echo.size());
    if (data.empty()) {
        d.summary = "Answer: done, station " + d.unit;
        return;
    }
    const bool asContacts = asks ? asks->contactBits : (echo == "RC" && data.size() % 4 != 0);
    std::optional<std::string> values;
    if (echo == "RC" && asContacts)
        values = bitList(data);
    else if (echo != "RT")
        values = wordList(data, true);
    if (values) {
        d.values = *values;
        f.add("Values", d.values, at + echo.size(), at + text.size());
        if (!asContacts)
            for (std::size_t i = 0; i + 3 < data.size(); i += 4)
                f.add("Word " + std::to_string(i / 4), std::to_string(*wordValue(data.subspan(i, 4), true)),
                      at + echo.size() + i, at + echo.size() + i + 4, 1);
        d.summary = "Answer: " + firstItems(d.values, 8);
    } else {
        f.add("Data", printable(data), at + echo.size(), at + text.size());
        d.summary = "Answer: " + printable(data);
    }
}

} // namespace

std::unique_ptr<Grammar> makeMewtocolGrammar()
{
    return std::make_unique<MewtocolGrammar>();
}

Description describeMewtocol(Bytes frame, const FrameMark &mark, Bytes request)
{
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut || frame.empty() ||
        frame.back() != kCr)
        return describeUnframed(frame, mark);
    const std::optional<Parts> parts = partsOf(frame);
    if (!parts)
        return describeUnframed(frame, {mark.begin, mark.length, Direction::Unknown, Verdict::Unrecognised});
    Description d;
    d.direction = mark.direction;
    d.continues = parts->continues;
    Fields f(d);
    d.unit = std::string(asText(frame.subspan(1, 2)));
    f.add("Start", "%", 0, 1);
    f.add("Station", d.unit, 1, 3);
    const std::size_t n = frame.size();
    const std::size_t textAt = parts->kind ? 4 : 3;
    const Bytes text = frame.subspan(textAt, parts->textEnd - textAt);
    const std::optional<Request> asks = mark.direction == Direction::Answer ? askedBy(request) : std::nullopt;
    if (asks)
        repeatAsked(d, *asks);
    switch (parts->kind) {
    case '#': {
        f.add("Header", "# (command)", 3, 4);
        d.status = Status::Request;
        const Command command = commandOf(text);
        RequestReader reader{d, Fields(d), text, textAt, {}};
        d.function = command.function;
        f.add("Command", command.function + " (" + command.name + ")", textAt, textAt + command.function.size());
        if (reader.read(command)) {
            d.address = reader.asked.address;
            d.count = reader.asked.count;
            d.summary = summaryOf(command, reader.asked, d);
        } else {
            // Keep only the fields before the data that did not read.
            d.values.clear();
            while (d.fields.size() > 4)
                d.fields.pop_back();
            const std::size_t from = std::min(text.size(), command.function.size());
            if (from < text.size())
                f.add("Data", printable(text.subspan(from)), textAt + from, textAt + text.size());
            d.summary = command.name + std::string(" ") + printable(text.subspan(from)) + ", station " + d.unit;
        }
        break;
    }
    case '$':
        f.add("Header", "$ (answer)", 3, 4);
        d.status = Status::Answer;
        describeAnswer(d, text, textAt, asks);
        break;
    case '!': {
        f.add("Header", "! (error)", 3, 4);
        d.status = Status::Nak;
        d.code = std::string(asText(text));
        const char *name = errorName(d.code);
        f.add("Error code", d.code + (name ? std::string(" (") + name + ")" : ""), textAt, textAt + text.size());
        d.summary = "Error " + d.code + (name ? std::string(": ") + name : "") + ", station " + d.unit;
        break;
    }
    default:
        d.status = mark.direction == Direction::Answer ? Status::Answer : Status::Request;
        if (!text.empty())
            f.add("Data", printable(text), textAt, textAt + text.size());
        d.summary = text.empty() ? "Next frame, station " + d.unit : "Continued: " + printable(text);
        break;
    }
    const std::string found(asText(frame.subspan(parts->textEnd, 2)));
    if (parts->unchecked) {
        f.add("BCC", "** (not checked)", parts->textEnd, parts->textEnd + 2);
    } else {
        const auto expected = hexPair(mewtocolBcc(frame.first(parts->textEnd)));
        f.add("BCC", checkText(found, std::string_view(expected.data(), 2)), parts->textEnd, parts->textEnd + 2);
    }
    if (parts->continues) {
        f.add("Continues", "& (more in the next frame)", n - 2, n - 1);
        d.summary += " &";
    }
    f.add("End", "CR", n - 1, n);
    if (mark.verdict == Verdict::BadCheck) {
        d.status = Status::BadCheck;
        d.summary = "Bad check: " + d.summary;
    }
    return d;
}

Facts mewtocolFacts(Bytes frame, const FrameMark &mark, Bytes request)
{
    // Each step as describeMewtocol() takes it: what it reads as no frame
    // has default facts.
    if (mark.verdict == Verdict::Unrecognised || mark.verdict == Verdict::Cut || frame.empty() ||
        frame.back() != kCr)
        return {};
    const std::optional<Parts> parts = partsOf(frame);
    if (!parts)
        return {};
    Facts f;
    f.direction = mark.direction;
    f.unit = std::string(asText(frame.subspan(1, 2)));
    const std::size_t textAt = parts->kind ? 4 : 3;
    const Bytes text = frame.subspan(textAt, parts->textEnd - textAt);
    if (mark.direction == Direction::Answer && request.size() >= 7 && request.back() == kCr) {
        // As askedBy() names the command of the request's text.
        const std::optional<Parts> asked = partsOf(request);
        if (asked && asked->kind == '#')
            f.function = commandOf(request.subspan(4, asked->textEnd - 4)).function;
    }
    switch (parts->kind) {
    case '#':
        f.status = Status::Request;
        f.function = commandOf(text).function;
        break;
    case '$':
        f.status = Status::Answer;
        if (f.function.empty())
            f.function = std::string(asText(text.first(std::min<std::size_t>(2, text.size()))));
        break;
    case '!':
        f.status = Status::Nak;
        f.code = std::string(asText(text));
        break;
    default: f.status = mark.direction == Direction::Answer ? Status::Answer : Status::Request; break;
    }
    if (mark.verdict == Verdict::BadCheck)
        f.status = Status::BadCheck;
    return f;
}

std::optional<std::uint32_t> mewtocolPairingKey(Bytes frame)
{
    if (frame.size() < 3 || frame[0] != '%')
        return std::nullopt;
    return std::uint32_t(frame[1]) << 8 | frame[2];
}

} // namespace protocol::detail
