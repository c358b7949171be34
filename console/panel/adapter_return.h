#pragma once

#include "serial/open_failure.h"
#include "serial/port_list.h"
#include "serial/port_names.h"
#include "serial/usb_identity.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <optional>

namespace console {

// How a port that went away is recognised when it comes back.
enum class ReturnRule {
    // A USB serial device by its USB identity, under whatever tty name it
    // returns; a device without one (a built-in or Bluetooth port) only when
    // the very device node is back at its path and no other program holds
    // it. A pseudo-terminal has nothing to recognise it by: once its far end
    // closed, a new one at its path is another program's, and it is not
    // waited for.
    UsbIdentity,
    // By the same name opening again: Windows keeps one COM number per
    // device instance, so the name is the identity there.
    SameName,
};

// The rule of the platform the program runs on.
ReturnRule platformReturnRule();

// Where ports are looked for. Tests point both at temporary folders.
struct PortPlaces {
    QString deviceDir = serial::defaultDeviceDir();
    QString sysfsRoot = QStringLiteral("/sys");
};

// The same places as the port list reads them, with this machine's
// process table.
serial::PortListPlaces portListPlaces(const PortPlaces &places);

// Where the console finds ports and keeps its panels' options.
struct PortEnvironment {
    PortPlaces places;
    ReturnRule rule = platformReturnRule();
    // Empty: the user's settings of this program; otherwise an INI file.
    QString settingsFile;
};

// The wait of one panel for its adapter to return after a fault. Knows
// nothing of windows: it remembers what was opened, and at each tick names
// the devices worth trying to open.
class AdapterReturn {
public:
    explicit AdapterReturn(ReturnRule rule = platformReturnRule(), PortPlaces places = {});

    // After every successful open: the device as opened. Its identity is
    // read now, while it is there to be read.
    void remember(const QString &device);
    QString device() const { return m_device; }
    const std::optional<serial::UsbIdentity> &identity() const { return m_identity; }

    // Whether a device gone from the path can be told from a stranger that
    // comes to it: only such a device is waited for.
    bool recognisable() const;
    // Recognised as the same device node at the same path, having no identity.
    bool bySameNode() const { return m_rule == ReturnRule::UsbIdentity && !m_identity && m_node; }
    // Waits when there is a device to wait for and it can be recognised.
    void begin() { m_waiting = !m_device.isEmpty() && recognisable(); }
    void end() { m_waiting = false; }
    bool waiting() const { return m_waiting; }

    // The devices to try opening now, best first; empty while the adapter
    // is not back (or while not waiting).
    // A port on a device server (rfc2217://, tcp://) is named again every
    // networkRetryMs while waiting.
    QStringList candidates() const;
    // While waiting for a device without an identity: why what is at its
    // path now is not taken (another device, or held by another program);
    // empty when nothing is there.
    QString strangerAtPath() const;
    static constexpr int networkRetryMs = 2000;

private:
    ReturnRule m_rule;
    PortPlaces m_places;
    QString m_device;
    std::optional<serial::UsbIdentity> m_identity;
    std::optional<serial::DeviceNode> m_node;
    bool m_waiting = false;
    mutable QElapsedTimer m_lastTry; // a network port's last try
};

// The details of a panel's fault box after the cause (the device and the
// system's reason): while the panel waits, that it waits for its adapter;
// once the adapter is back, on which port (the port box's text and the
// device) since when (wall-clock milliseconds), and that the panel receives
// again. Lines end in CR LF. A device without an identity (`sameNodeAt`
// its path) is waited for as the same device at that path; a device that
// cannot be recognised is not reopened, which the last notice says.
// The cause of a fault the panel's open box has now seen `count` times, the
// last at `lastMs` (wall-clock milliseconds): the cause alone for the first.
QString repeatedFault(const QString &cause, int count, qint64 lastMs);
QString waitingNotice(const QString &cause, const QString &sameNodeAt = {});
QString notReopenedNotice(const QString &cause);
QString returnNotice(const QString &cause, const QString &portText, const QString &device, qint64 sinceMs);

} // namespace console
