#include "configurator/command_line.h"

#include "configurator/exchange.h"
#include "configurator/setting_lists.h"
#include "console/frames/hex_text.h"
#include "desktop/termination_signals.h"
#include "desktop/tick_counter.h"
#include "discovery/configurator_scan.h"
#include "discovery/discovery.h"
#include "serial/network_address.h"
#include "serial/open_failure.h"
#include "serial/port_names.h"
#include "serial/serial_control.h"
#include "serial/settings_string.h"

#include <QCoreApplication>

#ifndef Q_OS_WIN
#include "discovery/sysfs_backend.h"
#endif

namespace configurator {

namespace {

const QString kStartUpSettings = QStringLiteral("9600,e,7,1");

const char kUsage[] =
    "Usage: morvex [--preset FX|AQ|FP | --settings BAUD,PARITY,DATABITS,STOPBITS]\n"
    "              [--port N|rfc2217://HOST:PORT|tcp://HOST:PORT] [--from SETTINGS]\n"
    "Configurator of the Bluetooth serial adapter behind a CP210x bridge.\n"
    "With no option it opens its window. With --preset or --settings it sends the\n"
    "adapter one configuration frame without a window, prints the frame and the\n"
    "outcome, and exits.\n"
    "  --preset FX|AQ|FP  a PLC preset (in any case): FX 9600,e,7,1, AQ 9600,o,8,1,\n"
    "                     FP 19200,o,8,1\n"
    "  --settings B,P,D,S your own settings from the window's lists: baud rate\n"
    "                     9600, 19200 or 38400; parity n, e or o (lower case);\n"
    "                     data bits 7 or 8; stop bits 1 or 2 (for example\n"
    "                     38400,o,8,2)\n"
    "  --port N           the port to use, 1 to 255 (default: the bridge's port that\n"
    "                     discovery finds, else port 1)\n"
    "  --port rfc2217://HOST:PORT\n"
    "                     a port on a serial device server speaking RFC 2217: the\n"
    "                     line settings are set from here (HOST a name, an IPv4\n"
    "                     address or an [IPv6] address; PORT 1 to 65535)\n"
    "  --port tcp://HOST:PORT\n"
    "                     a port on a device server that passes the bytes as they\n"
    "                     are: the line settings are the server's\n"
    "  --from SETTINGS    the adapter's line settings now, when they are not the\n"
    "                     start-up 9600,e,7,1 (for example 19200,o,8,1)\n"
#ifndef Q_OS_WIN
    "  --sysfs DIR        read the USB devices from the tree at DIR instead of /sys\n"
    "  --device-dir DIR   port N opens DIR/ttyUSB(N-1) instead of /dev/ttyUSB(N-1)\n"
#endif
    "  --help             print this text and exit\n"
    "  --version          print the version and exit\n"
    "Exit status: 0 acknowledged, 1 the port or discovery failed, 2 wrong usage,\n"
    "3 refused, 4 no answer within 3 seconds, 5 another answer.\n";

// "FX", "AQ" or "FP", in any case (names, not values of a settings
// string): the preset's position in the window.
std::optional<int> presetIndex(const QString &name)
{
    const int index = QStringList{QStringLiteral("FX"), QStringLiteral("AQ"), QStringLiteral("FP")}
                          .indexOf(name.toUpper());
    return index < 0 ? std::nullopt : std::optional<int>(index);
}

// "38400,o,8,2": each value must be an entry of the window's lists, written
// as a settings string writes it (parity in lower case), read through the
// same positions the window's lists give.
std::optional<ExchangeRequest> userDefinedSettings(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4 || parts[1].size() != 1)
        return std::nullopt;
    ChosenPositions chosen;
    chosen.baud = baudRateEntries().indexOf(parts[0]);
    chosen.parity = QStringLiteral("neo").indexOf(parts[1]);
    chosen.dataBits = dataBitEntries().indexOf(parts[2]);
    chosen.stopBits = stopBitEntries().indexOf(parts[3]);
    if (chosen.baud < 0 || chosen.parity < 0 || chosen.dataBits < 0 || chosen.stopBits < 0)
        return std::nullopt;
    ConfigFields fields;
    takeChosenPositions(fields, chosen);
    return userDefinedRequest(fields.BaudRate, fields.ParityLetter, fields.DataBits, fields.StopBits);
}

// The port the window would preselect: the bridge's, else port 1. Prints the
// reason and returns nothing when discovery fails.
std::optional<int> discoveredPort(Workbench &workbench)
{
    discovery::Discovery bridges(*workbench.backends.vendor, *workbench.backends.registry,
                                 *workbench.backends.version);
    bridges.DeviceHandle = 1;
    discovery::ConfiguratorPorts ports;
    discovery::ConfiguratorScanResult scan;
    try {
        scan = discovery::FillDeviceListForConfigurator(bridges, ports);
    } catch (const discovery::LibraryLoadError &error) {
        desktop::printError(QStringLiteral("morvex: the USB device library cannot be loaded: %1\n")
                                .arg(QString::fromLocal8Bit(error.what())));
        return std::nullopt;
    }
    if (scan.status != discovery::ConfiguratorScanStatus::Done) {
        desktop::printError(QStringLiteral("%1 (a bridge is attached, but its port cannot be found)\n")
                                .arg(QString::fromUtf8(discovery::kPortNotFoundMessage)));
        return std::nullopt;
    }
    const QList<PortEntry> entries = comPortEntries(ports.DetectedPort);
    return entries[comPortPreselection(ports.DetectedPort)].number;
}

// The window's message for the outcome, an English gloss, and the status.
struct Report {
    QString text;
    int status;
};

Report report(const ExchangeResult &result, const ExchangeRequest &request, const QString &error)
{
    switch (result.outcome) {
    case Outcome::Acknowledged:
        return {QStringLiteral("%1 設定成功 \n通訊設定已更新 (settings updated: the adapter acknowledged; "
                               "it now runs at %1)\n").arg(request.settings),
                desktop::kExitOk};
    case Outcome::Refused:
        return {QStringLiteral("通訊錯誤 (communication error: the adapter refused the frame)\n"),
                kExitRefused};
    case Outcome::OtherReply:
        return {QStringLiteral("通訊錯誤 (communication error: the adapter answered %1)\n")
                    .arg(console::hexPairs(result.reply)),
                kExitOtherAnswer};
    case Outcome::Silence:
        return {QStringLiteral("通訊錯誤,請檢查藍芽裝置 (communication error: no answer within %1 ms; "
                               "check the Bluetooth device)\n").arg(Exchange::kReplyLimitMs),
                kExitNoAnswer};
    case Outcome::EmptyReply:
        return {QStringLiteral("無回應 (no response)\n"), kExitNoAnswer};
    case Outcome::WriteFailed:
        return {QStringLiteral("通訊錯誤,請檢查藍芽裝置 (communication error: the frame could not be "
                               "written: %1)\n").arg(error),
                desktop::kExitFailure};
    case Outcome::Cancelled:
        break;
    }
    return {QStringLiteral("(the exchange was cut short)\n"), desktop::kExitFailure};
}

} // namespace

