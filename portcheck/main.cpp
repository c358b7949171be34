#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"
#include "desktop/termination_signals.h"
#include "discovery/discovery.h"
#include "portcheck/bridge_watch.h"
#include "portcheck/command_line.h"
#include "portcheck/port_num.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const auto commandLine = portcheck::makeCommandLine();
    if (const auto status = commandLine->parse(argc, argv))
        return *status;
    const portcheck::Workbench workbench = portcheck::workbenchFor(*commandLine);
    if (const auto status = portcheck::refuseUnusableWorkbench(workbench))
        return *status;
    discovery::Discovery discovery(*workbench.backends.vendor, *workbench.backends.registry,
                                   *workbench.backends.version);
    if (const auto status = portcheck::printFromCommandLine(*commandLine, discovery))
        return *status;

    QApplication app(argc, argv);
    desktop::setProgramIcon(QStringLiteral("pelurk"));
    QApplication::setApplicationName(QStringLiteral("Pelurk"));
    desktop::QtMessageBoxes boxes;
    desktop::ProcessProgramEnd programEnd;

    portcheck::PortNum window(discovery, boxes, programEnd);
    portcheck::watchBridges(window, workbench.sysfsRoot);
    desktop::TerminationSignals termination;
    desktop::closeOnTerminationSignals(termination, window);
    window.start();
    return app.exec();
}
