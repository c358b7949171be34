#include "port_list.h"

#include "serial/usb_identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace serial {

namespace {

bool isUsbName(const QString &name)
{
    return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

// USB adapters first (ttyUSB before ttyACM), then the on-board ports, each
// kind by number: ttyUSB2 before ttyUSB10.
std::pair<int, int> listOrder(const QString &name)
{
    static const QStringList kinds{QStringLiteral("ttyUSB"), QStringLiteral("ttyACM"), QStringLiteral("ttyS"),
                                   QStringLiteral("ttyAMA")};
    for (int kind = 0; kind < kinds.size(); ++kind) {
        if (name.startsWith(kinds[kind]))
            return {kind, name.mid(kinds[kind].size()).toInt()};
    }
    return {int(kinds.size()), 0};
}

// An on-board port has a UART behind it when sysfs gives it a type other
// than 0 (unknown); without that attribute, when it opens and the driver
// does not deny a UART. Most ttyS names of a PC have none.
bool uartAnswers(const QString &sysfsRoot, const QString &name, const QString &device)
{
    const QString type = readSysfsAttribute(sysfsRoot + QStringLiteral("/class/tty/") + name, "type");
    if (!type.isEmpty())
        return type != QLatin1String("0");
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info {};
    const bool unknown = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
    ::close(fd);
    return !unknown;
}

// The /dev/serial/by-id link that leads to `device`, empty when none does.
QString byIdLink(const QString &deviceDir, const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const QDir byId(deviceDir + QStringLiteral("/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (!target.isEmpty() && link.canonicalFilePath() == target)
            return link.filePath();
    }
    return {};
}

} // namespace

ListedPort examinePort(const QString &device, const PortListPlaces &places)
{
    ListedPort port;
    port.device = device;
    // The tty's own name, or the name of what a link (by-id, a test rig's
    // device folder) leads to.
    QString name = QFileInfo(device).fileName();
    if (!QFileInfo::exists(places.sysfsRoot + QStringLiteral("/class/tty/") + name))
        name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    const QString ttyDir = places.sysfsRoot + QStringLiteral("/class/tty/") + name;
    port.driver = QFileInfo(QFileInfo(ttyDir + QStringLiteral("/device/driver")).canonicalFilePath()).fileName();
    port.byId = byIdLink(places.deviceDir, device);
    if (const auto usb = findUsbDevice(places.sysfsRoot, name)) {
        port.usb = true;
        port.vendorId = readSysfsAttribute(usb->deviceDir, "idVendor");
        port.productId = readSysfsAttribute(usb->deviceDir, "idProduct");
        port.manufacturer = readSysfsAttribute(usb->deviceDir, "manufacturer");
        port.product = readSysfsAttribute(usb->deviceDir, "product");
        port.serial = readSysfsAttribute(usb->deviceDir, "serial");
    }
    return port;
}

QList<ListedPort> listSerialPorts(const PortListPlaces &places)
{
    QStringList names = QDir(places.deviceDir)
                            .entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"), QStringLiteral("ttyS*"),
                                        QStringLiteral("ttyAMA*")},
                                       QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) { return listOrder(a) < listOrder(b); });
    QList<ListedPort> ports;
    for (const QString &name : names) {
        const QString device = places.deviceDir + QLatin1Char('/') + name;
        if (!isUsbName(name) && !uartAnswers(places.sysfsRoot, name, device))
            continue;
        ListedPort port = examinePort(device, places);
        port.usb = port.usb || isUsbName(name);
        port.holder = findPortHolder(device, places.procRoot);
        ports << port;
    }
    return ports;
}

} // namespace serial
