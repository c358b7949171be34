#pragma once

#include <QDir>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

// Size of the file this process holds open in `folder`, or -1 when it holds
// none there. Finds files without a name too (a file made nameless or
// unlinked still names its folder in /proc/self/fd).
inline qint64 openFileBytesIn(const QString &folder)
{
    const QString fds = QStringLiteral("/proc/self/fd");
    for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray link = (fds + QLatin1Char('/') + fd).toLocal8Bit();
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target);
        struct stat info {};
        if (n > 0 && QString::fromLocal8Bit(target, int(n)).startsWith(folder + QLatin1Char('/'))
            && ::stat(link.constData(), &info) == 0)
            return info.st_size;
    }
    return -1;
}

} // namespace testsupport
