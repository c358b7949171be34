#include "port_receiver.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

constexpr qint64 kChunkSize = 64 * 1024;
// While this much waits untaken the thread reads no more, and the line's
// own buffer holds back the far end as it would without the thread.
constexpr qint64 kMostWaiting = 4 * 1024 * 1024;

// A stop interrupts the blocking read with this signal; its handler does
// nothing, and without SA_RESTART the read returns EINTR.
int stopSignal()
{
    static const int signal = [] {
        const int chosen = SIGRTMIN + 2;
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(chosen, &action, nullptr);
        return chosen;
    }();
    return signal;
}

std::unique_ptr<char[]> newChunkData()
{
    return std::make_unique_for_overwrite<char[]>(size_t(kChunkSize));
}

} // namespace

int PortReceiver::openDescriptor(const char *device)
{
    // Opened without waiting for the carrier, then made blocking: reads wait
    // for bytes, never for a modem line.
    const int fd = ::open(device, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

void PortReceiver::closeDescriptor(int descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
}

PortReceiver::PortReceiver(int descriptor, QByteArrayView already, std::function<void()> wake)
    : m_descriptor(descriptor)
    , m_wake(std::move(wake))
{
    m_chunks.push_back({newChunkData()});
    for (qsizetype done = 0; done < already.size();) {
        Chunk &tail = m_chunks.back();
        const qint64 n = std::min<qint64>(kChunkSize - tail.filled, already.size() - done);
        std::memcpy(tail.data.get() + tail.filled, already.data() + done, size_t(n));
        tail.filled += n;
        done += n;
        if (tail.filled == kChunkSize)
            m_chunks.push_back({newChunkData()});
    }
    m_available = already.size();
    // A read returns once a byte is there, however the port set the line
    // (its own descriptor never blocks; a line set to return at once is
    // still read right: see run()).
    termios line {};
    if (::tcgetattr(m_descriptor, &line) == 0) {
        line.c_cc[VMIN] = 1;
        line.c_cc[VTIME] = 0;
        ::tcsetattr(m_descriptor, TCSANOW, &line);
    }
    stopSignal();
    m_thread = std::thread(&PortReceiver::run, this);
}

PortReceiver::~PortReceiver()
{
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
        m_room.notify_all();
    }
    {
        // Signalled until it has left the read: a signal that came just
        // before the read began would leave it waiting there.
        std::unique_lock lock(m_lock);
        while (m_running) {
            ::pthread_kill(m_thread.native_handle(), stopSignal());
            m_left.wait_for(lock, std::chrono::milliseconds(2), [this] { return !m_running; });
        }
    }
    m_thread.join();
    ::close(m_descriptor);
}

void PortReceiver::run()
{
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, stopSignal());
    ::pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    Chunk *tail = nullptr;
    {
        std::lock_guard lock(m_lock);
        tail = &m_chunks.back();
    }
    while (!m_stop) {
        const ssize_t n = ::read(m_descriptor, tail->data.get() + tail->filled, size_t(kChunkSize - tail->filled));
        if (n > 0) {
            publish(tail, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            fail(errno);
            break;
        }
        // Nothing read: a hung-up line, or one set again to return at once
        // (the port rewrites the settings it keeps); the wait tells which.
        pollfd ready{m_descriptor, POLLIN, 0};
        const int r = ::poll(&ready, 1, -1);
        if (r < 0 && errno != EINTR) {
            fail(errno);
            break;
        }
        if (r > 0 && (ready.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            fail(EIO);
            break;
        }
    }
    std::lock_guard lock(m_lock);
    m_running = false;
    m_left.notify_all();
}

void PortReceiver::publish(Chunk *&tail, qint64 count)
{
    // Allocated before the lock is taken: the owner never waits for it.
    std::unique_ptr<char[]> next = tail->filled + count == kChunkSize ? newChunkData() : nullptr;
    bool tell = false;
    {
        std::lock_guard lock(m_lock);
        tail->filled += count;
        m_available += count;
        if (next) {
            m_chunks.push_back({std::move(next)});
            tail = &m_chunks.back();
        }
        tell = !std::exchange(m_told, true);
    }
    if (tell)
        m_wake();
    std::unique_lock lock(m_lock);
    if (m_available < kMostWaiting)
        return;
    m_waitingForRoom = true;
    m_room.wait(lock, [this] { return m_stop || m_available < kMostWaiting; });
    m_waitingForRoom = false;
}

// Under the lock, after the owner took or discarded bytes.
void PortReceiver::madeRoom()
{
    if (m_waitingForRoom && m_available < kMostWaiting)
        m_room.notify_one();
}

void PortReceiver::fail(int error)
{
    bool tell = false;
    {
        std::lock_guard lock(m_lock);
        m_failure = error == 0 ? EIO : error;
        tell = !std::exchange(m_told, true);
    }
    if (tell)
        m_wake();
}

void PortReceiver::rearm()
{
    std::lock_guard lock(m_lock);
    m_told = false;
}

qint64 PortReceiver::available() const
{
    std::lock_guard lock(m_lock);
    return m_available;
}

int PortReceiver::failure() const
{
    std::lock_guard lock(m_lock);
    return m_failure;
}

qint64 PortReceiver::read(char *bytes, qint64 count)
{
    qint64 done = 0;
    while (done < count) {
        const char *from = nullptr;
        qint64 n = 0;
        {
            std::lock_guard lock(m_lock);
            Chunk &front = m_chunks.front();
            n = std::min(front.filled - front.taken, count - done);
            if (n <= 0)
                break;
            from = front.data.get() + front.taken;
        }
        std::memcpy(bytes + done, from, size_t(n));
        done += n;
        std::lock_guard lock(m_lock);
        m_chunks.front().taken += n;
        m_available -= n;
        dropTakenChunks();
        madeRoom();
    }
    return done;
}

qint64 PortReceiver::drain(const PieceTaker &take)
{
    if (m_draining)
        return 0;
    m_draining = true;
    qint64 done = 0;
    for (;;) {
        const char *from = nullptr;
        qint64 n = 0;
        {
            std::lock_guard lock(m_lock);
            dropTakenChunks();
            Chunk &front = m_chunks.front();
            n = front.filled - front.taken;
            if (n <= 0)
                break;
            from = front.data.get() + front.taken;
        }
        const quint64 clears = m_clears;
        take(from, n);
        // A clear made while the piece was taken discarded it already.
        if (clears != m_clears)
            continue;
        done += n;
        std::lock_guard lock(m_lock);
        m_chunks.front().taken += n;
        m_available -= n;
        madeRoom();
    }
    m_draining = false;
    return done;
}

void PortReceiver::clear()
{
    ::tcflush(m_descriptor, TCIFLUSH);
    std::lock_guard lock(m_lock);
    for (Chunk &chunk : m_chunks)
        chunk.taken = chunk.filled;
    m_available = 0;
    ++m_clears;
    madeRoom();
    // A piece being taken stays in memory until the taking ends.
    if (!m_draining)
        dropTakenChunks();
}

// Under the lock. A chunk taken to its end is one the thread has left.
void PortReceiver::dropTakenChunks()
{
    while (m_chunks.size() > 1 && m_chunks.front().taken == kChunkSize)
        m_chunks.pop_front();
}

} // namespace serial
