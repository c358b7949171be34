#include "file_writer.h"

#ifdef Q_OS_UNIX
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

FileWriter::FileWriter(const QString &path)
    : m_path(path)
{
}

bool FileWriter::open()
{
    m_file.emplace(m_path);
    if (m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return true;
    m_error = m_file->errorString();
    return fail();
}

bool FileWriter::fail()
{
    cancel();
    return false;
}

bool FileWriter::write(QByteArrayView bytes)
{
    if (!m_file) {
        m_error = QStringLiteral("the file is not open");
        return false;
    }
    if (writeWhole(*m_file, bytes))
        return true;
    m_error = m_file->errorString();
    return fail();
}

void FileWriter::cancel()
{
    m_file.reset();
}

bool FileWriter::commit()
{
    if (!m_file) {
        m_error = QStringLiteral("the file is not open");
        return false;
    }
#ifdef Q_OS_UNIX
    // The commit below syncs too, but takes no notice of a failure: a disk
    // that could not keep the bytes is told here, before the rename.
    if (::fsync(m_file->handle()) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return fail();
    }
#endif
    const bool done = m_file->commit();
    if (!done)
        m_error = m_file->errorString();
    m_file.reset();
    return done;
}

} // namespace console
