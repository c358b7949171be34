#include "protocol/text.h"

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
    const std::string count = std::to_string(frame.size()) + (frame.size() == 1 ? " byte" : " bytes");
    if (mark.verdict == Verdict::Cut)
        d.summary = "Cut: " + count + " of a frame not completed within the reply timeout";
    else
        d.summary = "Unrecognised: " + count;
    Fields(d).add(mark.verdict == Verdict::Cut ? "Incomplete frame" : "Unrecognised bytes", hexBytes(frame), 0,
                  frame.size());
    return d;
}

} // namespace protocol::detail
