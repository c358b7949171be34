#pragma once

// The 8-byte frame that sets the adapter's serial parameters, and the
// settings string the PC side takes once the adapter acknowledges it.
// No window and no port here.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace configurator {

// Bytes 3 to 6 of the frame: baud code, parity letter, data-bit digit,
// stop-bit digit. A value without a code stays 0x00.
using FrameBody = std::array<std::uint8_t, 4>;

// The adapter's answer that it took the frame.
inline constexpr char kAcknowledge = 0x06;

// 7E 35 body... checksum 7E. The checksum is the low seven bits of the sum of
// bytes 1 to 6.
QByteArray configurationFrame(const FrameBody &body);
std::uint8_t frameChecksum(const QByteArray &firstSixBytes);

// 0x60, 0x5C, 0x54 for 9600, 19200, 38400; 0 for any other rate.
std::uint8_t baudCode(qint32 baudRate);

struct PlcPreset {
    FrameBody body;
    QString settings;
};

// The three PLC families of the Device Config mode, by option index 0 to 2.
// The A/Q preset's frame carries stop-bit digit 2 while its settings string
// keeps one stop bit. That difference is deliberate; keep it.
inline constexpr int kPresetCount = 3;
PlcPreset plcPreset(int index);

// What the User Define mode sends: the body from the chosen values, and the
// settings string built from the same values whether they have a code or not.
struct UserDefinedFrame {
    FrameBody body;
    QString settings;
};
UserDefinedFrame userDefinedFrame(qint32 baudRate, const QString &parityLetter,
                                  std::uint8_t dataBits, std::uint8_t stopBits);

} // namespace configurator
