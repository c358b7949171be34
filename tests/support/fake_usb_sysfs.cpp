#include "fake_usb_sysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testsupport {

namespace {

void writeAttribute(const QString &path, const QString &value)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(value.toLatin1() + '\n');
}

} // namespace

QString FakeUsbSysfs::usbDir(const QString &usbPath) const
{
    return m_root + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/") + usbPath;
}

void FakeUsbSysfs::linkTty(const QString &tty, const QString &ttyDir, const QString &deviceDir)
{
    QDir().mkpath(ttyDir);
    QDir().mkpath(m_root + QStringLiteral("/class/tty"));
    const QString classLink = m_root + QStringLiteral("/class/tty/") + tty;
    QFile::remove(classLink);
    // Relative links, as the kernel makes them.
    QFile::link(QDir(m_root + QStringLiteral("/class/tty")).relativeFilePath(ttyDir), classLink);
    QFile::link(QDir(ttyDir).relativeFilePath(deviceDir), ttyDir + QStringLiteral("/device"));
}

void FakeUsbSysfs::addUsbPort(const QString &tty, const QString &usbPath, const QString &vendorId,
                           const QString &productId, const QString &serial, int interfaceNumber)
{
    const QString device = usbDir(usbPath);
    const QString interface = device + QStringLiteral("/%1:1.%2").arg(usbPath).arg(interfaceNumber);
    QDir().mkpath(interface);
    writeAttribute(device + QStringLiteral("/idVendor"), vendorId);
    writeAttribute(device + QStringLiteral("/idProduct"), productId);
    if (!serial.isEmpty())
        writeAttribute(device + QStringLiteral("/serial"), serial);
    writeAttribute(interface + QStringLiteral("/bInterfaceNumber"),
                   QStringLiteral("%1").arg(interfaceNumber, 2, 16, QLatin1Char('0')));
    if (tty.startsWith(QLatin1String("ttyACM"))) {
        linkTty(tty, interface + QStringLiteral("/tty/") + tty, interface);
    } else {
        const QString port = interface + QLatin1Char('/') + tty;
        linkTty(tty, port + QStringLiteral("/tty/") + tty, port);
    }
}

void FakeUsbSysfs::addPlatformPort(const QString &tty, int uartType)
{
    const QString device = m_root + QStringLiteral("/devices/platform/serial8250");
    linkTty(tty, device + QStringLiteral("/tty/") + tty, device);
    if (uartType >= 0)
        writeAttribute(device + QStringLiteral("/tty/") + tty + QStringLiteral("/type"), QString::number(uartType));
}

void FakeUsbSysfs::setUsbAttribute(const QString &usbPath, const QString &name, const QString &value)
{
    writeAttribute(usbDir(usbPath) + QLatin1Char('/') + name, value);
}

void FakeUsbSysfs::bindDriver(const QString &tty, const QString &driver)
{
    const QString driverDir = m_root + QStringLiteral("/bus/usb-serial/drivers/") + driver;
    QDir().mkpath(driverDir);
    const QString device = QFileInfo(m_root + QStringLiteral("/class/tty/") + tty + QStringLiteral("/device"))
                               .canonicalFilePath();
    QFile::link(driverDir, device + QStringLiteral("/driver"));
}

void FakeUsbSysfs::unplug(const QString &usbPath)
{
    QDir(usbDir(usbPath)).removeRecursively();
    QDir ttys(m_root + QStringLiteral("/class/tty"));
    for (const QFileInfo &link : ttys.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (link.isSymLink() && !link.exists())
            QFile::remove(link.filePath());
    }
}

} // namespace testsupport
