#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace desktop {

// The folder a program works in (Tavrin keeps TstHis.db there): by default
// the current folder; `--data-dir DIR` makes DIR the current folder first.
// The Windows Start-menu shortcuts pass --data-dir "%LOCALAPPDATA%\PLC Serial
// Kit", as the program folder under Program Files is not the user's to write.

// The option and its line of the --help text, shared by the three programs.
QString dataFolderOptionName();
QString dataFolderUsage();

// `text` with every %NAME% replaced by the environment variable NAME (as a
// Windows shortcut writes it). A % without a closing one stays as it is.
// Returns nothing, and names the variable in `missing`, when NAME is not set.
std::optional<QString> expandEnvironmentReferences(const QString &text, const QProcessEnvironment &environment,
                                                   QString *missing = nullptr);

// Expands `folder`, makes it (and its parents) when missing and makes it the
// process's current folder. Returns the reason, naming the folder, when any
// step fails; the current folder is then unchanged.
std::optional<QString> enterDataFolder(const QString &folder,
                                       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

} // namespace desktop
