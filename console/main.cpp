#include "console/frmmain.h"
#include "desktop/message_boxes.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // Without options the console uses the system's folders; these let a
    // technician (or a test run) point port numbers and USB identities at
    // other trees, for instance links to pseudo-terminals.
    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption deviceDir(QStringLiteral("device-dir"),
                                       QStringLiteral("Folder in which port n opens ttyUSB(n-1)."),
                                       QStringLiteral("folder"));
    const QCommandLineOption sysfsRoot(QStringLiteral("sysfs-root"),
                                       QStringLiteral("sysfs tree that tells each adapter's USB identity."),
                                       QStringLiteral("folder"));
    options.addOption(deviceDir);
    options.addOption(sysfsRoot);
    options.process(app);
    console::PortEnvironment ports;
    if (options.isSet(deviceDir))
        ports.places.deviceDir = options.value(deviceDir);
    if (options.isSet(sysfsRoot))
        ports.places.sysfsRoot = options.value(sysfsRoot);

    desktop::QtMessageBoxes boxes;
    console::frmMain window(boxes, ports);
    window.show();
    return app.exec();
}
