#pragma once

#include <QString>

namespace testsupport {

// A sysfs tree in a folder, shaped as the kernel lays out USB serial ports:
// class/tty/<name> links into devices/, where the USB device directory holds
// idVendor, idProduct and serial, its interface directories hold
// bInterfaceNumber, and a ttyUSB port sits below its interface while a
// ttyACM port is the interface itself.
class FakeUsbSysfs {
public:
    explicit FakeUsbSysfs(const QString &root) : m_root(root) {}
    QString root() const { return m_root; }

    // One USB serial port. `usbPath` names the USB device ("1-1", "1-1.2");
    // an empty `serial` writes no serial file, as for an adapter without one.
    void addUsbPort(const QString &tty, const QString &usbPath, const QString &vendorId,
                    const QString &productId, const QString &serial, int interfaceNumber);
    // A tty that is not on USB (a built-in port).
    void addPlatformPort(const QString &tty);
    // The USB device goes away with all its ports, as when it is unplugged.
    void unplug(const QString &usbPath);
    // The folder of the USB device, where idVendor, idProduct and serial are.
    QString usbDir(const QString &usbPath) const;

private:
    void linkTty(const QString &tty, const QString &ttyDir, const QString &deviceDir);

    QString m_root;
};

} // namespace testsupport
