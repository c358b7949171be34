#pragma once

#include <QAbstractTableModel>

namespace console {

class ReceiveBuffer;

// One grid's view of a panel's shown bytes: the text grid shows each byte as
// a character, the hex grid as upper-case hex digits. Nothing is kept per
// cell; the texts are made in data(). A row label's tooltip holds the whole
// row number and the arrival time of the row's first byte.
class ReceiveGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Kind { Text, Hex };
    ReceiveGridModel(const ReceiveBuffer &buffer, Kind kind, QObject *parent = nullptr);

    Kind kind() const { return m_kind; }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    friend class ReceiveBuffer;
    const ReceiveBuffer &m_buffer;
    Kind m_kind;
};

} // namespace console
