#pragma once

#include "console/panel/panel.h"
#include "protocol/replay.h"

#include <optional>

namespace console {

// tavrin --replay FILE --port PORT[,SETTINGS] [--timing recorded|fast]
//        [--protocol NAME]
struct ReplayCommandOptions {
    QString file;
    QString port;
    QString settings = QStringLiteral("9600,n,8,1");
    protocol::ReplayTiming timing = protocol::ReplayTiming::Recorded;
    // Nothing: the one a CSV export names, else none.
    std::optional<protocol::Protocol> protocol;
};

struct ReplayArguments {
    QString file;
    std::optional<QString> port;
    std::optional<QString> timing;
    std::optional<QString> protocol;
};

// The options, or nothing with the reason (a usage error).
std::optional<ReplayCommandOptions> parseReplayOptions(const ReplayArguments &arguments, QString *reason);

// The recording's exchanges and how to replay them, the one place the
// command and the dialog read a file with: the reply timeout is the traffic
// view's default, the byte time the line's settings'. Nothing with the
// reason when the file cannot be played.
struct ReplayPlan {
    std::vector<protocol::RecordedExchange> exchanges;
    protocol::ReplayOptions options;
};
std::optional<ReplayPlan> planReplay(const QString &file, std::optional<protocol::Protocol> protocol,
                                     protocol::ReplayTiming timing, const QString &settings, QString *failure);

// Replays until every request has had its answer or its wait, or until
// SIGINT, SIGTERM or SIGHUP; needs a QCoreApplication. A line per request
// on standard output, then the totals. Returns the exit status: 0 every
// answer the same, 1 one different or missing (or the port failed, the
// reason on standard error), 2 a file that cannot be played.
int runReplay(const ReplayCommandOptions &options, const PortEnvironment &environment);

} // namespace console
