#pragma once

#include "serial/serial_port.h"
#include <QString>
#include <QStringList>

#include <optional>

namespace serial {

class SerialControl;

// Why a port would not open, told to the user below "COM Port Error.".
enum class OpenFailureKind {
    Missing,     // no such device
    Permission,  // the user may not open it
    Busy,        // another program (or the other panel) holds it
    LockStale,   // a lock file left by a process that no longer runs
    LockUnreadable, // a lock file that does not say who holds the device
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
    std::optional<PortHolder> holder; // for Busy, when one could be found; for
                                      // LockStale, the process that wrote the lock
    QString lockFile;     // the lock file that refused the open, if one did
};

// The informative text of the message box: the device and the system's
// reason on the first line, then what can be done. Lines end in CR LF.
QString describeOpenFailure(const OpenFailure &failure);

// Where the system shows who holds a device: the process table and the
// folders in which serial ports leave lock files, in the order the serial
// port tries them. Tests point them at folders of their own.
struct SystemPlaces {
    QString procRoot = QStringLiteral("/proc");
    QStringList lockDirs = {QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"),
                            QStringLiteral("/var/spool/locks"), QStringLiteral("/tmp")};
};

// Looks at the device (never opens it) to tell why an open that the serial
// port refused with `error` and `systemReason` failed. Linux reports a
// device held exclusively by another program, and a lock file the port
// could not take, as a permission error too; a holder found in the process
// table or a lock file tells these apart from a device that refuses the user.
OpenFailure examineOpenFailure(const QString &device, int portNumber, const QString &systemReason,
                               SerialPort::SerialPortError error, const SystemPlaces &places = {});

// The informative text for the last failed open of `control`: its device
// and port number examined as above.
QString explainFailedOpen(const SerialControl &control, const SystemPlaces &places = {});

// The lock file a serial port takes for `device`: "LCK.." and the device
// path without its leading "/dev/", each '/' made '_' (LCK..ttyUSB0,
// LCK..pts_3, LCK.._tmp_rig_ttyUSB0), in the first of `lockDirs` that holds
// one. Empty when none does.
QString findLockFile(const QString &device, const QStringList &lockDirs);

// Whether a device of that name is there at all (on Windows, where COM
// names are no files, always true: the open's own error tells).
bool deviceExists(const QString &device);
// What tells one device node from another that later appears at the same
// path: a character device by its device number, anything else (a test's
// stand-in file) by its file system and inode.
struct DeviceNode {
    quint64 number = 0;
    quint64 inode = 0;
    bool character = false;
    // A pseudo-terminal's slave: once its far end closed it never returns,
    // and a new one under its number belongs to whoever opened it.
    bool pseudoTerminal = false;

    bool sameNodeAs(const DeviceNode &other) const
    {
        return character == other.character && number == other.number && (character || inode == other.inode);
    }
};
// The node a path opens (links followed); nothing when there is none, and
// always nothing on Windows, where COM names are no files.
std::optional<DeviceNode> readDeviceNode(const QString &device);
// The group that owns the device, empty when it cannot be read.
QString deviceGroup(const QString &device);
// A process that has the device open, looked up in the descriptor links
// under `procRoot`: the one with the lowest id, this process only when no
// other holds it.
std::optional<PortHolder> findPortHolder(const QString &device, const QString &procRoot = QStringLiteral("/proc"));
// The name of process `pid` in the process table, empty when it is gone.
QString processName(const QString &procRoot, qint64 pid);
// Another process than this one that has the device open, if any.
std::optional<PortHolder> findOtherPortHolder(const QString &device, const QString &procRoot = QStringLiteral("/proc"));

} // namespace serial
