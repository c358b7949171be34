#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace console {

// One stored message of the table TrsData.
struct HistoryRow {
    qint64 key = 0;     // the row's hidden integer key (SQLite rowid)
    QString type;       // column Text: "Txt" or anything else (Hex)
    QString data;       // column Data
    QString remark;     // column Remark
    QString made;       // column MD as stored; local time, ISO 8601 with ms for rows added here
};

// The transmit history file: an SQLite database with the table TrsData
// (Text, Data, Remark, MD). A missing file is created with the table, and an
// SQLite file without TrsData gets it. A file that is not an SQLite database,
// or whose TrsData lacks one of the four columns, is never written: the
// store stays closed and problem() says what is wrong.
//
// Every write is checked; a failure returns false (or nothing) and leaves
// its reason in lastError().
class HistoryStore {
public:
    enum class Access { ReadWrite, ReadOnly };
    enum class Field { Type, Data, Remark };

    explicit HistoryStore(const QString &path, Access access = Access::ReadWrite);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    QString path() const { return m_path; }
    bool isOpen() const { return m_open; }
    // Why the store is closed: names the file and what is wrong.
    QString problem() const { return m_problem; }
    QString lastError() const { return m_lastError; }

    // Every row, newest MD first (rows with equal MD: the later added first).
    std::optional<QList<HistoryRow>> readAll();
    enum class Found { Yes, Gone, Unreadable };
    // The row as stored now, into `row` when Found::Yes.
    Found read(qint64 key, HistoryRow &row);

    // A new row of the given type made at `made`, with empty Data and Remark.
    std::optional<HistoryRow> add(const QString &type, const QDateTime &made);
    // Removes that row only. A row that is already gone counts as removed.
    bool remove(qint64 key);
    // False also when the row is gone.
    bool setField(qint64 key, Field field, const QString &value);

private:
    bool openDatabase(Access access);
    bool checkTable();
    void fail(const QString &what);

    QString m_path;
    QString m_connection;
    bool m_open = false;
    QString m_problem;
    QString m_lastError;
};

// The text the NO. column shows for a stored MD value.
QString madeText(const QString &made);

} // namespace console
