#include "port_names.h"

namespace serial {

std::optional<PortAddress> resolvePortText(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;

    bool allDigits = true;
    for (QChar c : text)
        allDigits = allDigits && c.isDigit() && c.unicode() < 128;
    if (allDigits) {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (!ok || n <= 0)
            return std::nullopt;
        return PortAddress{n, deviceForPortNumber(n)};
    }

#ifdef Q_OS_WIN
    const bool isPath = text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("\\\\.\\"));
#else
    const bool isPath = text.startsWith(QLatin1Char('/')) && text.size() > 1;
#endif
    if (!isPath)
        return std::nullopt;
    return PortAddress{0, text};
}

} // namespace serial
