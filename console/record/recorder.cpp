#include "recorder.h"

#include "capture/pcapng_writer.h"
#include "console/files/file_writer.h"
#include "serial/port_names.h"

#include "desktop/version.h"

#include <QCoreApplication>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace console {

namespace {

// Bytes a panel holds before what was written is let go.
constexpr qint64 kForgetBytes = 1 << 20;
constexpr size_t kForgetEvents = 1000;

capture::NoteKind noteKind(PortEventKind kind)
{
    switch (kind) {
    case PortEventKind::Started: return capture::NoteKind::Started;
    case PortEventKind::Stopped: return capture::NoteKind::Stopped;
    case PortEventKind::Fault: return capture::NoteKind::Fault;
    case PortEventKind::Waiting: return capture::NoteKind::Waiting;
    case PortEventKind::Reconnected: return capture::NoteKind::Reconnected;
    case PortEventKind::Cleared:
    case PortEventKind::Sent: break;
    }
    return capture::NoteKind::Cleared;
}

} // namespace

Recorder::Recorder(std::vector<RecordPort> ports, QString output, PortEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_ports(std::move(ports))
    , m_output(std::move(output))
    , m_environment(std::move(environment))
    , m_file(m_output)
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &Recorder::tick);
    // Blocks reach the system as they are written; once a second they are
    // handed to the disk.
    m_sync.setInterval(1000);
    connect(&m_sync, &QTimer::timeout, this, [this] {
#ifdef Q_OS_UNIX
        if (m_unsynced && m_file.isOpen())
            ::fdatasync(m_file.handle());
#endif
        m_unsynced = false;
    });
}

Recorder::~Recorder() = default;

bool Recorder::start(QString *failure)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *failure = tr("Cannot write %1: %2").arg(m_output, m_file.errorString());
        return false;
    }
    const ArrivalClock clock = ArrivalClock::system();
    m_offsetUs = clock.wallUs() - clock.monotonicUs();
    QByteArray head = capture::sectionHeaderBlock(
        QStringLiteral("Tavrin %1").arg(QLatin1String(desktop::kitVersion)));
    for (const RecordPort &port : m_ports) {
        auto panel = std::make_unique<Panel>(m_environment);
        panel->setPortText(port.port);
        QString why;
        if (!panel->start({port.port, port.settings}, &why)) {
            // The panel's reason names the port itself when it opened it
            // as typed; a port number names the device it stands for.
            const QString named = tr("Cannot open %1").arg(port.port);
            *failure = why.startsWith(named + QLatin1Char(':')) ? why : QStringLiteral("%1: %2").arg(named, why);
            m_panels.clear();
            m_file.remove();
            return false;
        }
        panel->setStarted(true);
        if (m_protocol != protocol::Protocol::None)
            m_framed.push_back(std::make_unique<ProtocolFrames>(protocol::makeFramer(m_protocol)));
        head += capture::interfaceBlock(capture::kLinkSerial, port.port, port.settings);
        m_panels.push_back(std::move(panel));
        m_progress.push_back({});
    }
    if (!writeBlocks(head)) {
        *failure = m_failure;
        return false;
    }
    m_running.start();
    m_poll.start();
    m_sync.start();
    return true;
}

void Recorder::tick()
{
    for (size_t i = 0; i < m_panels.size(); ++i) {
        Panel &panel = *m_panels[i];
        if (panel.waiting()) {
            tryReconnect(int(i));
            continue;
        }
        const Panel::Poll poll = panel.poll();
        if (poll.outcome == Panel::Poll::Outcome::Fault)
            panel.beginWait();
    }
    if (!writeNew(false))
        return;
    // Under a flood there is no idle gap, and a frame is always growing:
    // once a panel holds enough, the frames are written as they stand (the
    // one growing ends there) so that the panel can let them go.
    bool full = false;
    for (const auto &panel : m_panels)
        full = full || panel->receive().store().size() >= kForgetBytes || panel->events().size() >= kForgetEvents;
    if (full && !writeNew(true))
        return;
    for (size_t i = 0; i < m_panels.size(); ++i)
        forgetWritten(int(i));
}

