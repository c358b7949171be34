#pragma once

#include "serial/port_list.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QTreeWidget;

namespace console {

// "Choose Port...": the serial ports that exist now, a row each (USB
// adapters with their vendor and product IDs, product, serial, driver and
// by-id name; the on-board ports that answer; the program holding each).
// A double-click or Enter on a row, or OK, chooses its port.
class PortChooser : public QDialog {
    Q_OBJECT
public:
    // `current` is the device the port box names now, preselected when it
    // is listed.
    PortChooser(const serial::PortListPlaces &places, const QString &current, QWidget *parent = nullptr);

    // The device of the row chosen; empty until the dialog is accepted.
    QString chosenDevice() const { return m_chosen; }
    QTreeWidget *list() const { return m_list; }
    QLabel *summary() const { return m_summary; }

    // Takes the current row; without one the dialog stays open.
    void accept() override;

private:
    // Lists the ports anew, keeping the current row's device selected.
    void fill(const QString &select);

    serial::PortListPlaces m_places;
    QLabel *m_summary = nullptr;
    QTreeWidget *m_list = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QString m_chosen;
};

} // namespace console
