#pragma once

#include "console/panel/adapter_return.h"

#include <QObject>

class QComboBox;

namespace console {

// What a port box's text stands for, as its tooltip: the device path and,
// for a USB adapter, its vendor, product and serial; for a text that names
// no port, why not.
QString portBoxToolTip(const QString &text, const PortPlaces &places);

// Keeps a port box's tooltip on what its text stands for: set when the text
// changes, and again just before the tooltip shows, since an adapter may
// have come or gone in between. Only sysfs and the device folder are read,
// never the process table, so a keystroke stays cheap.
class PortBoxTip : public QObject {
    Q_OBJECT
public:
    PortBoxTip(QComboBox *box, PortPlaces places);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    QComboBox *m_box;
    PortPlaces m_places;
};

} // namespace console
