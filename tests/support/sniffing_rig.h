#pragma once

// A Modbus master's line and a slave's line joined as a cable would, with
// each way copied to tap lines that a recorder or a console can listen on;
// and the peers that talk over it: mbpoll as the master, the pymodbus
// slave script under Debian's python.

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

inline const QString kModbusPython = QStringLiteral("/usr/bin/python3");

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
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;
};

// The master's line and the slave's line joined both ways; each way is
// copied to `tapsPerSide` tap lines too: a left tap hears the master, a
// right one the slave.
class SniffingRig {
public:
    explicit SniffingRig(int tapsPerSide = 1)
    {
        for (int i = 0; i < tapsPerSide; ++i) {
            m_left.push_back(std::make_unique<Line>());
            m_right.push_back(std::make_unique<Line>());
        }
        m_thread = std::thread([this] { forward(); });
    }
    ~SniffingRig()
    {
        m_stop = true;
        m_thread.join();
    }
    Line master, slave;
    Line &leftTap(int i = 0) { return *m_left[size_t(i)]; }
    Line &rightTap(int i = 0) { return *m_right[size_t(i)]; }

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
                for (const auto &tap : side == 0 ? m_left : m_right)
                    writeAll(tap->master, buffer, n);
            }
        }
    }
    std::vector<std::unique_ptr<Line>> m_left, m_right;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Why mbpoll or the pymodbus slave cannot run here; empty when both can.
inline QString missingModbusPeer()
{
    if (QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty())
        return QStringLiteral("mbpoll is not installed (scripts/packages.txt)");
    QProcess python;
    python.start(kModbusPython, {"-c", "import pymodbus.server"});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0)
        return QStringLiteral("pymodbus's serial server cannot run under %1: %2")
            .arg(kModbusPython, QString::fromLocal8Bit(python.readAllStandardError()).trimmed());
    return {};
}

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

// One poll of unit 1 at 9600,n,8,1 through `device`; what mbpoll said when
// it failed, empty when it succeeded. `arguments` may end in "--" and the
// values to write.
inline QString runMbpoll(const QString &device, QStringList arguments)
{
    QProcess master;
    master.setProcessChannelMode(QProcess::MergedChannels);
    const qsizetype values = arguments.indexOf("--");
    arguments.insert(values < 0 ? arguments.size() : values, device);
    master.start(QStringLiteral("mbpoll"),
                 QStringList{"-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", "-1", "-o", "5"} + arguments);
    if (!master.waitForFinished(60000)) {
        master.kill();
        master.waitForFinished();
        return QStringLiteral("mbpoll did not end");
    }
    const QString said = QString::fromLocal8Bit(master.readAll());
    return master.exitCode() == 0 && !said.contains("fail") ? QString() : said;
}

// The pymodbus slave on `line`, answering once it has set its line up;
// the reason it does not, empty when it does.
inline QString startModbusSlave(QProcess &slave, const QString &script, SniffingRig &rig)
{
    slave.setProcessChannelMode(QProcess::MergedChannels);
    slave.start(kModbusPython, {script, rig.slave.path});
    if (!slave.waitForStarted())
        return QStringLiteral("the pymodbus slave did not start");
    if (!holdsOpen(slave.processId(), rig.slave.path, 60000))
        return "the pymodbus slave did not open its line: " + QString::fromLocal8Bit(slave.readAll());
    // Asked until it answers.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (runMbpoll(rig.master.path, {"-t", "4", "-r", "1"}).isEmpty())
            return {};
    }
    return "the pymodbus slave does not answer: " + QString::fromLocal8Bit(slave.readAll());
}

// What the packet analyser says to stderr reading `file` with the serial
// data decoded as Modbus RTU, less its note about running as root; and its
// fields output when `fields` are given. Nothing when it did not run.
struct AnalyserRun {
    bool ran = false;
    int exitCode = -1;
    QStringList warnings;
    QStringList lines;
};
inline AnalyserRun runAnalyser(const QString &file, const QStringList &fields = {})
{
    AnalyserRun run;
    QStringList arguments{"-r", file, "-d", "rtacser.data,mbrtu"};
    if (!fields.isEmpty()) {
        arguments << "-T" << "fields" << "-E" << "separator=,";
        for (const QString &f : fields)
            arguments << "-e" << f;
    }
    QProcess tshark;
    tshark.start(QStringLiteral("tshark"), arguments);
    if (!tshark.waitForFinished(120000))
        return run;
    run.ran = true;
    run.exitCode = tshark.exitCode();
    run.warnings = QString::fromLocal8Bit(tshark.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    run.warnings.removeIf([](const QString &line) { return line.startsWith("Running as user \"root\""); });
    run.lines = QString::fromLocal8Bit(tshark.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return run;
}

} // namespace testsupport
