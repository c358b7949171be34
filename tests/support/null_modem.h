#pragma once

#include <QString>

#include <atomic>
#include <thread>

namespace testsupport {

// Two pseudo-terminals joined like a null-modem cable: what a program
// writes to one slave comes out of the other, byte for byte, so that two
// programs that each want a serial device path (a master and a device
// under test) talk to each other. Both slaves are raw; a thread of the
// test passes the bytes between the masters until the cable goes.
class NullModem {
public:
    NullModem();
    ~NullModem();
    NullModem(const NullModem &) = delete;
    NullModem &operator=(const NullModem &) = delete;

    bool isValid() const { return m_master[0] >= 0 && m_master[1] >= 0; }
    QString endA() const { return m_path[0]; }
    QString endB() const { return m_path[1]; }

private:
    void relay();

    int m_master[2] = {-1, -1};
    int m_slave[2] = {-1, -1};
    QString m_path[2];
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace testsupport
