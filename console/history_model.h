#pragma once

#include "console/history_store.h"

#include <QAbstractTableModel>
#include <QDateTime>

#include <optional>

namespace console {

// The rows of the history store as a table: Type, Data, Remark, NO. (the
// MD column). The rows are read once by load(); the model then follows its
// own adds, deletes and edits, each written to the store at once. Type, Data
// and Remark are editable; NO. shows when the row was made.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TypeColumn, DataColumn, RemarkColumn, MadeColumn, ColumnCount };

    explicit HistoryModel(HistoryStore &store, QObject *parent = nullptr);

    // Reads every row of the store, newest first. False (and no rows) when
    // they cannot be read.
    bool load();
    bool canAdd() const { return m_store.isOpen(); }

    // A new "Txt" row made at `made`, shown at the end (the newest-first
    // order applies when the rows are read again).
    // Returns its row, or nothing when the store refused it.
    std::optional<int> addRow(const QDateTime &made);
    // Removes that row from the store and the table; false when the store
    // refused (the row then stays, as it is still stored).
    bool deleteRow(int row);
    // Shows the row as it is stored now.
    void refreshRow(int row);

    const HistoryRow &rowAt(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // An edit is written to the store at once. When that fails, writeFailed()
    // is emitted, false returned, and the cell shows what is stored.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    void writeFailed(const QString &reason);

private:
    HistoryStore &m_store;
    QList<HistoryRow> m_rows;
};

} // namespace console
