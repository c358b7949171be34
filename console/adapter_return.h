#pragma once

#include "serial/port_names.h"
#include "serial/usb_identity.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;

namespace console {

// How a port that went away is recognised when it comes back.
enum class ReturnRule {
    // A USB serial device by its USB identity, under whatever tty name it
    // returns; a device without one (a pseudo-terminal, a built-in port) by
    // its path opening again.
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

    void begin() { m_waiting = !m_device.isEmpty(); }
    void end() { m_waiting = false; }
    bool waiting() const { return m_waiting; }

    // The devices to try opening now, best first; empty while the adapter
    // is not back (or while not waiting).
    QStringList candidates() const;

private:
    ReturnRule m_rule;
    PortPlaces m_places;
    QString m_device;
    std::optional<serial::UsbIdentity> m_identity;
    bool m_waiting = false;
};

// The user's settings of this program (`file` empty), or an INI file of
// that name.
std::unique_ptr<QSettings> openSettings(const QString &file);

// [Receive] MemoryBudgetMiB, in bytes: how much of each panel's received
// bytes stays in memory before older ones go to a file; 0 keeps them all in
// memory. 64 MiB when unset or not a whole number from 0 up.
qint64 receiveMemoryBudget(const QString &settingsFile = {});

// "Reconnect Automatically" of each panel, kept in the user's settings.
class ReconnectSettings {
public:
    // `file` empty: the user's settings of this program; otherwise an INI
    // file of that name.
    explicit ReconnectSettings(const QString &file = {});
    ~ReconnectSettings();

    bool reconnectAutomatically(int panel) const;
    void setReconnectAutomatically(int panel, bool on);

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace console
