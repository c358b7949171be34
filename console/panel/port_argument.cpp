#include "port_argument.h"

#include "serial/settings_string.h"

#include <QStringList>

namespace console {

std::optional<PortArgument> parsePortArgument(const QString &option, const QString &text, QString *reason)
{
    PortArgument port;
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    port.port = (comma < 0 ? text : text.left(comma)).trimmed();
    if (comma >= 0)
        port.settings = text.mid(comma + 1).trimmed();
    if (port.port.isEmpty()) {
        *reason = QStringLiteral("%1 %2: no port before the settings").arg(option, text);
        return std::nullopt;
    }
    if (!serial::parseSettings(port.settings)) {
        *reason = QStringLiteral("%1 %2: \"%3\" is not a settings string such as 9600,n,8,1")
                      .arg(option, text, port.settings);
        return std::nullopt;
    }
    return port;
}

qint64 byteTimeUs(const QString &settings)
{
    const auto line = serial::parseSettings(settings);
    if (!line || line->baudRate <= 0)
        return 0;
    // Stop bits in halves: 1, 1.5 or 2 stop bits are 2, 3 or 4.
    const int stopHalves = line->stopBits == serial::SerialPort::OneStop ? 2
        : line->stopBits == serial::SerialPort::OneAndHalfStop          ? 3
                                                                         : 4;
    const int halves = 2 * (1 + int(line->dataBits) + (line->parity == serial::SerialPort::NoParity ? 0 : 1))
        + stopHalves;
    return (qint64(halves) * 1'000'000 + line->baudRate) / (2 * qint64(line->baudRate));
}

std::optional<protocol::Protocol> parseProtocolArgument(const QString &text, QString *reason)
{
    const auto chosen = protocol::protocolFromSettingName(text.toStdString());
    if (!chosen) {
        QStringList names;
        for (int p = 0; p <= int(protocol::Protocol::Mewtocol); ++p)
            names << QString::fromStdString(std::string(protocol::settingName(protocol::Protocol(p))));
        *reason = QStringLiteral("--protocol %1: not a protocol; give one of %2").arg(text, names.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    if (*chosen != protocol::Protocol::None && !protocol::makeFramer(*chosen)) {
        *reason = QStringLiteral("--protocol %1: the %2 decoder is not available in this build yet")
                      .arg(text, QString::fromStdString(std::string(protocol::displayName(*chosen))));
        return std::nullopt;
    }
    return chosen;
}

} // namespace console
