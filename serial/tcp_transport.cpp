#include "tcp_transport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

namespace serial {

namespace {

// A resolution that may outlive the open that asked for it: a name server
// that does not answer keeps its thread, never the window.
struct PendingResolution {
    std::mutex lock;
    bool done = false;
    net::Resolution result;
};

// The most read from the socket at one notification, so a flood cannot
// hold the event loop.
constexpr qint64 readPerWake = 1 << 20;

QString errorText(int error)
{
    return QString::fromStdString(net::errorText(error));
}

} // namespace

TcpTransport::TcpTransport(NetworkAddress address, QObject *parent)
    : LineTransport(parent)
    , m_address(std::move(address))
{
}

TcpTransport::~TcpTransport()
{
    close();
}

bool TcpTransport::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    bool result = false;
    auto check = [&] {
        if (done()) {
            result = true;
            loop.quit();
        } else if (m_cancelled || !m_lost.isEmpty() || clock.elapsed() >= timeoutMs) {
            loop.quit();
        }
    };
    connect(&tick, &QTimer::timeout, &loop, check);
    tick.start(5);
    check();
    if (!result && !m_cancelled && m_lost.isEmpty() && clock.elapsed() < timeoutMs)
        loop.exec();
    return result;
}

bool TcpTransport::open(const OpenRequest &request, OpenStepFailure *failure, QString *reason)
{
    close();
    m_cancelled = false;
    m_lost.clear();
    m_opening = true;
    QString why;
    const bool ok = connectSocket(&why) && negotiate(request.settings, request.dtr, request.rts, &why);
    m_opening = false;
    if (!ok) {
        if (m_cancelled)
            why = tr("the open was cancelled");
        close();
        // Which setting the server refused or left unanswered, as a local
        // port's refused step is reported.
        OpenStep step = OpenStep::Open;
        for (auto [name, s] : {std::pair{"SET-BAUDRATE", OpenStep::BaudRate}, {"SET-DATASIZE", OpenStep::DataBits},
                               {"SET-PARITY", OpenStep::Parity}, {"SET-STOPSIZE", OpenStep::StopBits}}) {
            if (why.contains(QLatin1String(name)))
                step = s;
        }
        *failure = {step, step == OpenStep::Open ? SerialPort::OpenError : SerialPort::UnsupportedOperationError};
        *reason = tr("Cannot open %1: %2").arg(request.device, why);
        return false;
    }
    m_open = true;
    if (!m_in.isEmpty())
        emit readyRead();
    return true;
}

void TcpTransport::cancelOpen()
{
    m_cancelled = true;
}

bool TcpTransport::connectSocket(QString *reason)
{
    QElapsedTimer clock;
    clock.start();
    const QString server = serverText(m_address);
    auto pending = std::make_shared<PendingResolution>();
    std::thread([pending, host = m_address.host.toStdString(), port = m_address.port] {
        net::Resolution r = net::resolve(host, port);
        const std::lock_guard hold(pending->lock);
        pending->result = std::move(r);
        pending->done = true;
    }).detach();
    const bool resolved = waitUntil([&] {
        const std::lock_guard hold(pending->lock);
        return pending->done;
    }, connectTimeoutMs);
    if (!resolved) {
        if (!m_cancelled)
            *reason = tr("no answer within 5 s: the name %1 was not resolved in time").arg(m_address.host);
        return false;
    }
    net::Resolution found;
    {
        const std::lock_guard hold(pending->lock);
        found = std::move(pending->result);
    }
    if (found.endpoints.empty()) {
        *reason = found.notFound
            ? tr("host not found: %1").arg(m_address.host)
            : tr("host not found: %1 (%2)").arg(m_address.host, QString::fromStdString(found.failure));
        return false;
    }
    // Each address in turn, in the resolver's order, within the one limit.
    QString lastFailure;
    for (const net::Endpoint &endpoint : found.endpoints) {
        bool connected = false;
        int error = 0;
        m_socket = net::startConnect(endpoint, &connected, &error);
        if (m_socket == net::invalidHandle) {
            lastFailure = net::isRefused(error) ? tr("connection refused by %1").arg(server)
                                                : tr("cannot connect to %1: %2").arg(server, errorText(error));
            continue;
        }
        if (!connected) {
            QSocketNotifier writable(m_socket, QSocketNotifier::Write);
            bool ready = false;
            connect(&writable, &QSocketNotifier::activated, this, [&] {
                ready = true;
                writable.setEnabled(false);
            });
            const int left = connectTimeoutMs - int(clock.elapsed());
            // Asked as well at each tick: a connect refused before the
            // notifier was made is never told by Winsock's notification.
            if (!waitUntil([&] { return ready || net::connectFinished(m_socket); }, qMax(left, 0))) {
                net::closeSocket(m_socket);
                m_socket = net::invalidHandle;
                if (m_cancelled)
                    return false;
                *reason = tr("no answer within 5 s from %1 (%2)").arg(server, QString::fromStdString(endpoint.text));
                return false;
            }
            error = net::connectResult(m_socket);
            connected = error == 0;
        }
        if (connected) {
            m_peer = QString::fromStdString(endpoint.text);
            break;
        }
        net::closeSocket(m_socket);
        m_socket = net::invalidHandle;
        lastFailure = net::isRefused(error) ? tr("connection refused by %1").arg(server)
                                            : tr("cannot connect to %1: %2").arg(server, errorText(error));
    }
    if (m_socket == net::invalidHandle) {
        *reason = lastFailure;
        return false;
    }
    m_readNotifier = std::make_unique<QSocketNotifier>(m_socket, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &TcpTransport::onReadable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_socket, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &TcpTransport::flushOut);
    return true;
}

