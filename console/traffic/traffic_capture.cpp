#include "traffic_capture.h"

#include "capture/pcapng_writer.h"
#include "console/files/file_writer.h"

#include "desktop/version.h"

#include <QCoreApplication>
#include <QDateTime>

namespace console {

namespace {

// Rows written between two progress reports.
constexpr int kProgressRows = 20000;

capture::NoteKind noteKind(PortEventKind kind)
{
    switch (kind) {
    case PortEventKind::Started: return capture::NoteKind::Started;
    case PortEventKind::Stopped: return capture::NoteKind::Stopped;
    case PortEventKind::Fault: return capture::NoteKind::Fault;
    case PortEventKind::Waiting: return capture::NoteKind::Waiting;
    case PortEventKind::Reconnected: return capture::NoteKind::Reconnected;
    case PortEventKind::Cleared: return capture::NoteKind::Cleared;
    case PortEventKind::Sent: break;
    }
    return capture::NoteKind::SentEnd;
}

} // namespace

quint8 plainEventType(int panel, bool sent)
{
    return sent || panel == 0 ? capture::kTransmitted : capture::kReceived;
}

SaveResult exportCapture(const TrafficModel &model, const QString &path, const SaveProgress &progress,
                         const EventTypeOf &eventType, const ExportRows &written)
{
    SaveResult result;
    FileWriter file(path);
    auto failed = [&] {
        result.error = file.errorString();
        return result;
    };
    if (!file.open())
        return failed();
    QByteArray out = capture::sectionHeaderBlock(QStringLiteral("Tavrin %1").arg(QLatin1String(desktop::kitVersion)));
    for (int p = 0; p < 2; ++p)
        out += capture::interfaceBlock(capture::kLinkSerial, model.panelPort(p), model.panelSettings(p));
    const int rows = written.count(model);
    // Monotonic microseconds + offset = microseconds since 1970.
    const int firstRow = rows ? written.row(0) : 0;
    const qint64 offsetUs = rows ? model.wallMs(firstRow) * 1000 - model.startUs(firstRow)
                                 : QDateTime::currentMSecsSinceEpoch() * 1000;
    const quint64 generation = model.generation();
    for (int first = 0; first < rows; first += kProgressRows) {
        for (int index = first; index < std::min(rows, first + kProgressRows); ++index) {
            const int row = written.row(index);
            const int panel = model.panelOf(row);
            const qint64 start = model.startUs(row) + offsetUs;
            const PortEvent *event = model.eventAt(row);
            if (event && event->kind != PortEventKind::Sent) {
                out += capture::noteBlock(quint32(panel), start, noteKind(event->kind), event->detail, event->port,
                                          event->wallMs);
                continue;
            }
            const bool sent = event != nullptr;
            const std::optional<quint8> decided = eventType ? eventType(row) : std::nullopt;
            out += capture::frameBlocks(quint32(panel), start, model.endUs(row) + offsetUs,
                                        decided.value_or(plainEventType(panel, sent)), sent, model.frameBytes(row),
                                        model.port(row), model.wallMs(row));
        }
        if (!file.write(out))
            return failed();
        out.clear();
        const int done = std::min(rows, first + kProgressRows);
        if (progress && !progress(done, rows)) {
            file.cancel();
            result.cancelled = true;
            return result;
        }
        if (model.generation() != generation) {
            file.cancel();
            result.error = QObject::tr("the rows were cleared or cut again while exporting");
            return result;
        }
    }
    if (!out.isEmpty() && !file.write(out))
        return failed();
    result.ok = file.commit();
    if (!result.ok)
        return failed();
    return result;
}

EventTypeOf decodedEventType(const TrafficModel &model)
{
    if (model.protocol() == protocol::Protocol::None)
        return {};
    return [&model](int row) -> std::optional<quint8> {
        switch (model.pairing(row).role) {
        case protocol::Role::Request:
        case protocol::Role::Answered:
        case protocol::Role::NoAnswer: return capture::kTransmitted;
        case protocol::Role::Answer:
        case protocol::Role::Unanswering: return capture::kReceived;
        case protocol::Role::None: break;
        }
        return std::nullopt;
    };
}

} // namespace console
