#pragma once

#include <QByteArray>
#include <QString>
#include <termios.h>

namespace testsupport {

// A pseudo-terminal whose slave a program under test opens as a serial
// port, while the test plays the far end on the master.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Bytes into the line, as the far end sends them.
    void write(const QByteArray &bytes);
    // Reads what the program sent: waits until `count` bytes came or
    // `timeoutMs` passed, whichever is first. Returns what arrived.
    QByteArray read(int count, int timeoutMs = 2000);
    // Everything that arrives within `timeoutMs`.
    QByteArray readAvailable(int timeoutMs = 50);

    // The line settings as the slave holds them now.
    termios slaveSettings() const;
    // Baud rate of the slave (handles rates set through BOTHER).
    int slaveBaudRate() const;
    // Stop bits of the slave: 1 or 2.
    int slaveStopBits() const;

    // The far end goes away (as an unplugged adapter does).
    void closeMaster();

private:
    int m_master = -1;
    int m_slaveKeepAlive = -1;
    QString m_slavePath;
};

} // namespace testsupport
