#include "panel.h"

#include "serial/network_address.h"
#include "serial/open_failure.h"
#include "serial/port_names.h"

namespace console {

QString portEventText(const PortEvent &event)
{
    switch (event.kind) {
    case PortEventKind::Started: return QStringLiteral("started ") + event.detail;
    case PortEventKind::Stopped: return QStringLiteral("stopped");
    case PortEventKind::Fault: return QStringLiteral("fault: ") + event.detail;
    case PortEventKind::Waiting: return QStringLiteral("waiting");
    case PortEventKind::Reconnected: return QStringLiteral("reconnected ") + event.detail;
    case PortEventKind::Cleared: return QStringLiteral("cleared");
    case PortEventKind::Sent: return QStringLiteral("sent");
    }
    return {};
}

Panel::Panel(const PortEnvironment &ports, QObject *parent)
    : QObject(parent)
    , m_return(ports.rule, ports.places)
    , m_deviceDir(ports.places.deviceDir)
{
    // Received bytes go straight into the store as they arrive, and are
    // marked with their arrival time there; the poll shows them.
    m_comm.setReceiveSink(&m_receive);
}

Panel::~Panel()
{
    m_comm.setReceiveSink(nullptr);
}

void Panel::note(PortEventKind kind, const QString &detail, qint64 sentCount)
{
    const ArrivalClock &clock = m_receive.clock();
    m_events.push_back({kind, detail, m_portText, clock.monotonicUs(), millisecondsOf(clock.wallUs()),
                        m_sent.size() - sentCount, sentCount});
    emit portEvent(m_events.back());
}

bool Panel::send(const QByteArray &bytes, QString *failure)
{
    // A fault closes the port; its cause is the better reason.
    if (!m_comm.portOpen() && !m_comm.hasFault()) {
        *failure = QStringLiteral("the port is not open.");
        return false;
    }
    if (m_comm.hasFault() || !m_comm.output(bytes)) {
        *failure = m_comm.lastError();
        return false;
    }
    if (!bytes.isEmpty()) {
        m_sent.append(bytes);
        note(PortEventKind::Sent, {}, bytes.size());
    }
    return true;
}

bool Panel::startLog(const QString &path, QString *failure)
{
    if (m_log.open(path))
        return true;
    *failure = m_log.errorString();
    return false;
}

bool Panel::open(const PortRequest &request, QString *failure)
{
    // A text that names no port is refused, with the reason, before the
    // control sees it.
    const serial::PortTextCheck checked = serial::checkPortText(request.portText, m_deviceDir);
    if (!checked.address) {
        *failure = checked.refusal;
        return false;
    }
    const serial::PortAddress &address = *checked.address;
    // The port number stays with the control: a failed open names it.
    if (address.number > 0)
        m_comm.setCommPort(address.number, address.device);
    else
        m_comm.setDevice(address.device);
    if (!m_comm.setSettings(request.settings)) {
        *failure = m_comm.lastError();
        return false;
    }
    m_comm.setRTSEnable(request.rts);
    m_comm.setDTREnable(request.dtr);
    if (!m_comm.portOpen() && !m_comm.setPortOpen(true)) {
        *failure = serial::explainFailedOpen(m_comm);
        return false;
    }
    m_comm.clearInBuffer();
    m_return.remember(address.device);
    m_portText = request.portText;
    return true;
}

bool Panel::start(const PortRequest &request, QString *failure)
{
    if (!open(request, failure))
        return false;
    // A raw TCP server keeps its own line settings: the row says so rather
    // than name settings that went nowhere.
    const auto network = serial::checkNetworkPortText(m_comm.device()).address;
    note(PortEventKind::Started, network && network->kind == serial::NetworkKind::Tcp
             ? serial::fixedSettingsNote() : request.settings);
    return true;
}

Panel::Poll Panel::poll()
{
    // A grid drawn since the last tick may have met bytes that could not
    // be read back.
    m_receive.checkReadBack();
    Poll result;
    if (!m_started) {
        if (m_comm.portOpen()) {
            m_comm.setPortOpen(false);
            note(PortEventKind::Stopped);
        }
        return result;
    }
    if (m_comm.hasFault()) {
        // Show what arrived before the line went, then stop once.
        const QString cause = m_comm.lastError();
        result = show(m_comm.input());
        result.outcome = Poll::Outcome::Fault;
        result.fault = m_comm.device() + QStringLiteral(": ") + cause;
        m_comm.setPortOpen(false);
        m_started = false;
        note(PortEventKind::Fault, cause);
        return result;
    }
    // Started but not open: a start is still being refused behind its box.
    if (!m_comm.portOpen() || m_comm.inBufferCount() <= 0)
        return result;
    // The control hands its bytes to the receive buffer as they arrive;
    // reading them here ends what it counts as waiting.
    return show(m_comm.input());
}

Panel::Poll Panel::show(const QByteArray &bytes)
{
    Poll result;
    m_receive.received(bytes.constData(), bytes.size());
    const qint64 first = m_receive.showWaiting();
    const qint64 shown = m_receive.shownSize();
    if (shown == first)
        return result;
    result.outcome = Poll::Outcome::Shown;
    result.firstShown = first;
    result.shownCount = shown - first;
    m_frames.extend(m_receive.store(), m_receive.arrivalTimes(), shown);
    emit framesGrown();
    // Logging stops on a failure; the grids go on receiving.
    if (m_log.isOpen() && !m_log.append(m_receive.store(), first, shown - first))
        result.logFailure = m_log.errorString();
    return result;
}

void Panel::beginWait()
{
    m_return.begin();
    if (m_return.waiting())
        note(PortEventKind::Waiting);
}

bool Panel::reconnect(const PortRequest &request, QString *failure)
{
    if (!open(request, failure))
        return false;
    m_return.end();
    m_started = true;
    note(PortEventKind::Reconnected, request.portText);
    return true;
}

void Panel::clear()
{
    const bool anything = m_receive.store().size() > 0 || !m_events.empty();
    m_receive.reset();
    m_sent.clear();
    m_frames.clear();
    m_events.clear();
    emit framesReset();
    if (anything)
        note(PortEventKind::Cleared);
}

void Panel::setSplitRule(const SplitRule &rule)
{
    if (rule == m_frames.rule())
        return;
    m_frames.setRule(rule);
    m_frames.rebuild(m_receive.store(), m_receive.arrivalTimes(), m_receive.shownSize());
    emit framesReset();
}

} // namespace console
