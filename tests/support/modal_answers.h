#pragma once

#include <QApplication>
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

} // namespace testsupport
