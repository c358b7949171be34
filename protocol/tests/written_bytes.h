#pragma once

// Bytes as the protocol tests write them out: hex pairs ("01 03 00 00"),
// the characters of a text, and the Modbus CRC the tests' own way, a bit
// at a step as its definition gives it, apart from the library's.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace written_bytes {

using Bytes = std::vector<std::uint8_t>;

// Blanks between the pairs are passed over.
inline Bytes hex(std::string_view text)
{
    Bytes bytes;
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(std::uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Upper-case pairs separated by blanks, as hex() reads them.
inline std::string hexText(const Bytes &bytes)
{
    std::string out;
    char pair[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%s%02X", out.empty() ? "" : " ", b);
        out += pair;
    }
    return out;
}

inline Bytes text(std::string_view chars)
{
    return {chars.begin(), chars.end()};
}

inline std::uint16_t crcBitByBit(const Bytes &bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

// The frame with its CRC after it, low byte first.
inline Bytes withCrc(Bytes frame)
{
    const std::uint16_t crc = crcBitByBit(frame);
    frame.push_back(std::uint8_t(crc & 0xFF));
    frame.push_back(std::uint8_t(crc >> 8));
    return frame;
}

} // namespace written_bytes
