#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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

} // namespace testsupport
