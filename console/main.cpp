#include "console/device/device_command.h"
#include "console/frmmain.h"
#include "console/record/record_command.h"
#include "console/replay/replay_command.h"
#include "console/traffic/traffic_window.h"
#include "desktop/command_line.h"
#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"
#include "desktop/termination_signals.h"

#include <QApplication>
#include <QCoreApplication>

#include <csignal>
#include <vector>

int main(int argc, char *argv[])
{
    desktop::CommandLine commandLine(
        QStringLiteral("Tavrin"),
        QStringLiteral("Usage: tavrin [--help | --version] [--device-dir DIR] [--sysfs-root DIR]\n"
                       "       tavrin --record PORT[,SETTINGS] [--record PORT[,SETTINGS]] --output FILE.pcapng\n"
                       "              [--duration SECONDS] [--protocol NAME]\n"
                       "       tavrin --open FILE\n"
                       "       tavrin --answer-as-device PORT[,SETTINGS] --unit N[,N...] --table FILE.csv\n"
                       "              [--reply-delay MS] [--verbose] [--save-table]\n"
                       "       tavrin --answer-as-device PORT[,SETTINGS] --unit N[,N...] --from-capture FILE\n"
                       "              [--protocol NAME] [--reply-delay MS]\n"
                       "       tavrin --replay FILE --port PORT[,SETTINGS] [--timing recorded|fast]\n"
                       "              [--protocol NAME]\n"
                       "Two-panel serial console; with no option it opens its window.\n"
                       "  --help            print this text and exit\n"
                       "  --version         print the version and exit\n"
                       "  --device-dir DIR  port n opens DIR/ttyUSB(n-1) instead of /dev/ttyUSB(n-1)\n"
                       "  --sysfs-root DIR  read adapters' USB identities from DIR instead of /sys\n"
                       "  --record PORT[,SETTINGS]\n"
                       "                    record the port (a number, COMn or a path; settings as\n"
                       "                    9600,n,8,1, the default) without a window; twice for two\n"
                       "  --output FILE     the capture file the recording writes (pcapng)\n"
                       "  --duration SECONDS  stop after that long (else at Ctrl+C or SIGTERM)\n"
                       "  --protocol NAME   cut the frames by the protocol and write requests and\n"
                       "                    answers as such: none (the idle gap, the default),\n"
                       "                    modbus-rtu, modbus-ascii, fx-programming, mc-ascii,\n"
                       "                    mewtocol\n"
                       "  --open FILE       open a capture (pcapng or pcap) in a traffic window\n"
                       "  --answer-as-device PORT[,SETTINGS]\n"
                       "                    answer Modbus RTU requests on the port as a device, without\n"
                       "                    a window, until Ctrl+C or SIGTERM\n"
                       "  --unit N[,N...]   the device's unit numbers, 1-247\n"
                       "  --table FILE.csv  its registers: lines of table,address,value (table coil,\n"
                       "                    discrete, input or holding)\n"
                       "  --from-capture FILE  answer from a recording (a capture or a CSV export of the\n"
                       "                    traffic view): a request equal to a recorded one gets its\n"
                       "                    recorded answer; --protocol frames the requests (default\n"
                       "                    the export's protocol, else modbus-rtu)\n"
                       "  --reply-delay MS  wait that long before each answer (0-10000; default 0, from a\n"
                       "                    capture the recorded reply time)\n"
                       "  --verbose         a line per request even when standard output is no terminal\n"
                       "  --save-table      at the end, save what the master wrote back to the table file\n"
                       "  --replay FILE     send a recording's requests to the device on --port and\n"
                       "                    compare each answer with the recorded one: a line each,\n"
                       "                    then the totals; --protocol compares decoded fields\n"
                       "                    (default the export's protocol, else none: the bytes)\n"
                       "  --port PORT[,SETTINGS]  the line --replay sends on\n"
                       "  --timing recorded|fast  the recorded spacing (default), or each request as\n"
                       "                    soon as the answer before came or timed out\n"
                       "Exit status: 0 done, 1 a port or the file failed (the reason on standard\n"
                       "error), 2 a bad command line or table file. --replay: 0 every answer the\n"
                       "same, 1 one different or missing, 2 a bad command line or file.\n"));
    // Without these the console uses the system's folders; they let a
    // technician (or a test run) point port numbers and USB identities at
    // other trees, for instance links to pseudo-terminals.
    const QCommandLineOption deviceDir(QStringLiteral("device-dir"), QString(), QStringLiteral("folder"));
    const QCommandLineOption sysfsRoot(QStringLiteral("sysfs-root"), QString(), QStringLiteral("folder"));
    commandLine.addOption(deviceDir);
    commandLine.addOption(sysfsRoot);
    for (const char *name : {"record", "output", "duration", "protocol", "open", "answer-as-device", "unit", "table",
                             "from-capture", "reply-delay", "replay", "port", "timing"})
        commandLine.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : {"verbose", "save-table"})
        commandLine.addOption(QCommandLineOption(QString::fromLatin1(name)));
    if (const auto status = commandLine.parse(argc, argv))
        return *status;

    console::PortEnvironment ports;
    if (commandLine.isSet(QStringLiteral("device-dir")))
        ports.places.deviceDir = commandLine.value(QStringLiteral("device-dir"));
    if (commandLine.isSet(QStringLiteral("sysfs-root")))
        ports.places.sysfsRoot = commandLine.value(QStringLiteral("sysfs-root"));

