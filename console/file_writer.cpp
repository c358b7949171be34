#include "file_writer.h"

namespace console {

FileWriter::FileWriter(const QString &path)
    : m_file(path)
{
}

bool FileWriter::open()
{
    if (m_file.open(QIODevice::WriteOnly))
        return true;
    m_error = m_file.errorString();
    return false;
}

bool FileWriter::write(QByteArrayView bytes)
{
    if (m_file.write(bytes.data(), bytes.size()) == bytes.size())
        return true;
    m_error = m_file.errorString();
    m_file.cancelWriting();
    return false;
}

void FileWriter::cancel()
{
    m_file.cancelWriting();
}

bool FileWriter::commit()
{
    if (m_file.commit())
        return true;
    m_error = m_file.errorString();
    return false;
}

} // namespace console
