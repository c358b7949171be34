#include "usb_identity.h"

#include "sysfs/attribute.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace serial {

namespace {

// Empty when the attribute is missing or cannot be read.
QString attribute(const QString &dir, const char *name)
{
    const auto text = sysfs::readAttribute(QFile::encodeName(dir + QLatin1Char('/') + QLatin1String(name)).constData());
    return text ? QString::fromLatin1(*text).trimmed() : QString();
}

bool isUsbSerialName(const QString &name)
{
    return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

} // namespace

std::optional<UsbIdentity> readUsbIdentity(const QString &sysfsRoot, const QString &ttyName)
{
    if (ttyName.isEmpty() || ttyName.contains(QLatin1Char('/')))
        return std::nullopt;
    // class/tty/<name>/device leads to the USB interface (ttyACM) or to the
    // usb-serial port below it (ttyUSB); the USB device is the interface's
    // parent.
    const QString device =
        QFileInfo(sysfsRoot + QStringLiteral("/class/tty/") + ttyName + QStringLiteral("/device")).canonicalFilePath();
    if (device.isEmpty())
        return std::nullopt;
    QDir dir(device);
    for (int up = 0; up < 3; ++up) {
        if (QFileInfo::exists(dir.filePath(QStringLiteral("bInterfaceNumber")))) {
            const QString interfaceNumber = attribute(dir.path(), "bInterfaceNumber");
            if (!dir.cdUp())
                return std::nullopt;
            UsbIdentity id{attribute(dir.path(), "idVendor"), attribute(dir.path(), "idProduct"),
                           attribute(dir.path(), "serial"), interfaceNumber};
            if (id.vendorId.isEmpty() || id.productId.isEmpty())
                return std::nullopt;
            return id;
        }
        if (!dir.cdUp())
            break;
    }
    return std::nullopt;
}

std::optional<UsbIdentity> readUsbIdentityOfDevice(const QString &sysfsRoot, const QString &devicePath)
{
    const QFileInfo info(devicePath);
    if (auto id = readUsbIdentity(sysfsRoot, info.fileName()))
        return id;
    if (!info.isSymLink())
        return std::nullopt;
    return readUsbIdentity(sysfsRoot, QFileInfo(info.canonicalFilePath()).fileName());
}

QStringList findTtysWithIdentity(const QString &sysfsRoot, const UsbIdentity &identity)
{
    QStringList names = QDir(sysfsRoot + QStringLiteral("/class/tty")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    names.removeIf([&](const QString &name) {
        return !isUsbSerialName(name) || readUsbIdentity(sysfsRoot, name) != identity;
    });
    // ttyUSB before ttyACM, then by number: ttyUSB2 before ttyUSB10.
    const auto key = [](const QString &name) {
        return std::pair{!name.startsWith(QLatin1String("ttyUSB")), name.mid(6).toInt()};
    };
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) { return key(a) < key(b); });
    return names;
}

} // namespace serial
