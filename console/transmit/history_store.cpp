#include "history_store.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace console {

namespace {

// SQLite's result codes for a damaged file and for a file that is not a
// database.
const QString damagedCode = QStringLiteral("11");
const QString notADatabaseCode = QStringLiteral("26");

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("console-history-%1").arg(++counter);
}

QString errorText(const QSqlError &error)
{
    const QString text = error.databaseText();
    return text.isEmpty() ? error.text() : text;
}

QString columnName(HistoryStore::Field field)
{
    switch (field) {
    case HistoryStore::Field::Type: return QStringLiteral("\"Text\"");
    case HistoryStore::Field::Data: return QStringLiteral("\"Data\"");
    case HistoryStore::Field::Remark: return QStringLiteral("\"Remark\"");
    case HistoryStore::Field::Made: return QStringLiteral("\"MD\"");
    }
    return {};
}

HistoryRow rowFrom(const QSqlQuery &q)
{
    return {q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
            q.value(3).toString(), q.value(4).toString()};
}

const QString selectColumns =
    QStringLiteral("SELECT rowid, \"Text\", \"Data\", \"Remark\", \"MD\" FROM TrsData");

} // namespace

HistoryStore::HistoryStore(const QString &path, Access access)
    : m_path(path)
    , m_connection(nextConnectionName())
{
    m_open = openDatabase(access) && checkTable();
    if (!m_open)
        QSqlDatabase::database(m_connection, false).close();
}

HistoryStore::~HistoryStore()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool HistoryStore::openDatabase(Access access)
{
    const QFileInfo file(m_path);
    const QString shown = QDir::toNativeSeparators(file.absoluteFilePath());
    if (file.isDir()) {
        m_problem = QStringLiteral("The history file %1 is a folder.").arg(shown);
        return false;
    }
    if (!file.exists() && access == Access::ReadOnly) {
        m_problem = QStringLiteral("The history file %1 does not exist.").arg(shown);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    // A file locked by another program is waited for this long (ms) before
    // the statement fails; the window is blocked meanwhile.
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000");
    if (access == Access::ReadOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) {
        m_problem = QStringLiteral("The history file %1 cannot be opened: %2")
                        .arg(shown, errorText(db.lastError()));
        return false;
    }
    return true;
}

bool HistoryStore::readFailed(const QSqlError &error)
{
    m_problem = describeReadFailure(error.nativeErrorCode(), errorText(error));
    return false;
}

QString HistoryStore::describeReadFailure(const QString &sqliteCode, const QString &reason) const
{
    const QString shown = QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath());
    if (sqliteCode == notADatabaseCode)
        return QStringLiteral("The history file %1 is not an SQLite database. "
                              "It is left unchanged; no history can be kept.").arg(shown);
    if (sqliteCode == damagedCode)
        return QStringLiteral("The history file %1 is damaged: %2. "
                              "It is left unchanged; no history can be kept.").arg(shown, reason);
    return QStringLiteral("The history file %1 cannot be read: %2").arg(shown, reason);
}

// Reads before it writes: a file that is not a database, a damaged file or
// a TrsData of another shape is left exactly as it was found.
bool HistoryStore::checkTable()
{
    const QString shown = QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath());
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT type FROM sqlite_master WHERE name = 'TrsData' COLLATE NOCASE")))
        return readFailed(q.lastError());
    const bool hasTable = q.next();
    q.finish();
    if (!checkWholeFile())
        return false;
    if (!hasTable) {
        const QString create = QStringLiteral(
            "CREATE TABLE TrsData (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
            "\"Text\" TEXT, \"Data\" TEXT, \"Remark\" TEXT, \"MD\" DATETIME)");
        if (!q.exec(create)) {
            m_problem = QStringLiteral("The table TrsData cannot be created in the history file %1: %2")
                            .arg(shown, errorText(q.lastError()));
            return false;
        }
        return true;
    }

    if (!q.exec(QStringLiteral("PRAGMA table_info(TrsData)")))
        return readFailed(q.lastError());
    QStringList present;
    while (q.next())
        present << q.value(1).toString();
    QStringList missing;
    for (const auto *name : {"Text", "Data", "Remark", "MD"}) {
        if (!present.contains(QLatin1String(name), Qt::CaseInsensitive))
            missing << QLatin1String(name);
    }
    if (!missing.isEmpty()) {
        m_problem = QStringLiteral("The table TrsData in the history file %1 lacks the column(s) %2. "
                                   "The file is left unchanged; no history can be kept.")
                        .arg(shown, missing.join(QStringLiteral(", ")));
        return false;
    }
    if (!q.exec(QStringLiteral("SELECT rowid FROM TrsData LIMIT 1"))) {
        m_problem = QStringLiteral("The table TrsData in the history file %1 has no row key: %2")
                        .arg(shown, errorText(q.lastError()));
        return false;
    }
    return true;
}

// Every page of the file, not only the first rows: damage deep in the table
// would otherwise show only when the rows are read, after the file was
// already taken as writable. The history is small, so this is quick.
bool HistoryStore::checkWholeFile()
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // At most this many findings are listed in the message.
    if (!q.exec(QStringLiteral("PRAGMA quick_check(3)")))
        return readFailed(q.lastError());
    QStringList findings;
    while (q.next())
        findings << q.value(0).toString();
    if (q.lastError().isValid())
        return readFailed(q.lastError());
    if (findings == QStringList{QStringLiteral("ok")})
        return true;
    m_problem = describeReadFailure(damagedCode, findings.join(QStringLiteral("; ")));
    return false;
}

