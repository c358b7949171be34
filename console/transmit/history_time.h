#pragma once

// The column MD of the history (shown as NO.): the date and time a row was
// made, as text in the file.

#include <QDateTime>
#include <QString>

#include <optional>

namespace console {

// The local time a stored MD value names. A file may hold MD as this
// program writes it (yyyy-MM-ddTHH:mm:ss.zzz, local time) or in other forms
// of ISO 8601: a blank for the T, without seconds, with another fraction of
// a second, with a zone (Z, +hh:mm), which is converted to local time.
// Nothing for any other text, and for years outside 1 to 9999.
std::optional<QDateTime> madeTime(const QString &made);
// The text the NO. column shows for a stored MD value: its local time as
// yyyy-MM-dd HH:mm:ss, or the stored text as it is when it names none.
QString madeText(const QString &made);
// The stored MD value (local time, yyyy-MM-ddTHH:mm:ss.zzz, with the
// offset from UTC in the hour a clock change repeats) for a date and
// time typed into the NO. column, blanks around it ignored:
// yyyy-MM-dd HH:mm:ss, yyyy-MM-dd HH:mm, or ISO 8601 with a T, with or
// without seconds and their fraction, and an optional zone converted to
// local time. Nothing for any other text, a date that does not exist (30
// February, year 0 or 10000), or a local time the clock skips.
std::optional<QString> storedMade(const QString &typed);
// The moment a stored MD value names, as milliseconds since the epoch,
// which orders them; nothing when it names none (a local time the clock
// skips included).
std::optional<qint64> madeOrder(const QString &made);

} // namespace console
