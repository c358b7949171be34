#include "request_log.h"

#include <algorithm>

namespace console {

RequestLog::RequestLog(int capacity, QObject *parent)
    : QAbstractListModel(parent), m_capacity(std::max(capacity, 1))
{
}

void RequestLog::append(const QStringList &lines, qint64 unlisted)
{
    m_dropped += unlisted;
    // Of a batch larger than the log only its newest lines are inserted.
    const qsizetype skipped = std::max<qsizetype>(lines.size() - m_capacity, 0);
    m_dropped += skipped;
    const int incoming = int(lines.size() - skipped);
    if (incoming == 0)
        return;
    const int excess = int(m_lines.size()) + incoming - m_capacity;
    if (excess > 0) {
        beginRemoveRows({}, 0, excess - 1);
        m_lines.erase(m_lines.begin(), m_lines.begin() + excess);
        m_dropped += excess;
        endRemoveRows();
    }
    const int first = int(m_lines.size());
    beginInsertRows({}, first, first + incoming - 1);
    m_lines.insert(m_lines.end(), lines.begin() + skipped, lines.end());
    endInsertRows();
}

int RequestLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant RequestLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_lines.size()) || role != Qt::DisplayRole)
        return {};
    return m_lines[size_t(index.row())];
}

} // namespace console
