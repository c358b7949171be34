#pragma once

// The port type under the serial control: Qt SerialPort, or on Windows our
// Win32 port, which offers the same members and enum names.
#include <QtGlobal>

#ifdef Q_OS_WIN
#include "serial/win32_serial_port.h"
namespace serial {
using SerialPort = Win32SerialPort;
}
#else
#include <QSerialPort>
namespace serial {
using SerialPort = QSerialPort;
}
#endif
