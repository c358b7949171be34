#pragma once

#include "console/record/recorder.h"

#include <optional>

namespace console {

// tavrin --record PORT[,SETTINGS] [--record PORT[,SETTINGS]] --output FILE
//        [--duration SECONDS] [--protocol NAME]
struct RecordOptions {
    std::vector<RecordPort> ports;
    QString output;
    // Nothing: until a signal ends it.
    std::optional<double> durationS;
    // None: frames cut by the idle gap.
    protocol::Protocol protocol = protocol::Protocol::None;
};

// The options as given, or nothing with the reason (a usage error). The
// protocol is a setting name (none, modbus-rtu, ...); one whose decoder this
// build lacks is refused too.
std::optional<RecordOptions> parseRecordOptions(const QStringList &records, const QString &output,
                                                const std::optional<QString> &duration,
                                                const std::optional<QString> &protocol, QString *reason);

// Records until the duration has passed or SIGINT, SIGTERM or SIGHUP comes;
// needs a QCoreApplication. Progress once a second on standard error while
// it is a terminal, then a one-line summary. Returns the exit status: 0, or
// 1 when a port cannot be opened or the file cannot be written (the reason
// on standard error).
int runRecorder(const RecordOptions &options, const PortEnvironment &environment);

} // namespace console
