#include "console_settings.h"

#include "console/bytes/byte_store.h"

#include <QSettings>

#include <algorithm>

namespace console {

namespace {
QString reconnectKey(int panel)
{
    return QStringLiteral("Panel%1/ReconnectAutomatically").arg(panel);
}
const QString kSplit = QStringLiteral("Traffic/Split");
const QString kGapMs = QStringLiteral("Traffic/GapMs");
const QString kDelimiter = QStringLiteral("Traffic/Delimiter");
const QString kCheck = QStringLiteral("Traffic/Check");
const QString kMemoryBudget = QStringLiteral("Receive/MemoryBudgetMiB");
} // namespace

ConsoleSettings::ConsoleSettings(const QString &file)
    : m_settings(file.isEmpty() ? std::make_unique<QSettings>(QStringLiteral("Tavrin"), QStringLiteral("Tavrin"))
                                : std::make_unique<QSettings>(file, QSettings::IniFormat))
{
}

ConsoleSettings::~ConsoleSettings() = default;

bool ConsoleSettings::reconnectAutomatically(int panel) const
{
    return m_settings->value(reconnectKey(panel), false).toBool();
}

void ConsoleSettings::setReconnectAutomatically(int panel, bool on)
{
    m_settings->setValue(reconnectKey(panel), on);
    m_settings->sync();
}

qint64 ConsoleSettings::receiveMemoryBudget() const
{
    constexpr qint64 kMiB = 1024 * 1024;
    bool number = false;
    const qint64 mib = m_settings->value(kMemoryBudget).toLongLong(&number);
    if (!number || mib < 0)
        return ByteStore::kDefaultMemoryBudget;
    // Far beyond any memory; keeps the product in range.
    return std::min<qint64>(mib, qint64(1) << 30) * kMiB;
}

TrafficSettings ConsoleSettings::traffic() const
{
    TrafficSettings t;
    QString ignored;
    if (const auto kind = splitKindFromName(m_settings->value(kSplit).toString()))
        t.split.kind = *kind;
    if (const auto gap = parseGapMs(m_settings->value(kGapMs).toString(), &ignored))
        t.split.gapMs = *gap;
    if (const auto delimiter = parseDelimiter(m_settings->value(kDelimiter).toString(), &ignored))
        t.split.delimiter = *delimiter;
    const auto check = frameCheckFromName(m_settings->value(kCheck).toString());
    if (check && std::find(kTrafficChecks.begin(), kTrafficChecks.end(), *check) != kTrafficChecks.end())
        t.check = *check;
    return t;
}

void ConsoleSettings::setTraffic(const TrafficSettings &traffic)
{
    m_settings->setValue(kSplit, splitKindName(traffic.split.kind));
    m_settings->setValue(kGapMs, traffic.split.gapMs);
    m_settings->setValue(kDelimiter, delimiterText(traffic.split.delimiter));
    m_settings->setValue(kCheck, frameCheckName(traffic.check));
    m_settings->sync();
}

} // namespace console
