#include "serial_control.h"

#include "serial/network_address.h"
#include "serial/port_names.h"
#include "serial/tcp_transport.h"

#include "codepage/codepage.h"

#include <utility>

namespace serial {

SerialControl::SerialControl(QObject *parent)
    : QObject(parent)
{
    m_device = deviceForPortNumber(m_commPort);
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
}

void SerialControl::setRTSEnable(bool on)
{
    m_rts = on;
    if (listening())
        return;
    if (m_transport && m_transport->isOpen())
        m_transport->setRequestToSend(on);
}

bool SerialControl::portOpen() const
{
    return m_transport && m_transport->isOpen();
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
    QString refusal;
    m_transport = chooseTransport(&refusal);
    if (!m_transport) {
        m_lastOpenFailure = {OpenStep::Open, SerialPort::DeviceNotFoundError};
        m_lastError = tr("Cannot open %1: %2").arg(m_device, refusal);
        return false;
    }
    connect(m_transport.get(), &LineTransport::readyRead, this, &SerialControl::bytesArrived);
    connect(m_transport.get(), &LineTransport::readyRead, this, &SerialControl::deliverToSink);
    connect(m_transport.get(), &LineTransport::dropped, this, &SerialControl::onTransportDropped);
    OpenRequest request;
    request.device = m_device;
    request.settings = m_settings;
    request.dtr = m_dtr;
    request.rts = m_rts;
    request.readOnly = m_listenOnly;
    OpenFailure failure;
    QString reason;
    m_opening = true;
    const bool opened = m_transport->open(request, &failure, &reason);
    m_opening = false;
    if (opened) {
        m_openedListening = m_listenOnly;
        return true;
    }
    m_transport.reset();
    m_lastOpenFailure = failure;
    m_lastError = reason;
    return false;
}

// The one place that knows which lines there are: a network port text
// names a device server, anything else a local port.
std::unique_ptr<LineTransport> SerialControl::chooseTransport(QString *refusal)
{
    if (!isNetworkPortText(m_device)) {
        auto local = std::make_unique<LocalPortTransport>(m_port);
        local->failOpenAt(m_injectedFailure);
        return local;
    }
    const NetworkAddressCheck checked = checkNetworkPortText(m_device);
    if (!checked.address) {
        *refusal = checked.refusal;
        return nullptr;
    }
    if (checked.address->kind == NetworkKind::Rfc2217)
        return std::make_unique<Rfc2217Transport>(*checked.address);
    return std::make_unique<TcpTransport>(*checked.address);
}

const LineTransport *SerialControl::transport() const
{
    return qobject_cast<const LocalPortTransport *>(m_transport.get()) ? nullptr : m_transport.get();
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

qint64 SerialControl::inBufferCount() const
{
    const qint64 waiting = m_transport ? m_transport->bytesAvailable() : 0;
    return m_delivered + m_salvaged.size() + waiting;
}

void SerialControl::clearInBuffer()
{
    m_salvaged.clear();
    discardDelivered();
    if (m_transport && m_transport->isOpen())
        m_transport->clearInput();
}

QByteArray SerialControl::input()
{
    m_delivered = 0;
    QByteArray bytes = std::exchange(m_salvaged, {});
    if (m_transport)
        bytes += m_transport->readAll();
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
    QString reason;
    if (!m_transport->write(bytes, &reason)) {
        m_lastError = reason;
        return false;
    }
    return true;
}

bool SerialControl::output(const QString &text)
{
    return output(toCodePage(text));
}

qint64 SerialControl::outBufferCount() const
{
    return m_transport ? m_transport->bytesToWrite() : 0;
}

void SerialControl::setReceiveSink(ReceiveSink *sink)
{
    if (m_sink == sink)
        return;
    if (m_sink)
        discardDelivered();
    m_sink = sink;
    if (m_sink)
        deliverToSink();
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
    if (!m_transport)
        return;
    // Read in pieces no larger than a port's own notification brings, so
    // nothing here grows with the rate of the line.
    char piece[64 * 1024];
    for (;;) {
        const qint64 n = m_transport->read(piece, sizeof piece);
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
