// The pseudo-terminal flood both receive benchmarks share: a raw line, a
// writer that floods it, and a plain reader (`cat`) on a line made the same
// way as the measure of what the machine can do.
#pragma once

#include "console/frmmain.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace benchflood {

// A raw pseudo-terminal: the master is the far end, the slave's path is the
// line that the reader opens.
struct Line {
    int master = -1;
    int slave = -1;
    QString path;
    Line()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        path = QString::fromLocal8Bit(name);
    }
    ~Line()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
};

// Writes `total` bytes (every byte value, over and over) in 64 KiB blocks,
// blocking while the line is full.
inline void flood(int fd, qint64 total)
{
    char block[64 * 1024];
    for (size_t i = 0; i < sizeof block; ++i)
        block[i] = char(i * 31 + 7);
    qint64 done = 0;
    while (done < total) {
        const ssize_t n = ::write(fd, block, size_t(std::min<qint64>(sizeof block, total - done)));
        if (n < 0) {
            std::perror("write");
            return;
        }
        done += n;
    }
}

inline double cpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of the plain reader's last run: what reading the line costs it,
// whatever else the machine is doing.
inline double g_catCpu = 0;
inline double g_consoleCpu = 0;

// cat copies the line into a pipe; the bytes count as read when they come
// out of the pipe, which costs cat nothing it would not spend anyway.
inline double catRate(qint64 total)
{
    Line line;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        const QByteArray path = line.path.toLocal8Bit();
        ::execlp("cat", "cat", path.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    QElapsedTimer t;
    t.start();
    std::thread writer(flood, line.master, total);
    static char sink[256 * 1024];
    qint64 got = 0;
    while (got < total) {
        const ssize_t n = ::read(pipeFds[0], sink, sizeof sink);
        if (n <= 0)
            break;
        got += n;
    }
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    writer.join();
    ::kill(pid, SIGTERM);
    rusage usage{};
    ::wait4(pid, nullptr, 0, &usage);
    g_catCpu += cpuSeconds(usage);
    ::close(pipeFds[0]);
    return double(got) / seconds;
}

// The flood's byte at `index`: flood() repeats one 64 KiB block.
inline char floodByte(qint64 index)
{
    return char((index % (64 * 1024)) * 31 + 7);
}

// Shows the window and starts its left panel on `line`, as a user typing
// the line's path would; false, with the reason printed, when it did not
// start.
inline bool startLeftPanel(console::frmMain &window, const Line &line,
                           const testsupport::RecordingMessageBoxes &boxes)
{
    window.show();
    QApplication::processEvents();
    window.Combo1[0]->setEditText(line.path);
    window.Check1[0]->setChecked(true);
    if (window.MSComm1[0].portOpen() && boxes.boxes.isEmpty())
        return true;
    std::fprintf(stderr, "the panel did not start on %s\n", qPrintable(line.path));
    return false;
}

// One flood of `total` bytes into the window's started left panel: seconds
// until all of them were in its store and until a tick showed the last, and
// the window thread's CPU seconds while they came.
struct Flood {
    double arrived = 0;
    double shown = 0;
    double cpu = 0;
};
inline Flood floodLeftPanel(console::frmMain &window, const Line &line, qint64 total)
{
    Flood f;
    const console::ReceiveBuffer &rx = window.views()[0]->panel().receive();
    rusage cpuBefore{}, cpuAfter{};
    ::getrusage(RUSAGE_THREAD, &cpuBefore);
    QElapsedTimer t;
    t.start();
    std::thread writer(flood, line.master, total);
    while (rx.store().size() < total)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    f.arrived = double(t.nsecsElapsed()) / 1e9;
    ::getrusage(RUSAGE_THREAD, &cpuAfter);
    // Then the tick that shows the last of them.
    while (rx.shownSize() < total)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    f.shown = double(t.nsecsElapsed()) / 1e9;
    writer.join();
    f.cpu = cpuSeconds(cpuAfter) - cpuSeconds(cpuBefore);
    return f;
}

} // namespace benchflood