std::unique_ptr<desktop::CommandLine> makeCommandLine()
{
    auto commandLine = std::make_unique<desktop::CommandLine>(QStringLiteral("Morvex"), QString::fromUtf8(kUsage));
    const char *const valued[] = {"preset", "settings", "port", "from",
#ifndef Q_OS_WIN
                                  "sysfs", "device-dir"
#endif
    };
    for (const char *name : valued)
        commandLine->addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    return commandLine;
}

Workbench workbenchFor(const desktop::CommandLine &commandLine)
{
    Workbench workbench;
#ifdef Q_OS_WIN
    Q_UNUSED(commandLine); // the test-rig folders are Linux's
#else
    if (commandLine.isSet(QStringLiteral("sysfs")))
        workbench.backends = discovery::makeSysfsBackends(commandLine.value(QStringLiteral("sysfs")).toStdString());
    if (commandLine.isSet(QStringLiteral("device-dir"))) {
        const QString folder = commandLine.value(QStringLiteral("device-dir"));
        workbench.portDevice = [folder](int n) { return serial::portDeviceIn(folder, n); };
    }
#endif
    if (!workbench.backends.vendor)
        workbench.backends = discovery::makePlatformBackends();
    if (!workbench.portDevice)
        workbench.portDevice = serial::deviceForPortNumber;
    return workbench;
}

