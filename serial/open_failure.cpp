#include "open_failure.h"

#include <QCoreApplication>
#include <QStringList>

namespace serial {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("serial::OpenFailure", text);
}

QString holderText(const PortHolder &holder)
{
    return tr("%1 (process %2)").arg(holder.name.isEmpty() ? tr("a program") : holder.name).arg(holder.pid);
}

} // namespace

QString describeOpenFailure(const OpenFailure &f)
{
    QStringList lines;
    if (f.systemReason.contains(f.device))
        lines << f.systemReason;
    else if (f.systemReason.isEmpty())
        lines << f.device;
    else
        lines << f.device + QStringLiteral(": ") + f.systemReason;
    switch (f.kind) {
    case OpenFailureKind::Missing:
        if (f.portNumber > 0)
            lines << tr("Port %1 is %2, and no such device exists.").arg(f.portNumber).arg(f.device);
        else
            lines << tr("No such device exists.");
        lines << tr("Check that the adapter is plugged in.");
        break;
    case OpenFailureKind::Permission: {
        // A device readable by root alone has nothing to join; the usual
        // serial group is then the best hint.
        const bool knownGroup = !f.group.isEmpty() && f.group != QLatin1String("root");
        const QString group = knownGroup ? f.group : QStringLiteral("dialout");
        lines << (knownGroup ? tr("Permission denied: the device belongs to the group \"%1\".")
                             : tr("Permission denied: serial devices usually belong to the group \"%1\"."))
                     .arg(group);
        lines << tr("To use it, join that group:") << QStringLiteral("sudo usermod -aG %1 $USER").arg(group)
              << tr("then log out and log in again.");
        break;
    }
    case OpenFailureKind::Busy:
        if (f.holder)
            lines << tr("The device is in use by %1.").arg(holderText(*f.holder));
        else
            lines << tr("The device is in use by another program.");
        break;
    case OpenFailureKind::Other:
        break;
    }
    return lines.join(QStringLiteral("\r\n"));
}

OpenFailure examineOpenFailure(const QString &device, int portNumber, const QString &systemReason,
                               SerialPort::SerialPortError error, const QString &procRoot)
{
    OpenFailure f;
    f.device = device;
    f.portNumber = portNumber;
    f.systemReason = systemReason;
    if (error == SerialPort::DeviceNotFoundError || !deviceExists(device)) {
        f.kind = OpenFailureKind::Missing;
        return f;
    }
    f.holder = findPortHolder(device, procRoot);
    if (f.holder) {
        f.kind = OpenFailureKind::Busy;
    } else if (error == SerialPort::PermissionError) {
        f.kind = OpenFailureKind::Permission;
        f.group = deviceGroup(device);
    }
    return f;
}

} // namespace serial
