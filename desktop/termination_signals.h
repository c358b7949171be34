#pragma once

#include <QObject>
#include <QWidget>

class QSocketNotifier;

namespace desktop {

// SIGTERM, SIGINT and SIGHUP turned into a Qt signal, so that a program
// ends through its usual path (ports closed, their lock files removed, files
// flushed and closed) instead of being cut off where it stands. The first
// such signal is reported; a second one ends the process at once, as if no
// handler were installed. One object at a time per process: the handlers
// are the process's.
//
// Needs the application object. On Windows nothing is installed: a window
// program there is ended through its window, which closes as usual.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};

// For a program's main(): the window is closed, as the user closing it
// would, when a termination signal arrives.
inline void closeOnTerminationSignals(TerminationSignals &termination, QWidget &window)
{
    QObject::connect(&termination, &TerminationSignals::received, &window, &QWidget::close, Qt::QueuedConnection);
}

} // namespace desktop
