#pragma once

#include "console/transmit/history_store.h"

#include <QAbstractTableModel>
#include <QDateTime>

#include <optional>

namespace console {

// The rows of the history store as a table: Type, Data, Remark, NO. (the
// MD column). The rows are read once by load(); the model then follows its
// own adds, deletes and edits, each written to the store at once. Every cell
// is editable; NO. shows when the row was made, orders the rows when they
// are read, and takes only a date and time.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TypeColumn, DataColumn, RemarkColumn, MadeColumn, ColumnCount };

    explicit HistoryModel(HistoryStore &store, QObject *parent = nullptr);

    // Reads every row of the store, newest first. False (and no rows) when
    // they cannot be read.
    bool load();
    // Only a file whose rows could all be read is written to.
    bool canAdd() const { return m_store.isOpen() && m_loaded; }

    // A new "Txt" row made at `made`, shown at the end (the newest-first
    // order applies when the rows are read again).
    // Returns its row, or nothing when the store refused it.
    std::optional<int> addRow(const QDateTime &made);
    // Removes that row from the store and the table. False, with the reason
    // in lastError(), when it was not removed as shown: the table then shows
    // what is stored (a row another program removed goes, a changed row
    // shows its stored values).
    bool deleteRow(int row);
    QString lastError() const { return m_lastError; }
    // Shows the row as it is stored now.
    void refreshRow(int row);

    const HistoryRow &rowAt(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // An edit is written to the store at once. When that fails, writeFailed()
    // is emitted, false returned, and the row shows what is stored. A NO.
    // that is not a date and time is refused with editRefused().
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    // `reason` ends with what was typed, so that it is not lost.
    void writeFailed(const QString &reason);
    void editRefused(const QString &reason);

private:
    HistoryStore &m_store;
    QList<HistoryRow> m_rows;
    bool m_loaded = false;
    QString m_lastError;
};

} // namespace console
