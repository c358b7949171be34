#include "receive_buffer.h"

namespace console {

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
    checkReadBack();
    if (!m_spillReported && !m_store.spillError().isEmpty()) {
        m_spillReported = true;
        emit spillFailed(m_store.spillError());
    }
}

void ReceiveBuffer::checkReadBack()
{
    if (m_readBackReported || m_store.readError().isEmpty())
        return;
    m_readBackReported = true;
    // The file that failed a read is written no more: that is this box's
    // news too.
    m_spillReported = true;
    emit readBackFailed(m_store.readError());
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
    m_readBackReported = false;
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
