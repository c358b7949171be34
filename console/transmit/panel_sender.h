#pragma once

#include "console/panel/panel.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>

namespace console {

// The one way out for every byte the history window sends (a row, a
// repeat, a file): a port panel, 0 the left and 1 the right. The panel
// notes each write as sent, for the traffic view; sent() announces it here
// too, with exactly the bytes written.
class PanelSender : public QObject {
    Q_OBJECT
public:
    explicit PanelSender(std::array<Panel *, 2> panels, QObject *parent = nullptr);

    // The panel's serial control, to read and watch; null when there is no
    // such panel.
    const serial::SerialControl *port(int panel) const;
    // How messages name the panel's port: "/dev/ttyUSB0 (left panel)".
    QString portName(int panel) const;
    // Writes the bytes as one piece. False, with the reason in lastError(),
    // when the port is not open, has failed or refused them; nothing was
    // written then.
    bool send(int panel, const QByteArray &bytes);
    QString lastError() const { return m_lastError; }

signals:
    void sent(int panel, const QByteArray &bytes);

private:
    Panel *panelAt(int panel) const;

    std::array<Panel *, 2> m_panels;
    QString m_lastError;
};

} // namespace console
