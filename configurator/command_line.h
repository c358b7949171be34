#pragma once

// Morvex without its window: one configuration exchange from the command
// line, for a technician setting up many adapters or a test rig.

#include "configurator/config.h"
#include "desktop/command_line.h"
#include "discovery/platform_backends.h"

#include <optional>

namespace configurator {

// Exit statuses of a window-less exchange (0, 1 and 2 as in every program).
inline constexpr int kExitRefused = 3;
inline constexpr int kExitNoAnswer = 4;
inline constexpr int kExitOtherAnswer = 5;

// The command line with Morvex's options added.
std::unique_ptr<desktop::CommandLine> makeCommandLine();

// What the window and the exchange run on: the platform's discovery
// back-ends and the device a port number opens, unless the command line
// points them elsewhere (--sysfs, --device-dir).
struct Workbench {
    discovery::PlatformBackends backends;
    PortDevice portDevice;
};
Workbench workbenchFor(const desktop::CommandLine &commandLine);

// When the command line asks for an exchange (--preset or --settings), runs
// it without a window (under an application object of its own, made from
// argc and argv) and returns the exit status. Returns nothing when the
// window is wanted.
std::optional<int> runExchangeFromCommandLine(const desktop::CommandLine &commandLine,
                                              Workbench &workbench, int &argc, char *argv[]);

} // namespace configurator
