#include "record_command.h"

#include "console/panel/port_argument.h"
#include "desktop/command_line.h"
#include "desktop/termination_signals.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace console {

std::optional<RecordOptions> parseRecordOptions(const QStringList &records, const QString &output,
                                                const std::optional<QString> &duration,
                                                const std::optional<QString> &protocol, QString *reason)
{
    RecordOptions options;
    if (protocol) {
        const auto chosen = parseProtocolArgument(*protocol, reason);
        if (!chosen)
            return std::nullopt;
        options.protocol = *chosen;
    }
    if (records.size() > 2) {
        *reason = QStringLiteral("--record: at most two ports, one a panel");
        return std::nullopt;
    }
    for (const QString &record : records) {
        const auto given = parsePortArgument(QStringLiteral("--record"), record, reason);
        if (!given)
            return std::nullopt;
        options.ports.push_back({given->port, given->settings});
    }
    if (output.isEmpty()) {
        *reason = QStringLiteral("--record needs --output FILE.pcapng");
        return std::nullopt;
    }
    options.output = output;
    if (duration) {
        bool ok = false;
        const double seconds = duration->toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e9) {
            *reason = QStringLiteral("--duration %1: give the seconds to record, more than 0").arg(*duration);
            return std::nullopt;
        }
        options.durationS = seconds;
    }
    return options;
}

int runRecorder(const RecordOptions &options, const PortEnvironment &environment)
{
    Recorder recorder(options.ports, options.output, environment);
    recorder.setProtocol(options.protocol);
    QString failure;
    if (!recorder.start(&failure)) {
        desktop::printError(failure + QStringLiteral("\n"));
        return desktop::kExitFailure;
    }
    desktop::TerminationSignals termination;
    QObject::connect(&termination, &desktop::TerminationSignals::received, &recorder, &Recorder::stop,
                     Qt::QueuedConnection);
    QObject::connect(&recorder, &Recorder::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    if (options.durationS)
        QTimer::singleShot(qint64(*options.durationS * 1000), &recorder, &Recorder::stop);
    bool terminal = false;
#ifdef Q_OS_UNIX
    terminal = ::isatty(STDERR_FILENO);
#endif
    QTimer progress;
    if (terminal) {
        QObject::connect(&progress, &QTimer::timeout, &recorder,
                         [&] { desktop::printError(QStringLiteral("\r\033[K") + recorder.progressLine()); });
        progress.start(1000);
    }
    QCoreApplication::exec();
    if (terminal)
        desktop::printError(QStringLiteral("\r\033[K"));
    desktop::printError(recorder.summaryLine() + QStringLiteral("\n"));
    if (!recorder.failure().isEmpty()) {
        desktop::printError(recorder.failure() + QStringLiteral("\n"));
        return desktop::kExitFailure;
    }
    return desktop::kExitOk;
}

} // namespace console
