#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace serial {

// What takes received bytes piece by piece, in arrival order.
using PieceTaker = std::function<void(const char *data, qint64 count)>;

// Reads a local line's descriptor on a thread of its own, with one blocking
// read per hand-over of the kernel (no wait for readiness in between), into
// chunks of 64 KiB that the owner's thread then takes from, up to 4 MiB
// waiting (then the line's own buffer holds the far end back). On Unix; on
// Windows no descriptor opens for it, and the port reads as it does alone.
//
// The owner is told through `wake` (called on the receiving thread) when
// bytes or the end of the line arrive and it was not told already: it calls
// rearm() when it looks, and the next arrival tells it again. Everything but
// `wake` belongs to the owner's thread.
class PortReceiver {
public:
    // `descriptor` is a blocking, read-only descriptor of the line, opened
    // for this; the receiver closes it when it ends. `already` is what was
    // received before it started: it comes first.
    PortReceiver(int descriptor, QByteArrayView already, std::function<void()> wake);
    // Stops the thread (also in the middle of a read) and discards what waits.
    ~PortReceiver();
    PortReceiver(const PortReceiver &) = delete;
    PortReceiver &operator=(const PortReceiver &) = delete;

    // An open descriptor of `device` for a receiver, opened so that neither
    // the open nor a read later leaves a wait for the carrier; -1 with errno.
    static int openDescriptor(const char *device);
    static void closeDescriptor(int descriptor);

    void rearm();
    qint64 available() const;
    qint64 read(char *bytes, qint64 count);
    // Hands every waiting byte to `take`, as it lies in the chunks, and
    // removes it; returns the count. A call from within `take` hands nothing.
    qint64 drain(const PieceTaker &take);
    // Discards what waits here and what the kernel holds of the line.
    void clear();
    // The errno of the read that ended the line (EIO for a hang-up), 0 while
    // it runs. Every byte read before it is waiting or was taken already.
    int failure() const;

private:
    struct Chunk {
        std::unique_ptr<char[]> data;
        qint64 filled = 0; // written by the receiving thread only
        qint64 taken = 0;  // by the owner only
    };
    void run();
    void publish(Chunk *&tail, qint64 count);
    void fail(int error);
    void dropTakenChunks();
    void madeRoom();

    const int m_descriptor;
    const std::function<void()> m_wake;
    mutable std::mutex m_lock;
    std::condition_variable m_left;
    std::condition_variable m_room;
    // Guarded by m_lock: the chunks, their fill, the count and the flags.
    // The bytes of a chunk below its fill are the owner's to read, those
    // above are the thread's to write, so neither is copied under the lock.
    std::deque<Chunk> m_chunks;
    qint64 m_available = 0;
    bool m_told = false;
    int m_failure = 0;
    bool m_running = true;
    bool m_waitingForRoom = false;
    std::atomic<bool> m_stop{false};
    // The owner's own.
    bool m_draining = false;
    quint64 m_clears = 0;
    std::thread m_thread;
};

} // namespace serial