void HistoryStore::fail(const QString &what)
{
    m_lastError = what;
}

std::optional<QList<HistoryRow>> HistoryStore::readAll()
{
    if (!m_open) {
        fail(m_problem);
        return std::nullopt;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(selectColumns)) {
        fail(errorText(q.lastError()));
        return std::nullopt;
    }
    QList<HistoryRow> rows;
    while (q.next())
        rows.append(rowFrom(q));
    if (q.lastError().isValid()) {
        fail(errorText(q.lastError()));
        return std::nullopt;
    }
    sortNewestFirst(rows);
    return rows;
}

HistoryStore::Found HistoryStore::read(qint64 key, HistoryRow &row)
{
    if (!m_open) {
        fail(m_problem);
        return Found::Unreadable;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(selectColumns + QStringLiteral(" WHERE rowid = ?"));
    q.addBindValue(key);
    if (!q.exec()) {
        fail(errorText(q.lastError()));
        return Found::Unreadable;
    }
    if (!q.next()) {
        fail(QStringLiteral("The row is no longer stored."));
        return Found::Gone;
    }
    row = rowFrom(q);
    return Found::Yes;
}

std::optional<HistoryRow> HistoryStore::add(const QString &type, const QDateTime &made)
{
    if (!m_open) {
        fail(m_problem);
        return std::nullopt;
    }
    HistoryRow row{0, type, QString(""), QString(""), made.toString(Qt::ISODateWithMs)};
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral(
        "INSERT INTO TrsData (\"Text\", \"Data\", \"Remark\", \"MD\") VALUES (?, ?, ?, ?)"));
    q.addBindValue(row.type);
    q.addBindValue(row.data);
    q.addBindValue(row.remark);
    q.addBindValue(row.made);
    if (!q.exec()) {
        fail(errorText(q.lastError()));
        return std::nullopt;
    }
    row.key = q.lastInsertId().toLongLong();
    return row;
}

HistoryStore::Outcome HistoryStore::remove(const HistoryRow &asRead)
{
    return writeIfUnchanged(asRead, QStringLiteral("DELETE FROM TrsData WHERE rowid = ?"), {asRead.key});
}

HistoryStore::Outcome HistoryStore::setField(const HistoryRow &asRead, Field field, const QString &value)
{
    return writeIfUnchanged(asRead,
                            QStringLiteral("UPDATE TrsData SET %1 = ? WHERE rowid = ?").arg(columnName(field)),
                            {value, asRead.key});
}

// The row is compared as a whole, as it was read, inside one write
// transaction: another program cannot change it between the look and the
// write, and a write that would land on a row the user never saw is not made.
HistoryStore::Outcome HistoryStore::writeIfUnchanged(const HistoryRow &asRead, const QString &statement,
                                                     const QVariantList &values)
{
    if (!m_open) {
        fail(m_problem);
        return Outcome::Failed;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        fail(errorText(q.lastError()));
        return Outcome::Failed;
    }
    HistoryRow stored;
    Outcome outcome = Outcome::Done;
    switch (read(asRead.key, stored)) {
    case Found::Unreadable:
        outcome = Outcome::Failed;
        break;
    case Found::Gone:
        fail(QStringLiteral("another program removed the row from the file."));
        outcome = Outcome::Gone;
        break;
    case Found::Yes:
        if (stored != asRead) {
            fail(QStringLiteral("another program changed the row since it was read."));
            outcome = Outcome::Changed;
            break;
        }
        q.prepare(statement);
        for (const QVariant &value : values)
            q.addBindValue(value);
        if (!q.exec()) {
            fail(errorText(q.lastError()));
            outcome = Outcome::Failed;
        } else if (q.numRowsAffected() != 1) {
            fail(QStringLiteral("the row could not be found in the file."));
            outcome = Outcome::Gone;
        }
        break;
    }
    q.finish();
    if (outcome == Outcome::Done && !q.exec(QStringLiteral("COMMIT"))) {
        fail(errorText(q.lastError()));
        outcome = Outcome::Failed;
    }
    if (outcome != Outcome::Done)
        q.exec(QStringLiteral("ROLLBACK"));
    return outcome;
}

void sortNewestFirst(QList<HistoryRow> &rows)
{
    struct Keyed {
        std::optional<qint64> msecs;
        const HistoryRow *row;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(rows.size()));
    for (const HistoryRow &row : rows)
        keyed.push_back({madeOrder(row.made), &row});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.msecs.has_value() != b.msecs.has_value())
            return a.msecs.has_value();
        if (a.msecs != b.msecs)
            return *a.msecs > *b.msecs;
        if (!a.msecs && a.row->made != b.row->made)
            return a.row->made > b.row->made;
        return a.row->key > b.row->key;
    });
    QList<HistoryRow> sorted;
    sorted.reserve(rows.size());
    for (const Keyed &k : keyed)
        sorted.append(*k.row);
    rows = std::move(sorted);
}

} // namespace console
