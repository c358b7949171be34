#include "traffic_settings.h"

#include <algorithm>

namespace console {

namespace {
const QString kSplit = QStringLiteral("Traffic/Split");
const QString kGapMs = QStringLiteral("Traffic/GapMs");
const QString kDelimiter = QStringLiteral("Traffic/Delimiter");
const QString kCheck = QStringLiteral("Traffic/Check");
const QString kProtocol = QStringLiteral("Traffic/Protocol");
const QString kReplyTimeoutMs = QStringLiteral("Traffic/ReplyTimeoutMs");
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
    if (const auto chosen = protocol::protocolFromSettingName(settings.value(kProtocol).toString().toStdString()))
        t.protocol = *chosen;
    if (const auto timeout = parseReplyTimeoutMs(settings.value(kReplyTimeoutMs).toString(), &ignored))
        t.replyTimeoutMs = *timeout;
    return t;
}

void writeTrafficSettings(ConsoleSettings &settings, const TrafficSettings &traffic)
{
    settings.setValue(kSplit, splitKindName(traffic.split.kind));
    settings.setValue(kGapMs, traffic.split.gapMs);
    settings.setValue(kDelimiter, delimiterText(traffic.split.delimiter));
    settings.setValue(kCheck, frameCheckName(traffic.check));
    settings.setValue(kProtocol, QString::fromStdString(std::string(protocol::settingName(traffic.protocol))));
    settings.setValue(kReplyTimeoutMs, traffic.replyTimeoutMs);
}

std::optional<int> parseReplyTimeoutMs(const QString &text, QString *reason)
{
    // Digits only: a sign, blanks or a NUL make it no number.
    bool ok = !text.isEmpty() && text.size() <= 5
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    const int value = ok ? text.toInt(&ok) : 0;
    if (!ok || value < kMinReplyTimeoutMs || value > kMaxReplyTimeoutMs) {
        *reason = QObject::tr("\"%1\" is no reply timeout: give a whole number of milliseconds from %2 to %3.")
                      .arg(text)
                      .arg(kMinReplyTimeoutMs)
                      .arg(kMaxReplyTimeoutMs);
        return std::nullopt;
    }
    return value;
}

} // namespace console
