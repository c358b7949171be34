#pragma once

#include "serial/serial_port.h"
#include <QString>
#include <optional>

namespace serial {

// A parsed settings string such as "9600,n,8,1" or "19200,o,8,1.5":
// decimal baud rate, parity letter (n, e, o, m, s), data bits 5..8 and stop
// bits 1, 1.5 or 2, separated by commas without blanks.
struct LineSettings {
    qint32 baudRate = 9600;
    SerialPort::Parity parity = SerialPort::NoParity;
    SerialPort::DataBits dataBits = SerialPort::Data8;
    SerialPort::StopBits stopBits = SerialPort::OneStop;

    bool operator==(const LineSettings &) const = default;
};

std::optional<LineSettings> parseSettings(const QString &text);

} // namespace serial
