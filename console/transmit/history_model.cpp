#include "history_model.h"

namespace console {

namespace {
QString asSentence(const QString &text)
{
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}
} // namespace

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
    m_loaded = rows.has_value();
    endResetModel();
    return rows.has_value();
}

std::optional<int> HistoryModel::addRow(const QDateTime &made)
{
    if (!canAdd()) {
        m_lastError = m_store.isOpen() ? QStringLiteral("its rows could not be read.") : m_store.problem();
        return std::nullopt;
    }
    const auto row = m_store.add(QStringLiteral("Txt"), made);
    if (!row) {
        m_lastError = m_store.lastError();
        return std::nullopt;
    }
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
    const HistoryStore::Outcome outcome = m_store.remove(m_rows.at(row));
    if (outcome == HistoryStore::Outcome::Done) {
        beginRemoveRows({}, row, row);
        m_rows.removeAt(row);
        endRemoveRows();
        return true;
    }
    m_lastError = m_store.lastError();
    refreshRow(row);
    return false;
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
    if (index.isValid())
        f |= Qt::ItemIsEditable;
    return f;
}

bool HistoryModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const HistoryRow &row = m_rows.at(index.row());
    const QString typed = value.toString();
    QString stored = typed;
    HistoryStore::Field field{};
    switch (index.column()) {
    case TypeColumn: field = HistoryStore::Field::Type; break;
    case DataColumn: field = HistoryStore::Field::Data; break;
    case RemarkColumn: field = HistoryStore::Field::Remark; break;
    case MadeColumn: {
        // The cell shows seconds only; the same text again changes nothing.
        if (typed == madeText(row.made))
            return true;
        const auto made = storedMade(typed);
        if (!made) {
            emit editRefused(QStringLiteral("\"%1\" is not a date and time. Write NO. as "
                                            "year-month-day hours:minutes:seconds, for example "
                                            "2024-05-01 09:30:00. The stored value stays.").arg(typed));
            emit dataChanged(index, index);
            return false;
        }
        field = HistoryStore::Field::Made;
        stored = *made;
        break;
    }
    }
    if (stored == index.data(Qt::EditRole).toString() && index.column() != MadeColumn)
        return true;
    const HistoryStore::Outcome outcome = m_store.setField(row, field, stored);
    if (outcome != HistoryStore::Outcome::Done) {
        const QString reason = QStringLiteral("%1 What was typed: \"%2\"").arg(asSentence(m_store.lastError()), typed);
        refreshRow(index.row());
        emit writeFailed(reason);
        return false;
    }
    HistoryRow &written = m_rows[index.row()];
    switch (field) {
    case HistoryStore::Field::Type: written.type = stored; break;
    case HistoryStore::Field::Data: written.data = stored; break;
    case HistoryStore::Field::Remark: written.remark = stored; break;
    case HistoryStore::Field::Made: written.made = stored; break;
    }
    emit dataChanged(index, index);
    return true;
}

} // namespace console
