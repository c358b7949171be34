#pragma once

// Small pieces the descriptions are written with.

#include "protocol/checks.h"
#include "protocol/protocol.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

namespace protocol::detail {

// The bytes that may begin a frame of a text protocol (or change what its
// grammar remembers): every other byte is noise the framer passes over at
// once.
class ByteSet {
public:
    constexpr ByteSet(std::initializer_list<std::uint8_t> bytes)
    {
        for (std::uint8_t b : bytes) {
            bits_[b >> 6] |= std::uint64_t(1) << (b & 63);
            if (count_ < members_.size())
                members_[count_] = b;
            ++count_;
        }
    }
    constexpr bool has(std::uint8_t b) const { return (bits_[b >> 6] >> (b & 63) & 1) != 0; }
    // How many of the first `limit` bytes of `b` are none of the set. Eight
    // bytes are tried at a step for a set of up to eight (a flood of noise
    // is passed over at several hundred MB/s more than byte by byte).
    std::size_t runWithout(Bytes b, std::size_t limit) const
    {
        const std::size_t end = std::min(limit, b.size());
        std::size_t i = 0;
        if (count_ <= members_.size()) {
            constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
            for (; i + 8 <= end; i += 8) {
                std::uint64_t word = 0;
                for (std::size_t k = 0; k < 8; ++k)
                    word |= std::uint64_t(b[i + k]) << (8 * k);
                std::uint64_t hit = 0;
                for (std::size_t m = 0; m < count_; ++m) {
                    const std::uint64_t x = word ^ (ones * members_[m]);
                    hit |= (x - ones) & ~x & highs; // a zero byte: b[i + k] is the member
                }
                if (hit)
                    break;
            }
        }
        while (i < end && !has(b[i]))
            ++i;
        return i;
    }

private:
    std::array<std::uint64_t, 4> bits_{};
    std::array<std::uint8_t, 8> members_{};
    std::size_t count_ = 0;
};

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

// The description of bytes no grammar claimed, or a frame cut short. Of a
// long run the caller may give only the first bytes: the summary counts the
// mark's length, and the field's value ends in " ..." after the bytes given.
Description describeUnframed(Bytes frame, const FrameMark &mark);

} // namespace protocol::detail
