#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace testsupport {

// While it lives, answers each modal window the code under test opens (a
// dialog or box run with exec()) by calling `answer` once with it, as a
// user at the screen would act on it.
class ModalAnswers {
public:
    explicit ModalAnswers(std::function<void(QWidget *)> answer)
        : m_answer(std::move(answer))
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != m_last)
                m_answer(m_last = modal);
        });
        m_poll.start(10);
    }

private:
    std::function<void(QWidget *)> m_answer;
    QTimer m_poll;
    QPointer<QWidget> m_last;
};

// Answers a file dialog as a user does: picks `filter`, types the name of
// `path` into the dialog's name box in the folder of `path`, and presses OK.
// The name is typed into the box itself: selectFile() leaves a name box
// that has the focus as it is, and a dialog whose name box is empty goes
// into its folder on OK instead of closing.
inline void answerFileDialog(QFileDialog *dialog, const QString &filter, const QString &path)
{
    const QFileInfo file(path);
    dialog->selectNameFilter(filter);
    dialog->setDirectory(file.absolutePath());
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    Q_ASSERT(name);
    name->setText(file.fileName());
    static_cast<QDialog *>(dialog)->accept(); // its own accept, as OK runs it
}

} // namespace testsupport
