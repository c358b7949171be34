#include "device_command.h"

#include "console/device/panel_device.h"
#include "console/device/register_file.h"
#include "capture/recording_file.h"
#include "console/panel/port_argument.h"
#include "console/traffic/traffic_settings.h"
#include "desktop/command_line.h"
#include "desktop/termination_signals.h"
#include "serial/settings_string.h"

#include <QCoreApplication>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace console {

namespace {

// Bytes or events a panel holds before what was answered is let go.
constexpr qint64 kForgetBytes = 1 << 20;
constexpr size_t kForgetEvents = 1000;
constexpr int kPollMs = 5;

QString summaryOf(const protocol::ModbusDevice::Counts &c)
{
    return QStringLiteral("Answered %1 of %2 requests (%3 exceptions); %4 not for an answer (other units, "
                          "broadcasts, bad CRCs); %5 dropped")
        .arg(c.answered).arg(c.requests).arg(c.exceptions).arg(c.ignored).arg(c.dropped);
}

} // namespace

std::optional<DeviceOptions> parseDeviceOptions(const DeviceArguments &arguments, QString *reason)
{
    DeviceOptions options;
    const auto port = parsePortArgument(QStringLiteral("--answer-as-device"), arguments.device, reason);
    if (!port)
        return std::nullopt;
    options.port = port->port;
    options.settings = port->settings;
    if (!arguments.unit) {
        *reason = QStringLiteral("--answer-as-device needs --unit N[,N...], the device's unit numbers 1-247");
        return std::nullopt;
    }
    std::string why;
    const auto units = protocol::parseUnits(arguments.unit->toStdString(), &why);
    if (!units) {
        *reason = QStringLiteral("--unit: ") + QString::fromStdString(why);
        return std::nullopt;
    }
    options.units = *units;
    if (bool(arguments.table) == bool(arguments.fromCapture)) {
        *reason = QStringLiteral("--answer-as-device needs one of --table FILE.csv and --from-capture FILE");
        return std::nullopt;
    }
    if (arguments.fromCapture)
        options.fromCapture = *arguments.fromCapture;
    else
        options.table = *arguments.table;
    if (arguments.protocol) {
        if (!arguments.fromCapture) {
            *reason = QStringLiteral("--protocol goes with --from-capture (a table answers Modbus RTU)");
            return std::nullopt;
        }
        options.protocol = parseProtocolArgument(*arguments.protocol, reason);
        if (!options.protocol)
            return std::nullopt;
    }
    if (arguments.replyDelay) {
        const auto ms = serial::positiveDecimal(*arguments.replyDelay);
        if (*arguments.replyDelay == QLatin1String("0"))
            options.replyDelayMs = 0;
        else if (!ms || *ms > kLongestReplyDelayMs) {
            *reason = QStringLiteral("--reply-delay %1: give the milliseconds before an answer, 0-%2")
                          .arg(*arguments.replyDelay).arg(kLongestReplyDelayMs);
            return std::nullopt;
        } else {
            options.replyDelayMs = *ms;
        }
        options.replyDelayGiven = true;
    }
    if (arguments.saveTable && !arguments.table) {
        *reason = QStringLiteral("--save-table goes with --table");
        return std::nullopt;
    }
    options.verbose = arguments.verbose;
    options.saveTable = arguments.saveTable;
    return options;
}

namespace {

// What answers: a register table or a recording, loaded before the port
// opens.
struct Answering {
    std::optional<protocol::ModbusAnswerer> table;
    std::optional<protocol::RecordingAnswerer> recording;
    protocol::Protocol protocol = protocol::Protocol::ModbusRtu;
};

QString recordingSummary(const protocol::RecordingDevice::Counts &c)
{
    return QStringLiteral("Matched %1 of %2 requests to recorded ones, %3 not recorded; %4 answers sent, %5 dropped")
        .arg(c.matched).arg(c.matched + c.unmatched).arg(c.unmatched).arg(c.answered).arg(c.dropped);
}

// The recording's exchanges for the device's units, or the reason there are
// none.
std::optional<protocol::RecordingAnswerer> loadRecordingAnswerer(const DeviceOptions &options,
                                                                 protocol::Protocol *protocol, QString *failure)
{
    capture::RecordingLoad load = capture::loadRecording(options.fromCapture, options.protocol,
                                                         protocol::Protocol::ModbusRtu,
                                                         qint64(kDefaultReplyTimeoutMs) * 1000);
    if (!load.error.isEmpty()) {
        *failure = load.error;
        return std::nullopt;
    }
    *protocol = load.protocol;
    auto mine = protocol::exchangesForUnits(load.protocol, std::move(load.exchanges), options.units);
    if (mine.empty()) {
        QStringList units;
        for (std::uint8_t unit : options.units)
            units << QString::number(unit);
        *failure = QStringLiteral("%1 holds no request for unit %2").arg(options.fromCapture, units.join(QLatin1Char(',')));
        return std::nullopt;
    }
    return protocol::RecordingAnswerer(std::move(mine));
}

} // namespace

