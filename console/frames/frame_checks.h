#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace console {

// Checks a frame carries at its end, shared by what the traffic view verifies
// and what the history window appends before it sends.
//
// Names are the ones stored in settings and in the history file (other
// programs and test rigs write them): "none", "modbus-rtu", "sum8", "lrc",
// "fx-sum", "mewtocol-bcc". New ones go at the end.
enum class FrameCheck { None, ModbusRtu, Sum8, Lrc, FxSum, MewtocolBcc };

QString frameCheckName(FrameCheck check);
// Exactly one of the names above; nothing for any other text.
std::optional<FrameCheck> frameCheckFromName(QStringView name);

// Modbus RTU CRC-16 (polynomial A001 reflected, start FFFF); on the line
// it goes low byte first.
std::uint16_t modbusCrc16(QByteArrayView bytes);
// Sum of the bytes, modulo 256.
std::uint8_t sum8(QByteArrayView bytes);
// Longitudinal redundancy check as Modbus ASCII uses it: the two's
// complement of the 8-bit sum of the bytes.
std::uint8_t lrc(QByteArrayView bytes);

// What a check appends to `bytes`: Modbus RTU two bytes (low, high), sum8 one
// byte, LRC two upper-case hex characters ("F2"); None nothing. The FX sum
// (of the bytes after the first STX, all of them when there is none, so ETX
// is in it when the row ends in ETX) and the MEWTOCOL BCC (the XOR of the
// bytes from the first '%', all of them when there is none) are two
// upper-case hex characters too; a line ending (MEWTOCOL's CR) goes after.
QByteArray checkBytes(FrameCheck check, QByteArrayView bytes);

enum class CheckVerdict {
    NotApplicable, // no check chosen, or a frame too short to carry one
    Ok,
    Bad,
};

// Verifies a received frame whose last bytes are the check: Modbus RTU the
// CRC of all but the last two bytes, low byte first (a frame needs 3 bytes
// at least); sum8 the sum of all but the last byte (2 bytes at least); LRC
// two hex characters after the bytes they check (3 bytes at least); the FX
// sum and the MEWTOCOL BCC two hex characters after the bytes they check as
// above, a MEWTOCOL "**" standing for no check.
CheckVerdict verifyFrame(FrameCheck check, QByteArrayView frame);

} // namespace console
