#pragma once

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

} // namespace console