void Recorder::tryReconnect(int index)
{
    Panel &panel = *m_panels[size_t(index)];
    for (const QString &device : panel.returnCandidates()) {
        const QString text = serial::portTextForDevice(device, m_environment.places.deviceDir);
        panel.setPortText(text);
        QString why;
        if (panel.reconnect({text, m_ports[size_t(index)].settings}, &why))
            return;
    }
}

std::optional<qint64> Recorder::gapFrames(size_t i, bool everything, qint64 nowUs, std::vector<Block> &out)
{
    const Panel &panel = *m_panels[i];
    Progress &done = m_progress[i];
    const FrameIndex &frames = panel.frames();
    const ArrivalTimes &times = panel.receive().arrivalTimes();
    // The last frame may still grow until its idle gap has passed.
    const qint64 idleUs = qint64(frames.rule().gapMs) * 1000;
    qint64 complete = frames.count();
    std::optional<qint64> pendingUs;
    if (complete > done.framesWritten && !everything) {
        const auto last = frameSpan(frames, times, complete - 1);
        if (frames.rule().kind != SplitKind::Gap || !last || nowUs - last->endUs <= 2 * idleUs) {
            --complete;
            if (last)
                pendingUs = last->startUs;
        }
    }
    for (qint64 f = done.framesWritten; f < complete; ++f) {
        const auto span = frameSpan(frames, times, f);
        if (!span)
            continue;
        QByteArray bytes;
        panel.receive().store().forEachSpan(frames.start(f), frames.length(f),
                                            [&](QByteArrayView piece) { bytes.append(piece); });
        done.bytes += bytes.size();
        ++done.frames;
        out.push_back({span->startUs,
                       capture::frameBlocks(quint32(i), span->startUs + m_offsetUs, span->endUs + m_offsetUs,
                                            i == 0 ? capture::kTransmitted : capture::kReceived, false, bytes,
                                            panel.portText(), times.wallMs(span->mark))});
    }
    done.framesWritten = complete;
    return pendingUs;
}

std::optional<qint64> Recorder::protocolFrames(size_t i, qint64 nowUs, std::vector<Block> &out)
{
    const Panel &panel = *m_panels[i];
    Progress &done = m_progress[i];
    ProtocolFrames &framed = *m_framed[i];
    const ByteStore &store = panel.receive().store();
    const ArrivalTimes &times = panel.receive().arrivalTimes();
    // The new bytes go to the framer a burst at a time, with their times.
    const qint64 size = store.size();
    for (size_t k = times.markOf(done.bytesFramed).value_or(0); k < times.count() && done.bytesFramed < size; ++k) {
        const qint64 end = k + 1 < times.count() ? std::min(size, times.mark(k + 1).firstByte) : size;
        if (end <= done.bytesFramed)
            continue;
        QByteArray bytes;
        store.forEachSpan(done.bytesFramed, end - done.bytesFramed, [&](QByteArrayView piece) { bytes.append(piece); });
        framed.feed(bytes, times.mark(k).startUs, times.mark(k).endUs);
        done.bytesFramed = end;
    }
    if (m_stopped)
        framed.finish();
    else
        framed.idle(nowUs);
    for (const ProtocolFrames::Frame &frame : framed.take()) {
        // The decoder tells requests from answers; a frame it could not
        // place goes the panel's way, as without a protocol.
        const quint8 type = frame.direction == protocol::Direction::Request ? capture::kTransmitted
            : frame.direction == protocol::Direction::Answer                ? capture::kReceived
            : i == 0                                                         ? capture::kTransmitted
                                                                             : capture::kReceived;
        done.bytes += frame.bytes.size();
        ++done.frames;
        out.push_back({frame.startUs, capture::frameBlocks(quint32(i), frame.startUs + m_offsetUs,
                                                           frame.endUs + m_offsetUs, type, false, frame.bytes,
                                                           panel.portText())});
    }
    return framed.pendingSinceUs();
}

