#include "desktop/command_line.h"
#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"
#include "discovery/discovery.h"
#include "discovery/platform_backends.h"
#include "portcheck/port_num.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    desktop::CommandLine commandLine(QStringLiteral("Pelurk"),
                                     QStringLiteral("Usage: pelurk [--help | --version]\n"
                                                    "  --help     print this text and exit\n"
                                                    "  --version  print the version and exit\n"));
    if (const auto status = commandLine.parse(argc, argv))
        return *status;

    QApplication app(argc, argv);
    desktop::setProgramIcon(QStringLiteral("pelurk"));
    QApplication::setApplicationName(QStringLiteral("Pelurk"));

    const discovery::PlatformBackends backends = discovery::makePlatformBackends();
    discovery::Discovery discovery(*backends.vendor, *backends.registry, *backends.version);
    desktop::QtMessageBoxes boxes;
    desktop::ProcessProgramEnd programEnd;

    portcheck::PortNum window(discovery, boxes, programEnd);
    window.start();
    return app.exec();
}
