#include "send_options_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace console {

namespace {

QString reasonOf(const QSqlQuery &q)
{
    const QSqlError error = q.lastError();
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

} // namespace

SendOptionsStore::SendOptionsStore(HistoryStore &history)
    : m_history(history)
{
    if (m_history.isOpen() && !load()) {
        m_problem = QStringLiteral("The send options in the history file %1 cannot be read: %2 "
                                   "They are left unchanged; the rows are sent without them.")
                        .arg(QDir::toNativeSeparators(QFileInfo(m_history.path()).absoluteFilePath()),
                             m_lastError);
        m_options.clear();
    }
}

bool SendOptionsStore::fail(const QString &reason)
{
    m_lastError = reason.endsWith(QLatin1Char('.')) ? reason : reason + QLatin1Char('.');
    return false;
}

bool SendOptionsStore::load()
{
    QSqlQuery q(QSqlDatabase::database(m_history.connectionName(), false));
    if (!q.exec(QStringLiteral(
            "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'TrsSendOptions' COLLATE NOCASE")))
        return fail(reasonOf(q));
    m_tableExists = q.next();
    if (!m_tableExists)
        return true;
    // Entries whose row is gone (deleted by another program) are not read.
    if (!q.exec(QStringLiteral("SELECT o.RowId, o.LineEnd, o.\"Check\" FROM TrsSendOptions o "
                               "JOIN TrsData t ON t.rowid = o.RowId")))
        return fail(reasonOf(q));
    while (q.next()) {
        const SendOptions options{lineEndFromName(q.value(1).toString()).value_or(LineEnd::None),
                                  frameCheckFromName(q.value(2).toString()).value_or(FrameCheck::None)};
        if (!options.isPlain())
            m_options.insert(q.value(0).toLongLong(), options);
    }
    if (q.lastError().isValid())
        return fail(reasonOf(q));
    return true;
}

bool SendOptionsStore::set(qint64 key, SendOptions options)
{
    if (!m_history.isOpen())
        return fail(m_history.problem());
    if (!isReadable())
        return fail(m_problem);
    if (options == this->options(key))
        return true;

    QSqlQuery q(QSqlDatabase::database(m_history.connectionName(), false));
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(reasonOf(q));
    const auto step = [&](const QString &statement, const QVariantList &values) {
        q.prepare(statement);
        for (const QVariant &value : values)
            q.addBindValue(value);
        return q.exec();
    };
    bool ok = step(QStringLiteral("SELECT 1 FROM TrsData WHERE rowid = ?"), {key});
    const bool rowStored = ok && q.next();
    q.finish();
    if (ok && !rowStored) {
        q.exec(QStringLiteral("ROLLBACK"));
        return fail(QStringLiteral("another program removed the row from the file."));
    }
    ok = ok
         && step(QStringLiteral("CREATE TABLE IF NOT EXISTS TrsSendOptions "
                                "(RowId INTEGER PRIMARY KEY, LineEnd TEXT, \"Check\" TEXT)"),
                 {})
         && (options.isPlain()
                 ? step(QStringLiteral("DELETE FROM TrsSendOptions WHERE RowId = ?"), {key})
                 : step(QStringLiteral("INSERT OR REPLACE INTO TrsSendOptions (RowId, LineEnd, \"Check\") "
                                       "VALUES (?, ?, ?)"),
                        {key, lineEndName(options.lineEnd), frameCheckName(options.check)}))
         && q.exec(QStringLiteral("COMMIT"));
    if (!ok) {
        const QString reason = reasonOf(q);
        q.exec(QStringLiteral("ROLLBACK"));
        return fail(reason);
    }
    m_tableExists = true;
    if (options.isPlain())
        m_options.remove(key);
    else
        m_options.insert(key, options);
    return true;
}

bool SendOptionsStore::forget(qint64 key)
{
    if (!m_tableExists || !m_history.isOpen() || !isReadable())
        return true;
    QSqlQuery q(QSqlDatabase::database(m_history.connectionName(), false));
    q.prepare(QStringLiteral("DELETE FROM TrsSendOptions WHERE RowId = ?"));
    q.addBindValue(key);
    if (!q.exec())
        return fail(reasonOf(q));
    m_options.remove(key);
    return true;
}

} // namespace console
