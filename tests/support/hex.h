#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// Bytes written out as hex pairs, blanks between them or not:
// hex("01 03 00 00") is the four bytes 01 03 00 00.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Bytes as upper-case hex pairs separated by blanks ("01 03 00 00"), as
// the tests write their expectations.
inline QString spaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace testsupport
