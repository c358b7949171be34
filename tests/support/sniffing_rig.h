#pragma once

// A Modbus line with ears: a master's line and a slave's line joined both
// ways, each way copied to a tap line of its own, on pseudo-terminals.

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

// A pseudo-terminal whose slave end stays open here (so that the master
// can be written before a program opens it) and is raw.
struct Line {
    int master = -1;
    int slave = -1;
    QString path;
    Line()
    {
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        path = QString::fromLocal8Bit(name);
    }
    ~Line()
    {
        ::close(master);
        ::close(slave);
    }
};

// The master's line and the slave's line joined both ways, as a cable
// would; each way is copied to a tap line too: the left tap hears the
// master, the right one the slave.
class SniffingRig {
public:
    SniffingRig()
    {
        m_thread = std::thread([this] { forward(); });
    }
    ~SniffingRig()
    {
        m_stop = true;
        m_thread.join();
    }
    Line master, slave, leftTap, rightTap;

private:
    static void writeAll(int fd, const char *bytes, ssize_t n)
    {
        while (n > 0) {
            const ssize_t done = ::write(fd, bytes, size_t(n));
            if (done <= 0)
                return;
            bytes += done;
            n -= done;
        }
    }
    void forward()
    {
        while (!m_stop) {
            pollfd p[2] = {{master.master, POLLIN, 0}, {slave.master, POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0)
                continue;
            for (int side = 0; side < 2; ++side) {
                if (!(p[side].revents & POLLIN))
                    continue;
                char buffer[512];
                const ssize_t n = ::read(p[side].fd, buffer, sizeof buffer);
                if (n <= 0)
                    continue;
                writeAll(side == 0 ? slave.master : master.master, buffer, n);
                writeAll(side == 0 ? leftTap.master : rightTap.master, buffer, n);
            }
        }
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Whether process `pid` holds `device` open, waited for up to `timeoutMs`.
inline bool holdsOpen(qint64 pid, const QString &device, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == device)
                return true;
        }
        QTest::qWait(50);
    }
    return false;
}

} // namespace testsupport
