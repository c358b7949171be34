#include "receive_log.h"

namespace console {

bool ReceiveLog::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return true;
    m_error = m_file.errorString();
    return false;
}

bool ReceiveLog::append(const ByteStore &store, qint64 first, qint64 count)
{
    if (!m_file.isOpen())
        return false;
    bool ok = true;
    store.forEachSpan(first, count, [&](QByteArrayView piece) {
        ok = ok && m_file.write(piece.data(), piece.size()) == piece.size();
    });
    // A full disk often shows only when the bytes are handed over.
    ok = ok && m_file.flush();
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
