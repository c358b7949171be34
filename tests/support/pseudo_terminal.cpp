#include "pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

PseudoTerminal::PseudoTerminal()
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Raw on both sides, so the far end sees exactly the bytes sent.
    ::termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Programs the test starts get neither end: a child holding them would
    // count as holding the port.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Keep one slave descriptor so the master never reads EIO while the
    // program under test has the port closed.
    m_slaveKeepAlive = slave;
}

PseudoTerminal::~PseudoTerminal()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        ::pollfd p{m_master, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

QByteArray PseudoTerminal::read(int count, int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    QByteArray got;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            break;
        ::pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
    }
    return got;
}

QByteArray PseudoTerminal::readAvailable(int timeoutMs)
{
    return read(1 << 30, timeoutMs);
}

termios PseudoTerminal::slaveSettings() const
{
    termios t{};
    ::tcgetattr(m_slaveKeepAlive, &t);
    return t;
}

namespace {
// The kernel's termios2, which carries any baud rate as a number. Declared
// here because its header clashes with the C library's termios.
struct KernelTermios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
} // namespace

int PseudoTerminal::slaveBaudRate() const
{
    KernelTermios2 t2{};
    if (::ioctl(m_slaveKeepAlive, _IOR('T', 0x2A, KernelTermios2), &t2) != 0)
        return -1;
    return int(t2.c_ospeed);
}

int PseudoTerminal::slaveStopBits() const
{
    return (slaveSettings().c_cflag & CSTOPB) ? 2 : 1;
}

void PseudoTerminal::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

} // namespace testsupport
