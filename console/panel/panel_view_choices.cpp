// PanelView: "Choose Port..." and "Other Baud Rate..." of the grid menu.
#include "panel_view.h"

#include "console/panel/baud_rate_dialog.h"
#include "console/panel/port_chooser.h"
#include "serial/port_names.h"

#include <QComboBox>
#include <QRadioButton>

namespace console {

void PanelView::choosePort()
{
    const serial::PortListPlaces places = portListPlaces(m_services.ports.places);
    const auto current = serial::resolvePortText(Combo1->currentText(), places.deviceDir);
    PortChooser chooser(places, current ? current->device : QString(), m_window);
    if (chooser.exec() != QDialog::Accepted)
        return;
    Combo1->setEditText(serial::portTextForDevice(chooser.chosenDevice(), places.deviceDir));
    // As a pick from the box's list: the other panel's port only warns.
    portPicked();
}

void PanelView::chooseOtherBaudRate()
{
    BaudRateDialog dialog(*m_pieces.baud, m_window);
    if (dialog.exec() == QDialog::Accepted)
        setOtherBaudRate(dialog.rate());
}

void PanelView::setOtherBaudRate(qint32 rate)
{
    const QString piece = QString::number(rate);
    QRadioButton *checked = nullptr;
    for (const Option &option : m_options) {
        if (option.group != OptionGroup::Baud)
            continue;
        QRadioButton *button = option.button;
        // A rate the panel has a button for is that button's click.
        if (optionSpec(OptionGroup::Baud, option.index)->piece == piece) {
            if (!button->isChecked())
                button->setChecked(true);
            return;
        }
        if (button->isChecked())
            checked = button;
    }
    stopForNewRate();
    *m_pieces.baud = piece;
    // No button shows the rate: none shows checked. A click on one then
    // stores its rate again.
    if (checked) {
        checked->setAutoExclusive(false);
        checked->setChecked(false);
        checked->setAutoExclusive(true);
    }
}

} // namespace console
