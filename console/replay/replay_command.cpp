#include "replay_command.h"

#include "capture/recording_file.h"
#include "console/panel/port_argument.h"
#include "console/replay/panel_replay.h"
#include "console/traffic/traffic_settings.h"
#include "desktop/command_line.h"
#include "desktop/termination_signals.h"

#include <QCoreApplication>

namespace console {

std::optional<ReplayCommandOptions> parseReplayOptions(const ReplayArguments &arguments, QString *reason)
{
    ReplayCommandOptions options;
    options.file = arguments.file;
    if (options.file.isEmpty()) {
        *reason = QStringLiteral("--replay needs the recording: --replay FILE (a capture or a CSV export)");
        return std::nullopt;
    }
    if (!arguments.port) {
        *reason = QStringLiteral("--replay needs --port PORT[,SETTINGS], the line to the device");
        return std::nullopt;
    }
    const auto port = parsePortArgument(QStringLiteral("--port"), *arguments.port, reason);
    if (!port)
        return std::nullopt;
    options.port = port->port;
    options.settings = port->settings;
    if (arguments.timing) {
        if (*arguments.timing == QLatin1String("recorded"))
            options.timing = protocol::ReplayTiming::Recorded;
        else if (*arguments.timing == QLatin1String("fast"))
            options.timing = protocol::ReplayTiming::Fast;
        else {
            *reason = QStringLiteral("--timing %1: give recorded (the recorded spacing) or fast").arg(*arguments.timing);
            return std::nullopt;
        }
    }
    if (arguments.protocol) {
        options.protocol = parseProtocolArgument(*arguments.protocol, reason);
        if (!options.protocol)
            return std::nullopt;
    }
    return options;
}

std::optional<ReplayPlan> planReplay(const QString &file, std::optional<protocol::Protocol> protocol,
                                     protocol::ReplayTiming timing, const QString &settings, QString *failure)
{
    const qint64 timeoutUs = qint64(kDefaultReplyTimeoutMs) * 1000;
    capture::RecordingLoad load = capture::loadRecording(file, protocol, protocol::Protocol::None, timeoutUs);
    if (!load.error.isEmpty()) {
        *failure = load.error;
        return std::nullopt;
    }
    ReplayPlan plan;
    plan.exchanges = std::move(load.exchanges);
    plan.options.protocol = load.protocol;
    plan.options.timing = timing;
    plan.options.replyTimeoutUs = timeoutUs;
    if (const qint64 byteUs = byteTimeUs(settings))
        plan.options.byteTimeUs = byteUs;
    return plan;
}

int runReplay(const ReplayCommandOptions &options, const PortEnvironment &environment)
{
    QString failure;
    auto plan = planReplay(options.file, options.protocol, options.timing, options.settings, &failure);
    if (!plan) {
        desktop::printError(failure + QStringLiteral("\n"));
        return desktop::kExitUsage;
    }
    Panel panel(environment);
    panel.setPortText(options.port);
    if (!panel.start({options.port, options.settings}, &failure)) {
        desktop::printError(QStringLiteral("Cannot open %1: %2\n").arg(options.port, failure));
        return desktop::kExitFailure;
    }
    panel.setStarted(true);
    PanelReplay replay(panel, std::move(plan->exchanges), plan->options, [&] {
        const Panel::Poll result = panel.poll();
        if (result.outcome == Panel::Poll::Outcome::Fault && failure.isEmpty()) {
            failure = QStringLiteral("The port failed: %1").arg(result.fault);
            QCoreApplication::quit();
        }
    });
    QObject::connect(&replay, &PanelReplay::result, &replay,
                     [](const QString &line) { desktop::printOut(line + QStringLiteral("\n")); });
    QObject::connect(&replay, &PanelReplay::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    desktop::TerminationSignals termination;
    QObject::connect(&termination, &desktop::TerminationSignals::received, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    replay.start();
    QCoreApplication::exec();
    replay.stop();
    panel.setStarted(false);
    panel.poll();

    const protocol::ReplayTotals &t = replay.totals();
    const bool complete = t.all() == qint64(replay.size());
    desktop::printOut(QString::fromStdString(protocol::replayTotalsLine(t)) + QStringLiteral("\n"));
    if (failure.isEmpty())
        failure = replay.failure();
    if (!failure.isEmpty())
        desktop::printError(failure + QStringLiteral("\n"));
    else if (!complete)
        desktop::printError(QStringLiteral("Stopped after %1 of %2 requests\n").arg(t.all()).arg(replay.size()));
    return complete && t.different == 0 && t.noAnswer == 0 ? desktop::kExitOk : desktop::kExitFailure;
}

} // namespace console
