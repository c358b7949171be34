#pragma once

// Small pieces the descriptions are written with.

#include "protocol/checks.h"
#include "protocol/protocol.h"

#include <string>
#include <string_view>

namespace protocol::detail {

inline std::string hexText(std::uint32_t value, int digits)
{
    std::string text(std::size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[std::size_t(i)] = hexDigit(value & 0x0F);
    return text;
}

// Bytes as upper-case hex pairs separated by blanks ("34 12").
inline std::string hexBytes(Bytes bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        const auto pair = hexPair(byte);
        text.append(pair.begin(), pair.end());
    }
    return text;
}

// Characters as they are, control characters as their names ("<STX>").
std::string printable(Bytes bytes);

inline std::string_view asText(Bytes bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

// The value of a run of hex characters; nothing when any is no digit or the
// run is longer than 8.
inline std::optional<std::uint32_t> hexValue(Bytes chars)
{
    if (chars.empty() || chars.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::uint8_t c : chars) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + std::uint32_t(digit);
    }
    return value;
}

inline std::optional<std::uint32_t> decimalValue(Bytes chars)
{
    if (chars.empty() || chars.size() > 9)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::uint8_t c : chars) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

inline bool allHex(Bytes chars)
{
    for (std::uint8_t c : chars)
        if (hexDigitValue(c) < 0)
            return false;
    return true;
}

// Appends to a blank-separated list.
inline void appendItem(std::string &list, std::string_view item)
{
    if (!list.empty())
        list += ' ';
    list += item;
}

// At most `shown` items of a blank-separated list, then " ...".
std::string firstItems(const std::string &list, int shown);

// A character of the text protocols' frames: printable ASCII.
constexpr bool printableChar(std::uint8_t c)
{
    return c >= 0x20 && c <= 0x7E;
}

// Contacts or bits sent one character each, "0" or "1", as a list; nothing
// when a character is neither.
std::optional<std::string> bitList(Bytes chars);

// Words sent as 4 hex characters each, as unsigned decimals: the high digit
// first, or (`lowByteFirst`) the low byte's two digits first ("3412" is
// 0x1234). Nothing when the characters are no whole words.
std::optional<std::string> wordList(Bytes chars, bool lowByteFirst);
std::optional<unsigned> wordValue(Bytes four, bool lowByteFirst);

// What a request asked for, as its answer (an ACK or NAK included) repeats it.
struct AskedTexts {
    std::string function;
    std::string address;
    std::string count;
};

inline void repeatAsked(Description &d, const AskedTexts &asked)
{
    d.function = asked.function;
    d.address = asked.address;
    d.count = asked.count;
}

class Fields {
public:
    explicit Fields(Description &description) : d_(description) {}
    void add(std::string name, std::string value, std::size_t begin, std::size_t end, int depth = 0)
    {
        d_.fields.push_back({std::move(name), std::move(value), std::uint32_t(begin), std::uint32_t(end), depth});
    }

private:
    Description &d_;
};

// What a check field says: "0x1D (ok)" or "0x1C (bad, expected 0x1D)".
std::string checkText(std::string_view found, std::string_view expected);

// The description of bytes no grammar claimed, or a frame cut short.
Description describeUnframed(Bytes frame, const FrameMark &mark);

} // namespace protocol::detail
