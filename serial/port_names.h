#pragma once

#include <QString>
#include <optional>

namespace serial {

// Device that port number n (1 or more) opens: COMn on Windows,
// /dev/ttyUSB(n-1) elsewhere, so that the first USB serial adapter is port 1.
QString deviceForPortNumber(int n);

// Folder that holds the devices port numbers name: "/dev" on Linux, empty
// on Windows (where it plays no part). Tests point numbers at a temporary
// folder through the overloads below.
QString defaultDeviceDir();
QString portDeviceIn(const QString &deviceDir, int n);

// What a port box shows for a device: "n" when port number n opens exactly
// that device, otherwise the device path as it stands.
QString portTextForDevice(const QString &device, const QString &deviceDir = defaultDeviceDir());

// What a port box's text names: a positive whole number or COMn in any case
// (port number n), a device path, or rfc2217://HOST:PORT or tcp://HOST:PORT
// (a port on a device server), opened as it stands. Anything else names no
// port.
struct PortAddress {
    int number = 0;      // 0 when the text is a path
    QString device;      // the device that is opened
};
std::optional<PortAddress> resolvePortText(const QString &text, const QString &deviceDir = defaultDeviceDir());

// The same, with the reason a text names no port ("COM0", "COM3a", "ttyUSB0").
struct PortTextCheck {
    std::optional<PortAddress> address;
    QString refusal; // empty when the text names a port
};
PortTextCheck checkPortText(const QString &text, const QString &deviceDir = defaultDeviceDir());

} // namespace serial
