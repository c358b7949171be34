#pragma once

#include "serial/serial_control.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>

namespace console {

// The one way out for every byte the history window sends (a row, a
// repeat, a file): the serial control of a panel, 0 the left and 1 the
// right. Each write that the port took is announced with sent(), with
// exactly the bytes written, for whoever shows the traffic.
class PanelSender : public QObject {
    Q_OBJECT
public:
    explicit PanelSender(std::array<serial::SerialControl *, 2> ports, QObject *parent = nullptr);

    // Null when that panel has no control.
    serial::SerialControl *port(int panel) const;
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
    std::array<serial::SerialControl *, 2> m_ports;
    QString m_lastError;
};

} // namespace console
