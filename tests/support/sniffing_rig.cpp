#include "sniffing_rig.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

RawLine::RawLine()
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

RawLine::~RawLine()
{
    ::close(master);
    ::close(slave);
}

SniffingRig::SniffingRig(int tapsPerSide)
{
    for (int i = 0; i < tapsPerSide; ++i) {
        m_left.push_back(std::make_unique<RawLine>());
        m_right.push_back(std::make_unique<RawLine>());
    }
    m_thread = std::thread([this] { forward(); });
}

SniffingRig::~SniffingRig()
{
    m_stop = true;
    m_thread.join();
}

namespace {

void writeAll(int fd, const char *bytes, ssize_t n)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, bytes, size_t(n));
        if (done <= 0)
            return;
        bytes += done;
        n -= done;
    }
}

} // namespace

void SniffingRig::forward()
{
    while (!m_stop) {
        pollfd p[2] = {{master.master, POLLIN, 0}, {slave.master, POLLIN, 0}};
        if (::poll(p, 2, 20) <= 0)
            continue;
        for (int side = 0; side < 2; ++side) {
            if (!(p[side].revents & POLLIN))
                continue;
            char buffer[512];
            ssize_t n = ::read(p[side].fd, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            if (side == 1 && m_corrupt.exchange(false))
                buffer[n - 1] = char(buffer[n - 1] ^ 0x5A);
            if (side == 1 && m_drop.exchange(false))
                --n;
            writeAll(side == 0 ? slave.master : master.master, buffer, n);
            for (const auto &tap : side == 0 ? m_left : m_right)
                writeAll(tap->master, buffer, n);
        }
    }
}

QString missingModbusPeer(const QStringList &programs)
{
    for (const QString &program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/packages.txt)").arg(program);
    }
    const QString &python = kModbusPython;
    QProcess check;
    check.start(python, {"-c", "import pymodbus.server"});
    if (!check.waitForFinished(60000) || check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0)
        return QStringLiteral("pymodbus's serial server cannot run under %1: %2")
            .arg(python, QString::fromLocal8Bit(check.readAllStandardError()).trimmed());
    return {};
}

bool holdsOpen(qint64 pid, const QString &device, int timeoutMs)
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

QString runMbpoll(const QString &device, QStringList arguments, int baud)
{
    QProcess master;
    master.setProcessChannelMode(QProcess::MergedChannels);
    const qsizetype values = arguments.indexOf("--");
    arguments.insert(values < 0 ? arguments.size() : values, device);
    master.start(QStringLiteral("mbpoll"), QStringList{"-m", "rtu", "-a", "1", "-b", QString::number(baud), "-P",
                                                       "none", "-1", "-o", "5"} + arguments);
    if (!master.waitForFinished(60000)) {
        master.kill();
        master.waitForFinished();
        return QStringLiteral("mbpoll did not end");
    }
    const QString said = QString::fromLocal8Bit(master.readAll());
    return master.exitCode() == 0 && !said.contains("fail") ? QString() : said;
}

QString mbpollValues(const QString &said)
{
    QStringList found;
    const QRegularExpression value("^\\[(\\d+)\\]:\\s+(\\S+)", QRegularExpression::MultilineOption);
    for (auto it = value.globalMatch(said); it.hasNext();) {
        const auto m = it.next();
        found << m.captured(1) + "=" + m.captured(2);
    }
    return found.join(' ');
}

QString startModbusSlave(QProcess &slave, const QString &script, SniffingRig &rig)
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

AnalyserRun runAnalyser(const QString &file, const QStringList &fields)
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
