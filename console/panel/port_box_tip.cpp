#include "port_box_tip.h"

#include "console/panel/panel_options.h"
#include "serial/network_address.h"
#include "serial/port_list.h"

#include <QCoreApplication>

#include <QComboBox>
#include <QEvent>

#include <algorithm>

namespace console {

QString portBoxToolTip(const QString &text, const PortPlaces &places)
{
    const serial::PortTextCheck checked = serial::checkPortText(text, places.deviceDir);
    if (!checked.address)
        return checked.refusal;
    if (const auto network = serial::checkNetworkPortText(text).address) {
        if (network->kind == serial::NetworkKind::Tcp)
            return QCoreApplication::translate("console::PortBoxTip", "Raw TCP device server %1\n%2")
                .arg(serial::serverText(*network), serial::fixedSettingsNote());
        return QCoreApplication::translate("console::PortBoxTip", "RFC 2217 device server %1\nline settings sent from this panel")
            .arg(serial::serverText(*network));
    }
    return serial::portToolTip(checked.address->device, portListPlaces(places));
}

QString settingsTipLine(const QString &settings, bool open)
{
    const QString rate = settings.section(u',', 0, 0);
    const QList<OptionSpec> &rates = optionSpecs(OptionGroup::Baud);
    const bool shown = std::any_of(rates.begin(), rates.end(), [&](const OptionSpec &o) { return o.piece == rate; });
    QString line = (open ? QStringLiteral("Settings in use: ") : QStringLiteral("Settings at Start: ")) + settings;
    if (!shown)
        line += QStringLiteral(" (Other Baud Rate)");
    return line;
}

PortBoxTip::PortBoxTip(QComboBox *box, PortPlaces places, std::function<QString()> lastLine)
    : QObject(box)
    , m_box(box)
    , m_places(std::move(places))
    , m_lastLine(std::move(lastLine))
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
    QString tip = portBoxToolTip(m_box->currentText(), m_places);
    if (m_lastLine)
        tip += u'\n' + m_lastLine();
    m_box->setToolTip(tip);
}

} // namespace console
