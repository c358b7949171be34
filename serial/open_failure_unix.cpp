#include "open_failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace serial {

bool deviceExists(const QString &device)
{
    return QFileInfo::exists(device);
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

std::optional<PortHolder> findPortHolder(const QString &device, const QString &procRoot)
{
    // Descriptor links name the device itself, not a link to it.
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return std::nullopt;
    QDir proc(procRoot);
    QStringList pids = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    pids.removeIf([](const QString &name) {
        bool number = false;
        name.toLongLong(&number);
        return !number;
    });
    std::sort(pids.begin(), pids.end(), [](const QString &a, const QString &b) { return a.toLongLong() < b.toLongLong(); });
    // Another process is the likelier culprit; this one (its other panel)
    // is named only when nobody else holds the device.
    const QString self = QString::number(QCoreApplication::applicationPid());
    std::optional<PortHolder> selfHolds;
    for (const QString &pid : pids) {
        // Processes of other users hide their descriptors; they are skipped.
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        const QFileInfoList links = fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        if (std::none_of(links.begin(), links.end(), [&](const QFileInfo &fd) { return fd.symLinkTarget() == target; }))
            continue;
        QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
        QString name;
        if (comm.open(QIODevice::ReadOnly))
            name = QString::fromLocal8Bit(comm.readAll()).trimmed();
        const PortHolder holder{pid.toLongLong(), name};
        if (pid != self)
            return holder;
        selfHolds = holder;
    }
    return selfHolds;
}

} // namespace serial
