#include "traffic_model.h"

#include "console/frames/hex_text.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QFontDatabase>
#include <QPoint>

#include <algorithm>
#include <limits>
#include <vector>

namespace console {

namespace {

constexpr quint64 kPanelBit = quint64(1) << 63;
constexpr quint64 kEventBit = quint64(1) << 62;

const QColor kPanelTint[2] = {QColor(232, 240, 255), QColor(255, 243, 222)};
const QColor kBadTint(255, 200, 200);
// Status tints with a protocol: dark text stays readable on each.
const QColor kExceptionTint(255, 214, 153);
const QColor kNoAnswerTint(255, 243, 150);
const QColor kUnrecognisedTint(224, 224, 224);
const QColor kSentInk(0, 90, 40);

} // namespace

QString printableText(QByteArrayView bytes)
{
    QString text(bytes.size(), QLatin1Char('.'));
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = std::uint8_t(bytes[i]);
        if (b >= 0x20 && b <= 0x7E)
            text[i] = QLatin1Char(char(b));
    }
    return text;
}

TrafficModel::TrafficModel(std::array<const Panel *, 2> panels, QObject *parent)
    : TrafficModel(panels, protocol::Protocol::None, 0, parent)
{
}

TrafficModel::TrafficModel(const TrafficSource *source, QObject *parent)
    : TrafficModel(source, protocol::Protocol::None, 0, parent)
{
}

TrafficModel::TrafficModel(std::array<const Panel *, 2> panels, protocol::Protocol protocol, qint64 replyTimeoutUs,
                           QObject *parent)
    : TrafficModel(static_cast<const TrafficSource *>(nullptr), protocol, replyTimeoutUs, parent)
{
    m_panels = std::make_unique<PanelSource>(panels);
    m_base = m_panels.get();
    decodeWith(protocol, replyTimeoutUs);
    rebuild();
}

TrafficModel::TrafficModel(const TrafficSource *source, protocol::Protocol protocol, qint64 replyTimeoutUs,
                           QObject *parent)
    : QAbstractTableModel(parent)
    , m_base(source)
{
    if (!m_base)
        return;
    decodeWith(protocol, replyTimeoutUs);
    rebuild();
}

TrafficModel::~TrafficModel()
{
    // The protocol's frames go before the panels they read. The source
    // given may be gone already (a window's capture goes before its
    // children): it is not touched.
    m_decoded.reset();
}

void TrafficModel::useSource(const TrafficSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    connect(m_source, &TrafficSource::grown, this, &TrafficModel::sync);
    connect(m_source, &TrafficSource::reset, this, &TrafficModel::rebuild);
}

void TrafficModel::setProtocol(protocol::Protocol chosen, qint64 replyTimeoutUs)
{
    if (chosen == protocol() && (!m_decoded || replyTimeoutUs == m_decoded->replyTimeoutUs()))
        return;
    beginResetModel();
    // The rows refer to the old frames: none is read until made again.
    m_rows.clear();
    endResetModel();
    decodeWith(chosen, replyTimeoutUs);
    rebuild();
}

void TrafficModel::decodeWith(protocol::Protocol chosen, qint64 replyTimeoutUs)
{
    std::unique_ptr<ProtocolSource> old = std::move(m_decoded);
    if (chosen != protocol::Protocol::None) {
        m_decoded = std::make_unique<ProtocolSource>(*m_base, chosen, replyTimeoutUs);
        connect(m_decoded.get(), &ProtocolSource::ticked, this, &TrafficModel::ticked);
    }
    useSource(m_decoded ? m_decoded.get() : m_base);
}

quint64 TrafficModel::encode(const Ref &ref)
{
    return (ref.panel ? kPanelBit : 0) | (ref.event ? kEventBit : 0) | quint64(ref.index);
}

TrafficModel::Ref TrafficModel::decode(quint64 code)
{
    return {(code & kPanelBit) ? 1 : 0, (code & kEventBit) != 0, qint64(code & ~(kPanelBit | kEventBit))};
}

bool TrafficModel::shows(int panel) const
{
    return m_filter == PanelFilter::Both || (m_filter == PanelFilter::Left) == (panel == 0);
}

