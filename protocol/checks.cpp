#include "protocol/checks.h"

namespace protocol {

namespace {

// Table k holds the CRC step of a byte value followed by k zero bytes, so
// that eight bytes are checked at a step (slicing by 8): a re-decode tries a
// CRC at nearly every byte of a long capture, most of them over counted
// answers of up to 255 bytes.
using CrcTables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr CrcTables makeCrcTables()
{
    CrcTables tables{};
    for (unsigned value = 0; value < 256; ++value) {
        std::uint16_t crc = std::uint16_t(value);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
        tables[0][value] = crc;
    }
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (unsigned value = 0; value < 256; ++value) {
            const std::uint16_t before = tables[k - 1][value];
            tables[k][value] = std::uint16_t((before >> 8) ^ tables[0][before & 0xFF]);
        }
    return tables;
}

constexpr CrcTables kCrc = makeCrcTables();

} // namespace

const std::array<std::uint16_t, 256> kModbusCrcStep = kCrc[0];

std::uint16_t modbusCrc16(Bytes bytes, std::uint16_t crc)
{
    const std::uint8_t *p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; n -= 8, p += 8)
        crc = std::uint16_t(kCrc[7][(p[0] ^ crc) & 0xFF] ^ kCrc[6][p[1] ^ (crc >> 8)] ^ kCrc[5][p[2]] ^
                            kCrc[4][p[3]] ^ kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]]);
    // The rest four, two and one at a step: the CRC register is two bytes
    // wide, so it is shifted out whole by the second byte of a step.
    if (n >= 4) {
        crc = std::uint16_t(kCrc[3][(p[0] ^ crc) & 0xFF] ^ kCrc[2][p[1] ^ (crc >> 8)] ^ kCrc[1][p[2]] ^ kCrc[0][p[3]]);
        n -= 4, p += 4;
    }
    if (n >= 2) {
        crc = std::uint16_t(kCrc[1][(p[0] ^ crc) & 0xFF] ^ kCrc[0][p[1] ^ (crc >> 8)]);
        n -= 2, p += 2;
    }
    if (n)
        crc = std::uint16_t((crc >> 8) ^ kCrc[0][(crc ^ *p) & 0xFF]);
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
