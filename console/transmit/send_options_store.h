#pragma once

#include "console/transmit/history_store.h"
#include "console/transmit/send_options.h"

#include <QHash>
#include <QString>

namespace console {

// The send options of the history rows: the table
//   TrsSendOptions(RowId INTEGER PRIMARY KEY, LineEnd TEXT, "Check" TEXT)
// beside TrsData in the same file and over the same connection. RowId is the
// row's rowid in TrsData. The table is made at the first option set, so a
// file that never had options stays as it was; TrsData is never altered.
//
// Opening only reads. A history store that is closed (a damaged file, not a
// database) or an options table that cannot be read is never written, and
// the rows send without options. Unknown names count as "none".
class SendOptionsStore {
public:
    explicit SendOptionsStore(HistoryStore &history);
    SendOptionsStore(const SendOptionsStore &) = delete;
    SendOptionsStore &operator=(const SendOptionsStore &) = delete;

    // False when an options table is present but cannot be read; problem()
    // then names the file and the reason.
    bool isReadable() const { return m_problem.isEmpty(); }
    QString problem() const { return m_problem; }
    QString lastError() const { return m_lastError; }

    // Plain options for a row that has none.
    SendOptions options(qint64 key) const { return m_options.value(key); }

    // Stores that row's options (plain ones remove its entry), checked in
    // one transaction. False, with the reason in lastError(), when the file
    // refused or the row is no longer stored; what was stored stays.
    bool set(qint64 key, SendOptions options);
    // Drops the entry of a row that was deleted, or of a row just added
    // under a key that an earlier, deleted row had (files made elsewhere may
    // reuse rowids).
    bool forget(qint64 key);

private:
    bool load();
    bool fail(const QString &reason);

    HistoryStore &m_history;
    QHash<qint64, SendOptions> m_options;
    bool m_tableExists = false;
    QString m_problem;
    QString m_lastError;
};

} // namespace console
