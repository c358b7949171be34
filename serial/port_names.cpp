#include "port_names.h"

namespace serial {

QString deviceForPortNumber(int n)
{
    return portDeviceIn(defaultDeviceDir(), n);
}

QString portTextForDevice(const QString &device, const QString &deviceDir)
{
    qsizetype digits = device.size();
    while (digits > 0 && device.at(digits - 1).isDigit() && device.at(digits - 1).unicode() < 128)
        --digits;
    bool ok = false;
    const int last = device.mid(digits).toInt(&ok);
    // The trailing number is n (COMn) or n - 1 (ttyUSB(n-1)).
    for (int n : {last, last + 1}) {
        if (ok && n > 0 && portDeviceIn(deviceDir, n) == device)
            return QString::number(n);
    }
    return device;
}

std::optional<PortAddress> resolvePortText(const QString &text, const QString &deviceDir)
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
        return PortAddress{n, portDeviceIn(deviceDir, n)};
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
