#include "panel_sender.h"

namespace console {

PanelSender::PanelSender(std::array<Panel *, 2> panels, QObject *parent)
    : QObject(parent)
    , m_panels(panels)
{
}

Panel *PanelSender::panelAt(int panel) const
{
    return panel == 0 || panel == 1 ? m_panels[panel] : nullptr;
}

const serial::SerialControl *PanelSender::port(int panel) const
{
    const Panel *p = panelAt(panel);
    return p ? &p->control() : nullptr;
}

QString PanelSender::portName(int panel) const
{
    const serial::SerialControl *control = port(panel);
    const QString side = panel == 0 ? QStringLiteral("left panel") : QStringLiteral("right panel");
    return control ? QStringLiteral("%1 (%2)").arg(control->device(), side) : side;
}

bool PanelSender::send(int panel, const QByteArray &bytes)
{
    Panel *target = panelAt(panel);
    QString reason = QStringLiteral("the port is not open.");
    if (target == nullptr || !target->send(bytes, &reason)) {
        m_lastError = QStringLiteral("%1: %2").arg(portName(panel), reason);
        return false;
    }
    emit sent(panel, bytes);
    return true;
}

} // namespace console
