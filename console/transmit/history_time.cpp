#include "history_time.h"

#include <QTimeZone>

namespace console {

namespace {

// The value of the `count` ASCII digits at `at`, or -1.
int digitsAt(QStringView text, qsizetype at, qsizetype count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

bool charAt(QStringView text, qsizetype at, char16_t c)
{
    return at < text.size() && text[at] == c;
}

struct MadeParts {
    QDate date;
    QTime time;
    bool blankSeparated = false;       // a blank between date and time, not T
    bool fraction = false;             // seconds with a fraction
    std::optional<int> offsetSeconds;  // a zone given: ahead of UTC
};

// yyyy-MM-dd, a blank or T, HH:mm, then optionally :ss, a fraction of a
// second (1 to 9 digits, kept to the millisecond) and a zone (Z, +hh:mm or
// -hh:mm). Years 1 to 9999, a real date and time of day; nothing else, not
// even a blank.
std::optional<MadeParts> readMadeParts(QStringView text)
{
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2);
    const int minute = digitsAt(text, 14, 2);
    if (year < 1 || month < 0 || day < 0 || hour < 0 || minute < 0 || !charAt(text, 4, u'-')
        || !charAt(text, 7, u'-') || !(charAt(text, 10, u' ') || charAt(text, 10, u'T')) || !charAt(text, 13, u':'))
        return std::nullopt;
    MadeParts parts;
    parts.blankSeparated = text[10] == u' ';
    qsizetype at = 16;
    int second = 0;
    int msec = 0;
    if (charAt(text, at, u':')) {
        second = digitsAt(text, at + 1, 2);
        if (second < 0)
            return std::nullopt;
        at += 3;
        if (charAt(text, at, u'.')) {
            int digits = 0;
            for (++at; digitsAt(text, at, 1) >= 0; ++at, ++digits) {
                if (digits < 3)
                    msec = msec * 10 + digitsAt(text, at, 1);
            }
            if (digits == 0 || digits > 9)
                return std::nullopt;
            for (; digits < 3; ++digits)
                msec *= 10;
            parts.fraction = true;
        }
    }
    if (charAt(text, at, u'Z')) {
        parts.offsetSeconds = 0;
        ++at;
    } else if (charAt(text, at, u'+') || charAt(text, at, u'-')) {
        const int hours = digitsAt(text, at + 1, 2);
        const int minutes = digitsAt(text, at + 4, 2);
        if (hours < 0 || minutes < 0 || minutes > 59 || !charAt(text, at + 3, u':'))
            return std::nullopt;
        parts.offsetSeconds = (text[at] == u'-' ? -60 : 60) * (hours * 60 + minutes);
        at += 6;
    }
    parts.date = QDate(year, month, day);
    parts.time = QTime(hour, minute, second, msec);
    if (at != text.size() || !parts.date.isValid() || !parts.time.isValid())
        return std::nullopt;
    return parts;
}

// The local time the parts name, in years 1 to 9999. A time given with a
// zone is converted; a local time the clock skips (summer time) is none.
std::optional<QDateTime> localTimeOf(const MadeParts &parts)
{
    QDateTime when;
    if (parts.offsetSeconds) {
        const QTimeZone zone(*parts.offsetSeconds);
        if (!zone.isValid())
            return std::nullopt;
        when = QDateTime(parts.date, parts.time, zone).toLocalTime();
    } else {
        when = QDateTime(parts.date, parts.time);
        if (when.date() != parts.date || when.time() != parts.time)
            return std::nullopt;
    }
    if (!when.isValid() || when.date().year() < 1 || when.date().year() > 9999)
        return std::nullopt;
    return when;
}

} // namespace

std::optional<QDateTime> madeTime(const QString &made)
{
    const auto parts = readMadeParts(QStringView(made).trimmed());
    return parts ? localTimeOf(*parts) : std::nullopt;
}

QString madeText(const QString &made)
{
    const auto when = madeTime(made);
    return when ? when->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : made;
}

std::optional<QString> storedMade(const QString &typed)
{
    const auto parts = readMadeParts(QStringView(typed).trimmed());
    // The form with a blank is the one the cell shows: whole seconds at most.
    if (!parts || (parts->blankSeparated && (parts->fraction || parts->offsetSeconds)))
        return std::nullopt;
    const auto when = localTimeOf(*parts);
    if (!when)
        return std::nullopt;
    // In the hour a clock change repeats, the local time alone would be
    // read back as the other of the two: that one keeps its offset.
    const QDateTime readBack(when->date(), when->time());
    if (readBack.toMSecsSinceEpoch() != when->toMSecsSinceEpoch())
        return when->toOffsetFromUtc(when->offsetFromUtc()).toString(Qt::ISODateWithMs);
    return when->toString(Qt::ISODateWithMs);
}

std::optional<qint64> madeOrder(const QString &made)
{
    // The moment itself: around a clock change the local date and time
    // repeat or skip, and a time the clock skips names no moment.
    const auto when = madeTime(made);
    return when ? std::optional(when->toMSecsSinceEpoch()) : std::nullopt;
}

} // namespace console
