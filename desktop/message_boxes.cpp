#include "message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace desktop {

void QtMessageBoxes::show(const QString &text, const QString &title, BoxIcon icon)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case BoxIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case BoxIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case BoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    case BoxIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void ProcessProgramEnd::end(int exitCode)
{
    // The operating system releases open ports and handles; nothing of the
    // window may run after this point.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace desktop
