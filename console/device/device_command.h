#pragma once

#include "console/panel/panel.h"
#include "protocol/protocol.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace console {

// tavrin --answer-as-device PORT[,SETTINGS] --unit N[,N...]
//        (--table FILE.csv | --from-capture FILE [--protocol NAME])
//        [--reply-delay MS] [--verbose] [--save-table]
struct DeviceOptions {
    QString port;
    QString settings = QStringLiteral("9600,n,8,1");
    std::vector<std::uint8_t> units;
    QString table;
    QString fromCapture;
    // With --from-capture: the protocol the requests are framed and the
    // recording read with; nothing for the one a CSV export names, else
    // Modbus RTU.
    std::optional<protocol::Protocol> protocol;
    int replyDelayMs = 0;
    // Whether --reply-delay was given: from a capture, without it each
    // answer goes after its recorded reply time.
    bool replyDelayGiven = false;
    bool verbose = false;
    bool saveTable = false;
};

// What the command line gives for the device's options; each a value, or
// nothing when the option was not given.
struct DeviceArguments {
    QString device;
    std::optional<QString> unit;
    std::optional<QString> table;
    std::optional<QString> fromCapture;
    std::optional<QString> protocol;
    std::optional<QString> replyDelay;
    bool verbose = false;
    bool saveTable = false;
};

inline constexpr int kLongestReplyDelayMs = 10000;

// The options, or nothing with the reason (a usage error).
std::optional<DeviceOptions> parseDeviceOptions(const DeviceArguments &arguments, QString *reason);

// Answers on the port until SIGINT, SIGTERM or SIGHUP, or until the port
// fails; needs a QCoreApplication. A line per request on standard output
// while it is a terminal or `verbose`; a summary on standard error at the
// end. Returns the exit status: 0; 1 when the port cannot be opened or
// fails, or the table cannot be saved (the reason on standard error); 2 for
// a table file or recording that cannot be used.
int runDevice(const DeviceOptions &options, const PortEnvironment &environment);

} // namespace console
