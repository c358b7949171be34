#pragma once

#include "serial/open_failure.h"

#include <QList>
#include <QString>

#include <optional>

namespace serial {

// A serial port that exists now, as "Choose Port..." lists it.
struct ListedPort {
    QString device;       // the path (or COM name) that opens it
    bool usb = false;     // a USB adapter, with the identity below
    QString vendorId;     // four lower-case hex digits, as the kernel gives them
    QString productId;
    QString manufacturer;
    QString product;
    QString serial;
    QString driver;       // cp210x, ftdi_sio, cdc_acm, serial8250...
    QString byId;         // its /dev/serial/by-id link, empty when none
    std::optional<PortHolder> holder; // a process that has it open
};

// Where the ports are looked for: the folder of the device nodes (with
// serial/by-id below it), the sysfs tree and the process table.
struct PortListPlaces {
    QString deviceDir = QStringLiteral("/dev");
    QString sysfsRoot = QStringLiteral("/sys");
    QString procRoot = QStringLiteral("/proc");
};

// The serial ports of this machine: USB adapters (ttyUSB*, ttyACM*) and the
// on-board UARTs that answer (ttyS*, ttyAMA* with a UART behind them), in
// that order, each by number. On Windows, the COM ports the system lists.
QList<ListedPort> listSerialPorts(const PortListPlaces &places = {});
// What is known of the one device `device` (no holder looked up): its USB
// identity, driver and by-id link where it has them.
ListedPort examinePort(const QString &device, const PortListPlaces &places = {});

// One line per port for the list ("/dev/ttyUSB0  10c4:ea60 Silicon Labs
// CP2102 (0001), cp210x, in use by minicom (process 812)"), or the line
// saying that the machine has none.
QString describeListedPort(const ListedPort &port);
QString describePortList(const QList<ListedPort> &ports);

// The tooltip of a port box whose text names `device`: the device path and,
// for a USB adapter, its vendor, product and serial. Lines end in "\n".
QString portToolTip(const QString &device, const PortListPlaces &places = {});

} // namespace serial
