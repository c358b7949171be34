#include "history_model.h"

namespace console {

HistoryModel::HistoryModel(HistoryStore &store, QObject *parent)
    : QAbstractTableModel(parent)
    , m_store(store)
{
}

bool HistoryModel::load()
{
    beginResetModel();
    const auto rows = m_store.readAll();
    m_rows = rows.value_or(QList<HistoryRow>{});
    endResetModel();
    return rows.has_value();
}

std::optional<int> HistoryModel::addRow(const QDateTime &made)
{
    const auto row = m_store.add(QStringLiteral("Txt"), made);
    if (!row)
        return std::nullopt;
    // Like a record added to an open record set, the new row goes to the
    // end; the newest-first order applies when the rows are read again.
    const int at = int(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.append(*row);
    endInsertRows();
    return at;
}

bool HistoryModel::deleteRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return false;
    if (!m_store.remove(m_rows.at(row).key))
        return false;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
    return true;
}

void HistoryModel::refreshRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    HistoryRow stored;
    switch (m_store.read(m_rows.at(row).key, stored)) {
    case HistoryStore::Found::Yes:
        m_rows[row] = stored;
        break;
    case HistoryStore::Found::Gone:
        beginRemoveRows({}, row, row);
        m_rows.removeAt(row);
        endRemoveRows();
        return;
    case HistoryStore::Found::Unreadable:
        // What was last read from the store is still the best knowledge.
        break;
    }
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)
        || (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole))
        return {};
    const HistoryRow &row = m_rows.at(index.row());
    switch (index.column()) {
    case TypeColumn: return row.type;
    case DataColumn: return row.data;
    case RemarkColumn: return row.remark;
    case MadeColumn: return madeText(row.made);
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return QString();
    switch (section) {
    case TypeColumn: return QStringLiteral("Type");
    case DataColumn: return QStringLiteral("Data");
    case RemarkColumn: return QStringLiteral("Remark");
    case MadeColumn: return QStringLiteral("NO.");
    }
    return {};
}

Qt::ItemFlags HistoryModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() != MadeColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

bool HistoryModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid)
        || index.column() == MadeColumn)
        return false;
    HistoryRow &row = m_rows[index.row()];
    QString *cell = nullptr;
    HistoryStore::Field field{};
    switch (index.column()) {
    case TypeColumn: cell = &row.type; field = HistoryStore::Field::Type; break;
    case DataColumn: cell = &row.data; field = HistoryStore::Field::Data; break;
    case RemarkColumn: cell = &row.remark; field = HistoryStore::Field::Remark; break;
    }
    const QString text = value.toString();
    if (text == *cell)
        return true;
    if (!m_store.setField(row.key, field, text)) {
        const QString reason = m_store.lastError();
        refreshRow(index.row());
        emit writeFailed(reason);
        return false;
    }
    *cell = text;
    emit dataChanged(index, index);
    return true;
}

} // namespace console
