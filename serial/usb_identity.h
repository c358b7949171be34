#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace serial {

// What makes a USB serial port the same adapter after it was unplugged and
// came back, whatever tty name the kernel gave it this time. The IDs are
// kept as the kernel writes them (four lower-case hex digits); `serial` is
// empty for a device that has none, `interfaceNumber` tells the ports of a
// dual-port bridge apart ("00", "01").
struct UsbIdentity {
    QString vendorId;
    QString productId;
    QString serial;
    QString interfaceNumber;

    bool operator==(const UsbIdentity &) const = default;
};

// Identity of the tty `ttyName` ("ttyUSB0", "ttyACM1") as the sysfs tree at
// `sysfsRoot` (normally "/sys") describes it. Nothing for a tty that is not
// there or not on USB (a pseudo-terminal, a built-in port).
std::optional<UsbIdentity> readUsbIdentity(const QString &sysfsRoot, const QString &ttyName);

// The USB device folder in sysfs above the tty `ttyName` (the folder with
// idVendor, idProduct, serial, manufacturer and product), with the number
// of the interface the tty belongs to. Nothing for a tty not on USB.
struct UsbDevicePlace {
    QString deviceDir;
    QString interfaceNumber;
};
std::optional<UsbDevicePlace> findUsbDevice(const QString &sysfsRoot, const QString &ttyName);

// One sysfs attribute of the folder `dir`, trimmed; empty when unreadable.
// Every sysfs text the serial library reads comes through here.
QString readSysfsAttribute(const QString &dir, const char *name);

// Identity of the device a path opens: the tty named by the path, or else by
// the path's symlink target (so /dev/serial/by-id links work too).
std::optional<UsbIdentity> readUsbIdentityOfDevice(const QString &sysfsRoot, const QString &devicePath);

// The ttyUSB* and ttyACM* names that carry `identity` now, in name order
// with ttyUSB before ttyACM. More than one only for identical adapters
// without a serial number.
QStringList findTtysWithIdentity(const QString &sysfsRoot, const UsbIdentity &identity);

} // namespace serial
