#include "portcheck/command_line.h"

#include "discovery/discovery.h"
#include "discovery/port_checker_scan.h"
#include "portcheck/report.h"

#include <QDir>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include "discovery/sysfs_backend.h"
#endif

namespace portcheck {

namespace {

const char kUsage[] =
    "Usage: pelurk [--list | --json]\n"
    "Port checker: lists every attached CP210x USB-UART bridge with its serial\n"
    "number, product string and port. With no option it opens its window, which\n"
    "also scans again by itself when a bridge is attached or removed.\n"
    "  --list       print the report the window shows, and exit\n"
    "  --json       print the bridges as a JSON array, one object per bridge with\n"
    "               serial, product, vid, pid, port and device (null when unknown)\n"
#ifndef Q_OS_WIN
    "  --sysfs DIR  read the USB devices from the tree at DIR instead of /sys\n"
#endif
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "Exit status: 0 done, 1 the USB device library (or the --sysfs tree) failed,\n"
    "2 wrong usage.\n";

// A sysfs tree has the USB devices below bus/usb, and the USB serial ports
// below bus/usb-serial once a USB serial driver is loaded: a folder with
// neither is no sysfs tree, and a scan of it would report no bridge.
QString sysfsTreeProblem(const QString &root)
{
    if (!QFileInfo(root).isDir())
        return QStringLiteral("%1 is no folder, so it holds no USB device tree.").arg(root);
    const QDir tree(root);
    if (!tree.exists(QStringLiteral("bus/usb/devices")) && !tree.exists(QStringLiteral("bus/usb-serial/devices")))
        return QStringLiteral("%1 holds no USB device tree (no bus/usb/devices or bus/usb-serial/devices in it).")
            .arg(root);
    return {};
}

} // namespace

std::unique_ptr<desktop::CommandLine> makeCommandLine()
{
    auto commandLine = std::make_unique<desktop::CommandLine>(QStringLiteral("Pelurk"), QString::fromUtf8(kUsage));
    commandLine->addOption(QCommandLineOption(QStringLiteral("list")));
    commandLine->addOption(QCommandLineOption(QStringLiteral("json")));
#ifndef Q_OS_WIN
    commandLine->addOption(QCommandLineOption(QStringLiteral("sysfs"), QString(), QStringLiteral("dir")));
#endif
    return commandLine;
}

Workbench workbenchFor(const desktop::CommandLine &commandLine)
{
    Workbench workbench;
#ifndef Q_OS_WIN
    if (commandLine.isSet(QStringLiteral("sysfs"))) {
        workbench.sysfsRoot = commandLine.value(QStringLiteral("sysfs"));
        workbench.problem = sysfsTreeProblem(workbench.sysfsRoot);
    }
    workbench.backends = discovery::makeSysfsBackends(workbench.sysfsRoot.toStdString());
#else
    Q_UNUSED(commandLine);
    workbench.backends = discovery::makePlatformBackends();
#endif
    return workbench;
}

std::optional<int> refuseUnusableWorkbench(const Workbench &workbench)
{
    if (workbench.problem.isEmpty())
        return std::nullopt;
    desktop::printError(QStringLiteral("pelurk: %1\n").arg(workbench.problem));
    return desktop::kExitFailure;
}

std::optional<int> printFromCommandLine(const desktop::CommandLine &commandLine, discovery::Discovery &discovery)
{
    const bool list = commandLine.isSet(QStringLiteral("list"));
    const bool json = commandLine.isSet(QStringLiteral("json"));
    if (!list && !json)
        return std::nullopt;
    if (list && json)
        return commandLine.refuse(QStringLiteral("--list and --json cannot go together."));
    try {
        if (json) {
            desktop::printOut(QString::fromUtf8(bridgesAsJson(discovery)));
        } else {
            // The report's CR LF become the platform's line ends. Without a
            // bridge it is its two line breaks alone, kept as they are for
            // scripts; the person reading is told on standard error.
            const std::string report = discovery::FillDeviceListForPortChecker(discovery);
            desktop::printOut(fromCodePage(report).replace(QLatin1String("\r\n"), QLatin1String("\n")));
            if (report.find_first_not_of("\r\n") == std::string::npos)
                desktop::printError(QStringLiteral("pelurk: no CP210x bridge found\n"));
        }
    } catch (const discovery::LibraryLoadError &error) {
        desktop::printError(QStringLiteral("pelurk: %1\n").arg(QString::fromLocal8Bit(error.what())));
        return desktop::kExitFailure;
    }
    return desktop::kExitOk;
}

} // namespace portcheck
