#include "settings_string.h"

#include <QCoreApplication>
#include <QStringList>

#include <limits>

namespace serial {

std::optional<qint32> positiveDecimal(QStringView text)
{
    if (text.isEmpty() || text.size() > 10 || text.front() == u'0')
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

std::optional<LineSettings> parseSettings(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    LineSettings s;
    const auto baud = positiveDecimal(parts[0]);
    if (!baud)
        return std::nullopt;
    s.baudRate = *baud;

    if (parts[1] == QLatin1String("n"))
        s.parity = SerialPort::NoParity;
    else if (parts[1] == QLatin1String("e"))
        s.parity = SerialPort::EvenParity;
    else if (parts[1] == QLatin1String("o"))
        s.parity = SerialPort::OddParity;
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

TypedBaudRate parseTypedBaudRate(const QString &text)
{
    const auto tr = [](const char *t) { return QCoreApplication::translate("serial::BaudRate", t); };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {std::nullopt, tr("Type a baud rate from %1 to %2.").arg(kLowestBaudRate).arg(kHighestBaudRate)};
    QStringView digits(trimmed);
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.mid(1);
    const auto value = positiveDecimal(digits);
    if (!value) {
        bool allDigits = true;
        for (QChar c : trimmed)
            allDigits = allDigits && c >= u'0' && c <= u'9';
        if (!allDigits)
            return {std::nullopt, tr("\"%1\" is not a whole number: type a baud rate such as 115200.").arg(trimmed)};
    }
    if (!value || *value < kLowestBaudRate || *value > kHighestBaudRate)
        return {std::nullopt, tr("%1 is outside the baud rates from %2 to %3.")
                                  .arg(trimmed).arg(kLowestBaudRate).arg(kHighestBaudRate)};
    return {value, {}};
}

QList<qint32> offeredBaudRates()
{
    return {115200, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 230400, 460800, 921600};
}

} // namespace serial
