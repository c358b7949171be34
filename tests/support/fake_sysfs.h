#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace testsupport {

// A sysfs tree in a temporary folder, laid out as the kernel lays out USB
// serial ports:
//   devices/usb1/<dev>/{idVendor,idProduct,serial,product}
//   devices/usb1/<dev>/<dev>:1.0/ttyUSB<n>/driver -> bus/usb-serial/drivers/<driver>
//   bus/usb-serial/devices/ttyUSB<n> -> the ttyUSB<n> folder above
class FakeSysfs {
public:
    FakeSysfs()
    {
        QDir(root()).mkpath(QStringLiteral("bus/usb-serial/devices"));
        QDir(root()).mkpath(QStringLiteral("bus/usb-serial/drivers/cp210x"));
    }

    QString root() const { return m_dir.path(); }

    // A bridge with one port, /dev/ttyUSB<tty>. A null serial leaves the
    // attribute out; vid "zz" makes a bridge whose identity cannot be read.
    void addBridge(const QString &name, int tty, const char *serial, const char *product,
                   const char *vid = "10c4", const char *pid = "ea60")
    {
        const QString device = root() + QStringLiteral("/devices/usb1/") + name;
        const QString port = QStringLiteral("%1/%2:1.0/ttyUSB%3").arg(device, name).arg(tty);
        QDir().mkpath(port);
        write(device + QStringLiteral("/idVendor"), vid);
        write(device + QStringLiteral("/idProduct"), pid);
        if (serial)
            write(device + QStringLiteral("/serial"), serial);
        write(device + QStringLiteral("/product"), product);
        write(QStringLiteral("%1/%2:1.0/bInterfaceNumber").arg(device, name), "00");
        QFile::link(root() + QStringLiteral("/bus/usb-serial/drivers/cp210x"), port + QStringLiteral("/driver"));
        QFile::link(port, QStringLiteral("%1/bus/usb-serial/devices/ttyUSB%2").arg(root()).arg(tty));
    }

    // Unplugged: the device folder and its port link go.
    void removeBridge(const QString &name, int tty)
    {
        QFile::remove(QStringLiteral("%1/bus/usb-serial/devices/ttyUSB%2").arg(root()).arg(tty));
        QDir(root() + QStringLiteral("/devices/usb1/") + name).removeRecursively();
    }

private:
    static void write(const QString &path, const char *text)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(text) + '\n');
    }

    QTemporaryDir m_dir;
};

} // namespace testsupport
