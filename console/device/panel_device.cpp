#include "panel_device.h"

#include <QStringList>
#include <QTime>

#include <algorithm>

namespace console {

PanelDevice::PanelDevice(Panel &panel, protocol::ModbusAnswerer &answerer,
                         const protocol::ModbusDevice::Options &options, QObject *parent)
    : QObject(parent)
    , m_panel(panel)
    , m_device(std::make_unique<protocol::ModbusDevice>(answerer, options))
    , m_fed(panel.receive().shownSize())
{
    // Bytes that make no frame are let go after a silence.
    start(std::max<qint64>(options.silenceUs / 1000, 10));
}

PanelDevice::PanelDevice(Panel &panel, protocol::RecordingAnswerer &answerer,
                         const protocol::RecordingDevice::Options &options, QObject *parent)
    : QObject(parent)
    , m_panel(panel)
    , m_recording(std::make_unique<protocol::RecordingDevice>(answerer, options))
    , m_protocol(options.protocol)
    , m_fed(panel.receive().shownSize())
{
    // Often enough that a request ended by a pause is answered soon after
    // the pause.
    start(std::max<qint64>(options.requestGapUs / 5000, 5));
}

void PanelDevice::start(qint64 idleMs)
{
    m_due.setSingleShot(true);
    m_due.setTimerType(Qt::PreciseTimer);
    connect(&m_due, &QTimer::timeout, this, &PanelDevice::sendDue);
    m_idle.setInterval(int(idleMs));
    connect(&m_idle, &QTimer::timeout, this, [this] {
        idle(nowUs());
        takeShown();
    });
    m_idle.start();
    connect(&m_panel, &Panel::framesGrown, this, &PanelDevice::takeShown);
    connect(&m_panel, &Panel::framesReset, this, [this] {
        // A clear empties the shown bytes; a new split rule keeps them.
        if (m_panel.receive().shownSize() < m_fed)
            m_fed = m_panel.receive().shownSize();
    });
}

PanelDevice::~PanelDevice() = default;

qint64 PanelDevice::nowUs() const
{
    return m_panel.receive().clock().monotonicUs();
}

void PanelDevice::setReplyDelayMs(int ms)
{
    if (m_device)
        m_device->setReplyDelayUs(qint64(ms) * 1000);
    else
        setRecordingReplyDelayMs(ms);
}

void PanelDevice::setRecordingReplyDelayMs(std::optional<int> ms)
{
    if (m_recording)
        m_recording->setReplyDelayUs(ms ? std::optional<std::int64_t>(qint64(*ms) * 1000) : std::nullopt);
}

const protocol::ModbusDevice::Counts &PanelDevice::counts() const
{
    static const protocol::ModbusDevice::Counts none;
    return m_device ? m_device->counts() : none;
}

const protocol::RecordingDevice::Counts &PanelDevice::recordingCounts() const
{
    static const protocol::RecordingDevice::Counts none;
    return m_recording ? m_recording->counts() : none;
}

void PanelDevice::feed(std::span<const std::uint8_t> bytes, qint64 nowUs)
{
    if (m_device)
        m_device->feed(bytes, nowUs);
    else
        m_recording->feed(bytes, nowUs);
}

void PanelDevice::idle(qint64 nowUs)
{
    if (m_device)
        m_device->idle(nowUs);
    else
        m_recording->idle(nowUs);
}

bool PanelDevice::caughtUp() const
{
    // Waiting answers are the device's own copies: they do not hold the
    // panel back (under a flood some always wait).
    return m_fed == m_panel.receive().shownSize();
}

void PanelDevice::takeShown()
{
    const ByteStore &store = m_panel.receive().store();
    const qint64 shown = m_panel.receive().shownSize();
    if (shown > m_fed) {
        const qint64 now = nowUs();
        store.forEachSpan(m_fed, shown - m_fed, [&](QByteArrayView piece) {
            feed(std::span(reinterpret_cast<const std::uint8_t *>(piece.data()), size_t(piece.size())), now);
        });
        m_fed = shown;
    }
    const std::string time =
        m_linesWanted ? QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toStdString() : std::string();
    QStringList lines;
    if (m_device) {
        for (const protocol::Exchange &exchange : m_device->takeExchanges()) {
            if (m_linesWanted)
                lines << QString::fromStdString(protocol::exchangeLine(time, exchange));
            emit exchanged(exchange);
        }
        emitLines(std::move(lines));
    } else {
        for (const protocol::RecordingDevice::Handled &handled : m_recording->takeHandled())
            if (m_linesWanted)
                lines << QString::fromStdString(protocol::handledLine(time, m_protocol, handled));
        emitLines(std::move(lines));
        const auto &c = m_recording->counts();
        if (c.matched + c.unmatched != m_lastCounted) {
            m_lastCounted = c.matched + c.unmatched;
            emit recordingCounted();
        }
    }
    sendDue();
}

void PanelDevice::emitLines(QStringList lines)
{
    const qint64 unlisted = m_device ? m_device->counts().unlisted : m_recording->counts().unlisted;
    const qint64 fresh = unlisted - m_lastUnlisted;
    m_lastUnlisted = unlisted;
    if (m_linesWanted && (!lines.isEmpty() || fresh > 0))
        emit requestLines(lines, fresh);
}

void PanelDevice::sendDue()
{
    const auto takeDue = [this] { return m_device ? m_device->takeDue(nowUs()) : m_recording->takeDue(nowUs()); };
    while (const auto answer = takeDue()) {
        QString failure;
        if (!m_panel.send(QByteArray(reinterpret_cast<const char *>(answer->data()), qsizetype(answer->size())),
                          &failure))
            emit sendFailed(failure);
        else
            emit answerSent();
    }
    schedule();
}

void PanelDevice::schedule()
{
    const auto due = m_device ? m_device->nextDueUs() : m_recording->nextDueUs();
    if (!due) {
        m_due.stop();
        return;
    }
    const qint64 waitUs = std::max<qint64>(*due - nowUs(), 0);
    m_due.start(int(std::min<qint64>((waitUs + 999) / 1000, 60'000)));
}

} // namespace console
