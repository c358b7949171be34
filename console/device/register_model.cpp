#include "register_model.h"

#include <QFont>

#include <algorithm>

namespace console {

RegisterModel::RegisterModel(protocol::RegisterTable &table, protocol::RegisterKind kind, QObject *parent)
    : QAbstractTableModel(parent), m_table(table), m_kind(kind)
{
    rebuild();
}

void RegisterModel::rebuild()
{
    m_addresses.clear();
    for (const auto &entry : m_table.entries(m_kind))
        m_addresses.push_back(entry.first);
}

int RegisterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_addresses.size());
}

int RegisterModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant RegisterModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_addresses.size()))
        return {};
    const std::uint16_t address = m_addresses[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (index.column() == AddressColumn)
            return int(address);
        return int(m_table.value(m_kind, address).value_or(0));
    case Qt::FontRole:
        if (index.column() == ValueColumn && isMarked(address)) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ToolTipRole:
        if (isMarked(address))
            return tr("Written by the master");
        return {};
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant RegisterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == AddressColumn ? tr("Address") : tr("Value");
}

Qt::ItemFlags RegisterModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool RegisterModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.row() >= int(m_addresses.size()))
        return false;
    bool ok = false;
    const int number = value.toInt(&ok);
    const std::uint16_t address = m_addresses[size_t(index.row())];
    if (index.column() == ValueColumn) {
        const int highest = protocol::isBitKind(m_kind) ? 1 : 65535;
        if (!ok || number < 0 || number > highest)
            return false;
        m_table.set(m_kind, address, std::uint16_t(number));
        m_marked.erase(address);
        emit dataChanged(index, index);
        return true;
    }
    if (!ok || number < 0 || number > 65535)
        return false;
    if (number == address)
        return true;
    if (m_table.value(m_kind, std::uint16_t(number)))
        return false;
    const std::uint16_t kept = m_table.value(m_kind, address).value_or(0);
    beginResetModel();
    m_table.erase(m_kind, address);
    m_table.set(m_kind, std::uint16_t(number), kept);
    m_marked.erase(address);
    rebuild();
    endResetModel();
    return true;
}

void RegisterModel::reload()
{
    beginResetModel();
    m_marked.clear();
    rebuild();
    endResetModel();
}

void RegisterModel::written(std::uint16_t address)
{
    const int row = rowOf(address);
    if (row < 0)
        return;
    m_marked.insert(address);
    emit dataChanged(index(row, AddressColumn), index(row, ValueColumn));
}

int RegisterModel::rowOf(std::uint16_t address) const
{
    const auto found = std::lower_bound(m_addresses.begin(), m_addresses.end(), address);
    if (found == m_addresses.end() || *found != address)
        return -1;
    return int(found - m_addresses.begin());
}

bool RegisterModel::addEntry(int *row)
{
    std::uint32_t address = m_addresses.empty() ? 0 : std::uint32_t(m_addresses.back()) + 1;
    if (address > 65535)
        return false;
    const int at = int(m_addresses.size());
    beginInsertRows({}, at, at);
    m_table.set(m_kind, std::uint16_t(address), 0);
    m_addresses.push_back(std::uint16_t(address));
    endInsertRows();
    *row = at;
    return true;
}

void RegisterModel::removeEntry(int row)
{
    if (row < 0 || row >= int(m_addresses.size()))
        return;
    beginRemoveRows({}, row, row);
    m_table.erase(m_kind, m_addresses[size_t(row)]);
    m_marked.erase(m_addresses[size_t(row)]);
    m_addresses.erase(m_addresses.begin() + row);
    endRemoveRows();
}

} // namespace console
