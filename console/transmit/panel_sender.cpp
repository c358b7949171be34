#include "panel_sender.h"

namespace console {

PanelSender::PanelSender(std::array<serial::SerialControl *, 2> ports, QObject *parent)
    : QObject(parent)
    , m_ports(ports)
{
}

serial::SerialControl *PanelSender::port(int panel) const
{
    return panel == 0 || panel == 1 ? m_ports[panel] : nullptr;
}

QString PanelSender::portName(int panel) const
{
    const serial::SerialControl *control = port(panel);
    const QString side = panel == 0 ? QStringLiteral("left panel") : QStringLiteral("right panel");
    return control ? QStringLiteral("%1 (%2)").arg(control->device(), side) : side;
}

bool PanelSender::send(int panel, const QByteArray &bytes)
{
    serial::SerialControl *control = port(panel);
    // A fault closes the port; its cause is the better reason.
    if (control == nullptr || (!control->portOpen() && !control->hasFault())) {
        m_lastError = QStringLiteral("%1: the port is not open.").arg(portName(panel));
        return false;
    }
    if (control->hasFault() || !control->output(bytes)) {
        m_lastError = QStringLiteral("%1: %2").arg(portName(panel), control->lastError());
        return false;
    }
    emit sent(panel, bytes);
    return true;
}

} // namespace console
