#include "protocol/replay.h"

#include "protocol/text.h"

#include <algorithm>
#include <limits>

namespace protocol {

namespace {

// A frame begun and not completed is cut after this silence, as the
// device cuts one.
constexpr std::int64_t kCutUs = 100'000;
// The bytes of a request a line shows, at most.
constexpr std::size_t kShownBytes = 16;

std::string requestText(Protocol protocol, const ByteVector &request)
{
    if (protocol != Protocol::None) {
        auto framer = makeFramer(protocol);
        std::vector<FrameMark> marks;
        framer->feed(request, 0, marks);
        framer->finish(marks);
        if (marks.size() == 1 && marks[0].verdict == Verdict::Good) {
            FrameMark m = marks[0];
            if (m.direction == Direction::Unknown)
                m.direction = Direction::Request;
            const Description d = describe(protocol, request, m);
            if (!d.summary.empty())
                return d.summary;
        }
    }
    const std::span<const std::uint8_t> shown(request.data(), std::min(request.size(), kShownBytes));
    return detail::hexBytes(shown) + (request.size() > kShownBytes ? " ..." : "");
}

} // namespace

std::string replayLine(const ReplayResult &result)
{
    std::string line = "request " + std::to_string(result.number) + " (" + result.request + "): ";
    switch (result.verdict) {
    case ReplayVerdict::Same: return line + "same";
    case ReplayVerdict::NoAnswer: return line + "no answer";
    case ReplayVerdict::Different: break;
    }
    line += "different: ";
    for (std::size_t i = 0; i < result.differences.size(); ++i)
        line += (i ? "; " : "") + result.differences[i];
    return line;
}

std::string replayTotalsLine(const ReplayTotals &t)
{
    return std::to_string(t.all()) + (t.all() == 1 ? " request: " : " requests: ") + std::to_string(t.same)
        + " same, " + std::to_string(t.different) + " different, " + std::to_string(t.noAnswer) + " no answer";
}

Replay::Replay(std::vector<RecordedExchange> exchanges, const ReplayOptions &options)
    : m_exchanges(std::move(exchanges)), m_options(options)
{
}

Replay::~Replay() = default;

std::int64_t Replay::requestDueUs() const
{
    if (m_next == 0)
        return std::numeric_limits<std::int64_t>::min();
    if (m_options.timing == ReplayTiming::Fast)
        return m_doneUs;
    const std::int64_t spacing = m_exchanges[m_next].timeUs - m_exchanges[0].timeUs;
    return std::max(m_doneUs, m_startUs + spacing);
}

std::optional<ByteVector> Replay::takeRequest(std::int64_t nowUs)
{
    if (m_waiting || finished() || nowUs < requestDueUs())
        return std::nullopt;
    if (m_next == 0)
        m_startUs = nowUs;
    const ByteVector &request = m_exchanges[m_next].request;
    m_frames = std::make_unique<LineFrames>(m_options.protocol, m_options.answerGapUs, kCutUs);
    m_waiting = true;
    m_deadlineUs = nowUs + std::int64_t(request.size()) * m_options.byteTimeUs + m_options.replyTimeoutUs;
    return request;
}

std::optional<std::int64_t> Replay::nextDueUs() const
{
    if (finished())
        return std::nullopt;
    if (m_waiting)
        return m_deadlineUs;
    return requestDueUs();
}

void Replay::feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs)
{
    if (!m_waiting)
        return;
    m_frames->feed(bytes, nowUs);
    look(nowUs);
}

void Replay::idle(std::int64_t nowUs)
{
    if (!m_waiting)
        return;
    m_frames->idle(nowUs);
    look(nowUs);
    if (!m_waiting || nowUs < m_deadlineUs)
        return;
    // An answer begun in time is given the time to end.
    if (m_frames->pending() && nowUs < m_deadlineUs + kCutUs + m_options.answerGapUs)
        return;
    conclude(std::nullopt, nowUs);
}

void Replay::look(std::int64_t nowUs)
{
    for (LineFrames::Frame &frame : m_frames->take()) {
        // Noise before the answer is no answer.
        if (frame.verdict == Verdict::Unrecognised)
            continue;
        conclude(std::move(frame.bytes), nowUs);
        return;
    }
}

void Replay::conclude(const std::optional<ByteVector> &heard, std::int64_t nowUs)
{
    const RecordedExchange &x = m_exchanges[m_next];
    ReplayResult r;
    r.number = m_next + 1;
    r.request = requestText(m_options.protocol, x.request);
    if (!heard) {
        // A request recorded without an answer gets none again: the same.
        r.verdict = x.answer ? ReplayVerdict::NoAnswer : ReplayVerdict::Same;
    } else if (!x.answer) {
        r.verdict = ReplayVerdict::Different;
        r.differences = {"answer: (none) -> " + detail::hexBytes(*heard)};
    } else {
        r.differences = answerDifferences(m_options.protocol, x.request, *x.answer, *heard);
        r.verdict = r.differences.empty() ? ReplayVerdict::Same : ReplayVerdict::Different;
    }
    switch (r.verdict) {
    case ReplayVerdict::Same: ++m_totals.same; break;
    case ReplayVerdict::Different: ++m_totals.different; break;
    case ReplayVerdict::NoAnswer: ++m_totals.noAnswer; break;
    }
    m_results.push_back(std::move(r));
    m_waiting = false;
    m_frames.reset();
    m_doneUs = nowUs;
    ++m_next;
}

} // namespace protocol
