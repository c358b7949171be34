#pragma once

#include "serial/serial_port.h"
#include <QString>

#include <optional>

namespace serial {

// Why a port would not open, told to the user below "COM Port Error.".
enum class OpenFailureKind {
    Missing,     // no such device
    Permission,  // the user may not open it
    Busy,        // another program (or the other panel) holds it
    Other,       // anything else: the system's reason is all there is
};

// A process that has a device open.
struct PortHolder {
    qint64 pid = 0;
    QString name;
};

// Everything the text says about one failed open.
struct OpenFailure {
    QString device;       // the path (or COM name) that was opened
    int portNumber = 0;   // the number the user chose, 0 for a path
    OpenFailureKind kind = OpenFailureKind::Other;
    QString systemReason; // the serial port's own error text, which may name the device
    QString group;        // the device's group, for Permission; empty if unknown
    std::optional<PortHolder> holder; // for Busy, when one could be found
};

// The informative text of the message box: the device and the system's
// reason on the first line, then what can be done. Lines end in CR LF.
QString describeOpenFailure(const OpenFailure &failure);

// Looks at the device (never opens it) to tell why an open that the serial
// port refused with `error` and `systemReason` failed. Linux reports a
// device held exclusively by another program as a permission error too;
// a holder found under `procRoot` tells the two apart.
OpenFailure examineOpenFailure(const QString &device, int portNumber, const QString &systemReason,
                               SerialPort::SerialPortError error,
                               const QString &procRoot = QStringLiteral("/proc"));

// Whether a device of that name is there at all (on Windows, where COM
// names are no files, always true: the open's own error tells).
bool deviceExists(const QString &device);
// The group that owns the device, empty when it cannot be read.
QString deviceGroup(const QString &device);
// A process that has the device open, looked up in the descriptor links
// under `procRoot`: the one with the lowest id, this process only when no
// other holds it.
std::optional<PortHolder> findPortHolder(const QString &device, const QString &procRoot = QStringLiteral("/proc"));

} // namespace serial
