#include "configuration_frame.h"

namespace configurator {

namespace {
constexpr std::uint8_t kStartMark = 0x7E;
constexpr std::uint8_t kCommand = 0x35;
constexpr std::uint8_t kEndMark = 0x7E;

std::uint8_t parityByte(const QString &letter)
{
    if (letter == u"N" || letter == u"E" || letter == u"O")
        return std::uint8_t(letter.at(0).unicode());
    return 0;
}

std::uint8_t digitByte(std::uint8_t value, std::uint8_t low, std::uint8_t high)
{
    return (value == low || value == high) ? std::uint8_t('0' + value) : 0;
}
} // namespace

std::uint8_t frameChecksum(const QByteArray &firstSixBytes)
{
    unsigned sum = 0;
    for (char c : firstSixBytes)
        sum += std::uint8_t(c);
    return std::uint8_t((sum % 256) % 128);
}

QByteArray configurationFrame(const FrameBody &body)
{
    QByteArray frame(8, '\0');
    frame[0] = char(kStartMark);
    frame[1] = char(kCommand);
    for (int i = 0; i < 4; ++i)
        frame[2 + i] = char(body[std::size_t(i)]);
    frame[6] = char(frameChecksum(frame.left(6)));
    frame[7] = char(kEndMark);
    return frame;
}

std::uint8_t baudCode(qint32 baudRate)
{
    switch (baudRate) {
    case 9600: return 0x60;
    case 19200: return 0x5C;
    case 38400: return 0x54;
    default: return 0;
    }
}

PlcPreset plcPreset(int index)
{
    switch (index) {
    case 0: return {{0x60, 'E', '7', '1'}, QStringLiteral("9600,e,7,1")};
    case 1: return {{0x60, 'O', '8', '2'}, QStringLiteral("9600,o,8,1")};
    case 2: return {{0x5C, 'O', '8', '1'}, QStringLiteral("19200,o,8,1")};
    default: return {{0, 0, 0, 0}, QString()};
    }
}

UserDefinedFrame userDefinedFrame(qint32 baudRate, const QString &parityLetter,
                                  std::uint8_t dataBits, std::uint8_t stopBits)
{
    UserDefinedFrame f;
    f.body = {baudCode(baudRate), parityByte(parityLetter), digitByte(dataBits, 7, 8),
              digitByte(stopBits, 1, 2)};
    f.settings = QString::number(baudRate) + u',' + parityLetter.trimmed().toLower() + u','
                 + QString::number(dataBits) + u',' + QString::number(stopBits);
    return f;
}

} // namespace configurator
