#include "configurator/command_line.h"
#include "configurator/config.h"
#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"
#include "desktop/termination_signals.h"
#include "desktop/tick_counter.h"
#include "discovery/configurator_scan.h"
#include "discovery/discovery.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    const auto commandLine = configurator::makeCommandLine();
    if (const auto status = commandLine->parse(argc, argv))
        return *status;
    configurator::Workbench workbench = configurator::workbenchFor(*commandLine);
    if (const auto status = configurator::runExchangeFromCommandLine(*commandLine, workbench, argc, argv))
        return *status;

    QApplication app(argc, argv);
    desktop::setProgramIcon(QStringLiteral("morvex"));
    // The window's texts are Traditional Chinese; a family that is missing
    // falls back to the next one named, then to the nearest installed font.
    QFont font = app.font();
    font.setFamilies({QStringLiteral("PMingLiU"), QStringLiteral("Noto Sans CJK TC"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(9);
    app.setFont(font);

    desktop::QtMessageBoxes boxes;
    desktop::ProcessProgramEnd programEnd;
    desktop::MonotonicTickCounter ticks;

    discovery::Discovery bridges(*workbench.backends.vendor, *workbench.backends.registry,
                                 *workbench.backends.version);
    configurator::Config window(boxes, programEnd, ticks,
                                [&bridges](discovery::ConfiguratorPorts &ports) {
                                    bridges.DeviceHandle = 1;
                                    return discovery::FillDeviceListForConfigurator(bridges, ports);
                                },
                                workbench.portDevice);
    desktop::TerminationSignals termination;
    desktop::closeOnTerminationSignals(termination, window);
    window.start();
    return app.exec();
}