int runDevice(const DeviceOptions &options, const PortEnvironment &environment)
{
    Answering answering;
    if (!options.fromCapture.isEmpty()) {
        QString failure;
        answering.recording = loadRecordingAnswerer(options, &answering.protocol, &failure);
        if (!answering.recording) {
            desktop::printError(failure + QStringLiteral("\n"));
            return desktop::kExitUsage;
        }
    } else {
        const RegisterFileLoad load = loadRegisterFile(options.table);
        if (!load.table) {
            desktop::printError(load.error + QStringLiteral("\n"));
            return desktop::kExitUsage;
        }
        for (const QString &remark : load.remarks)
            desktop::printError(remark + QStringLiteral("\n"));
        answering.table.emplace(*load.table, options.units);
    }

    Panel panel(environment);
    panel.setPortText(options.port);
    QString failure;
    if (!panel.start({options.port, options.settings}, &failure)) {
        desktop::printError(QStringLiteral("Cannot open %1: %2\n").arg(options.port, failure));
        return desktop::kExitFailure;
    }
    panel.setStarted(true);

    std::unique_ptr<PanelDevice> device;
    if (answering.table) {
        protocol::ModbusDevice::Options deviceOptions;
        deviceOptions.replyDelayUs = qint64(options.replyDelayMs) * 1000;
        deviceOptions.byteTimeUs = byteTimeUs(options.settings);
        device = std::make_unique<PanelDevice>(panel, *answering.table, deviceOptions);
    } else {
        protocol::RecordingDevice::Options deviceOptions;
        deviceOptions.protocol = answering.protocol;
        if (options.replyDelayGiven)
            deviceOptions.replyDelayUs = qint64(options.replyDelayMs) * 1000;
        deviceOptions.byteTimeUs = byteTimeUs(options.settings);
        device = std::make_unique<PanelDevice>(panel, *answering.recording, deviceOptions);
    }

    bool show = options.verbose;
#ifdef Q_OS_UNIX
    show = show || ::isatty(STDOUT_FILENO);
#endif
    device->setLinesWanted(show);
    QObject::connect(device.get(), &PanelDevice::requestLines, device.get(),
                     [](const QStringList &lines, qint64 unlisted) {
                         if (unlisted > 0)
                             desktop::printOut(QStringLiteral("(%1 requests without a line: too many at once)\n")
                                                   .arg(unlisted));
                         if (!lines.isEmpty())
                             desktop::printOut(lines.join(QLatin1Char('\n')) + QStringLiteral("\n"));
                     });
    const auto fail = [&](const QString &reason) {
        if (failure.isEmpty())
            failure = reason;
        QCoreApplication::quit();
    };
    QObject::connect(device.get(), &PanelDevice::sendFailed, device.get(),
                     [&](const QString &reason) { fail(QStringLiteral("Cannot answer on %1: %2").arg(options.port, reason)); });

    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, device.get(), [&] {
        const Panel::Poll result = panel.poll();
        if (result.outcome == Panel::Poll::Outcome::Fault) {
            fail(QStringLiteral("The port failed: %1").arg(result.fault));
            return;
        }
        // What was answered is let go, so that memory stays flat however
        // long the device runs.
        if (device->caughtUp()
            && (panel.receive().store().size() >= kForgetBytes || panel.events().size() >= kForgetEvents))
            panel.clear();
    });
    poll.start();

    desktop::TerminationSignals termination;
    QObject::connect(&termination, &desktop::TerminationSignals::received, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QCoreApplication::exec();
    poll.stop();
    panel.setStarted(false);
    panel.poll();

    desktop::printError((answering.table ? summaryOf(device->counts()) : recordingSummary(device->recordingCounts()))
                        + QStringLiteral("\n"));
    if (options.saveTable) {
        QString why;
        if (!saveRegisterFile(options.table, answering.table->table(), &why)) {
            desktop::printError(why + QStringLiteral("\n"));
            return desktop::kExitFailure;
        }
    }
    if (!failure.isEmpty()) {
        desktop::printError(failure + QStringLiteral("\n"));
        return desktop::kExitFailure;
    }
    return desktop::kExitOk;
}

} // namespace console
