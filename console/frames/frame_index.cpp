#include "frame_index.h"

#include "console/frames/hex_text.h"
#include "console/frames/whole_number.h"

#include <cstring>

namespace console {

QString splitKindName(SplitKind kind)
{
    switch (kind) {
    case SplitKind::Gap: return QStringLiteral("gap");
    case SplitKind::Delimiter: return QStringLiteral("delimiter");
    case SplitKind::Arrival: return QStringLiteral("arrival");
    }
    return {};
}

std::optional<SplitKind> splitKindFromName(QStringView name)
{
    for (SplitKind kind : {SplitKind::Gap, SplitKind::Delimiter, SplitKind::Arrival})
        if (name == splitKindName(kind))
            return kind;
    return std::nullopt;
}

std::optional<int> parseGapMs(const QString &text, QString *reason)
{
    const std::optional<qint64> ms = parseWholeNumber(text);
    if (ms && *ms >= kMinGapMs && *ms <= kMaxGapMs)
        return int(*ms);
    *reason = QStringLiteral("The gap must be a whole number of milliseconds from %1 to %2, not \"%3\".")
                  .arg(kMinGapMs)
                  .arg(kMaxGapMs)
                  .arg(text);
    return std::nullopt;
}

std::optional<std::uint8_t> parseDelimiter(const QString &text, QString *reason)
{
    if (const auto byte = parseHexByte(text))
        return byte;
    *reason = QStringLiteral("The delimiter must be two hex digits, such as 0A or 03, not \"%1\".").arg(text);
    return std::nullopt;
}

QString delimiterText(std::uint8_t byte)
{
    return hexByte(byte);
}

void FrameIndex::setRule(const SplitRule &rule)
{
    m_rule = rule;
    clear();
}

void FrameIndex::clear()
{
    m_starts.clear();
    m_covered = 0;
}

void FrameIndex::rebuild(const ByteStore &store, const ArrivalTimes &times, qint64 size)
{
    clear();
    extend(store, times, size);
}

void FrameIndex::cutLongFrames(qint64 upTo)
{
    while (!m_starts.empty() && upTo - m_starts.back() > kMaxFrameBytes)
        m_starts.push_back(m_starts.back() + kMaxFrameBytes);
}

void FrameIndex::addStart(qint64 at)
{
    cutLongFrames(at);
    if (m_starts.empty() || at > m_starts.back())
        m_starts.push_back(at);
}

void FrameIndex::extend(const ByteStore &store, const ArrivalTimes &times, qint64 size)
{
    const qint64 from = m_covered;
    if (size <= from)
        return;
    if (from == 0)
        addStart(0);
    switch (m_rule.kind) {
    case SplitKind::Gap:
    case SplitKind::Arrival: {
        // Frames begin at marks: every mark, or those after enough silence.
        const qint64 gapUs = qint64(m_rule.gapMs) * 1000;
        auto k = times.markOf(from);
        for (size_t i = k ? *k : 0; i < times.count(); ++i) {
            const qint64 first = times.mark(i).firstByte;
            if (first >= size)
                break;
            if (first < from || first == 0)
                continue;
            if (m_rule.kind == SplitKind::Arrival || times.idleBeforeUs(i) >= gapUs)
                addStart(first);
        }
        break;
    }
    case SplitKind::Delimiter: {
        // A frame begins after each delimiter; one that ended the bytes
        // covered so far begins a frame at `from`.
        const qint64 scanFrom = std::max<qint64>(0, from - 1);
        qint64 at = scanFrom;
        store.forEachSpan(scanFrom, size - 1 - scanFrom, [&](QByteArrayView piece) {
            const char *base = piece.data();
            const char *p = base;
            const char *end = base + piece.size();
            while ((p = static_cast<const char *>(std::memchr(p, m_rule.delimiter, size_t(end - p))))) {
                addStart(at + (p - base) + 1);
                ++p;
            }
            at += piece.size();
        });
        break;
    }
    }
    m_covered = size;
    cutLongFrames(size);
}

std::optional<FrameSpan> frameSpan(const FrameIndex &frames, const ArrivalTimes &times, qint64 frame)
{
    const auto first = times.markOf(frames.start(frame));
    const qint64 end = frames.end(frame);
    const auto last = times.markOf(end - 1);
    if (!first || !last)
        return std::nullopt;
    const bool endsBurst = end == frames.covered()
        || (*last + 1 < times.count() && times.mark(*last + 1).firstByte == end);
    const auto &m = times.mark(*last);
    return FrameSpan{times.mark(*first).startUs, endsBurst ? m.endUs : m.startUs, *first};
}

} // namespace console
