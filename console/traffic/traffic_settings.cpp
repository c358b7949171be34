#include "traffic_settings.h"

#include <algorithm>

namespace console {

namespace {
const QString kSplit = QStringLiteral("Traffic/Split");
const QString kGapMs = QStringLiteral("Traffic/GapMs");
const QString kDelimiter = QStringLiteral("Traffic/Delimiter");
const QString kCheck = QStringLiteral("Traffic/Check");
} // namespace

TrafficSettings readTrafficSettings(const ConsoleSettings &settings)
{
    TrafficSettings t;
    QString ignored;
    if (const auto kind = splitKindFromName(settings.value(kSplit).toString()))
        t.split.kind = *kind;
    if (const auto gap = parseGapMs(settings.value(kGapMs).toString(), &ignored))
        t.split.gapMs = *gap;
    if (const auto delimiter = parseDelimiter(settings.value(kDelimiter).toString(), &ignored))
        t.split.delimiter = *delimiter;
    const auto check = frameCheckFromName(settings.value(kCheck).toString());
    if (check && std::find(kTrafficChecks.begin(), kTrafficChecks.end(), *check) != kTrafficChecks.end())
        t.check = *check;
    return t;
}

void writeTrafficSettings(ConsoleSettings &settings, const TrafficSettings &traffic)
{
    settings.setValue(kSplit, splitKindName(traffic.split.kind));
    settings.setValue(kGapMs, traffic.split.gapMs);
    settings.setValue(kDelimiter, delimiterText(traffic.split.delimiter));
    settings.setValue(kCheck, frameCheckName(traffic.check));
}

} // namespace console