#ifdef SIGXFSZ
    // Past a file-size limit a write fails with a reason (the save, the log
    // and the spill file report it) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const auto given = [&](const char *name) {
        const QString key = QString::fromLatin1(name);
        return commandLine.isSet(key) ? std::optional<QString>(commandLine.value(key)) : std::nullopt;
    };
    // A command without a window, run once its options are read; no display.
    const auto runWithoutWindow = [&](const auto &options, const QString &reason, auto run) {
        if (!options)
            return commandLine.refuse(reason);
        QCoreApplication app(argc, argv);
        return run(*options, ports);
    };
    QString reason;
    if (commandLine.isSet(QStringLiteral("record"))) {
        const auto options = console::parseRecordOptions(commandLine.values(QStringLiteral("record")),
                                                         given("output").value_or(QString()), given("duration"),
                                                         given("protocol"), &reason);
        return runWithoutWindow(options, reason, console::runRecorder);
    }
    if (commandLine.isSet(QStringLiteral("answer-as-device"))) {
        console::DeviceArguments arguments;
        arguments.device = commandLine.value(QStringLiteral("answer-as-device"));
        arguments.unit = given("unit");
        arguments.table = given("table");
        arguments.fromCapture = given("from-capture");
        arguments.protocol = given("protocol");
        arguments.replyDelay = given("reply-delay");
        arguments.verbose = commandLine.isSet(QStringLiteral("verbose"));
        arguments.saveTable = commandLine.isSet(QStringLiteral("save-table"));
        const auto options = console::parseDeviceOptions(arguments, &reason);
        return runWithoutWindow(options, reason, console::runDevice);
    }
    if (commandLine.isSet(QStringLiteral("replay"))) {
        console::ReplayArguments arguments;
        arguments.file = commandLine.value(QStringLiteral("replay"));
        arguments.port = given("port");
        arguments.timing = given("timing");
        arguments.protocol = given("protocol");
        const auto options = console::parseReplayOptions(arguments, &reason);
        return runWithoutWindow(options, reason, console::runReplay);
    }
    // An option given without the command it belongs to.
    const struct {
        const char *command;
        std::vector<const char *> options;
    } commands[] = {{"replay", {"port", "timing"}},
                    {"answer-as-device", {"unit", "table", "from-capture", "reply-delay", "verbose", "save-table"}},
                    {"record", {"output", "duration", "protocol"}}};
    for (const auto &[command, options] : commands)
        for (const char *name : options)
            if (commandLine.isSet(QString::fromLatin1(name)))
                return commandLine.refuse(
                    QStringLiteral("--%1 goes with --%2").arg(QString::fromLatin1(name), QString::fromLatin1(command)));
    QApplication app(argc, argv);
    desktop::setProgramIcon(QStringLiteral("tavrin"));
    desktop::QtMessageBoxes boxes;
    if (commandLine.isSet(QStringLiteral("open"))) {
        const QString path = commandLine.value(QStringLiteral("open"));
        console::ConsoleSettings settings(ports.settingsFile);
        QString failure;
        console::TrafficWindow *capture = console::openCaptureWindow(path, settings, boxes, &failure);
        if (!capture) {
            desktop::printError(QStringLiteral("Cannot open %1: %2\n").arg(path, failure));
            return desktop::kExitFailure;
        }
        desktop::TerminationSignals termination;
        desktop::closeOnTerminationSignals(termination, *capture);
        capture->show();
        return app.exec();
    }
    console::frmMain window(boxes, ports);
    desktop::TerminationSignals termination;
    desktop::closeOnTerminationSignals(termination, window);
    window.show();
    return app.exec();
}
