#pragma once

#include "console/history_model.h"
#include "console/history_store.h"
#include "desktop/message_boxes.h"
#include "serial/serial_control.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace console {

class TypeButtonDelegate;

// The transmit history window: the stored messages in a grid, added,
// deleted and edited in place, and the current row sent through the serial
// control of one port panel, as text or as hexadecimal byte values.
//
// Constructing the window loads it: the history file is opened and its rows
// read. Closing it only hides it; whoever shows it deletes it afterwards.
class sfrmTransmit : public QDialog {
    Q_OBJECT
public:
    // ports[0] is the left panel's control, ports[1] the right's; port1()
    // (true: the left panel) is read once at the start of each send.
    sfrmTransmit(std::array<serial::SerialControl *, 2> ports, std::function<bool()> port1,
                 desktop::MessageBoxes &boxes,
                 const QString &databasePath = QStringLiteral("TstHis.db"),
                 QWidget *parent = nullptr);
    sfrmTransmit(std::array<serial::SerialControl *, 2> ports, std::function<bool()> port1,
                 desktop::MessageBoxes &boxes, std::unique_ptr<HistoryStore> store,
                 QWidget *parent = nullptr);
    ~sfrmTransmit() override;

    // Index 0 "Add New", 1 "Delete"; any other index does nothing.
    void Command2_Click(int Index);
    // "Transmit Selected Data".
    void Command1_Click();
    // The button of a Type cell: "Txt" becomes "Hex", anything else "Txt".
    void DataGrid1_ButtonClick(int ColIndex);

    HistoryModel &model() { return *m_model; }

    QLabel *DataGrid1Caption = nullptr;
    QTableView *DataGrid1 = nullptr;
    std::array<QPushButton *, 2> Command2{};
    QPushButton *Command1 = nullptr;

    // The current row right after the last "Add New"; 0 before any.
    qint32 NewRow = 0;

private:
    void buildControls();
    void addNew();
    void deleteCurrent();
    void tell(const QString &text, desktop::BoxIcon icon = desktop::BoxIcon::None);
    // The history file's full path, as messages name it.
    QString shownPath() const;

    std::array<serial::SerialControl *, 2> m_ports;
    std::function<bool()> m_port1;
    desktop::MessageBoxes &m_boxes;
    std::unique_ptr<HistoryStore> m_store;
    HistoryModel *m_model = nullptr;
    TypeButtonDelegate *m_typeDelegate = nullptr;
};

} // namespace console
