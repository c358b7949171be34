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
