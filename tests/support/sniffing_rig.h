#pragma once

// A sniffing rig for tests with real Modbus peers: a master's line and a
// slave's line joined both ways, as a cable would, each way copied to a tap
// line too (the left tap hears the master, the right one the slave), and
// the helpers that run mbpoll and find out whether the peers can run here.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace testsupport {

// Debian's python, the one with pymodbus.
inline const QString kModbusPython = QStringLiteral("/usr/bin/python3");

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

// Each way is copied to `tapsPerSide` tap lines: a left tap hears the
// master, a right one the slave.
class SniffingRig {
public:
    explicit SniffingRig(int tapsPerSide = 1);
    ~SniffingRig();
    RawLine master, slave;
    RawLine &leftTap(int i = 0) { return *m_left[size_t(i)]; }
    RawLine &rightTap(int i = 0) { return *m_right[size_t(i)]; }

    // What the cable does to the next piece the slave sends (an answer
    // comes in one piece): its last byte changed, or left out. Both the
    // master and the right tap get the piece as changed.
    void corruptNextAnswer() { m_corrupt = true; }
    void dropFromNextAnswer() { m_drop = true; }

private:
    void forward();
    std::vector<std::unique_ptr<RawLine>> m_left, m_right;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_corrupt{false};
    std::atomic<bool> m_drop{false};
    std::thread m_thread;
};

// Why the Modbus peers cannot run here (one of `programs` is missing, or
// pymodbus's serial server does not import under /usr/bin/python3); empty
// when they can.
QString missingModbusPeer(const QStringList &programs = {QStringLiteral("mbpoll")});

// Whether process `pid` holds `device` open, waited for up to `timeoutMs`.
bool holdsOpen(qint64 pid, const QString &device, int timeoutMs);

// One poll of unit 1 at `baud`,n,8,1 through `device`; what mbpoll said
// when it failed, empty when it succeeded. `arguments` may end in "--" and
// the values to write.
QString runMbpoll(const QString &device, QStringList arguments, int baud = 9600);

// The values mbpoll printed, its "[1]: 0" lines, as "1=0 2=1".
QString mbpollValues(const QString &said);

// The pymodbus slave on the rig's slave line, answering once it has set its
// line up; the reason it does not, empty when it does.
QString startModbusSlave(QProcess &slave, const QString &script, SniffingRig &rig);

// What the packet analyser says to stderr reading `file` with the serial
// data decoded as Modbus RTU, less its note about running as root; and its
// fields output when `fields` are given. Nothing when it did not run.
struct AnalyserRun {
    bool ran = false;
    int exitCode = -1;
    QStringList warnings;
    QStringList lines;
};
AnalyserRun runAnalyser(const QString &file, const QStringList &fields = {});

} // namespace testsupport
