#pragma once

#include <QIcon>
#include <QString>

namespace desktop {

// A program's icon, drawn from the SVG that is also installed for the desktop
// menu (share/icons/hicolor/scalable/apps/<name>.svg), rendered at the sizes
// title bars, task bars and switchers ask for (on Windows: from PNG files
// rendered at build time, 16 to 256 px). Null for a name the kit does not
// know. Needs a QGuiApplication.
QIcon programIcon(const QString &name);

// Gives every window of the program its icon, and names the desktop entry
// (<name>.desktop) that the window system matches the program's windows with.
void setProgramIcon(const QString &name);

} // namespace desktop