void TcpTransport::close()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    net::closeSocket(m_socket);
    m_socket = net::invalidHandle;
    m_open = false;
    m_out.clear();
    m_outSent = 0;
}

bool TcpTransport::negotiate(const LineSettings &, bool, bool, QString *)
{
    return true;
}

void TcpTransport::decode(const char *bytes, qint64 count)
{
    m_in.append(bytes, count);
}

void TcpTransport::encode(const char *bytes, qint64 count, std::string &out)
{
    out.append(bytes, std::size_t(count));
}

void TcpTransport::onReadable()
{
    if (m_socket == net::invalidHandle)
        return;
    char piece[64 * 1024];
    const qint64 before = m_in.size();
    qint64 total = 0;
    while (total < readPerWake) {
        int error = 0;
        const qint64 n = net::receiveSome(m_socket, piece, sizeof piece, &error);
        if (n == -1)
            break;
        if (n == 0 || n == -2) {
            const QString reason = n == 0 ? tr("connection dropped: %1 closed it").arg(serverText(m_address))
                                          : tr("connection dropped: %1").arg(errorText(error));
            if (m_in.size() > before)
                emit readyRead();
            lose(reason);
            return;
        }
        decode(piece, n);
        total += n;
    }
    if (m_in.size() > before && m_open)
        emit readyRead();
}

void TcpTransport::lose(const QString &reason)
{
    const bool wasOpen = m_open;
    m_readNotifier.reset();
    m_writeNotifier.reset();
    net::closeSocket(m_socket);
    m_socket = net::invalidHandle;
    m_open = false;
    m_out.clear();
    m_outSent = 0;
    if (m_opening)
        m_lost = reason;
    if (wasOpen)
        emit dropped(reason);
}

qint64 TcpTransport::read(char *bytes, qint64 count)
{
    const qint64 n = qMin(count, bytesAvailable());
    if (n <= 0)
        return 0;
    memcpy(bytes, m_in.constData() + m_inRead, size_t(n));
    m_inRead += n;
    // Read in pieces, a wake's worth is moved up once, not at every piece.
    if (m_inRead == m_in.size()) {
        m_in.clear();
        m_inRead = 0;
    } else if (m_inRead >= (1 << 20)) {
        m_in.remove(0, m_inRead);
        m_inRead = 0;
    }
    return n;
}

QByteArray TcpTransport::readAll()
{
    QByteArray bytes = std::exchange(m_in, {});
    if (m_inRead > 0)
        bytes.remove(0, std::exchange(m_inRead, 0));
    return bytes;
}

void TcpTransport::clearInput()
{
    m_in.clear();
    m_inRead = 0;
}

bool TcpTransport::write(const QByteArray &bytes, QString *reason)
{
    if (m_socket == net::invalidHandle) {
        *reason = tr("Port is not open");
        return false;
    }
    encode(bytes.constData(), bytes.size(), m_out);
    flushOut();
    return true;
}

void TcpTransport::sendRaw(const std::string &bytes)
{
    if (m_socket == net::invalidHandle)
        return;
    m_out += bytes;
    flushOut();
}

void TcpTransport::flushOut()
{
    while (m_socket != net::invalidHandle && m_outSent < m_out.size()) {
        int error = 0;
        const qint64 n = net::sendSome(m_socket, m_out.data() + m_outSent, qint64(m_out.size() - m_outSent), &error);
        if (n == -1)
            break;
        if (n == -2) {
            lose(tr("connection dropped: %1").arg(errorText(error)));
            return;
        }
        m_outSent += std::size_t(n);
    }
    if (m_socket == net::invalidHandle)
        return;
    if (m_outSent == m_out.size()) {
        m_out.clear();
        m_outSent = 0;
    } else if (m_outSent > (1 << 20)) {
        m_out.erase(0, m_outSent);
        m_outSent = 0;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_out.empty());
}

Rfc2217Transport::Rfc2217Transport(NetworkAddress address, QObject *parent)
    : TcpTransport(std::move(address), parent)
{
}

