#include "message_boxes.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include <algorithm>

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

// Left alone, a box takes the longest word of its details as their width
// and wraps them into a tall, narrow column.
void setFittedDetails(QMessageBox *box, const QString &details)
{
    box->setInformativeText(details);
    if (details.isEmpty())
        return;
    auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    if (!label)
        return;
    label->setMinimumWidth(fittedTextWidth(label));
    // Again, so that an open box takes its size from the new width.
    box->setInformativeText(details);
}

} // namespace

int fittedTextWidth(const QLabel *label)
{
    const QScreen *screen = label->screen();
    const int cap = std::min(640, screen ? screen->availableGeometry().width() / 2 : 640);
    int width = 0;
    for (const QString &line : label->text().split(u'\n'))
        width = std::max(width, label->fontMetrics().horizontalAdvance(QString(line).remove(u'\r')));
    // The label's own layout may want a few pixels more than the advance.
    const int fewest = label->heightForWidth(cap);
    while (width < cap && label->heightForWidth(width) > fewest)
        ++width;
    return std::min(width, cap);
}

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
    setFittedDetails(box.get(), details);
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
    QMessageBox *shown = box.get();
    QObject::connect(details.get(), &BoxDetails::changed, shown,
                     [shown](const QString &text) { setFittedDetails(shown, text); });
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
