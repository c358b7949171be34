// Holds a serial device open from a process of its own, as another program
// would: prints "open" once the device is open and keeps it until its
// standard input closes.
#include "serial/serial_control.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    serial::SerialControl port;
    port.setDevice(QString::fromLocal8Bit(argv[1]));
    if (!port.setPortOpen(true)) {
        std::printf("failed %s\n", qPrintable(port.lastError()));
        return 1;
    }
    std::printf("open\n");
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    return 0;
}