std::optional<int> runExchangeFromCommandLine(const desktop::CommandLine &commandLine, Workbench &workbench,
                                              int &argc, char *argv[])
{
    const bool preset = commandLine.isSet(QStringLiteral("preset"));
    const bool settings = commandLine.isSet(QStringLiteral("settings"));
    if (!preset && !settings) {
        for (const char *name : {"port", "from"}) {
            if (commandLine.isSet(QString::fromLatin1(name)))
                return commandLine.refuse(QStringLiteral("--%1 needs --preset or --settings.").arg(QLatin1String(name)));
        }
        return std::nullopt;
    }
    if (preset && settings)
        return commandLine.refuse(QStringLiteral("--preset and --settings cannot go together."));

    std::optional<ExchangeRequest> request;
    if (preset) {
        if (const auto index = presetIndex(commandLine.value(QStringLiteral("preset"))))
            request = presetRequest(*index);
        else
            return commandLine.refuse(QStringLiteral("The preset must be FX, AQ or FP."));
    } else {
        request = userDefinedSettings(commandLine.value(QStringLiteral("settings")));
        if (!request)
            return commandLine.refuse(QStringLiteral("The settings must be chosen from the window's lists, "
                                                     "for example 38400,o,8,2."));
    }

    const QString from = commandLine.isSet(QStringLiteral("from")) ? commandLine.value(QStringLiteral("from"))
                                                                   : kStartUpSettings;
    if (!serial::parseSettings(from))
        return commandLine.refuse(QStringLiteral("'%1' is not a settings string such as 9600,e,7,1.").arg(from));

    std::optional<int> port;
    std::optional<serial::NetworkAddress> server;
    const QString portText = commandLine.value(QStringLiteral("port"));
    if (serial::isNetworkPortText(portText)) {
        const serial::NetworkAddressCheck checked = serial::checkNetworkPortText(portText);
        if (!checked.address)
            return commandLine.refuse(checked.refusal);
        server = checked.address;
    } else if (commandLine.isSet(QStringLiteral("port"))) {
        port = serial::positiveDecimal(portText);
        if (!port || *port > 255)
            return commandLine.refuse(QStringLiteral("The port must be a number from 1 to 255, "
                                                     "rfc2217://HOST:PORT or tcp://HOST:PORT."));
    } else {
        port = discoveredPort(workbench);
        if (!port)
            return desktop::kExitFailure;
    }

    QCoreApplication application(argc, argv);
    serial::SerialControl line;
    line.setSettings(from);
    if (server)
        line.setDevice(portText);
    else
        line.setCommPort(*port, workbench.portDevice(*port));
    EventWait wait;
    QObject::connect(&line, &serial::SerialControl::bytesArrived, &wait, &EventWait::wake);
    // Ended by a signal, the exchange stops waiting and closes the port.
    desktop::TerminationSignals termination;
    QObject::connect(&termination, &desktop::TerminationSignals::received, &wait, &EventWait::cancel);
    const desktop::MonotonicTickCounter ticks;
    Exchange exchange(line, ticks, wait);

    if (!server)
        desktop::printOut(QStringLiteral("Port: COM%1 (%2) at %3\n").arg(*port).arg(line.device(), from));
    else if (server->kind == serial::NetworkKind::Rfc2217)
        desktop::printOut(QStringLiteral("Port: %1 (%2) at %3\n").arg(portText, serial::serverText(*server), from));
    else
        desktop::printOut(QStringLiteral("Port: %1 (%2), %3\n")
                              .arg(portText, serial::serverText(*server), serial::fixedSettingsNote()));
    const ExchangeResult result = exchange.run(*request);
    if (!result.opened()) {
        desktop::printError(QStringLiteral("通訊埠無法開啟 (the port cannot be opened)\n%1\n")
                                .arg(serial::explainFailedOpen(line).replace(QLatin1String("\r\n"), QLatin1String("\n"))));
        return desktop::kExitFailure;
    }
    desktop::printOut(QStringLiteral("Sent: %1\n").arg(console::hexPairs(result.frame)));
    if (!result.reply.isEmpty())
        desktop::printOut(QStringLiteral("Reply: %1\n").arg(console::hexPairs(result.reply)));
    const Report outcome = report(result, *request, line.lastError());
    desktop::printOut(outcome.text);
    return outcome.status;
}

} // namespace configurator
