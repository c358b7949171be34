#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>

namespace testsupport {

// Starts a program with no display at all, on the X11 platform: a program
// that created its window system for a window-less option fails to start
// instead of answering. An environment already given to `process` is kept
// otherwise.
inline void startWithoutDisplay(QProcess &process, const QString &program, const QStringList &arguments)
{
    QProcessEnvironment environment = process.processEnvironment().isEmpty()
        ? QProcessEnvironment::systemEnvironment() : process.processEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
}

// Waits until process `pid` has a handler for `signal` (its "SigCgt" in
// /proc), so that the signal sent next reaches the program's own handling.
// False when that did not happen within `timeoutMs`.
inline bool waitUntilCatching(qint64 pid, int signal, int timeoutMs = 20000)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("SigCgt:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1)
                    return true;
            }
        }
        QThread::msleep(10);
    }
    return false;
}

} // namespace testsupport
