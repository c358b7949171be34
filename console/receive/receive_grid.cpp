#include "receive_grid.h"

#include "console/frames/hex_text.h"

#include <limits>

namespace console {

namespace grid {

QChar headerCharacter(int column)
{
    return QChar(column <= 10 ? 47 + column : 54 + column);
}

QString hexText(std::uint8_t byte)
{
    return hexNumber(byte);
}

QChar textCharacter(std::uint8_t byte)
{
    return QChar(char16_t(byte)); // the code page is Latin-1: byte = code
}

qint64 autoScrolledTop(qint64 top, qint64 rowsBefore, qint64 appendedRows)
{
    // Once the view is within reach of the end it moves with every row;
    // before that, rows are added without moving it.
    const qint64 idle = std::max<qint64>(0, top + 7 - rowsBefore);
    return top + std::max<qint64>(0, appendedRows - idle);
}

} // namespace grid

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
    return m_kind == Kind::Text ? QString(grid::textCharacter(b)) : grid::hexText(b);
}

ReceiveBuffer::ReceiveBuffer(QObject *parent)
    : QObject(parent)
    , m_clock(ArrivalClock::system())
    , m_text(*this, ReceiveGridModel::Kind::Text)
    , m_hex(*this, ReceiveGridModel::Kind::Hex)
{
}

void ReceiveBuffer::append(const QByteArray &bytes)
{
    received(bytes.constData(), bytes.size());
    showWaiting();
}

void ReceiveBuffer::received(const char *data, qint64 count)
{
    if (count <= 0)
        return;
    m_times.arrived(m_store.size(), m_clock);
    m_store.append(data, qsizetype(count));
    if (!m_spillReported && !m_store.spillError().isEmpty()) {
        m_spillReported = true;
        emit spillFailed(m_store.spillError());
    }
}

void ReceiveBuffer::discarded()
{
    m_store.truncate(m_shown);
    m_times.truncate(m_shown);
}

qint64 ReceiveBuffer::showWaiting()
{
    const qint64 before = m_shown;
    const qint64 after = m_store.size();
    if (after == before)
        return before;
    const int oldRows = int(grid::rowCountFor(before));
    const int newRows = int(grid::rowCountFor(after));
    // The first changed cell lies in the row that waited for the next byte;
    // rows after it are new.
    const int firstRow = int(before / grid::kBytesPerRow) + 1;
    const int firstColumn = int(before % grid::kBytesPerRow) + 1;
    const int lastChangedColumn = newRows > oldRows ? grid::kBytesPerRow
                                                    : int((after - 1) % grid::kBytesPerRow) + 1;

    std::array<ReceiveGridModel *, 2> models{&m_text, &m_hex};
    if (newRows > oldRows) {
        for (auto *m : models)
            m->beginInsertRows({}, oldRows, newRows - 1);
    }
    m_shown = after;
    m_selection.setLimit(m_shown);
    for (auto *m : models) {
        if (newRows > oldRows)
            m->endInsertRows();
        emit m->dataChanged(m->index(firstRow, firstColumn), m->index(firstRow, lastChangedColumn));
    }
    return before;
}

void ReceiveBuffer::reset()
{
    m_text.beginResetModel();
    m_hex.beginResetModel();
    // Waiting bytes move to the front, to be shown from the first cell.
    QByteArray waiting;
    m_store.forEachSpan(m_shown, waitingSize(), [&](QByteArrayView piece) { waiting.append(piece); });
    m_store.clear();
    m_spillReported = false;
    m_store.append(waiting);
    if (waiting.isEmpty())
        m_times.clear();
    else
        m_times.dropBefore(m_shown);
    m_shown = 0;
    m_selection.reset();
    m_text.endResetModel();
    m_hex.endResetModel();
}

} // namespace console
