#pragma once

#include <QString>
#include <optional>

namespace serial {

// Device that port number n (1 or more) opens: COMn on Windows,
// /dev/ttyUSB(n-1) elsewhere, so that the first USB serial adapter is port 1.
QString deviceForPortNumber(int n);

// What a port box's text names: a positive whole number (a port number) or a
// device path, opened as it stands. Anything else names no port.
struct PortAddress {
    int number = 0;      // 0 when the text is a path
    QString device;      // the device that is opened
};
std::optional<PortAddress> resolvePortText(const QString &text);

} // namespace serial