void TrafficModel::setFilter(PanelFilter filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    rebuild();
}

void TrafficModel::setCheck(FrameCheck check)
{
    if (check == m_check)
        return;
    m_check = check;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

namespace {

// Rows go in time order; at the same time an event before a frame, the
// left panel before the right.
struct SortKey {
    qint64 us;
    bool event;
    int panel;
    bool operator<(const SortKey &o) const
    {
        if (us != o.us)
            return us < o.us;
        if (event != o.event)
            return event;
        return panel < o.panel;
    }
};

// Walks one panel's frames or events from a given one on, in time order.
struct Cursor {
    const TrafficSource *source;
    int index;
    bool event;
    qint64 next;
    qint64 end;
    SortKey key{};

    bool done() const { return next >= end; }
    void updateKey()
    {
        if (done())
            return;
        key = {0, event, index};
        if (event) {
            key.us = source->events(index)[size_t(next)].monotonicUs;
            return;
        }
        const auto span = source->frameSpan(index, next);
        key.us = span ? span->startUs : 0;
    }
};

} // namespace

void TrafficModel::ticked()
{
    forgetDecoded();
    const auto now = m_source->nowUs();
    if (now)
        refreshSince(*now - 2 * replyTimeoutUs(), rowCount() - 1);
}

void TrafficModel::refreshSince(qint64 us, int last)
{
    // Only the last rows change: requests still within their timeout, and
    // the rows after them. At most a bounded number is looked through.
    if (last < 0 || last >= rowCount())
        return;
    int first = last;
    for (int n = 0; first > 0 && n < 1000 && endUs(first - 1) >= us; ++n)
        --first;
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void TrafficModel::sync()
{
    forgetDecoded();
    // Bytes added to a last frame change it and the gap of the row after
    // it: the rows on screen are drawn again.
    bool grown = false;
    const int before = rowCount();
    for (int p = 0; m_decoded && p < 2; ++p) {
        // A run of bytes that are no frame goes on in the next arrival: the
        // panel's last mark grew, and its row is drawn again.
        if (m_framesSeen[p] > 0 && shows(p) && m_decoded->mark(p, m_framesSeen[p] - 1).end() != m_coveredSeen[p]) {
            const quint64 code = encode({p, false, m_framesSeen[p] - 1});
            for (int row = rowCount() - 1, n = 0; row >= 0 && n < 1000; --row, ++n) {
                if (m_rows[size_t(row)] == code) {
                    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
                    break;
                }
            }
        }
        m_coveredSeen[p] = m_source->covered(p);
    }
    for (int p = 0; !m_decoded && p < 2; ++p) {
        const qint64 covered = m_source->covered(p);
        grown = grown || (covered != m_coveredSeen[p] && m_framesSeen[p] > 0 && shows(p));
        m_coveredSeen[p] = covered;
    }
    if (grown && !m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));

    std::vector<quint64> added;
    std::vector<SortKey> keys;
    mergeNew([&](quint64 code, const SortKey &key) {
        added.push_back(code);
        keys.push_back(key);
    });
    // New rows belong at the end, save those that came before rows the
    // other panel showed first (the panels are shown one after the other):
    // each run goes where the time order puts it.
    const auto keyOfRow = [&](size_t row) {
        const Ref ref = refOf(int(row));
        return SortKey{timesOf(ref).startUs, ref.event, ref.panel};
    };
    for (size_t i = 0; i < added.size();) {
        size_t at = m_rows.size();
        while (at > 0 && keys[i] < keyOfRow(at - 1))
            --at;
        size_t j = i + 1;
        if (at < m_rows.size()) {
            const SortKey following = keyOfRow(at);
            while (j < added.size() && keys[j] < following)
                ++j;
        } else {
            j = added.size();
        }
        if (m_rows.size() + (j - i) > size_t(std::numeric_limits<int>::max()))
            return;
        beginInsertRows({}, int(at), int(at + (j - i) - 1));
        m_rows.insert(at, added.begin() + qsizetype(i), added.begin() + qsizetype(j));
        endInsertRows();
        i = j;
    }
    // New frames answer or outrun the requests before them.
    if (m_decoded && before > 0 && rowCount() > before)
        refreshSince(startUs(before) - 2 * replyTimeoutUs(), before - 1);
}

void TrafficModel::setFound(int row, qint64 first, qint64 count)
{
    const int before = m_found.row;
    m_found = {row, first, count};
    for (int changed : {before, row}) {
        if (changed >= 0 && changed < rowCount())
            emit dataChanged(index(changed, HexColumn), index(changed, TextColumn), {FoundRole});
    }
}

void TrafficModel::rebuild()
{
    forgetDecoded();
    beginResetModel();
    m_found = {};
    m_rows.clear();
    m_framesSeen = {};
    m_eventsSeen = {};
    mergeNew([&](quint64 code, const SortKey &) { m_rows.push_back(code); });
    for (int p = 0; p < 2; ++p)
        m_coveredSeen[p] = m_source->covered(p);
    ++m_generation;
    endResetModel();
}

template<typename Out>
void TrafficModel::mergeNew(Out &&out)
{
    std::vector<Cursor> cursors;
    for (int p = 0; p < 2; ++p) {
        const qint64 frames = m_source->frameCount(p);
        const qint64 events = qint64(m_source->events(p).size());
        if (shows(p)) {
            cursors.push_back({m_source, p, false, m_framesSeen[p], frames});
            cursors.push_back({m_source, p, true, m_eventsSeen[p], events});
        }
        m_framesSeen[p] = frames;
        m_eventsSeen[p] = events;
    }
    for (Cursor &c : cursors)
        c.updateKey();
    for (;;) {
        Cursor *best = nullptr;
        for (Cursor &c : cursors)
            if (!c.done() && (!best || c.key < best->key))
                best = &c;
        if (!best)
            return;
        out(encode({best->index, best->event, best->next}), best->key);
        ++best->next;
        best->updateKey();
    }
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(std::min<size_t>(m_rows.size(), std::numeric_limits<int>::max()));
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : (m_decoded ? ProtocolColumnCount : ColumnCount);
}

TrafficModel::Times TrafficModel::timesOf(const Ref &ref) const
{
    if (ref.event) {
        const qint64 at = m_source->events(ref.panel)[size_t(ref.index)].monotonicUs;
        return {at, at};
    }
    const auto span = m_source->frameSpan(ref.panel, ref.index);
    return span ? Times{span->startUs, span->endUs} : Times{};
}

const PortEvent *TrafficModel::sentEvent(const Ref &ref) const
{
    if (!ref.event)
        return nullptr;
    const PortEvent &e = m_source->events(ref.panel)[size_t(ref.index)];
    return e.kind == PortEventKind::Sent ? &e : nullptr;
}

qint64 TrafficModel::lengthOf(const Ref &ref) const
{
    if (const PortEvent *sent = sentEvent(ref))
        return sent->sentCount;
    return ref.event ? 0 : m_source->frameLength(ref.panel, ref.index);
}

QByteArray TrafficModel::bytesOf(const Ref &ref, qint64 limit) const
{
    QByteArray bytes;
    const PortEvent *sent = sentEvent(ref);
    if (ref.event && !sent)
        return bytes;
    const qint64 count = std::min(limit, lengthOf(ref));
    bytes.reserve(qsizetype(count));
    if (sent)
        m_source->sentBytes(ref.panel, sent->sentFirst, count, bytes);
    else
        m_source->frameBytes(ref.panel, ref.index, count, bytes);
    return bytes;
}

bool TrafficModel::readable(const Ref &ref, qint64 limit) const
{
    const PortEvent *sent = sentEvent(ref);
    if (ref.event && !sent)
        return true;
    const qint64 count = std::min(limit, lengthOf(ref));
    if (!sent)
        return m_source->frameReadable(ref.panel, ref.index, count);
    // An opened capture's sent bytes are in its file.
    return !m_panels || m_panels->panel(ref.panel).sentBytes().readable(sent->sentFirst, count);
}

quint64 TrafficModel::readFailures() const
{
    quint64 failures = 0;
    for (int i = 0; m_panels && i < 2; ++i) {
        const Panel &p = m_panels->panel(i);
        failures += p.receive().store().readFailures() + p.sentBytes().readFailures();
    }
    return failures;
}

QString TrafficModel::readError() const
{
    for (int i = 0; m_panels && i < 2; ++i) {
        const Panel &p = m_panels->panel(i);
        for (const ByteStore *store : {&p.receive().store(), &p.sentBytes()}) {
            if (!store->readError().isEmpty())
                return store->readError();
        }
    }
    return {};
}

int TrafficModel::panelOf(int row) const
{
    return refOf(row).panel;
}

bool TrafficModel::hasBytes(int row) const
{
    const Ref ref = refOf(row);
    return !ref.event || sentEvent(ref);
}

qint64 TrafficModel::wallMs(int row) const
{
    const Ref ref = refOf(row);
    if (ref.event)
        return m_source->events(ref.panel)[size_t(ref.index)].wallMs;
    return m_source->frameWallMs(ref.panel, ref.index);
}

std::optional<qint64> TrafficModel::gapUs(int row) const
{
    if (row <= 0)
        return std::nullopt;
    return std::max<qint64>(0, timesOf(refOf(row)).startUs - timesOf(refOf(row - 1)).endUs);
}

qint64 TrafficModel::overlapUs(int row) const
{
    if (row <= 0)
        return 0;
    return std::max<qint64>(0, timesOf(refOf(row - 1)).endUs - timesOf(refOf(row)).startUs);
}

int TrafficModel::firstOverlapping(int first, int last) const
{
    for (int row = std::max(first, 1); row <= last && row < rowCount(); ++row) {
        if (overlapUs(row) > 0)
            return row;
    }
    return -1;
}

std::optional<qint64> TrafficModel::longestPauseUs(int row) const
{
    const Ref ref = refOf(row);
    if (ref.event)
        return std::nullopt;
    return m_source->longestPauseUs(ref.panel, ref.index);
}

QString mergedFramesNote(std::optional<qint64> longestPauseUs)
{
    const QString merged = QObject::tr("Rows overlap: the split rule merges frames across the line's pauses.");
    if (!longestPauseUs)
        return merged;
    if (*longestPauseUs < 1000)
        return merged + QObject::tr(" Within them the line pauses less than 1 ms: no idle gap cuts them.");
    return merged + QObject::tr(" An idle gap of %1 ms would cut them.").arg(*longestPauseUs / 1000);
}

QString TrafficModel::port(int row) const
{
    const Ref ref = refOf(row);
    if (ref.event)
        return m_source->events(ref.panel)[size_t(ref.index)].port;
    return m_source->framePort(ref.panel, ref.index);
}

QByteArray TrafficModel::frameBytes(int row) const
{
    return bytesOf(refOf(row), std::numeric_limits<qint64>::max());
}

CheckVerdict TrafficModel::verdict(int row) const
{
    const Ref ref = refOf(row);
    if (m_decoded) {
        // The protocol's own check decides; bytes that are no frame have none.
        if (ref.event)
            return CheckVerdict::NotApplicable;
        switch (m_decoded->mark(ref.panel, ref.index).verdict) {
        case protocol::Verdict::Good: return CheckVerdict::Ok;
        case protocol::Verdict::BadCheck: return CheckVerdict::Bad;
        default: return CheckVerdict::NotApplicable;
        }
    }
    if ((ref.event && !sentEvent(ref)) || m_check == FrameCheck::None)
        return CheckVerdict::NotApplicable;
    return verifyFrame(m_check, bytesOf(ref, std::numeric_limits<qint64>::max()));
}

std::optional<protocol::FrameMark> TrafficModel::frameMark(int row) const
{
    if (!m_decoded || row < 0 || row >= rowCount())
        return std::nullopt;
    const Ref ref = refOf(row);
    if (ref.event)
        return std::nullopt;
    return m_decoded->mark(ref.panel, ref.index);
}

protocol::PairingFrame TrafficModel::pairingFrame(qint64 row) const
{
    const Ref ref = refOf(int(row));
    if (ref.event)
        return {};
    const protocol::FrameMark &mark = m_decoded->mark(ref.panel, ref.index);
    protocol::PairingFrame frame;
    frame.direction = mark.direction;
    // Bytes that are no frame, and a frame whose check failed (its station
    // and function may be what was corrupted), are never paired: a request
    // answered only by a corrupted frame got no answer.
    if (mark.verdict != protocol::Verdict::Good)
        return frame;
    const QByteArray bytes = bytesOf(ref, std::min<qint64>(mark.length, protocol::kPairingKeyBytes));
    frame.key = protocol::pairingKey(
        m_decoded->protocol(), {reinterpret_cast<const std::uint8_t *>(bytes.constData()), size_t(bytes.size())},
        mark);
    const Times times = timesOf(ref);
    frame.startUs = times.startUs;
    frame.endUs = times.endUs;
    return frame;
}

TrafficModel::Decoded &TrafficModel::decoded(int row) const
{
    // A slot per row number: the rows asked together (a page, a walk, a
    // request and its answer) are neighbours, which never share one.
    Decoded &d = m_decodedRows[size_t(row) % m_decodedRows.size()];
    if (d.row == row && d.stamp == m_decodedStamp)
        return d;
    d = Decoded{row, m_decodedStamp, false, {}, {}};
    const auto mark = frameMark(row);
    if (!mark)
        return d;
    protocol::PairingOptions options;
    options.timeoutUs = m_decoded->replyTimeoutUs();
    // A complete source's requests have had all the time they will get.
    options.nowUs = m_source->nowUs().value_or(std::numeric_limits<qint64>::max());
    d.pairing = protocol::pairingOf([this](qint64 r) { return pairingFrame(r); }, rowCount(), row, options);
    return d;
}

protocol::Pairing TrafficModel::pairing(int row) const
{
    if (!m_decoded || row < 0 || row >= rowCount())
        return {};
    return decoded(row).pairing;
}

TrafficModel::FrameRead TrafficModel::frameRead(int row, const protocol::FrameMark &mark,
                                                const protocol::Pairing &pairing) const
{
    FrameRead read;
    // Of bytes that are no frame (a flood's runs of up to a MiB) only what a
    // field can show is read: the description counts the mark's length.
    const bool unframed = mark.verdict == protocol::Verdict::Unrecognised || mark.verdict == protocol::Verdict::Cut;
    read.bytes = bytesOf(refOf(row), unframed ? std::min<qint64>(mark.length, kMaxFrameBytes) : mark.length);
    const bool answer = pairing.role == protocol::Role::Answer;
    if (answer && pairing.partner >= 0)
        read.request = bytesOf(refOf(int(pairing.partner)), kMaxFrameBytes);
    // A frame the framer could not tell the way of (a write's echo) is read
    // the way its pairing found.
    read.mark = mark;
    if (mark.direction == protocol::Direction::Unknown && mark.verdict == protocol::Verdict::Good) {
        if (answer || pairing.role == protocol::Role::Unanswering)
            read.mark.direction = protocol::Direction::Answer;
        else if (pairing.role != protocol::Role::None)
            read.mark.direction = protocol::Direction::Request;
    }
    return read;
}

namespace {

std::span<const std::uint8_t> spanOf(const QByteArray &b)
{
    return {reinterpret_cast<const std::uint8_t *>(b.constData()), size_t(b.size())};
}

} // namespace

protocol::Description TrafficModel::description(int row) const
{
    if (!m_decoded || row < 0 || row >= rowCount())
        return {};
    Decoded &d = decoded(row);
    const auto mark = frameMark(row);
    if (!d.described && mark) {
        const FrameRead read = frameRead(row, *mark, d.pairing);
        d.description = protocol::describe(m_decoded->protocol(), spanOf(read.bytes), read.mark, spanOf(read.request));
        d.described = true;
    }
    return d.description;
}

protocol::Facts TrafficModel::facts(int row) const
{
    if (!m_decoded || row < 0 || row >= rowCount())
        return {};
    const auto mark = frameMark(row);
    if (!mark)
        return {};
    // Bytes that are no frame (a flood's long runs) have no facts to read,
    // nor a pairing to find first.
    if (mark->verdict == protocol::Verdict::Unrecognised || mark->verdict == protocol::Verdict::Cut)
        return protocol::factsOf(m_decoded->protocol(), {}, *mark);
    Decoded &d = decoded(row);
    if (d.described)
        return protocol::factsOf(d.description);
    const FrameRead read = frameRead(row, *mark, d.pairing);
    return protocol::factsOf(m_decoded->protocol(), spanOf(read.bytes), read.mark, spanOf(read.request));
}

QString TrafficModel::statusText(int row) const
{
    if (!frameMark(row))
        return {};
    const protocol::Description d = description(row);
    const protocol::Role role = pairing(row).role;
    switch (d.status) {
    case protocol::Status::BadCheck: return QStringLiteral("bad check");
    case protocol::Status::Unrecognised: return QStringLiteral("unrecognised");
    case protocol::Status::Exception: return QStringLiteral("exception ") + QString::fromStdString(d.code);
    case protocol::Status::Nak:
        return d.code.empty() ? QStringLiteral("nak") : QStringLiteral("nak ") + QString::fromStdString(d.code);
    case protocol::Status::Request:
    case protocol::Status::Answer: break;
    }
    switch (role) {
    case protocol::Role::NoAnswer: return QStringLiteral("no answer");
    case protocol::Role::Answer:
    case protocol::Role::Unanswering: return QStringLiteral("answer");
    case protocol::Role::Request:
    case protocol::Role::Answered: return QStringLiteral("request");
    case protocol::Role::None: break;
    }
    return d.status == protocol::Status::Answer ? QStringLiteral("answer") : QStringLiteral("request");
}

QString TrafficModel::eventText(int row) const
{
    const Ref ref = refOf(row);
    return ref.event ? portEventText(m_source->events(ref.panel)[size_t(ref.index)]) : QString();
}

const PortEvent *TrafficModel::eventAt(int row) const
{
    const Ref ref = refOf(row);
    return ref.event ? &m_source->events(ref.panel)[size_t(ref.index)] : nullptr;
}

QString TrafficModel::panelPort(int panel) const
{
    return m_source->portText(panel);
}

QString TrafficModel::panelSettings(int panel) const
{
    return m_source->settings(panel);
}

QString replyText(const TrafficModel &model, int row)
{
    const protocol::Pairing p = model.pairing(row);
    if (p.role != protocol::Role::Answer)
        return {};
    return QString::number(double(p.replyUs) / 1000.0, 'f', 1);
}

QColor TrafficModel::statusTint(int row, int panel) const
{
    if (!frameMark(row))
        return kPanelTint[panel];
    switch (description(row).status) {
    case protocol::Status::BadCheck: return kBadTint;
    case protocol::Status::Exception:
    case protocol::Status::Nak: return kExceptionTint;
    case protocol::Status::Unrecognised: return kUnrecognisedTint;
    default: break;
    }
    return pairing(row).role == protocol::Role::NoAnswer ? kNoAnswerTint : kPanelTint[panel];
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    const int column = index.column();
    const Ref ref = refOf(row);
    const bool sent = sentEvent(ref) != nullptr;
    const bool bytes = !ref.event || sent;
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case TimeColumn:
            return QDateTime::fromMSecsSinceEpoch(wallMs(row)).toString(QStringLiteral("HH:mm:ss.zzz"));
        case GapColumn:
            if (const auto gap = gapUs(row))
                return QString::number(double(*gap) / 1000.0, 'f', 1);
            return {};
        case PanelColumn:
            return sent ? tr("%1 sent").arg(port(row)) : port(row);
        case LengthColumn:
            return bytes ? QVariant(lengthOf(ref)) : QVariant();
        case HexColumn: {
            if (!bytes)
                return eventText(row);
            const QByteArray shown = bytesOf(ref, kShownBytes);
            if (!readable(ref, kShownBytes))
                return tr("(the bytes could not be read back)");
            const bool more = lengthOf(ref) > kShownBytes;
            return hexPairs(shown) + (more ? QStringLiteral(" \u2026") : QString());
        }
        case TextColumn:
            return bytes ? QVariant(printableText(bytesOf(ref, kShownBytes))) : QVariant();
        case CheckColumn:
            switch (verdict(row)) {
            case CheckVerdict::Ok: return QStringLiteral("ok");
            case CheckVerdict::Bad: return QStringLiteral("bad");
            case CheckVerdict::NotApplicable: return QString();
            }
            return {};
        case DecodedColumn:
            return ref.event ? QVariant() : QVariant(QString::fromStdString(description(row).summary));
        case ReplyColumn:
            return replyText(*this, row);
        }
        return {};
    case FoundRole: {
        if (row != m_found.row || (column != HexColumn && column != TextColumn) || !bytes)
            return {};
        const qint64 end = std::min<qint64>(m_found.first + m_found.count, kShownBytes);
        if (m_found.first >= end)
            return {};
        const int first = int(m_found.first), count = int(end - m_found.first);
        // Hex pairs are three characters apart, the last without its blank.
        return column == HexColumn ? QPoint(3 * first, 3 * count - 1) : QPoint(first, count);
    }
    case Qt::BackgroundRole:
        if (m_decoded)
            return statusTint(row, ref.panel);
        return verdict(row) == CheckVerdict::Bad ? kBadTint : kPanelTint[ref.panel];
    case Qt::ForegroundRole:
        return sent ? QVariant(kSentInk) : QVariant();
    case Qt::FontRole:
        if (column == HexColumn || column == TextColumn) {
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            fixed.setItalic(ref.event && !sent);
            return fixed;
        }
        if (ref.event && !sent) {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        return {};
    case Qt::TextAlignmentRole:
        if (column == GapColumn || column == LengthColumn || column == ReplyColumn)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ToolTipRole:
        if (column == TimeColumn)
            return arrivalText(wallMs(row));
        if (column == GapColumn && overlapUs(row) > 0)
            return tr("Overlaps the previous row by %1 ms: a split rule that merges frames (an idle gap longer "
                      "than the line's pauses) makes rows overlap")
                .arg(QString::number(double(overlapUs(row)) / 1000.0, 'f', 1));
        if (column == GapColumn && row > 0 && refOf(row - 1).panel != ref.panel)
            return tr("Reply time: since the other panel's previous row ended");
        if (column == PanelColumn && sent)
            return tr("Bytes this panel sent");
        // The whole frame, which the cell may cut.
        if (column == HexColumn && bytes)
            return hexPairs(bytesOf(ref, kMaxFrameBytes))
                + (lengthOf(ref) > kShownBytes ? tr("\n%1 bytes; the export writes them all").arg(lengthOf(ref))
                                               : QString());
        if (column == TextColumn && bytes)
            return printableText(bytesOf(ref, kMaxFrameBytes));
        if (column == DecodedColumn && !ref.event)
            return QString::fromStdString(description(row).summary) + QStringLiteral("\n") + statusText(row);
        return {};
    default:
        return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[ProtocolColumnCount] = {"Time", "Gap (ms)", "Panel",   "Length",    "Hex",
                                                           "Text", "Check",    "Decoded", "Reply (ms)"};
    return section >= 0 && section < columnCount() ? tr(names[section]) : QVariant();
}

std::optional<QByteArray> findPattern(const QString &text, bool hex, QString *reason)
{
    if (text.isEmpty()) {
        *reason = QObject::tr("Type what to find.");
        return std::nullopt;
    }
    if (!hex)
        return serial::toCodePage(text);
    if (text.trimmed().isEmpty()) {
        *reason = QObject::tr("Type what to find.");
        return std::nullopt;
    }
    const auto bytes = parseHexSequence(text);
    if (!bytes)
        *reason = QObject::tr("\"%1\" is not a hex sequence: give bytes as pairs of hex digits, such as 01 03.")
                      .arg(text);
    return bytes;
}

int findRow(const TrafficModel &model, QByteArrayView pattern, int from, bool forward)
{
    return findBytes(model, pattern, from, forward).row;
}

FoundBytes findBytes(const TrafficModel &model, QByteArrayView pattern, int from, bool forward)
{
    const int rows = model.rowCount();
    if (rows == 0 || pattern.isEmpty())
        return {};
    const int step = forward ? 1 : -1;
    for (int n = 1; n <= rows; ++n) {
        const int row = int(((qint64(from) + qint64(n) * step) % rows + rows) % rows);
        if (!model.hasBytes(row))
            continue;
        const qsizetype at = model.frameBytes(row).indexOf(pattern);
        if (at >= 0)
            return {row, qint64(at)};
    }
    return {};
}

} // namespace console
