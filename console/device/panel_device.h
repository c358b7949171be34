#pragma once

#include "console/panel/panel.h"
#include "protocol/modbus_device.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace console {

// Time one character takes on a line of these settings ("9600,n,8,1":
// start, data, parity and stop bits), in microseconds; 0 for a settings
// text that is none.
qint64 byteTimeUs(const QString &settings);

// A panel answering as a Modbus RTU device: what the panel shows is fed to
// the device, and each answer goes out through the panel's own send, so
// that it is a "sent" row of the traffic view like any other. The panel is
// polled by its owner (the window's timer, or the command's); answering
// stops when this object goes.
class PanelDevice : public QObject {
    Q_OBJECT
public:
    PanelDevice(Panel &panel, protocol::ModbusAnswerer &answerer, const protocol::ModbusDevice::Options &options,
                QObject *parent = nullptr);
    ~PanelDevice() override;

    void setReplyDelayMs(int ms);
    const protocol::ModbusDevice::Counts &counts() const { return m_device.counts(); }
    // Whether every byte the panel shows has been fed to the device, so that
    // the panel may be cleared without losing a request.
    bool caughtUp() const;

signals:
    // A request was handled (its writes are in the table already).
    void exchanged(const protocol::Exchange &exchange);
    // An answer went out to the panel's port.
    void answerSent();
    // An answer could not be sent; the reason.
    void sendFailed(const QString &reason);

private:
    void takeShown();
    void sendDue();
    void schedule();
    qint64 nowUs() const;

    Panel &m_panel;
    protocol::ModbusDevice m_device;
    // How far the panel's shown bytes were fed.
    qint64 m_fed = 0;
    QTimer m_due;
    QTimer m_idle;
};

} // namespace console
