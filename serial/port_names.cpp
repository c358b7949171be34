#include "port_names.h"

#include "serial/network_address.h"

#include <QCoreApplication>

namespace serial {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("serial::PortNames", text);
}

bool allAsciiDigits(QStringView text)
{
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() >= 128)
            return false;
    }
    return !text.isEmpty();
}

} // namespace

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

PortTextCheck checkPortText(const QString &text, const QString &deviceDir)
{
    const QString usage = tr("type a port number (1 or more), COMn, a device path, rfc2217://HOST:PORT or tcp://HOST:PORT.");
    if (text.isEmpty())
        return {std::nullopt, tr("No port given: %1").arg(usage)};
    // A port on a device server is opened by its text as it stands.
    if (isNetworkPortText(text)) {
        const NetworkAddressCheck network = checkNetworkPortText(text);
        if (!network.address)
            return {std::nullopt, network.refusal};
        return {PortAddress{0, text}, {}};
    }

    // "3" and "COM3" (any case) are port 3; the number is read the same way.
    const bool com = text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
    const QStringView number = com ? QStringView(text).mid(3) : QStringView(text);
    if (allAsciiDigits(number)) {
        bool ok = false;
        const int n = number.toInt(&ok);
        if (!ok)
            return {std::nullopt, tr("\"%1\" is too large for a port number.").arg(text)};
        if (n <= 0)
            return {std::nullopt, tr("\"%1\" names no port: port numbers start at 1.").arg(text)};
        return {PortAddress{n, portDeviceIn(deviceDir, n)}, {}};
    }
    if (com)
        return {std::nullopt, tr("\"%1\" names no port: COM must be followed by a port number only.").arg(text)};

#ifdef Q_OS_WIN
    const bool isPath = text.startsWith(QLatin1String("\\\\.\\"));
#else
    const bool isPath = text.startsWith(QLatin1Char('/')) && text.size() > 1;
#endif
    if (!isPath)
        return {std::nullopt, tr("\"%1\" names no port: %2").arg(text, usage)};
    return {PortAddress{0, text}, {}};
}

std::optional<PortAddress> resolvePortText(const QString &text, const QString &deviceDir)
{
    return checkPortText(text, deviceDir).address;
}

} // namespace serial
