#include "serial_control.h"

#include "serial/network_address.h"
#include "serial/open_failure.h"
#include "serial/port_names.h"
#include "serial/tcp_transport.h"

#include "codepage/codepage.h"

#include <cerrno>
#include <utility>

namespace serial {

SerialControl::SerialControl(QObject *parent)
    : QObject(parent)
{
    m_device = deviceForPortNumber(m_commPort);
    connect(&m_port, &SerialPort::readyRead, this, &SerialControl::bytesArrived);
    connect(&m_port, &SerialPort::errorOccurred, this, &SerialControl::onError);
}

SerialControl::~SerialControl() = default;

void SerialControl::setCommPort(int n)
{
    m_commPort = n;
    m_device = deviceForPortNumber(n);
}

void SerialControl::setCommPort(int n, const QString &device)
{
    m_commPort = n;
    m_device = device;
}

void SerialControl::setDevice(const QString &device)
{
    m_commPort = 0;
    m_device = device;
}

bool SerialControl::setSettings(const QString &settings)
{
    if (portOpen() || m_opening) {
        m_lastError = tr("Settings cannot change while the port is open");
        return false;
    }
    const auto parsed = parseSettings(settings);
    if (!parsed) {
        m_lastError = tr("Invalid settings string: %1").arg(settings);
        return false;
    }
    m_settings = *parsed;
    m_settingsText = settings;
    return true;
}

void SerialControl::setDTREnable(bool on)
{
    m_dtr = on;
    if (listening())
        return;
    if (m_transport && m_transport->isOpen())
        m_transport->setDataTerminalReady(on);
    if (m_port.isOpen()) {
        m_checkingInline = true;
        m_port.setDataTerminalReady(on);
        m_checkingInline = false;
    }
}

void SerialControl::setRTSEnable(bool on)
{
    m_rts = on;
    if (listening())
        return;
    if (m_transport && m_transport->isOpen())
        m_transport->setRequestToSend(on);
    if (m_port.isOpen()) {
        m_checkingInline = true;
        m_port.setRequestToSend(on);
        m_checkingInline = false;
    }
}

bool SerialControl::portOpen() const
{
    return m_port.isOpen() || (m_transport && m_transport->isOpen());
}

bool SerialControl::setPortOpen(bool open)
{
    if (!open) {
        if (m_opening) {
            // The open waiting in the event loop ends as a failure.
            m_transport->cancelOpen();
            return true;
        }
        const bool wasOpen = portOpen();
        if (m_port.isOpen())
            m_port.close();
        m_transport.reset();
        m_fault = false;
        m_salvaged.clear();
        discardDelivered();
        if (wasOpen)
            emit closed();
        return true;
    }
    if (m_opening) {
        m_lastError = tr("%1 is still being opened").arg(m_device);
        m_lastOpenFailure = {OpenStep::Open, SerialPort::OpenError};
        return false;
    }
    if (portOpen()) {
        m_lastError = tr("Port is already open");
        m_lastOpenFailure = {OpenStep::Open, SerialPort::OpenError};
        return false;
    }

    m_fault = false;
    m_salvaged.clear();
    m_lastOpenFailure = {};
    m_transport.reset();
    if (isNetworkPortText(m_device))
        return openTransport();
    m_port.setPortName(m_device);
    // Stored on the closed port; the open applies them all at once, and a
    // setting the device refuses there fails the open step itself.
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setParity(m_settings.parity);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(SerialPort::NoFlowControl);
    m_port.setReadBufferSize(0); // unlimited: a tick drains whatever waited
    // Errors of the steps are judged here, not as line faults.
    m_checkingInline = true;
    bool opened = true;
    for (OpenStep step : {OpenStep::Open, OpenStep::BaudRate, OpenStep::DataBits,
                          OpenStep::Parity, OpenStep::StopBits, OpenStep::FlowControl}) {
        if (!runOpenStep(step)) {
            opened = false;
            break;
        }
    }
    if (opened) {
        m_openedListening = m_listenOnly;
        if (!m_openedListening) {
            m_port.setRequestToSend(m_rts);
            m_port.setDataTerminalReady(m_dtr);
        }
        m_port.clearError();
    }
    m_checkingInline = false;
    return opened;
}

bool SerialControl::openTransport()
{
    const NetworkAddressCheck checked = checkNetworkPortText(m_device);
    if (!checked.address) {
        m_lastOpenFailure = {OpenStep::Open, SerialPort::DeviceNotFoundError};
        m_lastError = tr("Cannot open %1: %2").arg(m_device, checked.refusal);
        return false;
    }
    if (checked.address->kind == NetworkKind::Rfc2217)
        m_transport = std::make_unique<Rfc2217Transport>(*checked.address);
    else
        m_transport = std::make_unique<TcpTransport>(*checked.address);
    connect(m_transport.get(), &LineTransport::readyRead, this, &SerialControl::bytesArrived);
    connect(m_transport.get(), &LineTransport::readyRead, this, &SerialControl::deliverToSink);
    connect(m_transport.get(), &LineTransport::dropped, this, &SerialControl::onTransportDropped);
    QString reason;
    m_opening = true;
    const bool opened = m_transport->open(m_settings, m_dtr, m_rts, &reason);
    m_opening = false;
    if (opened) {
        m_openedListening = m_listenOnly;
        return true;
    }
    // Which setting the server refused or left unanswered, as a local
    // port's refused step is reported.
    OpenStep step = OpenStep::Open;
    for (auto [name, s] : {std::pair{"SET-BAUDRATE", OpenStep::BaudRate}, {"SET-DATASIZE", OpenStep::DataBits},
                           {"SET-PARITY", OpenStep::Parity}, {"SET-STOPSIZE", OpenStep::StopBits}}) {
        if (reason.contains(QLatin1String(name)))
            step = s;
    }
    m_transport.reset();
    m_lastOpenFailure = {step, step == OpenStep::Open ? SerialPort::OpenError : SerialPort::UnsupportedOperationError};
    m_lastError = tr("Cannot open %1: %2").arg(m_device, reason);
    return false;
}

void SerialControl::onTransportDropped(const QString &reason)
{
    if (m_fault || !m_transport)
        return;
    m_fault = true;
    m_lastError = reason;
    if (m_sink)
        deliverToSink();
    else
        m_salvaged += m_transport->readAll();
    m_transport->close();
    emit faulted(m_lastError);
}

namespace {

QString stepText(SerialControl::OpenStep step, const QString &device, const LineSettings &s)
{
    switch (step) {
    case SerialControl::OpenStep::Open:
        return SerialControl::tr("Cannot open %1").arg(device);
    case SerialControl::OpenStep::BaudRate:
        return SerialControl::tr("%1 refused the baud rate %2").arg(device).arg(s.baudRate);
    case SerialControl::OpenStep::DataBits:
        return SerialControl::tr("%1 refused %2 data bits").arg(device).arg(int(s.dataBits));
    case SerialControl::OpenStep::Parity:
        return SerialControl::tr("%1 refused the parity").arg(device);
    case SerialControl::OpenStep::StopBits:
        return SerialControl::tr("%1 refused the stop bits").arg(device);
    case SerialControl::OpenStep::FlowControl:
        return SerialControl::tr("%1 refused to run without flow control").arg(device);
    }
    return {};
}

// For a failure that the port did not describe itself.
QString errorText(SerialPort::SerialPortError error)
{
    switch (error) {
    case SerialPort::DeviceNotFoundError: return SerialControl::tr("No such device");
    case SerialPort::PermissionError: return SerialControl::tr("Permission denied");
    case SerialPort::OpenError: return SerialControl::tr("The device is already open");
    case SerialPort::UnsupportedOperationError: return SerialControl::tr("Not supported by the device");
    case SerialPort::ResourceError: return SerialControl::tr("The device went away");
    case SerialPort::TimeoutError: return SerialControl::tr("The device did not answer in time");
    default: return SerialControl::tr("The device reported an error");
    }
}

} // namespace

bool SerialControl::runOpenStep(OpenStep step)
{
    if (m_injectedFailure && m_injectedFailure->step == step)
        return abandonOpen(step, m_injectedFailure->error, errorText(m_injectedFailure->error));
    // The settings went in with the open; the steps after it only mark
    // where a driver that takes them one by one would refuse one.
    bool done = true;
    if (step == OpenStep::Open) {
        // Root passes both the lock file and the exclusive mode another
        // program took, and a program that took neither stops nobody: the
        // bytes would be split between the two. Asked before opening, so
        // the other program's line is not touched.
        if (findOtherPortHolder(m_device))
            return abandonOpen(step, SerialPort::PermissionError, tr("Another program has the device open"));
        // An open that succeeds with an error noted (exclusive access
        // refused) counts as failed too.
        done = m_port.open(m_listenOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite)
               && m_port.error() == SerialPort::NoError;
    }
    if (done)
        return true;
    const QString reason = m_port.error() == SerialPort::NoError ? errorText(SerialPort::UnknownError)
                                                                   : m_port.errorString();
    return abandonOpen(step, m_port.error(), reason);
}

// Whatever step failed, the port ends closed: a later open must start from
// the beginning, never find it open with settings that did not take.
bool SerialControl::abandonOpen(OpenStep step, SerialPort::SerialPortError error, const QString &reason)
{
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    m_fault = false;
    m_lastOpenFailure = {step, error == SerialPort::NoError ? SerialPort::UnknownError : error};
    m_lastError = QStringLiteral("%1: %2").arg(stepText(step, m_device, m_settings), reason);
    return false;
}

qint64 SerialControl::inBufferCount() const
{
    const qint64 waiting = m_transport ? m_transport->bytesAvailable() : m_port.isOpen() ? m_port.bytesAvailable() : 0;
    return m_delivered + m_salvaged.size() + waiting;
}

void SerialControl::clearInBuffer()
{
    m_salvaged.clear();
    discardDelivered();
    if (m_transport && m_transport->isOpen())
        m_transport->clearInput();
    if (!m_port.isOpen())
        return;
    m_port.clear(SerialPort::Input);
    m_port.readAll();
}

QByteArray SerialControl::input()
{
    m_delivered = 0;
    QByteArray bytes = std::exchange(m_salvaged, {});
    if (m_transport)
        bytes += m_transport->readAll();
    if (m_port.isOpen())
        bytes += m_port.readAll();
    return bytes;
}

bool SerialControl::listening() const
{
    return m_listenOnly || (portOpen() && m_openedListening);
}

bool SerialControl::output(const QByteArray &bytes)
{
    if (!portOpen()) {
        m_lastError = tr("Port is not open");
        return false;
    }
    if (m_listenOnly) {
        m_lastError = tr("Listen Only is on: nothing is sent through this port");
        return false;
    }
    if (m_openedListening) {
        m_lastError = tr("the port was started with Listen Only: stop and start it to send");
        return false;
    }
    if (m_transport) {
        if (!m_transport->write(bytes)) {
            m_lastError = tr("Port is not open");
            return false;
        }
        return true;
    }
    if (m_port.write(bytes) != bytes.size()) {
        m_lastError = m_port.errorString();
        return false;
    }
    // Hand the bytes to the line now, as far as it takes them without
    // blocking; the rest follows from the event loop.
    m_handingOver = true;
    m_port.flush();
    m_handingOver = false;
    return true;
}

bool SerialControl::output(const QString &text)
{
    return output(toCodePage(text));
}

qint64 SerialControl::outBufferCount() const
{
    if (m_transport)
        return m_transport->bytesToWrite();
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
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
        return SerialControl::tr("The line was hung up: the device went away or its far end closed");
    return systemReason;
}

void SerialControl::onError(SerialPort::SerialPortError error)
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
    if (m_fault)
        return;
    // Close at once, or a dead descriptor keeps waking the event loop; what
    // had arrived before the fault is kept for the next input().
    m_fault = true;
    m_lastError = lineFaultText(error, m_port.errorString());
    if (m_sink)
        deliverToSink();
    else
        m_salvaged += m_port.readAll();
    m_port.close();
    m_port.clearError();
    emit faulted(m_lastError);
}

