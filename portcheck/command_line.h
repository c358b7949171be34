#pragma once

// Pelurk without its window: the report or the bridges as JSON on standard
// output, for scripts and test rigs.

#include "desktop/command_line.h"
#include "discovery/platform_backends.h"

#include <memory>
#include <optional>

namespace discovery {
class Discovery;
}

namespace portcheck {

// The command line with Pelurk's options added.
std::unique_ptr<desktop::CommandLine> makeCommandLine();

// Where the bridges are read: the platform's back-ends, or on Linux the
// sysfs tree that --sysfs names.
struct Workbench {
    discovery::PlatformBackends backends;
    QString sysfsRoot = QStringLiteral("/sys");
    QString problem; // why the tree --sysfs names cannot be read; empty if it can
};
Workbench workbenchFor(const desktop::CommandLine &commandLine);

// A workbench with a problem: the reason on standard error, exit status 1,
// for the window and the window-less options alike. Nothing otherwise.
std::optional<int> refuseUnusableWorkbench(const Workbench &workbench);

// --list or --json: one scan printed to standard output, exit status 0; a
// vendor library that cannot be loaded prints the reason to standard error,
// status 1. Returns nothing when the window is wanted.
std::optional<int> printFromCommandLine(const desktop::CommandLine &commandLine,
                                        discovery::Discovery &discovery);

} // namespace portcheck
