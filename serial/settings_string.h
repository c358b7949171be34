#pragma once

#include "serial/serial_port.h"
#include <QString>
#include <optional>

namespace serial {

// A parsed settings string such as "9600,n,8,1" or "19200,o,8,1.5":
// decimal baud rate (digits only, no leading zero, at most 2^31-1), parity
// letter n, e or o in lower case, data bits 5 to 8 and stop bits 1, 1.5 or
// 2, separated by single commas, with nothing else (no blank, no NUL).
struct LineSettings {
    qint32 baudRate = 9600;
    SerialPort::Parity parity = SerialPort::NoParity;
    SerialPort::DataBits dataBits = SerialPort::Data8;
    SerialPort::StopBits stopBits = SerialPort::OneStop;

    bool operator==(const LineSettings &) const = default;
};

// Nothing when the text is not exactly of that form.
std::optional<LineSettings> parseSettings(const QString &text);

// A number as settings strings and command lines write it: decimal digits
// only, no sign, no blank, no leading zero, 1 to 2^31-1. Nothing for any
// other text.
std::optional<qint32> positiveDecimal(QStringView text);

} // namespace serial
