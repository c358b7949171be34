#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Debian's ser2net serving one device (a pseudo-terminal's slave) on a free
// port of 127.0.0.1, with its configuration and pid file in a temporary
// folder of its own. Stopped (and waited for) when destroyed; start() again
// serves the same port.
class Ser2net {
public:
    enum class Protocol { Rfc2217, RawTcp };
    Ser2net(const QString &device, Protocol protocol = Protocol::Rfc2217);
    ~Ser2net();
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Starts it and waits until it accepts connections. False with
    // whyNot() when it cannot run here (not installed, would not serve).
    bool start();
    void stop();
    bool running() const { return m_process.state() == QProcess::Running; }
    QString whyNot() const { return m_whyNot; }

    quint16 port() const { return m_port; }
    // "rfc2217://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT".
    QString portText() const;

    // Waits until the server holds the device open (it opens it when a
    // client connects, and bytes the device had before are not the
    // client's); false when it did not within timeoutMs.
    bool waitUntilDeviceOpen(int timeoutMs = 5000) const;

    // A port of 127.0.0.1 nothing listens on (bound and let go).
    static quint16 freePort();

private:
    QString m_device;
    Protocol m_protocol;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_whyNot;
};

} // namespace testsupport
