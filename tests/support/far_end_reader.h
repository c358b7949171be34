#pragma once

#include "tests/support/pseudo_terminal.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace testsupport {

// Reads the far end of a pseudo-terminal on a thread of its own, so that the
// test's event loop keeps running while the program sends; every read is
// kept with the time it returned.
class FarEndReader {
public:
    struct Piece {
        std::chrono::steady_clock::time_point at;
        QByteArray bytes;
    };

    explicit FarEndReader(PseudoTerminal &far)
        : m_thread([this, &far] {
            while (!m_stop) {
                if (QByteArray bytes = far.read(1, 20); !bytes.isEmpty()) {
                    std::lock_guard lock(m_mutex);
                    m_pieces.append({std::chrono::steady_clock::now(), bytes});
                }
            }
        })
    {
    }
    ~FarEndReader()
    {
        m_stop = true;
        m_thread.join();
    }

    QList<Piece> pieces() const
    {
        std::lock_guard lock(m_mutex);
        return m_pieces;
    }
    QByteArray bytes() const
    {
        QByteArray all;
        for (const Piece &p : pieces())
            all += p.bytes;
        return all;
    }

private:
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<Piece> m_pieces;
    std::thread m_thread; // last: starts once the rest is ready
};

} // namespace testsupport
