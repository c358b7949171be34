#include "desktop/program_icon.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#ifndef KIT_PNG_ICONS
#include <QSvgRenderer>
#endif

namespace desktop {

namespace {
// Title bars ask for 16 to 24 pixels, task bars and switchers up to 256.
constexpr int kSides[] = {16, 22, 24, 32, 48, 64, 128, 256};
} // namespace

QIcon programIcon(const QString &name)
{
    QIcon icon;
#ifdef KIT_PNG_ICONS
    // Rendered from the SVG at build time, at the sizes the .ico holds (Qt
    // for Windows is built without its SVG module).
    for (const int side : kSides) {
        const QString file = QStringLiteral(":/icons/%1-%2.png").arg(name).arg(side);
        if (QFile::exists(file))
            icon.addFile(file, QSize(side, side));
    }
#else
    QSvgRenderer svg(QStringLiteral(":/icons/%1.svg").arg(name));
    if (!svg.isValid())
        return {};
    // Pixels rendered here, rather than an SVG icon engine plugin found at run
    // time, so the icon cannot go missing with a plugin.
    for (const int side : kSides) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        svg.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
#endif
    return icon;
}

void setProgramIcon(const QString &name)
{
    QGuiApplication::setWindowIcon(programIcon(name));
    QGuiApplication::setDesktopFileName(name);
}

} // namespace desktop
