#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace console {

// What a path names on disk, links followed.
enum class FileKind { Missing, Regular, Other };
FileKind fileKindAt(const QString &path);

// The extension a file-dialog filter stands for: ".bin" for
// "Raw bytes (*.bin)", the first of several, empty for "All files (*)".
QString filterExtension(const QString &filter);

// The filter whose type a file is written as: the one of `filters` whose
// extension the name ends in (in any case), so that a typed "ans.txt" is a
// ".txt" file whatever filter was left chosen; else `chosen`.
QString filterForName(const QString &path, const QStringList &filters, const QString &chosen);

// The file a save dialog's answer writes, and the question to ask before.
struct SaveName {
    QString path;
    QString question; // empty: nothing to ask
};

// `typed` as the user typed it, `filter` the one chosen. A name without an
// extension gets the filter's, so the question is about the file that will
// be written; a name that exists and is not a regular file (a device such
// as /dev/full, a folder) is used as typed and asked nothing, and its
// failure reports later. An existing regular file is asked about by its
// full path unless the writer `appends` to it.
SaveName resolveSaveName(const QString &typed, const QString &filter, bool appends,
                         const std::function<FileKind(const QString &)> &kindAt = fileKindAt);

} // namespace console
