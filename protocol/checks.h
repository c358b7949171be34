#pragma once

// The checks PLC frames carry, over plain bytes. The one place each is
// computed: the decoders verify with these, and the console appends them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace protocol {

using Bytes = std::span<const std::uint8_t>;

// Modbus RTU CRC-16: polynomial A001 (reflected), start FFFF. On the line it
// goes low byte first. `crc` goes on from the CRC of the bytes before.
std::uint16_t modbusCrc16(Bytes bytes, std::uint16_t crc = 0xFFFF);
// The same a byte at a time, for a check of a few bytes tried at nearly
// every position of a stream, written out where it is tried.
extern const std::array<std::uint16_t, 256> kModbusCrcStep;
inline std::uint16_t modbusCrc16Step(std::uint16_t crc, std::uint8_t byte)
{
    return std::uint16_t((crc >> 8) ^ kModbusCrcStep[(crc ^ byte) & 0xFF]);
}

// The sum of the bytes, modulo 256.
std::uint8_t sum8(Bytes bytes);

// Modbus ASCII LRC: the two's complement of the 8-bit sum of the bytes (the
// bytes the hex characters stand for, not the characters).
std::uint8_t lrc(Bytes bytes);

// FX programming port sum: the low byte of the sum of the bytes after STX up
// to and including ETX; pass exactly those bytes.
std::uint8_t fxSum(Bytes afterStxThroughEtx);

// MEWTOCOL-COM BCC: the XOR of every character from '%' up to the BCC; pass
// exactly those characters.
std::uint8_t mewtocolBcc(Bytes fromPercent);

// The upper-case digit of a value from 0 to 15.
constexpr char hexDigit(unsigned nibble)
{
    return "0123456789ABCDEF"[nibble & 0x0F];
}

// A byte as two upper-case hex characters, high digit first ("0A").
constexpr std::array<char, 2> hexPair(std::uint8_t byte)
{
    return {hexDigit(byte >> 4), hexDigit(byte)};
}

// The value of a hex digit in either case, 0 to 15; -1 for any other byte.
constexpr int hexDigitValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte two hex characters stand for; nothing when either is no digit.
constexpr std::optional<std::uint8_t> hexPairValue(std::uint8_t high, std::uint8_t low)
{
    const int h = hexDigitValue(high);
    const int l = hexDigitValue(low);
    if (h < 0 || l < 0)
        return std::nullopt;
    return std::uint8_t(h * 16 + l);
}

} // namespace protocol
