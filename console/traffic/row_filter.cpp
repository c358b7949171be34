#include "row_filter.h"

#include <algorithm>

namespace console {

bool isError(const RowFacts &row)
{
    using protocol::Status;
    if (!row.frame)
        return false;
    return row.status == Status::Exception || row.status == Status::Nak || row.status == Status::BadCheck ||
           row.status == Status::Unrecognised || row.role == protocol::Role::NoAnswer;
}

bool RowFilter::keeps(const RowFacts &row) const
{
    if (!active())
        return true;
    if (!row.frame)
        return false;
    if (station && row.unit != *station)
        return false;
    if (function && row.function != *function)
        return false;
    return !errorsOnly || isError(row);
}

void SeenValues::add(const RowFacts &row)
{
    if (!row.frame)
        return;
    if (!row.unit.empty())
        m_stations.insert(row.unit);
    if (!row.function.empty())
        m_functions.insert(row.function);
}

void SeenValues::clear()
{
    m_stations.clear();
    m_functions.clear();
}

std::vector<std::string> SeenValues::sorted(const std::unordered_set<std::string> &values)
{
    std::vector<std::string> list(values.begin(), values.end());
    std::sort(list.begin(), list.end(), stationBefore);
    return list;
}

KeptRowsModel::KeptRowsModel(QAbstractItemModel *source, std::function<RowFacts(int)> factsAt, QObject *parent)
    : QAbstractProxyModel(parent)
    , m_factsAt(std::move(factsAt))
{
    setSourceModel(source);
    m_walker = new RowWalker(
        {[source] { return source->rowCount(); }, m_factsAt}, [this](int row, const RowFacts &facts) { take(row, facts); },
        [this](const RowFacts &facts) { return m_filter.settled(facts); }, this);
    connect(m_walker, &RowWalker::progressed, this, &KeptRowsModel::flush);
    connect(source, &QAbstractItemModel::modelReset, this, &KeptRowsModel::remake);
    connect(source, &QAbstractItemModel::layoutChanged, this, &KeptRowsModel::remake);
    connect(source, &QAbstractItemModel::rowsRemoved, this, &KeptRowsModel::remake);
    connect(source, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (first >= m_walker->next()) {
            m_walker->more();
            return;
        }
        // Rows came before rows already judged: those move down, and are
        // judged again from the first new one.
        const auto from = std::lower_bound(m_kept.begin(), m_kept.end(), first);
        if (from != m_kept.end()) {
            beginRemoveRows({}, int(from - m_kept.begin()), int(m_kept.size()) - 1);
            m_kept.erase(from, m_kept.end());
            endRemoveRows();
        }
        (void)last;
        m_walker->restartAt(first);
    });
    connect(source, &QAbstractItemModel::dataChanged, this, &KeptRowsModel::sourceChanged);
    remake();
}

void KeptRowsModel::setFilter(const RowFilter &filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    remake();
}

bool KeptRowsModel::caughtUp() const
{
    return m_walker->caughtUp();
}

void KeptRowsModel::judgeAll()
{
    for (int before = -1; !m_walker->caughtUp() && m_walker->next() != before;) {
        before = m_walker->next();
        m_walker->walk();
    }
    flush();
}

void KeptRowsModel::remake()
{
    beginResetModel();
    m_kept.clear();
    m_batch.clear();
    endResetModel();
    m_walker->restartAt(0);
}

void KeptRowsModel::take(int row, const RowFacts &facts)
{
    if (m_filter.keeps(facts))
        m_batch.push_back(row);
}

void KeptRowsModel::flush()
{
    if (!m_batch.empty()) {
        const int at = int(m_kept.size());
        beginInsertRows({}, at, at + int(m_batch.size()) - 1);
        m_kept.insert(m_kept.end(), m_batch.begin(), m_batch.end());
        m_batch.clear();
        endInsertRows();
    }
    emit progressed();
}

void KeptRowsModel::sourceChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    const int bottom = std::min(bottomRight.row(), m_walker->next() - 1);
    const int top = std::max(topLeft.row(), bottom - kRejudgeRows + 1);
    for (int row = top; row <= bottom; ++row) {
        const RowFacts facts = m_factsAt(row);
        if (!m_filter.settled(facts)) {
            // Judged too soon after all: from here on again.
            const auto from = std::lower_bound(m_kept.begin(), m_kept.end(), row);
            if (from != m_kept.end()) {
                beginRemoveRows({}, int(from - m_kept.begin()), int(m_kept.size()) - 1);
                m_kept.erase(from, m_kept.end());
                endRemoveRows();
            }
            m_walker->restartAt(row);
            break;
        }
        const bool keep = m_filter.keeps(facts);
        const auto at = std::lower_bound(m_kept.begin(), m_kept.end(), row);
        const bool kept = at != m_kept.end() && *at == row;
        const int position = int(at - m_kept.begin());
        if (keep && !kept) {
            beginInsertRows({}, position, position);
            m_kept.insert(at, row);
            endInsertRows();
        } else if (!keep && kept) {
            beginRemoveRows({}, position, position);
            m_kept.erase(at);
            endRemoveRows();
        }
    }
    // What still shows of the changed rows is drawn again.
    const auto first = std::lower_bound(m_kept.begin(), m_kept.end(), topLeft.row());
    const auto last = std::upper_bound(m_kept.begin(), m_kept.end(), bottomRight.row());
    if (first < last)
        emit dataChanged(index(int(first - m_kept.begin()), topLeft.column()),
                         index(int(last - m_kept.begin()) - 1, bottomRight.column()), roles);
}

int KeptRowsModel::sourceRow(int row) const
{
    return row >= 0 && size_t(row) < m_kept.size() ? m_kept[size_t(row)] : -1;
}

int KeptRowsModel::rowOf(int sourceRow) const
{
    const auto at = std::lower_bound(m_kept.begin(), m_kept.end(), sourceRow);
    return at != m_kept.end() && *at == sourceRow ? int(at - m_kept.begin()) : -1;
}

QModelIndex KeptRowsModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || !sourceModel())
        return {};
    const int row = sourceRow(proxyIndex.row());
    return row < 0 ? QModelIndex() : sourceModel()->index(row, proxyIndex.column());
}

QModelIndex KeptRowsModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid())
        return {};
    const int row = rowOf(sourceIndex.row());
    return row < 0 ? QModelIndex() : index(row, sourceIndex.column());
}

QModelIndex KeptRowsModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex KeptRowsModel::parent(const QModelIndex &) const
{
    return {};
}

int KeptRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_kept.size());
}

int KeptRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->columnCount();
}

} // namespace console
