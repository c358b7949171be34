#include "console/frmmain.h"
#include "desktop/message_boxes.h"
#include "desktop/program_icon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    desktop::setProgramIcon(QStringLiteral("tavrin"));
    desktop::QtMessageBoxes boxes;
    console::frmMain window(boxes);
    window.show();
    return app.exec();
}
