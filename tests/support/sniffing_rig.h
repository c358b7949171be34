#pragma once

// A sniffing rig for tests with real Modbus peers: a master's line and a
// slave's line joined both ways, as a cable would, each way copied to a tap
// line too (the left tap hears the master, the right one the slave), and
// the helpers that run mbpoll and find out whether the peers can run here.

#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

namespace testsupport {

// A pseudo-terminal whose slave end stays open here (so that the master
// can be written before a program opens it) and is raw.
struct RawLine {
    int master = -1;
    int slave = -1;
    QString path;
    RawLine();
    ~RawLine();
    RawLine(const RawLine &) = delete;
    RawLine &operator=(const RawLine &) = delete;
};

class SniffingRig {
public:
    SniffingRig();
    ~SniffingRig();
    RawLine master, slave, leftTap, rightTap;

    // What the cable does to the next piece the slave sends (an answer
    // comes in one piece): its last byte changed, or left out. Both the
    // master and the right tap get the piece as changed.
    void corruptNextAnswer() { m_corrupt = true; }
    void dropFromNextAnswer() { m_drop = true; }

private:
    void forward();
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_corrupt{false};
    std::atomic<bool> m_drop{false};
    std::thread m_thread;
};

// Why the Modbus peers cannot run here (one of `programs` is missing, or
// pymodbus's serial server does not import under /usr/bin/python3); empty
// when they can.
QString missingModbusPeer(const QStringList &programs);

// Whether process `pid` holds `device` open, waited for up to `timeoutMs`.
bool holdsOpen(qint64 pid, const QString &device, int timeoutMs);

// One poll of unit 1 at `baud`,n,8,1 through `device`; what mbpoll said
// when it failed, empty when it succeeded. `arguments` may end in "--" and
// the values to write.
QString runMbpoll(const QString &device, QStringList arguments, int baud = 9600);

} // namespace testsupport
