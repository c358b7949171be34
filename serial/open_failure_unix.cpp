#include "open_failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace serial {

bool deviceExists(const QString &device)
{
    return QFileInfo::exists(device);
}

std::optional<DeviceNode> readDeviceNode(const QString &device)
{
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return std::nullopt;
    DeviceNode node;
    node.character = S_ISCHR(info.st_mode);
    node.number = node.character ? quint64(info.st_rdev) : quint64(info.st_dev);
    node.inode = quint64(info.st_ino);
    // Linux gives the slaves of pseudo-terminals the majors 136 to 143.
    node.pseudoTerminal = node.character && major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
    return node;
}

QString deviceGroup(const QString &device)
{
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return {};
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group *found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString::number(info.st_gid);
    return QString::fromLocal8Bit(found->gr_name);
}

namespace {

// The pseudo-terminal number of a slave path (/dev/pts/3), or -1.
int ptyIndex(const QString &canonicalPath)
{
    if (!canonicalPath.startsWith(QLatin1String("/dev/pts/")))
        return -1;
    bool number = false;
    const int index = canonicalPath.mid(9).toInt(&number);
    return number ? index : -1;
}

// Whether descriptor `fd` of a process is the master of pseudo-terminal
// `index`: its far end, which the kernel names in the descriptor's info.
bool isPtyMaster(const QDir &process, const QFileInfo &fd, int index)
{
    const QString target = fd.symLinkTarget();
    if (index < 0 || (target != QLatin1String("/dev/ptmx") && target != QLatin1String("/dev/pts/ptmx")))
        return false;
    QFile info(process.filePath(QStringLiteral("fdinfo/") + fd.fileName()));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : info.read(4096).split('\n')) {
        if (line.startsWith("tty-index:"))
            return line.mid(10).trimmed().toInt() == index;
    }
    return false;
}

// Every process that has the device open, by id; this one comes last. The
// descriptors of other users' processes are hidden to all but root, so only
// root sees every holder. A process that holds a pseudo-terminal's master is
// its far end, not a holder, even with the slave open too.
QList<PortHolder> portHolders(const QString &device, const QString &procRoot)
{
    // Descriptor links name the device itself, not a link to it.
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const int pty = ptyIndex(target);
    QDir proc(procRoot);
    QStringList pids = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    pids.removeIf([](const QString &name) {
        bool number = false;
        name.toLongLong(&number);
        return !number;
    });
    const qint64 self = QCoreApplication::applicationPid();
    const auto key = [self](const QString &pid) { return std::pair{pid.toLongLong() == self, pid.toLongLong()}; };
    std::sort(pids.begin(), pids.end(), [&](const QString &a, const QString &b) { return key(a) < key(b); });
    QList<PortHolder> holders;
    for (const QString &pid : pids) {
        const QDir process(proc.filePath(pid));
        const QFileInfoList fds =
            QDir(process.filePath(QStringLiteral("fd"))).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        const auto holds = [&](const QFileInfo &fd) { return fd.symLinkTarget() == target; };
        const auto farEnd = [&](const QFileInfo &fd) { return isPtyMaster(process, fd, pty); };
        if (std::any_of(fds.begin(), fds.end(), holds) && std::none_of(fds.begin(), fds.end(), farEnd))
            holders.append(PortHolder{pid.toLongLong(), processName(procRoot, pid.toLongLong())});
    }
    return holders;
}

} // namespace

std::optional<PortHolder> findPortHolder(const QString &device, const QString &procRoot)
{
    // Another process is the likelier culprit; this one (its other panel)
    // is named only when nobody else holds the device.
    const QList<PortHolder> holders = portHolders(device, procRoot);
    if (holders.isEmpty())
        return std::nullopt;
    return holders.first();
}

std::optional<PortHolder> findOtherPortHolder(const QString &device, const QString &procRoot)
{
    const auto holder = findPortHolder(device, procRoot);
    if (!holder || holder->pid == QCoreApplication::applicationPid())
        return std::nullopt;
    return holder;
}

} // namespace serial
