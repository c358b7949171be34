#include "null_modem.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace testsupport {

NullModem::NullModem()
{
    for (int i = 0; i < 2; ++i) {
        char name[256] = {};
        if (::openpty(&m_master[i], &m_slave[i], name, nullptr, nullptr) != 0) {
            m_master[i] = -1;
            return;
        }
        m_path[i] = QString::fromLocal8Bit(name);
        ::termios raw{};
        ::tcgetattr(m_slave[i], &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave[i], TCSANOW, &raw);
        // Programs the test starts get no end; the slave kept here spares
        // the master an EIO while a program has its end closed.
        ::fcntl(m_master[i], F_SETFD, FD_CLOEXEC);
        ::fcntl(m_slave[i], F_SETFD, FD_CLOEXEC);
        ::fcntl(m_master[i], F_SETFL, ::fcntl(m_master[i], F_GETFL) | O_NONBLOCK);
    }
    m_thread = std::thread([this] { relay(); });
}

NullModem::~NullModem()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (int i = 0; i < 2; ++i) {
        if (m_master[i] >= 0)
            ::close(m_master[i]);
        if (m_slave[i] >= 0)
            ::close(m_slave[i]);
    }
}

void NullModem::relay()
{
    while (!m_stop) {
        ::pollfd p[2] = {{m_master[0], POLLIN, 0}, {m_master[1], POLLIN, 0}};
        if (::poll(p, 2, 20) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & POLLIN))
                continue;
            char buf[4096];
            const ssize_t n = ::read(m_master[i], buf, sizeof buf);
            for (ssize_t done = 0; n > 0 && done < n && !m_stop;) {
                const ssize_t w = ::write(m_master[1 - i], buf + done, size_t(n - done));
                if (w > 0) {
                    done += w;
                    continue;
                }
                ::pollfd out{m_master[1 - i], POLLOUT, 0};
                ::poll(&out, 1, 20);
            }
        }
    }
}

} // namespace testsupport
