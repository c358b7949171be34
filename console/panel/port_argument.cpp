#include "port_argument.h"

#include "serial/settings_string.h"

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

} // namespace console