bool Recorder::writeNew(bool everything)
{
    if (!m_failure.isEmpty())
        return false;
    std::vector<Block> items;
    const qint64 nowUs = ArrivalClock::system().monotonicUs();
    for (size_t i = 0; i < m_panels.size(); ++i) {
        const std::optional<qint64> pendingUs =
            m_framed.empty() ? gapFrames(i, everything, nowUs, items) : protocolFrames(i, nowUs, items);
        // Events after a frame still growing wait with it, so that the file
        // stays in time order.
        Progress &done = m_progress[i];
        const auto &events = m_panels[i]->events();
        qint64 e = done.eventsWritten;
        for (; e < qint64(events.size()); ++e) {
            const PortEvent &event = events[size_t(e)];
            if (pendingUs && event.monotonicUs >= *pendingUs)
                break;
            if (event.kind == PortEventKind::Cleared || event.kind == PortEventKind::Sent)
                continue; // our own forgetting; the recorder sends nothing
            items.push_back({event.monotonicUs,
                             capture::noteBlock(quint32(i), event.monotonicUs + m_offsetUs, noteKind(event.kind),
                                                event.detail, event.port, event.wallMs)});
        }
        done.eventsWritten = e;
    }
    if (items.empty())
        return true;
    std::stable_sort(items.begin(), items.end(), [](const Block &a, const Block &b) { return a.us < b.us; });
    QByteArray out;
    for (const Block &item : items)
        out += item.blocks;
    return writeBlocks(out);
}

bool Recorder::writeBlocks(const QByteArray &blocks)
{
    if (writeWhole(m_file, blocks)) {
        m_complete += blocks.size();
        m_unsynced = true;
        return true;
    }
    // A part of a block would spoil the file for every reader: it ends at
    // the last complete one.
    const QString reason = m_file.errorString();
    m_file.resize(m_complete);
    fail(tr("Cannot write %1: %2; it holds what was recorded until then").arg(m_output, reason));
    return false;
}

void Recorder::forgetWritten(int index)
{
    Panel &panel = *m_panels[size_t(index)];
    const Progress &done = m_progress[size_t(index)];
    const bool framesDone = m_framed.empty() ? done.framesWritten == panel.frames().count()
                                             : done.bytesFramed == panel.receive().store().size();
    if (!framesDone || done.eventsWritten != qint64(panel.events().size()))
        return;
    if (panel.receive().store().size() < kForgetBytes && panel.events().size() < kForgetEvents)
        return;
    panel.clear();
    // The "cleared" the panel noted is not written.
    m_progress[size_t(index)].framesWritten = 0;
    m_progress[size_t(index)].bytesFramed = 0;
    m_progress[size_t(index)].eventsWritten = qint64(panel.events().size());
}

void Recorder::fail(const QString &reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
    QMetaObject::invokeMethod(this, &Recorder::stop, Qt::QueuedConnection);
}

void Recorder::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_poll.stop();
    m_sync.stop();
    for (auto &panel : m_panels) {
        panel->endWait();
        // The poll shows what is waiting, then closes the port and notes
        // "stopped".
        panel->poll();
        panel->setStarted(false);
        panel->poll();
    }
    writeNew(true);
    if (m_file.isOpen()) {
#ifdef Q_OS_UNIX
        ::fsync(m_file.handle());
#endif
        m_file.close();
    }
    emit finished();
}

std::vector<Recorder::PortCount> Recorder::counts() const
{
    std::vector<PortCount> all;
    for (size_t i = 0; i < m_panels.size(); ++i)
        all.push_back({m_ports[i].port, m_progress[i].bytes, m_progress[i].frames});
    return all;
}

QString Recorder::progressLine() const
{
    QStringList parts;
    for (const PortCount &c : counts())
        parts << tr("%1: %2 bytes, %3 frames").arg(c.port).arg(c.bytes).arg(c.frames);
    return parts.join(QStringLiteral("; "));
}

QString Recorder::summaryLine() const
{
    return tr("Recorded %1 into %2 in %3 s").arg(progressLine(), m_output)
        .arg(double(m_running.isValid() ? m_running.elapsed() : 0) / 1000.0, 0, 'f', 1);
}

} // namespace console
