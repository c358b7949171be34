#pragma once

#include "console/transmit/history_time.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>

class QSqlError;

#include <optional>

namespace console {

// One stored message of the table TrsData.
struct HistoryRow {
    qint64 key = 0;     // the row's hidden integer key (SQLite rowid)
    QString type;       // column Text: "Txt" or anything else (Hex)
    QString data;       // column Data
    QString remark;     // column Remark
    QString made;       // column MD as stored (see madeTime)

    bool operator==(const HistoryRow &) const = default;
};

// The transmit history file: an SQLite database with the table TrsData
// (Text, Data, Remark, MD). A missing file is created with the table, and an
// SQLite file without TrsData gets it. A file that is not an SQLite database,
// that fails SQLite's check of the whole file (a damaged file), or whose
// TrsData lacks one of the four columns, is never written: the store stays
// closed and problem() says what is wrong.
//
// Every write is checked; a failure returns false (or nothing) and leaves
// its reason in lastError(). Edits and deletes name the row as it was read:
// a row that another program removed or changed since is left alone.
class HistoryStore {
public:
    enum class Access { ReadWrite, ReadOnly };
    enum class Field { Type, Data, Remark, Made };
    // Done: exactly that row was written. Gone, Changed: the row is no longer
    // stored, or no longer as it was read; nothing was written. Failed: the
    // file refused (locked, read-only, full, damaged).
    enum class Outcome { Done, Gone, Changed, Failed };

    explicit HistoryStore(const QString &path, Access access = Access::ReadWrite);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    QString path() const { return m_path; }
    bool isOpen() const { return m_open; }
    // Why the store is closed: names the file and what is wrong.
    QString problem() const { return m_problem; }
    QString lastError() const { return m_lastError; }
    // The store's database connection, for the tables kept beside TrsData.
    QString connectionName() const { return m_connection; }

    // Every row, newest first (see sortNewestFirst).
    std::optional<QList<HistoryRow>> readAll();
    enum class Found { Yes, Gone, Unreadable };
    // The row as stored now, into `row` when Found::Yes.
    Found read(qint64 key, HistoryRow &row);

    // A new row of the given type made at `made`, with empty Data and Remark.
    std::optional<HistoryRow> add(const QString &type, const QDateTime &made);
    // Removes that row only, if it is still stored as `asRead`.
    Outcome remove(const HistoryRow &asRead);
    // Writes one field of that row, if it is still stored as `asRead`. Made
    // takes the stored form of a date and time (see storedMade).
    Outcome setField(const HistoryRow &asRead, Field field, const QString &value);

private:
    bool openDatabase(Access access);
    bool checkTable();
    bool checkWholeFile();
    // Sets problem() for a failed read, by SQLite's result code; false.
    bool readFailed(const QSqlError &error);
    QString describeReadFailure(const QString &sqliteCode, const QString &reason) const;
    Outcome writeIfUnchanged(const HistoryRow &asRead, const QString &statement,
                             const QVariantList &values);
    void fail(const QString &what);

    QString m_path;
    QString m_connection;
    bool m_open = false;
    QString m_problem;
    QString m_lastError;
};

// Newest first by the local date and time MD names, whatever form of it the
// file holds; rows made at the same moment: the later added first. Rows
// whose MD names no date and time come last, in descending order of their
// text.
void sortNewestFirst(QList<HistoryRow> &rows);

} // namespace console
