#pragma once

#include "serial/line_transport.h"
#include "serial/serial_port.h"

#include <QString>

#include <optional>

namespace serial {

// The cause a fault of an open line is given, from the port's error and
// its text, so that one event reads the same whichever call met it: a line
// that is gone (hung up, the device removed: a read ending early, EIO,
// ENODEV, ENXIO, a write refused with EAGAIN as the line went) reads as
// hung up; anything else in the system's own words.
QString lineFaultText(SerialPort::SerialPortError error, const QString &systemReason);

// A local serial port (Qt SerialPort, or our Win32 port on Windows) as a
// line. The port object is lent by its owner, which keeps it for readers of
// its signals and its settings; this opens it, reads, writes and watches it,
// and closes it when destroyed.
//
// An open applies every setting at once; an error the port meets while
// opening or setting a modem line is judged there, never as a fault. Once
// open, only errors that mean the line is gone end it (dropped()).
class LocalPortTransport : public LineTransport {
    Q_OBJECT
public:
    explicit LocalPortTransport(SerialPort &port, QObject *parent = nullptr);
    ~LocalPortTransport() override;

    // Every open fails at failure->step with failure->error, as a device
    // that refuses that step would (see SerialControl::failOpenAt).
    void failOpenAt(std::optional<OpenStepFailure> failure) { m_injectedFailure = failure; }

    bool open(const OpenRequest &request, OpenStepFailure *failure, QString *reason) override;
    void cancelOpen() override {}
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }

    qint64 bytesAvailable() const override { return m_port.isOpen() ? m_port.bytesAvailable() : 0; }
    qint64 read(char *bytes, qint64 count) override;
    QByteArray readAll() override;
    bool write(const QByteArray &bytes, QString *reason) override;
    qint64 bytesToWrite() const override { return m_port.isOpen() ? m_port.bytesToWrite() : 0; }
    void clearInput() override;

    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;

private:
    bool runOpenStep(OpenStep step, const OpenRequest &request, OpenStepFailure *failure, QString *reason);
    bool abandonOpen(OpenStep step, SerialPort::SerialPortError error, const QString &why,
                     const OpenRequest &request, OpenStepFailure *failure, QString *reason);
    void onError(SerialPort::SerialPortError error);

    SerialPort &m_port;
    std::optional<OpenStepFailure> m_injectedFailure;
    bool m_checkingInline = false; // errors handled where they arise
    bool m_handingOver = false;    // within write()'s flush
};

} // namespace serial
