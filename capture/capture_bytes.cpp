#include "capture_bytes.h"

#include <QObject>

#include <algorithm>

namespace capture {

namespace {
// Windows begin on a page (the mapping itself goes down to the system's
// granularity), so that reads going back a little stay in one.
constexpr qint64 kAlign = 4096;
} // namespace

FileWindows::FileWindows(qint64 window)
    : m_window(std::max<qint64>(window, kAlign))
{
}

FileWindows::~FileWindows()
{
    unmap();
}

bool FileWindows::open(const QString &path)
{
    unmap();
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        return false;
    }
    m_size = m_file.size();
    return true;
}

void FileWindows::unmap()
{
    if (m_map)
        m_file.unmap(m_map);
    m_map = nullptr;
    m_start = m_length = 0;
}

const uchar *FileWindows::bytes(qint64 at, qint64 length)
{
    if (at < 0 || length < 0 || at > m_size || length > m_size - at) {
        m_error = QObject::tr("bytes %1 to %2 are not in the file of %3 bytes").arg(at).arg(at + length).arg(m_size);
        return nullptr;
    }
    if (m_map && at >= m_start && at + length <= m_start + m_length)
        return m_map + (at - m_start);
    static const uchar none = 0;
    if (length == 0)
        return &none;
    unmap();
    const qint64 start = at - at % kAlign;
    const qint64 span = std::min(m_size - start, std::max(m_window, at - start + length));
    m_map = m_file.map(start, span);
    if (!m_map) {
        m_error = QObject::tr("%1 bytes from byte %2 cannot be mapped: %3").arg(span).arg(start).arg(m_file.errorString());
        return nullptr;
    }
    ++m_mappings;
    m_start = start;
    m_length = span;
    return m_map + (at - m_start);
}

bool FileWindows::append(qint64 at, qint64 length, QByteArray &out)
{
    const qsizetype old = out.size();
    while (length > 0) {
        // Within the window where it can, else a window's worth.
        const qint64 inWindow = m_map && at >= m_start && at < m_start + m_length ? m_start + m_length - at : 0;
        const qint64 take = inWindow > 0 ? std::min(length, inWindow) : std::min(length, m_window - at % kAlign);
        const uchar *p = bytes(at, take);
        if (!p) {
            out.truncate(old);
            return false;
        }
        out.append(reinterpret_cast<const char *>(p), qsizetype(take));
        at += take;
        length -= take;
    }
    return true;
}

} // namespace capture
