#include "spill_file.h"

#include <QDir>
#include <QRandomGenerator>

#include <windows.h>

namespace console {

namespace {

HANDLE handleOf(std::intptr_t h)
{
    return reinterpret_cast<HANDLE>(h);
}

OVERLAPPED at(qint64 offset)
{
    OVERLAPPED place{};
    place.Offset = DWORD(quint64(offset) & 0xFFFFFFFFu);
    place.OffsetHigh = DWORD(quint64(offset) >> 32);
    return place;
}

} // namespace

bool SpillFile::fail(const QString &what)
{
    const DWORD code = ::GetLastError();
    wchar_t *text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString reason = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(code);
    ::LocalFree(text);
    m_error = QStringLiteral("%1 in %2: %3").arg(what, QDir::toNativeSeparators(m_folder), reason);
    return false;
}

bool SpillFile::create(Making)
{
    // Windows removes the file when its last handle closes, which it does
    // for a process that ends in any way; until then nobody else opens it.
    const QString name = QDir(m_folder).filePath(
        QStringLiteral("spill-%1-%2.tmp").arg(::GetCurrentProcessId()).arg(QRandomGenerator::global()->generate64(), 0, 16));
    const HANDLE h = ::CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(name).utf16()),
                                   GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fail(QStringLiteral("could not create a file"));
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool SpillFile::write(qint64 offset, std::span<const QByteArrayView> pieces)
{
    for (QByteArrayView piece : pieces) {
        OVERLAPPED place = at(offset);
        DWORD written = 0;
        if (!::WriteFile(handleOf(m_handle), piece.data(), DWORD(piece.size()), &written, &place))
            return fail(QStringLiteral("could not write"));
        if (written != DWORD(piece.size())) {
            ::SetLastError(ERROR_DISK_FULL);
            return fail(QStringLiteral("could not write"));
        }
        offset += piece.size();
    }
    return true;
}

bool SpillFile::read(qint64 offset, char *into, qint64 count)
{
    OVERLAPPED place = at(offset);
    DWORD got = 0;
    if (!::ReadFile(handleOf(m_handle), into, DWORD(count), &got, &place))
        return fail(QStringLiteral("could not read"));
    if (got != DWORD(count)) {
        ::SetLastError(ERROR_HANDLE_EOF);
        return fail(QStringLiteral("could not read"));
    }
    return true;
}

bool SpillFile::truncate(qint64 size)
{
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (!::SetFilePointerEx(handleOf(m_handle), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(handleOf(m_handle)))
        return fail(QStringLiteral("could not shorten the file"));
    return true;
}

void SpillFile::close()
{
    if (isOpen())
        ::CloseHandle(handleOf(m_handle));
    m_handle = kClosed;
}

} // namespace console
