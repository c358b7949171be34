#pragma once

#include "console/panel/adapter_return.h"

#include <QObject>

#include <functional>

class QComboBox;

namespace console {

// What a port box's text stands for, as its tooltip: the device path and,
// for a USB adapter, its vendor, product and serial; for a text that names
// no port, why not.
QString portBoxToolTip(const QString &text, const PortPlaces &places);

// The tooltip's line on the line settings: those of the open port
// ("Settings in use: 115200,n,8,1"), else those Start would use ("Settings
// at Start: ..."); "(Other Baud Rate)" follows a rate no button shows.
QString settingsTipLine(const QString &settings, bool open);

// Keeps a port box's tooltip on what its text stands for: set when the text
// changes, and again just before the tooltip shows, since an adapter may
// have come or gone in between. Only sysfs and the device folder are read,
// never the process table, so a keystroke stays cheap. `lastLine`, when
// given, is asked each time for a line below (the settings).
class PortBoxTip : public QObject {
    Q_OBJECT
public:
    PortBoxTip(QComboBox *box, PortPlaces places, std::function<QString()> lastLine = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    QComboBox *m_box;
    PortPlaces m_places;
    std::function<QString()> m_lastLine;
};

} // namespace console
