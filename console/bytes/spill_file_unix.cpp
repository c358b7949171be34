#include "spill_file.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace console {

namespace {

int createNameless(const QByteArray &folder, bool atOnce)
{
#ifdef O_TMPFILE
    const int fd = atOnce ? ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
    // Not every file system makes files without a name.
    if (fd >= 0 || (atOnce && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
#else
    Q_UNUSED(atOnce);
#endif
    // Named for an instant: the name goes before anything is written.
    QByteArray name = folder + "/spill-XXXXXX";
    const int fd2 = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd2 >= 0 && ::unlink(name.constData()) != 0) {
        const int error = errno;
        ::close(fd2);
        errno = error;
        return -1;
    }
    return fd2;
}

} // namespace

bool SpillFile::fail(const QString &what)
{
    m_error = QStringLiteral("%1 in %2: %3").arg(what, QDir::toNativeSeparators(m_folder),
                                                QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool SpillFile::create(Making making)
{
    const int fd = createNameless(QFile::encodeName(m_folder), making == Making::Nameless);
    if (fd < 0)
        return fail(QStringLiteral("could not create a file"));
    m_handle = fd;
    return true;
}

bool SpillFile::write(qint64 offset, std::span<const QByteArrayView> pieces)
{
    std::vector<iovec> parts;
    parts.reserve(pieces.size());
    for (QByteArrayView piece : pieces)
        parts.push_back(iovec{const_cast<char *>(piece.data()), size_t(piece.size())});
    size_t next = 0;
    while (next < parts.size()) {
        const int n = int(std::min<size_t>(parts.size() - next, IOV_MAX));
        const ssize_t written = ::pwritev(int(m_handle), parts.data() + next, n, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            // A write that stops short without an error says why at the next.
            if (written == 0)
                errno = ENOSPC;
            return fail(QStringLiteral("could not write"));
        }
        offset += written;
        // Skips the pieces written, and what was written of the next one.
        for (size_t left = size_t(written); left > 0;) {
            iovec &part = parts[next];
            const size_t taken = std::min(left, part.iov_len);
            part.iov_base = static_cast<char *>(part.iov_base) + taken;
            part.iov_len -= taken;
            left -= taken;
            if (part.iov_len == 0)
                ++next;
        }
        while (next < parts.size() && parts[next].iov_len == 0)
            ++next;
    }
    return true;
}

bool SpillFile::read(qint64 offset, char *into, qint64 count)
{
    while (count > 0) {
        const ssize_t n = ::pread(int(m_handle), into, size_t(count), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return fail(QStringLiteral("could not read"));
        }
        into += n;
        offset += n;
        count -= n;
    }
    return true;
}

bool SpillFile::truncate(qint64 size)
{
    return ::ftruncate(int(m_handle), size) == 0 || fail(QStringLiteral("could not shorten the file"));
}

void SpillFile::close()
{
    if (isOpen())
        ::close(int(m_handle));
    m_handle = kClosed;
}

} // namespace console
