#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// The one place where the console writes bytes as hex digits and reads hex
// digits back. Digits are written upper-case and read in either case.
namespace console {

// The upper-case digit of a value from 0 to 15.
constexpr char hexDigit(unsigned nibble)
{
    return "0123456789ABCDEF"[nibble & 0x0F];
}

// The value of a hex digit, 0 to 15; -1 for any other character.
constexpr int hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// Two digits, "0A".
inline void appendHexPair(QByteArray &out, std::uint8_t byte)
{
    out.append(hexDigit(byte >> 4));
    out.append(hexDigit(byte));
}
QString hexByte(std::uint8_t byte);
// As few digits as the value needs, "A" for 10, "0" for 0.
QString hexNumber(std::uint64_t value);
// Two digits a byte, separated by `separator` ("01 03 0A"), or run together
// when it is 0.
QString hexPairs(QByteArrayView bytes, char separator = ' ');

// Exactly two digits, blanks around them allowed: the byte they give.
std::optional<std::uint8_t> parseHexByte(QStringView text);
// A sequence as a user types it: pairs of digits, in groups separated by
// blanks ("01 03", "0103", "01 0300"); a group of one digit is one byte
// ("1 3" is 01 03). Nothing for a text without digits, a character that is
// no digit or blank, or a group of an odd number of digits above one.
std::optional<QByteArray> parseHexSequence(QStringView text);

} // namespace console
