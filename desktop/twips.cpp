#include "twips.h"

#include <QWidget>
#include <cmath>

namespace desktop {

int twipsToPixels(int twips, qreal logicalDpi)
{
    return int(std::lround(twips * logicalDpi / 1440.0));
}

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    const qreal dpi = w->logicalDpiY();
    w->setGeometry(twipsToPixels(left, dpi), twipsToPixels(top, dpi),
                   twipsToPixels(width, dpi), twipsToPixels(height, dpi));
}

void sizeClientTwips(QWidget *window, int width, int height)
{
    const qreal dpi = window->logicalDpiY();
    window->setFixedSize(twipsToPixels(width, dpi), twipsToPixels(height, dpi));
}

} // namespace desktop
