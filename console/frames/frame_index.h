#pragma once

#include "console/bytes/arrival_times.h"
#include "console/bytes/byte_store.h"
#include "console/bytes/chunked_array.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace console {

// How a panel's bytes are cut into frames. The names are those kept in the
// settings ("gap", "delimiter", "arrival").
enum class SplitKind {
    Gap,       // a frame ends where the line was idle for at least gapMs
    Delimiter, // a frame ends after each delimiter byte
    Arrival,   // a frame per burst of arrival (bytes within 1 ms share one)
};

struct SplitRule {
    SplitKind kind = SplitKind::Gap;
    int gapMs = 20;
    std::uint8_t delimiter = 0x0A;
    bool operator==(const SplitRule &) const = default;
};

constexpr int kMinGapMs = 1;
constexpr int kMaxGapMs = 10000;
// Whatever the rule, a frame that reaches this length ends there: a line
// that never pauses still gives rows a view can draw and a check can read.
constexpr qint64 kMaxFrameBytes = 4096;

QString splitKindName(SplitKind kind);
std::optional<SplitKind> splitKindFromName(QStringView name);

// What the user types for the gap: a whole number of milliseconds from 1 to
// 10000. Nothing, with the reason, for anything else.
std::optional<int> parseGapMs(const QString &text, QString *reason);
// The delimiter: exactly two hex digits ("0A", "03").
std::optional<std::uint8_t> parseDelimiter(const QString &text, QString *reason);
// Two upper-case hex digits.
QString delimiterText(std::uint8_t byte);

// The frames of one panel's shown bytes: the index of each frame's first
// byte, in order (8 bytes a frame); a frame runs to the next one's start.
// Every shown byte belongs to exactly one frame.
class FrameIndex {
public:
    const SplitRule &rule() const { return m_rule; }
    // Forgets the frames; rebuild() cuts them again by the new rule.
    void setRule(const SplitRule &rule);

    // Cuts the bytes from covered() up to `size` into frames; the last frame
    // may go on growing with the next call.
    void extend(const ByteStore &store, const ArrivalTimes &times, qint64 size);
    void rebuild(const ByteStore &store, const ArrivalTimes &times, qint64 size);
    void clear();

    qint64 count() const { return qint64(m_starts.size()); }
    qint64 covered() const { return m_covered; }
    qint64 start(qint64 frame) const { return m_starts[size_t(frame)]; }
    // One past the frame's last byte.
    qint64 end(qint64 frame) const
    {
        return frame + 1 < count() ? m_starts[size_t(frame + 1)] : m_covered;
    }
    qint64 length(qint64 frame) const { return end(frame) - start(frame); }

private:
    void addStart(qint64 at);
    // Cuts the last frame where it would pass kMaxFrameBytes before `upTo`.
    void cutLongFrames(qint64 upTo);

    SplitRule m_rule;
    ChunkedArray<qint64> m_starts;
    qint64 m_covered = 0;
};

// Monotonic start and end of a frame, as far as the marks tell: the start is
// when its first byte's burst began; the end is when the burst holding its
// last byte ended, or, for a frame that ends inside a burst, when that burst
// began (the next frame's start).
struct FrameSpan {
    qint64 startUs = 0;
    qint64 endUs = 0;
    size_t mark = 0; // the mark of the frame's first byte
};
std::optional<FrameSpan> frameSpan(const FrameIndex &frames, const ArrivalTimes &times, qint64 frame);

} // namespace console
