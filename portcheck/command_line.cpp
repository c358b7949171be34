#include "portcheck/command_line.h"

#include "discovery/discovery.h"
#include "discovery/port_checker_scan.h"
#include "portcheck/report.h"

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
    "               serial, product, vid, pid and port (null when unknown)\n"
#ifndef Q_OS_WIN
    "  --sysfs DIR  read the USB devices from the tree at DIR instead of /sys\n"
#endif
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "Exit status: 0 done, 1 the USB device library failed, 2 wrong usage.\n";

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
    if (commandLine.isSet(QStringLiteral("sysfs")))
        workbench.sysfsRoot = commandLine.value(QStringLiteral("sysfs"));
    workbench.backends = discovery::makeSysfsBackends(workbench.sysfsRoot.toStdString());
#else
    Q_UNUSED(commandLine);
    workbench.backends = discovery::makePlatformBackends();
#endif
    return workbench;
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
            // The report's CR LF become the platform's line ends.
            desktop::printOut(fromCodePage(discovery::FillDeviceListForPortChecker(discovery))
                                  .replace(QLatin1String("\r\n"), QLatin1String("\n")));
        }
    } catch (const discovery::LibraryLoadError &error) {
        desktop::printError(QStringLiteral("pelurk: %1\n").arg(QString::fromLocal8Bit(error.what())));
        return desktop::kExitFailure;
    }
    return desktop::kExitOk;
}

} // namespace portcheck
