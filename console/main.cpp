#include "console/frmmain.h"
#include "desktop/command_line.h"
#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    desktop::CommandLine commandLine(QStringLiteral("Tavrin"),
                                     QStringLiteral("Usage: tavrin [--help | --version]\n"
                                                    "Two-panel serial console; with no option it opens its window.\n"
                                                    "  --help     print this text and exit\n"
                                                    "  --version  print the version and exit\n"));
    if (const auto status = commandLine.parse(argc, argv))
        return *status;

    QApplication app(argc, argv);
    desktop::setProgramIcon(QStringLiteral("tavrin"));
    desktop::QtMessageBoxes boxes;
    console::frmMain window(boxes);
    window.show();
    return app.exec();
}
