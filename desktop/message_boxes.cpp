#include "message_boxes.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include <cstdio>
#include <cstdlib>

namespace desktop {

namespace {

class CopyableMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (!event->matches(QKeySequence::Copy)) {
            QMessageBox::keyPressEvent(event);
            return;
        }
        QString whole = text();
        if (!informativeText().isEmpty())
            whole += QStringLiteral("\r\n\r\n") + informativeText();
        QGuiApplication::clipboard()->setText(whole);
        event->accept();
    }
};

} // namespace

void BoxDetails::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    emit changed(text);
}

std::unique_ptr<QMessageBox> makeMessageBox(const QString &text, const QString &details,
                                            const QString &title, BoxIcon icon, QWidget *parent)
{
    auto box = std::make_unique<CopyableMessageBox>(parent);
    box->setWindowTitle(title);
    box->setText(text);
    box->setInformativeText(details);
    switch (icon) {
    case BoxIcon::None: box->setIcon(QMessageBox::NoIcon); break;
    case BoxIcon::Critical: box->setIcon(QMessageBox::Critical); break;
    case BoxIcon::Information: box->setIcon(QMessageBox::Information); break;
    case BoxIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
    }
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

void QtMessageBoxes::show(const QString &text, const QString &title, BoxIcon icon)
{
    showWithDetails(text, {}, title, icon);
}

void QtMessageBoxes::showWithDetails(const QString &text, const QString &details, const QString &title,
                                     BoxIcon icon)
{
    makeMessageBox(text, details, title, icon, QApplication::activeWindow())->exec();
}

void QtMessageBoxes::showWithChangingDetails(const QString &text, std::shared_ptr<BoxDetails> details,
                                             const QString &title, BoxIcon icon)
{
    const auto box = makeMessageBox(text, details->text(), title, icon, QApplication::activeWindow());
    QObject::connect(details.get(), &BoxDetails::changed, box.get(), &QMessageBox::setInformativeText);
    box->exec();
}

void ProcessProgramEnd::end(int exitCode)
{
    // The operating system releases open ports and handles; nothing of the
    // window may run after this point.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace desktop
