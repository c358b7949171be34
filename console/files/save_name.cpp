#include "save_name.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

namespace console {

FileKind fileKindAt(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return FileKind::Missing;
    return info.isFile() ? FileKind::Regular : FileKind::Other;
}

QString filterExtension(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\(\\*(\\.[^ *)]+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString filterForName(const QString &path, const QStringList &filters, const QString &chosen)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty())
        return chosen;
    for (const QString &filter : filters) {
        if (filterExtension(filter).compare(u'.' + suffix, Qt::CaseInsensitive) == 0)
            return filter;
    }
    return chosen;
}

SaveName resolveSaveName(const QString &typed, const QString &filter, bool appends,
                         const std::function<FileKind(const QString &)> &kindAt)
{
    if (kindAt(typed) == FileKind::Other)
        return {typed, {}};
    QString path = typed;
    if (QFileInfo(typed).suffix().isEmpty())
        path += filterExtension(filter);
    if (appends || kindAt(path) != FileKind::Regular)
        return {path, {}};
    return {path, QCoreApplication::translate("console::SaveName", "%1 already exists.\nDo you want to replace it?")
                      .arg(path)};
}

} // namespace console
