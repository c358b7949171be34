#include "arrival_times.h"

#include <QDateTime>

#include <algorithm>

namespace console {

void ArrivalTimes::record(qint64 firstByte, qint64 msecs)
{
    if (!m_entries.empty() && m_entries.back().firstByte >= firstByte) {
        // The same first byte again (nothing shown in between): keep the
        // earlier time, which is when that byte came.
        return;
    }
    m_entries.push_back({firstByte, msecs});
}

std::optional<qint64> ArrivalTimes::timeOf(qint64 index) const
{
    auto after = std::upper_bound(m_entries.begin(), m_entries.end(), index,
                                  [](qint64 i, const Entry &e) { return i < e.firstByte; });
    if (after == m_entries.begin())
        return std::nullopt;
    return std::prev(after)->msecs;
}

QString arrivalText(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString rowToolTip(qint64 rowLabel, std::optional<qint64> firstByteMsecs)
{
    QString tip = QStringLiteral("Row ") + QString::number(rowLabel);
    if (firstByteMsecs)
        tip += QStringLiteral(" \u2014 ") + arrivalText(*firstByteMsecs);
    return tip;
}

} // namespace console
