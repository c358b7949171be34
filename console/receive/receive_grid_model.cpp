#include "receive_grid_model.h"

#include "console/receive/grid_arithmetic.h"
#include "console/receive/receive_buffer.h"

#include <limits>

namespace console {

ReceiveGridModel::ReceiveGridModel(const ReceiveBuffer &buffer, Kind kind, QObject *parent)
    : QAbstractTableModel(parent)
    , m_buffer(buffer)
    , m_kind(kind)
{
}

int ReceiveGridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(std::min<qint64>(m_buffer.rowCount(), std::numeric_limits<int>::max()));
}

int ReceiveGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : grid::kColumns;
}

QVariant ReceiveGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row();
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return column == 0 ? QVariant() : QVariant(Qt::AlignCenter);
    if (role == Qt::ToolTipRole && column == 0 && row > 0) {
        const qint64 firstByte = qint64(row - 1) * grid::kBytesPerRow;
        return rowToolTip(row - 1, firstByte < m_buffer.shownSize() ? m_buffer.arrivalTimes().timeOf(firstByte)
                                                                    : std::nullopt);
    }
    if (role == Qt::ToolTipRole && column > 0 && row > 0) {
        const qint64 byteIndex = qint64(row - 1) * grid::kBytesPerRow + (column - 1);
        const ByteStore &store = m_buffer.store();
        if (byteIndex < m_buffer.shownSize() && !store.readable(byteIndex))
            return tr("This byte could not be read back: %1").arg(store.readError());
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};

    if (row == 0) {
        if (column == 0)
            return m_kind == Kind::Text ? QStringLiteral("Text") : QStringLiteral("Hex");
        return QString(grid::headerCharacter(column));
    }
    if (column == 0)
        return QString::number(row - 1);
    const qint64 byteIndex = qint64(row - 1) * grid::kBytesPerRow + (column - 1);
    if (byteIndex >= m_buffer.shownSize())
        return QString();
    const std::uint8_t b = m_buffer.store().at(byteIndex);
    if (!m_buffer.store().readable(byteIndex))
        return m_kind == Kind::Text ? QStringLiteral("?") : QStringLiteral("??");
    return m_kind == Kind::Text ? QString(grid::textCharacter(b)) : grid::hexText(b);
}

} // namespace console
