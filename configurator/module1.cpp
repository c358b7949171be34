#include "module1.h"

#include "serial/serial_control.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace configurator {

void EventWait::run(int maxMs)
{
    if (m_cancelled)
        return;
    if (maxMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(maxMs);
    // A wait may be entered from an event handled inside another wait; a
    // wake ends the innermost one, the one that can act on it.
    QEventLoop *outer = std::exchange(m_loop, &loop);
    loop.exec();
    m_loop = outer;
}

void EventWait::wake()
{
    if (m_loop)
        m_loop->quit();
}

void EventWait::cancel()
{
    m_cancelled = true;
    wake();
}

void Delay(qint32 ms, const desktop::TickCounter &ticks, EventWait &wait)
{
    quint32 start = ticks.now();
    qint32 remaining = ms;
    for (;;) {
        wait.run(remaining);
        if (wait.cancelled())
            return;
        qint32 passed = desktop::elapsedMs(start, ticks.now());
        if (passed < 0) {
            start = ticks.now();
            passed = 0;
        }
        if (passed >= ms)
            return;
        remaining = ms - passed;
    }
}

void waitForReply(const serial::SerialControl &port, const desktop::TickCounter &ticks,
                  quint32 start, qint32 limitMs, EventWait &wait)
{
    qint32 passed = desktop::elapsedMs(start, ticks.now());
    for (;;) {
        // Sleep until bytes arrive or the limit is exceeded (limit + 1 ms);
        // a reply already waiting only lets the pending events run.
        const bool settled = port.inBufferCount() == 1 || passed > limitMs;
        wait.run(settled ? 0 : limitMs + 1 - passed);
        if (wait.cancelled())
            return;
        passed = desktop::elapsedMs(start, ticks.now());
        if (port.inBufferCount() == 1 || passed > limitMs)
            return;
    }
}

} // namespace configurator
