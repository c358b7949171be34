#pragma once

#include "protocol/protocol.h"

#include <QString>

#include <optional>

namespace console {

// A port given on the command line as PORT[,SETTINGS]: the port box's text
// (a number, COMn, a path) and a settings string, 9600,n,8,1 when none.
struct PortArgument {
    QString port;
    QString settings = QStringLiteral("9600,n,8,1");
};

// Nothing, with the reason naming `option` ("--record"), for a text with no
// port or with settings that are no settings string.
std::optional<PortArgument> parsePortArgument(const QString &option, const QString &text, QString *reason);

// Time one character takes on a line of these settings ("9600,n,8,1":
// start, data, parity and stop bits), in microseconds; 0 for a settings
// text that is none.
qint64 byteTimeUs(const QString &settings);

// A protocol given as `--protocol NAME`, by its setting name (none,
// modbus-rtu, ...); nothing with the reason for any other name, or for one
// whose decoder this build lacks.
std::optional<protocol::Protocol> parseProtocolArgument(const QString &text, QString *reason);

} // namespace console
