#include "open_failure.h"

#include "serial/network_address.h"

#include "serial/serial_control.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// Another user's lock file (the usual case: one of ours the serial port
// would have removed itself) goes only with the administrator's rights.
QString removeCommand(const QString &lockFile)
{
    return QStringLiteral("sudo rm %1").arg(lockFile);
}

// What a lock file says: the first line is the id of the process that wrote
// it, the second (where there is one) that program's name.
struct LockContents {
    qint64 pid = 0;
    QString name;
};

std::optional<LockContents> readLockFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.read(4096).split('\n');
    // toLongLong() would end the number at a NUL and take what came before.
    const QByteArray first = lines.value(0).trimmed();
    bool number = false;
    const qint64 pid = first.toLongLong(&number);
    if (!number || pid <= 0 || first.contains('\0'))
        return std::nullopt;
    return LockContents{pid, QString::fromLocal8Bit(lines.value(1).trimmed())};
}

// Why the serial port could not take the device's lock file, if it is the
// cause: held by a running process, left by a dead one, or unreadable.
void examineLockFile(OpenFailure &f, const SystemPlaces &places)
{
    f.lockFile = findLockFile(f.device, places.lockDirs);
    if (f.lockFile.isEmpty())
        return;
    const auto contents = readLockFile(f.lockFile);
    if (!contents) {
        f.kind = OpenFailureKind::LockUnreadable;
        return;
    }
    const QString running = processName(places.procRoot, contents->pid);
    const bool alive = QFileInfo::exists(QStringLiteral("%1/%2").arg(places.procRoot).arg(contents->pid));
    f.kind = alive ? OpenFailureKind::Busy : OpenFailureKind::LockStale;
    f.holder = PortHolder{contents->pid, running.isEmpty() ? contents->name : running};
}

} // namespace

QString findLockFile(const QString &device, const QStringList &lockDirs)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name = QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &dir : lockDirs) {
        const QString path = QDir(dir).filePath(name);
        if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
            return path;
    }
    return {};
}

QString processName(const QString &procRoot, qint64 pid)
{
    QFile comm(QStringLiteral("%1/%2/comm").arg(procRoot).arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.read(256)).trimmed();
}

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
        if (!f.lockFile.isEmpty())
            lines << tr("It holds the lock file %1.").arg(f.lockFile);
        break;
    case OpenFailureKind::LockStale:
        lines << tr("The lock file %1 was left by %2, which no longer runs.")
                     .arg(f.lockFile, f.holder ? holderText(*f.holder) : tr("a program"))
              << tr("Remove it, then open the port again:") << removeCommand(f.lockFile);
        break;
    case OpenFailureKind::LockUnreadable:
        lines << tr("The lock file %1 cannot be read, so it does not tell which program holds the device.")
                     .arg(f.lockFile)
              << tr("If no program uses the device, remove it, then open the port again:")
              << removeCommand(f.lockFile);
        break;
    case OpenFailureKind::Other:
        break;
    }
    return lines.join(QStringLiteral("\r\n"));
}

OpenFailure examineOpenFailure(const QString &device, int portNumber, const QString &systemReason,
                               SerialPort::SerialPortError error, const SystemPlaces &places)
{
    OpenFailure f;
    f.device = device;
    f.portNumber = portNumber;
    f.systemReason = systemReason;
    if (error == SerialPort::DeviceNotFoundError || !deviceExists(device)) {
        f.kind = OpenFailureKind::Missing;
        return f;
    }
    f.holder = findPortHolder(device, places.procRoot);
    if (f.holder) {
        f.kind = OpenFailureKind::Busy;
        return f;
    }
    if (error != SerialPort::PermissionError)
        return f;
    // The lock file is taken before the device is opened: when it stopped
    // the open, the device's own permissions were never tried.
    examineLockFile(f, places);
    if (f.kind == OpenFailureKind::Other) {
        f.kind = OpenFailureKind::Permission;
        f.group = deviceGroup(device);
    }
    return f;
}

QString explainFailedOpen(const SerialControl &control, const SystemPlaces &places)
{
    // A server's port has no device, lock file or group to look into: the
    // cause (host not found, refused, no answer, a refused setting) is all.
    if (isNetworkPortText(control.device()))
        return control.lastError();
    return describeOpenFailure(examineOpenFailure(control.device(), control.commPort(), control.lastError(),
                                                  control.lastOpenFailure().error, places));
}

} // namespace serial
