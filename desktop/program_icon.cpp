#include "desktop/program_icon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#ifndef KIT_NO_SVG_ICONS
#include <QSvgRenderer>
#endif

namespace desktop {

QIcon programIcon(const QString &name)
{
#ifdef KIT_NO_SVG_ICONS
    Q_UNUSED(name);
    return {};
#else
    QSvgRenderer svg(QStringLiteral(":/icons/%1.svg").arg(name));
    if (!svg.isValid())
        return {};
    // Pixels rendered here, rather than an SVG icon engine plugin found at run
    // time, so the icon cannot go missing with a plugin.
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        svg.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
#endif
}

void setProgramIcon(const QString &name)
{
    QGuiApplication::setWindowIcon(programIcon(name));
    QGuiApplication::setDesktopFileName(name);
}

} // namespace desktop
