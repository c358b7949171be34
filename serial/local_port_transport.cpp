#include "local_port_transport.h"

#include "serial/open_failure.h"

#include <QPointer>

#include <cerrno>

namespace serial {

LocalPortTransport::LocalPortTransport(SerialPort &port, QObject *parent)
    : LineTransport(parent)
    , m_port(port)
{
    connect(&m_port, &SerialPort::readyRead, this, &LineTransport::readyRead);
    connect(&m_port, &SerialPort::errorOccurred, this, &LocalPortTransport::onError);
}

LocalPortTransport::~LocalPortTransport()
{
    // The port outlives this: nothing it says from now on comes here.
    disconnect(&m_port, nullptr, this, nullptr);
    close();
}

namespace {

QString stepText(OpenStep step, const QString &device, const LineSettings &s)
{
    switch (step) {
    case OpenStep::Open:
        return LocalPortTransport::tr("Cannot open %1").arg(device);
    case OpenStep::BaudRate:
        return LocalPortTransport::tr("%1 refused the baud rate %2").arg(device).arg(s.baudRate);
    case OpenStep::DataBits:
        return LocalPortTransport::tr("%1 refused %2 data bits").arg(device).arg(int(s.dataBits));
    case OpenStep::Parity:
        return LocalPortTransport::tr("%1 refused the parity").arg(device);
    case OpenStep::StopBits:
        return LocalPortTransport::tr("%1 refused the stop bits").arg(device);
    case OpenStep::FlowControl:
        return LocalPortTransport::tr("%1 refused to run without flow control").arg(device);
    }
    return {};
}

// For a failure that the port did not describe itself.
QString errorText(SerialPort::SerialPortError error)
{
    switch (error) {
    case SerialPort::DeviceNotFoundError: return LocalPortTransport::tr("No such device");
    case SerialPort::PermissionError: return LocalPortTransport::tr("Permission denied");
    case SerialPort::OpenError: return LocalPortTransport::tr("The device is already open");
    case SerialPort::UnsupportedOperationError: return LocalPortTransport::tr("Not supported by the device");
    case SerialPort::ResourceError: return LocalPortTransport::tr("The device went away");
    case SerialPort::TimeoutError: return LocalPortTransport::tr("The device did not answer in time");
    default: return LocalPortTransport::tr("The device reported an error");
    }
}

} // namespace

bool LocalPortTransport::open(const OpenRequest &request, OpenStepFailure *failure, QString *reason)
{
    m_port.setPortName(request.device);
    // Stored on the closed port; the open applies them all at once, and a
    // setting the device refuses there fails the open step itself.
    m_port.setBaudRate(request.settings.baudRate);
    m_port.setDataBits(request.settings.dataBits);
    m_port.setParity(request.settings.parity);
    m_port.setStopBits(request.settings.stopBits);
    m_port.setFlowControl(SerialPort::NoFlowControl);
    m_port.setReadBufferSize(0); // unlimited: a tick drains whatever waited
    // Errors of the steps are judged here, not as line faults.
    m_checkingInline = true;
    bool opened = true;
    for (OpenStep step : {OpenStep::Open, OpenStep::BaudRate, OpenStep::DataBits,
                          OpenStep::Parity, OpenStep::StopBits, OpenStep::FlowControl}) {
        if (!runOpenStep(step, request, failure, reason)) {
            opened = false;
            break;
        }
    }
    if (opened) {
        if (!request.readOnly) {
            m_port.setRequestToSend(request.rts);
            m_port.setDataTerminalReady(request.dtr);
        }
        m_port.clearError();
    }
    m_checkingInline = false;
    return opened;
}

bool LocalPortTransport::runOpenStep(OpenStep step, const OpenRequest &request, OpenStepFailure *failure,
                                     QString *reason)
{
    if (m_injectedFailure && m_injectedFailure->step == step)
        return abandonOpen(step, m_injectedFailure->error, errorText(m_injectedFailure->error), request, failure,
                           reason);
    // The settings went in with the open; the steps after it only mark
    // where a driver that takes them one by one would refuse one.
    bool done = true;
    if (step == OpenStep::Open) {
        // Root passes both the lock file and the exclusive mode another
        // program took, and a program that took neither stops nobody: the
        // bytes would be split between the two. Asked before opening, so
        // the other program's line is not touched.
        if (findOtherPortHolder(request.device))
            return abandonOpen(step, SerialPort::PermissionError, tr("Another program has the device open"),
                               request, failure, reason);
        // An open that succeeds with an error noted (exclusive access
        // refused) counts as failed too.
        done = m_port.open(request.readOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite)
               && m_port.error() == SerialPort::NoError;
    }
    if (done)
        return true;
    const QString why = m_port.error() == SerialPort::NoError ? errorText(SerialPort::UnknownError)
                                                                : m_port.errorString();
    return abandonOpen(step, m_port.error(), why, request, failure, reason);
}

// Whatever step failed, the port ends closed: a later open must start from
// the beginning, never find it open with settings that did not take.
bool LocalPortTransport::abandonOpen(OpenStep step, SerialPort::SerialPortError error, const QString &why,
                                     const OpenRequest &request, OpenStepFailure *failure, QString *reason)
{
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    *failure = {step, error == SerialPort::NoError ? SerialPort::UnknownError : error};
    *reason = QStringLiteral("%1: %2").arg(stepText(step, request.device, request.settings), why);
    return false;
}

void LocalPortTransport::close()
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    m_port.clearError();
}

