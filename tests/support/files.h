#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QString>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

// The bytes of a file, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Makes the file anew with these bytes; false when that failed.
inline bool writeFile(const QString &path, const QByteArray &bytes = {})
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The fields of one CSV line (RFC 4180 quoting).
inline QStringList csvFields(const QByteArray &line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char ch = line[i];
        if (quoted && ch == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.last() += QLatin1Char('"'), ++i;
        else if (ch == '"')
            quoted = !quoted;
        else if (ch == ',' && !quoted)
            fields << QString();
        else
            fields.last() += QLatin1Char(ch);
    }
    return fields;
}

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

// Cuts the file this process holds open in `folder` to `bytes`, behind the
// back of whoever reads it (as a failing disk would lose what it held);
// false when there is no such file.
inline bool shortenOpenFileIn(const QString &folder, qint64 bytes)
{
    const QString fds = QStringLiteral("/proc/self/fd");
    for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray link = (fds + QLatin1Char('/') + fd).toLocal8Bit();
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target);
        if (n > 0 && QString::fromLocal8Bit(target, int(n)).startsWith(folder + QLatin1Char('/')))
            return ::truncate(link.constData(), off_t(bytes)) == 0;
    }
    return false;
}

// While alive, no file of this process may grow past `bytes`, as on a full
// disk: a write past it fails (EFBIG, "File too large") instead of raising
// SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace testsupport
