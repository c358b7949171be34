#pragma once

#include "console/byte_store.h"

#include <QAbstractTableModel>

#include <array>

namespace console {

// Cell arithmetic of a receive grid: 17 columns (a label column, then 16
// bytes), a fixed header row, data row r holding bytes 16(r-1)..16(r-1)+15.
namespace grid {
constexpr int kColumns = 17;
constexpr int kBytesPerRow = 16;
constexpr int kLabelColumnTwips = 450;
constexpr int kByteColumnTwips = 300;

// Rows including the header: a grid always ends with the row that waits for
// the next byte, so 16 bytes give 3 rows (header, full row, empty row).
inline qint64 rowCountFor(qint64 bytes) { return bytes / kBytesPerRow + 2; }
// Header character of byte column j (1..16): "0".."9", "A".."F".
QChar headerCharacter(int column);
QString hexText(std::uint8_t byte);
QChar textCharacter(std::uint8_t byte);

// First visible row after `appendedRows` rows were added one by one to a
// grid that had `rowsBefore` rows: each new row moves the view down by one
// while the view is within 7 rows of the end, never jumping to the end.
qint64 autoScrolledTop(qint64 top, qint64 rowsBefore, qint64 appendedRows);
} // namespace grid

// One grid's view of a panel's byte store: the text grid shows each byte as
// a character, the hex grid as upper-case hex digits. Nothing is kept per
// cell; the texts are made in data().
class ReceiveGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Kind { Text, Hex };
    ReceiveGridModel(const ByteStore &store, Kind kind, QObject *parent = nullptr);

    Kind kind() const { return m_kind; }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    friend class ReceiveBuffer;
    const ByteStore &m_store;
    Kind m_kind;
};

// A panel's received bytes and its two grid models. An append is one row
// insertion and one cell change per model, whatever it brought.
class ReceiveBuffer : public QObject {
    Q_OBJECT
public:
    explicit ReceiveBuffer(QObject *parent = nullptr);

    void append(const QByteArray &bytes);
    void reset();

    const ByteStore &store() const { return m_store; }
    ReceiveGridModel *textModel() { return &m_text; }
    ReceiveGridModel *hexModel() { return &m_hex; }
    qint64 rowCount() const { return grid::rowCountFor(m_store.size()); }
    // Cell that receives the next byte: row from 1, column 1..16.
    qint64 rxRow() const { return m_store.size() / grid::kBytesPerRow + 1; }
    int rxCol() const { return int(m_store.size() % grid::kBytesPerRow) + 1; }

private:
    ByteStore m_store;
    ReceiveGridModel m_text;
    ReceiveGridModel m_hex;
};

} // namespace console