qint64 LocalPortTransport::read(char *bytes, qint64 count)
{
    return m_port.isOpen() ? m_port.read(bytes, count) : 0;
}

QByteArray LocalPortTransport::readAll()
{
    return m_port.isOpen() ? m_port.readAll() : QByteArray();
}

bool LocalPortTransport::write(const QByteArray &bytes, QString *reason)
{
    // A fault met here is told at once (dropped()), and whoever handles it
    // may let go of this transport: after each call only the port, which
    // outlives it, is touched unless this is still there.
    SerialPort &port = m_port;
    const QPointer<LocalPortTransport> alive(this);
    if (port.write(bytes) != bytes.size()) {
        *reason = port.errorString();
        return false;
    }
    if (!alive)
        return true;
    // Hand the bytes to the line now, as far as it takes them without
    // blocking; the rest follows from the event loop.
    m_handingOver = true;
    port.flush();
    if (alive)
        m_handingOver = false;
    return true;
}

void LocalPortTransport::clearInput()
{
    if (!m_port.isOpen())
        return;
    m_port.clear(SerialPort::Input);
    m_port.readAll();
}

void LocalPortTransport::setDataTerminalReady(bool on)
{
    if (!m_port.isOpen())
        return;
    m_checkingInline = true;
    m_port.setDataTerminalReady(on);
    m_checkingInline = false;
}

void LocalPortTransport::setRequestToSend(bool on)
{
    if (!m_port.isOpen())
        return;
    m_checkingInline = true;
    m_port.setRequestToSend(on);
    m_checkingInline = false;
}

QString lineFaultText(SerialPort::SerialPortError error, const QString &systemReason)
{
    // A read that met a hung-up line (the far end closed) ends without an
    // error of its own and is reported as a read error carrying whatever
    // errno held from before (ENOTTY, EAGAIN); a write queued when the line
    // went can carry EAGAIN too. Neither is a reason to give. A device
    // unplugged fails the next read or write with EIO (a resource or write
    // error), or ENODEV/ENXIO once the driver let go of it: the same event,
    // met by another call.
    bool gone = error == SerialPort::ReadError || error == SerialPort::ResourceError
        || error == SerialPort::DeviceNotFoundError;
    for (int code : {EAGAIN, EIO, ENODEV, ENXIO})
        gone = gone || systemReason == qt_error_string(code);
    if (gone)
        return LocalPortTransport::tr("The line was hung up: the device went away or its far end closed");
    return systemReason;
}

void LocalPortTransport::onError(SerialPort::SerialPortError error)
{
    if (error == SerialPort::NoError || m_checkingInline || !m_port.isOpen())
        return;
    // Only errors that mean the line is gone count as a fault; a refused
    // control request (a device without modem lines) or a timeout does not.
    // Handing bytes to a driver whose output buffer is full fails with
    // EAGAIN, reported as a write or resource error, but the line is fine:
    // the bytes stay queued and go out as it drains. (A read error can carry
    // the same text from a stale errno, so only the hand-over counts.)
    const bool bufferFull = m_handingOver && m_port.errorString() == qt_error_string(EAGAIN);
    switch (bufferFull ? SerialPort::NoError : error) {
    case SerialPort::WriteError:
    case SerialPort::ResourceError:
    case SerialPort::ReadError:
    case SerialPort::DeviceNotFoundError:
    case SerialPort::PermissionError:
        break;
    default:
        m_port.clearError();
        return;
    }
    // Closed at once, or a dead descriptor keeps waking the event loop; what
    // had arrived before the fault is read by the handler first.
    const QPointer<LocalPortTransport> alive(this);
    emit dropped(lineFaultText(error, m_port.errorString()));
    if (alive)
        close();
}

} // namespace serial