namespace {

telnet::Parity parityValue(SerialPort::Parity parity)
{
    switch (parity) {
    case SerialPort::OddParity: return telnet::Parity::Odd;
    case SerialPort::EvenParity: return telnet::Parity::Even;
    case SerialPort::MarkParity: return telnet::Parity::Mark;
    case SerialPort::SpaceParity: return telnet::Parity::Space;
    default: return telnet::Parity::None;
    }
}

telnet::StopSize stopValue(SerialPort::StopBits stop)
{
    switch (stop) {
    case SerialPort::TwoStop: return telnet::StopSize::Two;
    case SerialPort::OneAndHalfStop: return telnet::StopSize::OneAndHalf;
    default: return telnet::StopSize::One;
    }
}

} // namespace

bool Rfc2217Transport::negotiate(const LineSettings &settings, bool dtr, bool rts, QString *reason)
{
    m_session = telnet::Session();
    for (auto &answer : m_answers)
        answer.reset();
    m_lineState = m_modemState = -1;
    const QString server = serverText(address());
    // The requests and the settings go together: a server takes the
    // settings once it agreed to the option, and answers each.
    std::string hello = m_session.start();
    const std::uint32_t wanted[4] = {std::uint32_t(settings.baudRate), std::uint32_t(settings.dataBits),
                                     std::uint32_t(parityValue(settings.parity)),
                                     std::uint32_t(stopValue(settings.stopBits))};
    hello += telnet::setBaudRate(wanted[0]);
    hello += telnet::setDataSize(std::uint8_t(wanted[1]));
    hello += telnet::setParity(parityValue(settings.parity));
    hello += telnet::setStopSize(stopValue(settings.stopBits));
    sendRaw(hello);
    const bool answered = waitUntil([&] {
        return m_session.comPortRefused() || (m_answers[1] && m_answers[2] && m_answers[3] && m_answers[4]);
    }, settingTimeoutMs);
    if (m_cancelled)
        return false;
    if (!m_lost.isEmpty()) {
        *reason = m_lost;
        return false;
    }
    if (m_session.comPortRefused()) {
        *reason = tr("%1 refused the COM-PORT-OPTION (RFC 2217): it may serve raw TCP (tcp://)").arg(server);
        return false;
    }
    static const char *const names[4] = {"SET-BAUDRATE", "SET-DATASIZE", "SET-PARITY", "SET-STOPSIZE"};
    if (!answered) {
        for (int i = 0; i < 4; ++i) {
            if (!m_answers[i + 1]) {
                *reason = tr("%1 did not answer %2 within 2 s").arg(server, QLatin1String(names[i]));
                return false;
            }
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (*m_answers[i + 1] != wanted[i]) {
            static const char *const what[4] = {"the baud rate %1", "%1 data bits", "the parity (value %1)",
                                                "the stop bits (value %1)"};
            *reason = tr("%1 refused %2: it answered %3 with %4")
                          .arg(server, tr(what[i]).arg(wanted[i]), QLatin1String(names[i]))
                          .arg(*m_answers[i + 1]);
            return false;
        }
    }
    // Taken when they come, not waited for: a server in front of a line
    // without modem lines may never answer them.
    sendRaw(telnet::setControl(telnet::Control::NoFlowControl)
            + telnet::setControl(dtr ? telnet::Control::DtrOn : telnet::Control::DtrOff)
            + telnet::setControl(rts ? telnet::Control::RtsOn : telnet::Control::RtsOff));
    return true;
}

void Rfc2217Transport::decode(const char *bytes, qint64 count)
{
    m_data.clear();
    m_replies.clear();
    m_session.read(bytes, std::size_t(count), m_data, m_replies);
    if (!m_data.empty())
        m_in.append(m_data.data(), qsizetype(m_data.size()));
    if (!m_replies.empty())
        sendRaw(m_replies);
    for (const telnet::ComPortMessage &message : m_session.takeMessages()) {
        const int command = int(message.command);
        if (command >= 1 && command <= 4)
            m_answers[command] = message.number();
        else if (message.command == telnet::ComPort::NotifyLineState)
            m_lineState = int(message.number());
        else if (message.command == telnet::ComPort::NotifyModemState)
            m_modemState = int(message.number());
    }
}

void Rfc2217Transport::encode(const char *bytes, qint64 count, std::string &out)
{
    telnet::appendEscaped(out, bytes, std::size_t(count));
}

// Only what waits here is discarded. A PURGE-DATA sent now would reach the
// server after bytes the line sent since, and discard those too: the panel
// clears at Start, and the first bytes after it would be lost.
void Rfc2217Transport::clearInput()
{
    TcpTransport::clearInput();
}

void Rfc2217Transport::setDataTerminalReady(bool on)
{
    if (isOpen())
        sendRaw(telnet::setControl(on ? telnet::Control::DtrOn : telnet::Control::DtrOff));
}

void Rfc2217Transport::setRequestToSend(bool on)
{
    if (isOpen())
        sendRaw(telnet::setControl(on ? telnet::Control::RtsOn : telnet::Control::RtsOff));
}

} // namespace serial
