// frmMain: "Choose Port..." and "Other Baud Rate..." of a panel's grid menu.
#include "frmmain.h"

#include "console/panel/baud_rate_dialog.h"
#include "console/panel/port_chooser.h"
#include "serial/port_names.h"

#include <QComboBox>
#include <QRadioButton>

namespace console {

void frmMain::choosePort(int i)
{
    const serial::PortListPlaces places = portListPlaces(m_ports.places);
    const auto current = serial::resolvePortText(Combo1[i]->currentText(), places.deviceDir);
    PortChooser chooser(places, current ? current->device : QString(), this);
    if (chooser.exec() != QDialog::Accepted)
        return;
    Combo1[i]->setEditText(serial::portTextForDevice(chooser.chosenDevice(), places.deviceDir));
    // As a pick from the box's list: the other panel's port only warns.
    Combo1_Click(i);
}

void frmMain::chooseOtherBaudRate(int i)
{
    BaudRateDialog dialog(i == 0 ? Baud0 : Baud1, this);
    if (dialog.exec() == QDialog::Accepted)
        setOtherBaudRate(i, dialog.rate());
}

void frmMain::setOtherBaudRate(int i, qint32 rate)
{
    const QString piece = QString::number(rate);
    QRadioButton *checked = nullptr;
    for (const OptionSpec &entry : optionSpecs(OptionGroup::Baud)) {
        if (entry.panel != i)
            continue;
        QRadioButton *button = Option1[entry.index];
        // A rate the panel has a button for is that button's click.
        if (entry.piece == piece) {
            if (!button->isChecked())
                button->setChecked(true);
            return;
        }
        if (button->isChecked())
            checked = button;
    }
    stopForNewRate(i);
    (i == 0 ? Baud0 : Baud1) = piece;
    // No button shows the rate: none shows checked. A click on one then
    // stores its rate again.
    if (checked) {
        checked->setAutoExclusive(false);
        checked->setChecked(false);
        checked->setAutoExclusive(true);
    }
}

} // namespace console
