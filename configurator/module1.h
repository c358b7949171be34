#pragma once

// Waiting inside a handler while the window keeps handling events: the
// delay before a port is reopened, and the wait for the adapter's reply.
// Both sleep until the next event that can end them instead of polling.

#include "desktop/tick_counter.h"

#include <QObject>

class QEventLoop;

namespace serial {
class SerialControl;
}

namespace configurator {

// Lets window events run until woken or until a deadline. Connect whatever
// may end a wait (bytes arriving, the program ending) to wake() or cancel().
class EventWait : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Runs events until wake(), cancel() or `maxMs` milliseconds, whichever
    // is first. With maxMs 0 it only runs the events already pending.
    void run(int maxMs);
    bool cancelled() const { return m_cancelled; }

public slots:
    void wake();
    // For good: the current run ends and every later run returns at once.
    void cancel();

private:
    QEventLoop *m_loop = nullptr;
    bool m_cancelled = false;
};

// Returns once at least `ms` milliseconds of `ticks` have passed, or when the
// wait is cancelled. A reading that goes backwards restarts the count.
void Delay(qint32 ms, const desktop::TickCounter &ticks, EventWait &wait);

// The reply wait: returns as soon as exactly one byte waits in `port`, once
// more than `limitMs` milliseconds have passed since `start`, or when the
// wait is cancelled. `wait` must be woken by the port's bytesArrived.
void waitForReply(const serial::SerialControl &port, const desktop::TickCounter &ticks,
                  quint32 start, qint32 limitMs, EventWait &wait);

} // namespace configurator
