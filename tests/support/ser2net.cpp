#include "ser2net.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

bool accepts(quint16 port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

} // namespace

quint16 Ser2net::freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t size = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
}

Ser2net::Ser2net(const QString &device, Protocol protocol)
    : m_device(device)
    , m_protocol(protocol)
    , m_port(freePort())
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Ser2net::~Ser2net()
{
    stop();
}

QString Ser2net::portText() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_protocol == Protocol::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp"))
        .arg(m_port);
}

bool Ser2net::start()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (program.isEmpty()) {
        m_whyNot = QStringLiteral("ser2net is not installed (Debian package ser2net)");
        return false;
    }
    const QString accepter = m_protocol == Protocol::Rfc2217 ? QStringLiteral("telnet(rfc2217),tcp") : QStringLiteral("tcp");
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    // kickolduser: a client that reconnects before ser2net noticed the old
    // connection gone is served, not refused.
    file.write(QStringLiteral("connection: &line\n"
                              "  accepter: %1,127.0.0.1,%2\n"
                              "  connector: serialdev,%3,9600n81,local\n"
                              "  options:\n"
                              "    kickolduser: true\n")
                   .arg(accepter).arg(m_port).arg(m_device)
                   .toUtf8());
    file.close();
    // -n: in the foreground, so stopping the process stops it; -u: no UUCP
    // lock file outside the temporary folder.
    m_process.start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), config,
                              QStringLiteral("-P"), m_dir.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(5000)) {
        m_whyNot = QStringLiteral("ser2net did not start: ") + m_process.errorString();
        return false;
    }
    for (int waited = 0; waited < 10000; waited += 20) {
        if (accepts(m_port))
            return true;
        if (m_process.state() != QProcess::Running)
            break;
        QThread::msleep(20);
    }
    m_whyNot = QStringLiteral("ser2net does not serve port %1: %2").arg(m_port).arg(QString::fromLocal8Bit(m_process.readAll()));
    stop();
    return false;
}

void Ser2net::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool Ser2net::waitUntilDeviceOpen(int timeoutMs) const
{
    const QString device = QFileInfo(m_device).canonicalFilePath();
    QElapsedTimer clock;
    clock.start();
    do {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == device)
                return true;
        }
        QTest::qWait(20);
    } while (clock.elapsed() < timeoutMs);
    return false;
}

} // namespace testsupport
