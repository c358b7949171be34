#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"
#include "discovery/discovery.h"
#include "discovery/platform_backends.h"
#include "portcheck/port_num.h"

#include <QApplication>

int main(int argc, char *argv[])
{
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
