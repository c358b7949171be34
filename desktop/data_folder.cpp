#include "desktop/data_folder.h"

#include <QDir>

namespace desktop {

QString dataFolderOptionName() { return QStringLiteral("data-dir"); }

QString dataFolderUsage()
{
    return QStringLiteral("Every program also takes:\n"
                          "  --data-dir DIR  work in folder DIR, made when missing (Tavrin keeps its\n"
                          "                  history file there); %NAME% in DIR is the environment\n"
                          "                  variable NAME\n");
}

std::optional<QString> expandEnvironmentReferences(const QString &text, const QProcessEnvironment &environment,
                                                   QString *missing)
{
    QString expanded;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype open = text.indexOf(u'%', from);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u'%', open + 1);
        if (close < 0) {
            expanded += text.mid(from);
            break;
        }
        const QString name = text.mid(open + 1, close - open - 1);
        if (!environment.contains(name)) {
            if (missing)
                *missing = name;
            return std::nullopt;
        }
        expanded += text.mid(from, open - from) + environment.value(name);
        from = close + 1;
    }
    return expanded;
}

std::optional<QString> enterDataFolder(const QString &folder, const QProcessEnvironment &environment)
{
    QString missing;
    const std::optional<QString> path = expandEnvironmentReferences(folder, environment, &missing);
    if (!path)
        return QStringLiteral("Cannot use the data folder %1: the environment has no %2.").arg(folder, missing);
    if (path->isEmpty())
        return QStringLiteral("The data folder is empty.");
    const QString shown = QDir::toNativeSeparators(*path);
    if (!QDir().mkpath(*path))
        return QStringLiteral("Cannot make the data folder %1.").arg(shown);
    if (!QDir::setCurrent(*path))
        return QStringLiteral("Cannot enter the data folder %1.").arg(shown);
    return std::nullopt;
}

} // namespace desktop
