#pragma once

#include "protocol/register_table.h"

#include <QAbstractTableModel>

#include <set>
#include <vector>

namespace console {

// One of the device's four tables as two columns, "Address" and "Value",
// both editable: an address moves its entry (refused onto one that exists),
// a value is checked against the table's range (0/1 for bits). Entries the
// master wrote are marked (bold, and a tooltip) until the table is loaded
// again. The rows follow the addresses in order.
class RegisterModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { AddressColumn, ValueColumn };

    RegisterModel(protocol::RegisterTable &table, protocol::RegisterKind kind, QObject *parent = nullptr);

    protocol::RegisterKind kind() const { return m_kind; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // The table was replaced as a whole (a load): rows again, marks gone.
    void reload();
    // The master wrote this address: its value shown anew, and marked.
    void written(std::uint16_t address);
    bool isMarked(std::uint16_t address) const { return m_marked.count(address) > 0; }

    // A new entry after the last one (value 0); false when 65535 is taken.
    // Returns its row through `row`.
    bool addEntry(int *row);
    void removeEntry(int row);

    // The row of an address; -1 when the table does not hold it.
    int rowOf(std::uint16_t address) const;

private:
    void rebuild();

    protocol::RegisterTable &m_table;
    protocol::RegisterKind m_kind;
    // The addresses in order, one per row.
    std::vector<std::uint16_t> m_addresses;
    std::set<std::uint16_t> m_marked;
};

} // namespace console
