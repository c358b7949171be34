// Tavrin as its main() builds it, with the left panel started on port 1 of
// the device folder given (argv[1]): prints "started" once its port is
// open, then runs until a termination signal closes the window.
#include "console/frmmain.h"
#include "desktop/termination_signals.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    console::PortEnvironment ports;
    ports.places.deviceDir = QString::fromLocal8Bit(argv[1]);
    testsupport::RecordingMessageBoxes boxes;
    console::frmMain window(boxes, ports);
    desktop::TerminationSignals termination;
    desktop::closeOnTerminationSignals(termination, window);
    window.show();
    window.Combo1[0]->setEditText(QStringLiteral("1"));
    window.Check1[0]->click();
    std::printf(window.Check1[0]->isChecked() ? "started\n" : "failed\n");
    std::fflush(stdout);
    return app.exec();
}
