#pragma once

#include <QRect>

class QWidget;

namespace desktop {

// Window geometry is designed in twips (1/1440 inch). Pixels follow the
// screen's logical DPI, so the layout keeps its proportions on dense screens.
int twipsToPixels(int twips, qreal logicalDpi);

// Places `w` at (left, top, width, height) twips within its parent.
void placeTwips(QWidget *w, int left, int top, int width, int height);

// Sets a window's client area to width × height twips and fixes its size.
void sizeClientTwips(QWidget *window, int width, int height);

} // namespace desktop
