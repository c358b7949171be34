#include "receive_log.h"

#include "console/files/file_writer.h"

namespace console {

bool ReceiveLog::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    // Unbuffered: each append reaches the system at once, and a failure
    // shows at the append that met it, with the system's reason.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    m_error = m_file.errorString();
    return false;
}

bool ReceiveLog::append(const ByteStore &store, qint64 first, qint64 count)
{
    if (!m_file.isOpen())
        return false;
    bool ok = true;
    store.forEachSpan(first, count, [&](QByteArrayView piece) { ok = ok && writeWhole(m_file, piece); });
    if (!ok) {
        m_error = m_file.errorString();
        m_file.close();
    }
    return ok;
}

void ReceiveLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

} // namespace console
