#include "protocol/text.h"

#include <algorithm>

namespace protocol::detail {

std::string printable(Bytes bytes)
{
    static constexpr const char *kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                               "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                               "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                               "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    std::string text;
    for (std::uint8_t c : bytes) {
        if (c < 32) {
            text += '<';
            text += kNames[c];
            text += '>';
        } else if (c >= 127) {
            text += "<";
            text += hexText(c, 2);
            text += ">";
        } else {
            text += char(c);
        }
    }
    return text;
}

std::string firstItems(const std::string &list, int shown)
{
    std::size_t at = 0;
    for (int i = 0; i < shown; ++i) {
        at = list.find(' ', at);
        if (at == std::string::npos)
            return list;
        ++at;
    }
    return list.substr(0, at) + "...";
}

std::optional<std::string> bitList(Bytes chars)
{
    std::string list;
    for (std::uint8_t c : chars) {
        if (c != '0' && c != '1')
            return std::nullopt;
        appendItem(list, c == '1' ? "1" : "0");
    }
    return list;
}

std::optional<unsigned> wordValue(Bytes four, bool lowByteFirst)
{
    const auto first = hexPairValue(four[0], four[1]);
    const auto second = hexPairValue(four[2], four[3]);
    if (!first || !second)
        return std::nullopt;
    return lowByteFirst ? unsigned(*second) << 8 | *first : unsigned(*first) << 8 | *second;
}

std::optional<std::string> wordList(Bytes chars, bool lowByteFirst)
{
    if (chars.size() % 4)
        return std::nullopt;
    std::string list;
    for (std::size_t i = 0; i < chars.size(); i += 4) {
        const auto value = wordValue(chars.subspan(i, 4), lowByteFirst);
        if (!value)
            return std::nullopt;
        appendItem(list, std::to_string(*value));
    }
    return list;
}

std::string checkText(std::string_view found, std::string_view expected)
{
    std::string text(found);
    if (found == expected)
        return text + " (ok)";
    return text + " (bad, expected " + std::string(expected) + ")";
}

Description describeUnframed(Bytes frame, const FrameMark &mark)
{
    Description d;
    d.status = Status::Unrecognised;
    // A long run is read only in part (see the header): the count is the
    // mark's.
    const std::size_t length = std::max<std::size_t>(frame.size(), mark.length);
    const std::string count = std::to_string(length) + (length == 1 ? " byte" : " bytes");
    if (mark.verdict == Verdict::Cut)
        d.summary = "Cut: " + count + " of a frame not completed within the reply timeout";
    else
        d.summary = "Unrecognised: " + count;
    std::string value = hexBytes(frame);
    if (frame.size() < length)
        value += " ...";
    Fields(d).add(mark.verdict == Verdict::Cut ? "Incomplete frame" : "Unrecognised bytes", std::move(value), 0,
                  frame.size());
    return d;
}

} // namespace protocol::detail