void SerialControl::setReceiveSink(ReceiveSink *sink)
{
    if (m_sink == sink)
        return;
    if (m_sink) {
        disconnect(&m_port, &SerialPort::readyRead, this, &SerialControl::deliverToSink);
        discardDelivered();
    }
    m_sink = sink;
    if (m_sink) {
        connect(&m_port, &SerialPort::readyRead, this, &SerialControl::deliverToSink, Qt::DirectConnection);
        deliverToSink();
    }
}

void SerialControl::deliverToSink()
{
    if (!m_sink)
        return;
    if (!m_salvaged.isEmpty()) {
        m_sink->received(m_salvaged.constData(), m_salvaged.size());
        m_delivered += m_salvaged.size();
        m_salvaged.clear();
    }
    char piece[64 * 1024];
    if (m_transport) {
        for (;;) {
            const qint64 n = m_transport->read(piece, sizeof piece);
            if (n <= 0)
                break;
            m_sink->received(piece, n);
            m_delivered += n;
        }
        return;
    }
    if (!m_port.isOpen())
        return;
    // Read in pieces no larger than the port's own notification brings, so
    // nothing here grows with the rate of the line.
    for (;;) {
        const qint64 n = m_port.read(piece, sizeof piece);
        if (n <= 0)
            break;
        m_sink->received(piece, n);
        m_delivered += n;
    }
}

void SerialControl::discardDelivered()
{
    if (m_sink && m_delivered > 0)
        m_sink->discarded();
    m_delivered = 0;
}

QByteArray toCodePage(const QString &text)
{
    const std::string bytes = codepage::systemCodePage().bytes(
        std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size())));
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

QString fromCodePage(QByteArrayView bytes)
{
    const codepage::CodePage &page = codepage::systemCodePage();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char b : bytes)
        *out++ = QChar(page.character(std::uint8_t(b)));
    return text;
}

} // namespace serial
