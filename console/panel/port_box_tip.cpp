#include "port_box_tip.h"

#include "serial/network_address.h"
#include "serial/port_list.h"

#include <QCoreApplication>

#include <QComboBox>
#include <QEvent>

namespace console {

QString portBoxToolTip(const QString &text, const PortPlaces &places)
{
    const serial::PortTextCheck checked = serial::checkPortText(text, places.deviceDir);
    if (!checked.address)
        return checked.refusal;
    if (const auto network = serial::checkNetworkPortText(text).address) {
        if (network->kind == serial::NetworkKind::Tcp)
            return QCoreApplication::translate("console::PortBoxTip", "Raw TCP device server %1\ntcp: settings fixed by the server")
                .arg(serial::serverText(*network));
        return QCoreApplication::translate("console::PortBoxTip", "RFC 2217 device server %1\nline settings sent from this panel")
            .arg(serial::serverText(*network));
    }
    return serial::portToolTip(checked.address->device, portListPlaces(places));
}

PortBoxTip::PortBoxTip(QComboBox *box, PortPlaces places)
    : QObject(box)
    , m_box(box)
    , m_places(std::move(places))
{
    connect(box, &QComboBox::currentTextChanged, this, &PortBoxTip::refresh);
    // The edit field has no tooltip of its own: its tooltip event comes to
    // the box.
    box->installEventFilter(this);
    refresh();
}

bool PortBoxTip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_box && event->type() == QEvent::ToolTip)
        refresh();
    return QObject::eventFilter(watched, event);
}

void PortBoxTip::refresh()
{
    m_box->setToolTip(portBoxToolTip(m_box->currentText(), m_places));
}

} // namespace console
