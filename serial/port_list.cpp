#include "port_list.h"

#include <QCoreApplication>
#include <QStringList>

namespace serial {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("serial::PortList", text);
}

// "Silicon Labs CP2102 (10c4:ea60)", leaving out what the adapter lacks.
QString adapterText(const ListedPort &port)
{
    QStringList words;
    for (const QString &word : {port.manufacturer, port.product}) {
        if (!word.isEmpty())
            words << word;
    }
    words << QStringLiteral("(%1:%2)").arg(port.vendorId, port.productId);
    return words.join(u' ');
}

} // namespace

QString describeListedPort(const ListedPort &port)
{
    QStringList parts{port.usb ? tr("USB adapter %1").arg(adapterText(port)) : tr("on-board port")};
    if (!port.serial.isEmpty())
        parts << tr("serial %1").arg(port.serial);
    if (!port.driver.isEmpty())
        parts << tr("driver %1").arg(port.driver);
    if (!port.byId.isEmpty())
        parts << port.byId;
    if (port.holder)
        parts << tr("in use by %1 (process %2)").arg(port.holder->name).arg(port.holder->pid);
    return port.device + QStringLiteral("  ") + parts.join(QStringLiteral(", "));
}

QString describePortList(const QList<ListedPort> &ports)
{
    if (ports.isEmpty())
        return tr("No serial ports were found on this machine.");
    QStringList lines;
    for (const ListedPort &port : ports)
        lines << describeListedPort(port);
    return lines.join(u'\n');
}

QString portToolTip(const QString &device, const PortListPlaces &places)
{
    QStringList lines{device};
    if (!deviceExists(device)) {
        lines << tr("No such device at present.");
        return lines.join(u'\n');
    }
    const ListedPort port = examinePort(device, places);
    if (port.usb) {
        lines << tr("Vendor: %1 (%2)").arg(port.manufacturer.isEmpty() ? tr("unnamed") : port.manufacturer, port.vendorId)
              << tr("Product: %1 (%2)").arg(port.product.isEmpty() ? tr("unnamed") : port.product, port.productId)
              << tr("Serial: %1").arg(port.serial.isEmpty() ? tr("none") : port.serial);
    }
    return lines.join(u'\n');
}

} // namespace serial
