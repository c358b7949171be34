// Holds a serial device open from a process of its own, as another program
// would: prints "open" once the device is open and keeps it until its
// standard input closes. With --plain it opens the device as a program
// that takes no lock file and no exclusive use does.
#include "serial/serial_control.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const bool plain = argc > 2 && std::strcmp(argv[1], "--plain") == 0;
    serial::SerialControl port;
    if (plain) {
        if (::open(argv[2], O_RDWR | O_NOCTTY) < 0) {
            std::printf("failed %s\n", std::strerror(errno));
            return 1;
        }
    } else {
        port.setDevice(QString::fromLocal8Bit(argv[1]));
        if (!port.setPortOpen(true)) {
            std::printf("failed %s\n", qPrintable(port.lastError()));
            return 1;
        }
    }
    std::printf("open\n");
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    return 0;
}
