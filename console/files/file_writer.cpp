#include "file_writer.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace console {

bool writeWhole(QFileDevice &file, QByteArrayView bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        // After a part was taken, the next call meets the failure itself
        // and keeps its reason.
        const qint64 written = file.write(bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += qsizetype(written);
    }
    return true;
}

bool syncToDisk(QFileDevice &file, QString *reason)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(reason);
#endif
    return true;
}

namespace {

// Whether `path` names something that exists and is neither a regular file
// nor a folder: a device node, a FIFO, a socket.
bool isSpecialFile(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
#else
    Q_UNUSED(path);
    return false;
#endif
}

} // namespace

FileWriter::FileWriter(const QString &path, SyncToDisk sync)
    : m_path(path)
    , m_sync(sync)
{
}

QFileDevice *FileWriter::file()
{
    if (m_inPlace)
        return &*m_inPlace;
    if (m_file)
        return &*m_file;
    return nullptr;
}

bool FileWriter::open()
{
    if (isSpecialFile(m_path))
        return openInPlace();
    m_file.emplace(m_path);
    if (m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return true;
    m_error = m_file->errorString();
    return fail();
}

bool FileWriter::openInPlace()
{
#ifdef Q_OS_UNIX
    // Not blocking at the open: a FIFO nobody reads refuses at once (ENXIO)
    // instead of holding the window until a reader comes. The writes then
    // wait for the reader as a file's would for the disk.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_inPlace.emplace(m_path);
    if (m_inPlace->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    m_error = m_inPlace->errorString();
    return fail();
#else
    return false;
#endif
}

bool FileWriter::fail()
{
    cancel();
    return false;
}

bool FileWriter::write(QByteArrayView bytes)
{
    QFileDevice *target = file();
    if (!target) {
        m_error = QStringLiteral("the file is not open");
        return false;
    }
    if (writeWhole(*target, bytes))
        return true;
    m_error = target->errorString();
    return fail();
}

void FileWriter::cancel()
{
    m_file.reset();
    m_inPlace.reset();
}

bool FileWriter::commit()
{
    if (m_inPlace) {
        // Every write went to the node as it came; there is nothing to
        // put in place.
        m_inPlace.reset();
        return true;
    }
    if (!m_file) {
        m_error = QStringLiteral("the file is not open");
        return false;
    }
    // The commit below syncs too, but takes no notice of a failure: a disk
    // that could not keep the bytes is told here, before the rename.
    if (!m_sync(*m_file, &m_error))
        return fail();
    const bool done = m_file->commit();
    if (!done)
        m_error = m_file->errorString();
    m_file.reset();
    return done;
}

} // namespace console
