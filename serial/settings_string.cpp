#include "settings_string.h"

#include <QStringList>

namespace serial {

std::optional<LineSettings> parseSettings(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    LineSettings s;
    bool ok = false;
    const int baud = parts[0].toInt(&ok);
    if (!ok || baud <= 0 || parts[0].trimmed() != parts[0])
        return std::nullopt;
    s.baudRate = baud;

    const QString parity = parts[1].toLower();
    if (parity == QLatin1String("n"))
        s.parity = SerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        s.parity = SerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        s.parity = SerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        s.parity = SerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        s.parity = SerialPort::SpaceParity;
    else
        return std::nullopt;

    if (parts[2] == QLatin1String("5"))
        s.dataBits = SerialPort::Data5;
    else if (parts[2] == QLatin1String("6"))
        s.dataBits = SerialPort::Data6;
    else if (parts[2] == QLatin1String("7"))
        s.dataBits = SerialPort::Data7;
    else if (parts[2] == QLatin1String("8"))
        s.dataBits = SerialPort::Data8;
    else
        return std::nullopt;

    if (parts[3] == QLatin1String("1"))
        s.stopBits = SerialPort::OneStop;
    else if (parts[3] == QLatin1String("1.5"))
        s.stopBits = SerialPort::OneAndHalfStop;
    else if (parts[3] == QLatin1String("2"))
        s.stopBits = SerialPort::TwoStop;
    else
        return std::nullopt;

    return s;
}

} // namespace serial
