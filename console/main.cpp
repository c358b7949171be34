#include "console/frmmain.h"
#include "desktop/command_line.h"
#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    desktop::CommandLine commandLine(
        QStringLiteral("Tavrin"),
        QStringLiteral("Usage: tavrin [--help | --version] [--device-dir DIR] [--sysfs-root DIR]\n"
                       "Two-panel serial console; with no option it opens its window.\n"
                       "  --help            print this text and exit\n"
                       "  --version         print the version and exit\n"
                       "  --device-dir DIR  port n opens DIR/ttyUSB(n-1) instead of /dev/ttyUSB(n-1)\n"
                       "  --sysfs-root DIR  read adapters' USB identities from DIR instead of /sys\n"));
    // Without these the console uses the system's folders; they let a
    // technician (or a test run) point port numbers and USB identities at
    // other trees, for instance links to pseudo-terminals.
    const QCommandLineOption deviceDir(QStringLiteral("device-dir"), QString(), QStringLiteral("folder"));
    const QCommandLineOption sysfsRoot(QStringLiteral("sysfs-root"), QString(), QStringLiteral("folder"));
    commandLine.addOption(deviceDir);
    commandLine.addOption(sysfsRoot);
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
    QApplication app(argc, argv);
    desktop::setProgramIcon(QStringLiteral("tavrin"));
    desktop::QtMessageBoxes boxes;
    console::frmMain window(boxes, ports);
    window.show();
    return app.exec();
}
