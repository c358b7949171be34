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
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    if (parts[2] == QLatin1String("5"))
        s.dataBits = QSerialPort::Data5;
    else if (parts[2] == QLatin1String("6"))
        s.dataBits = QSerialPort::Data6;
    else if (parts[2] == QLatin1String("7"))
        s.dataBits = QSerialPort::Data7;
    else if (parts[2] == QLatin1String("8"))
        s.dataBits = QSerialPort::Data8;
    else
        return std::nullopt;

    if (parts[3] == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (parts[3] == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (parts[3] == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;

    return s;
}

} // namespace serial
