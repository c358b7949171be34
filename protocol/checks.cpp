#include "protocol/checks.h"

namespace protocol {

namespace {

// The CRC of every byte value, so that a long capture is checked a byte at a
// step rather than a bit at a step.
constexpr std::array<std::uint16_t, 256> makeCrcTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        std::uint16_t crc = std::uint16_t(value);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
        table[value] = crc;
    }
    return table;
}

constexpr auto kCrcTable = makeCrcTable();

} // namespace

std::uint16_t modbusCrc16(Bytes bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes)
        crc = std::uint16_t((crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFF]);
    return crc;
}

std::uint8_t sum8(Bytes bytes)
{
    unsigned sum = 0;
    for (std::uint8_t byte : bytes)
        sum += byte;
    return std::uint8_t(sum);
}

std::uint8_t lrc(Bytes bytes)
{
    return std::uint8_t(-sum8(bytes));
}

std::uint8_t fxSum(Bytes afterStxThroughEtx)
{
    return sum8(afterStxThroughEtx);
}

std::uint8_t mewtocolBcc(Bytes fromPercent)
{
    std::uint8_t bcc = 0;
    for (std::uint8_t byte : fromPercent)
        bcc ^= byte;
    return bcc;
}

} // namespace protocol
