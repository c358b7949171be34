#include "protocol/recording.h"

#include "protocol/pairing.h"
#include "protocol/text.h"

#include <algorithm>
#include <limits>

namespace protocol {

namespace {

// A frame of either panel, on the recording's clock.
struct TimedFrame {
    int panel = 0;
    ByteVector bytes;
    FrameMark mark;
    std::int64_t startUs = 0;
    std::int64_t endUs = 0;
};

// Each panel's stream framed by the protocol's decoder; a frame's times are
// those of the bursts its first and last byte came in.
std::vector<TimedFrame> framesOf(Protocol protocol, const std::vector<RecordedBurst> &bursts,
                                 std::int64_t replyTimeoutUs)
{
    std::vector<TimedFrame> frames;
    for (int panel = 0; panel < 2; ++panel) {
        auto framer = makeFramer(protocol, Options{replyTimeoutUs});
        if (!framer)
            return {};
        ByteVector stream;
        // Where each burst's bytes begin in the stream, and its times.
        struct Placed {
            std::int64_t first;
            std::int64_t startUs;
            std::int64_t endUs;
        };
        std::vector<Placed> placed;
        std::vector<FrameMark> marks;
        for (const RecordedBurst &b : bursts) {
            if (b.panel != panel || b.bytes.empty())
                continue;
            placed.push_back({std::int64_t(stream.size()), b.startUs, b.endUs});
            stream.insert(stream.end(), b.bytes.begin(), b.bytes.end());
            framer->feed(b.bytes, b.startUs, marks);
        }
        framer->finish(marks);
        const auto burstOf = [&](std::int64_t offset) {
            auto after = std::upper_bound(placed.begin(), placed.end(), offset,
                                          [](std::int64_t o, const Placed &p) { return o < p.first; });
            return *(after - 1);
        };
        for (const FrameMark &m : marks) {
            if (m.length == 0)
                continue;
            TimedFrame f;
            f.panel = panel;
            f.bytes.assign(stream.begin() + m.begin, stream.begin() + m.end());
            f.mark = m;
            f.startUs = burstOf(m.begin).startUs;
            f.endUs = burstOf(m.end() - 1).endUs;
            frames.push_back(std::move(f));
        }
    }
    // Both panels in time order; the left first where they begin together.
    std::stable_sort(frames.begin(), frames.end(),
                     [](const TimedFrame &a, const TimedFrame &b) { return a.startUs < b.startUs; });
    return frames;
}

ExchangeList pairedExchanges(Protocol protocol, const std::vector<RecordedBurst> &bursts, std::int64_t replyTimeoutUs)
{
    const std::vector<TimedFrame> frames = framesOf(protocol, bursts, replyTimeoutUs);
    // Frames whose check failed are never paired (their station may be what
    // was corrupted), as in the traffic view.
    const FrameAt frameAt = [&](std::int64_t row) {
        const TimedFrame &f = frames[std::size_t(row)];
        PairingFrame p;
        p.direction = f.mark.direction;
        if (f.mark.verdict == Verdict::Good)
            p.key = pairingKey(protocol, f.bytes, f.mark);
        p.startUs = f.startUs;
        p.endUs = f.endUs;
        return p;
    };
    PairingOptions options;
    options.timeoutUs = replyTimeoutUs;
    // The recording is complete: every request has had all its time.
    options.nowUs = std::numeric_limits<std::int64_t>::max();
    ExchangeList list;
    const std::int64_t count = std::int64_t(frames.size());
    for (std::int64_t row = 0; row < count; ++row) {
        const Pairing p = pairingOf(frameAt, count, row, options);
        if (p.role != Role::Answered && p.role != Role::NoAnswer && p.role != Role::Request)
            continue;
        RecordedExchange x;
        x.request = frames[std::size_t(row)].bytes;
        x.timeUs = frames[std::size_t(row)].startUs;
        if (p.role == Role::Answered) {
            x.answer = frames[std::size_t(p.partner)].bytes;
            x.replyUs = p.replyUs;
        }
        list.exchanges.push_back(std::move(x));
    }
    if (list.exchanges.empty())
        list.refusal = "it holds no " + std::string(displayName(protocol)) + " request ("
            + std::to_string(frames.size()) + " frames of the protocol, none a request)";
    return list;
}

ExchangeList panelExchanges(const std::vector<RecordedBurst> &bursts)
{
    std::vector<const RecordedBurst *> ordered;
    for (const RecordedBurst &b : bursts)
        if (!b.bytes.empty())
            ordered.push_back(&b);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const RecordedBurst *a, const RecordedBurst *b) { return a->startUs < b->startUs; });
    ExchangeList list;
    std::int64_t requestEndUs = 0;
    bool answerable = false;
    for (const RecordedBurst *b : ordered) {
        if (b->panel == 0) {
            list.exchanges.push_back({b->bytes, std::nullopt, 0, b->startUs});
            requestEndUs = b->endUs;
            answerable = true;
        } else if (answerable) {
            list.exchanges.back().answer = b->bytes;
            list.exchanges.back().replyUs = std::max<std::int64_t>(0, b->startUs - requestEndUs);
            answerable = false;
        }
    }
    if (list.exchanges.empty())
        list.refusal = "its left panel holds no frames, and without a protocol they are the requests";
    return list;
}

// The mark a decoder gives bytes that should be one frame going
// `direction`: Unrecognised when they are not one whole frame.
FrameMark markOf(Protocol protocol, std::span<const std::uint8_t> bytes, Direction direction)
{
    FrameMark whole{0, std::uint32_t(bytes.size()), direction, Verdict::Unrecognised};
    auto framer = makeFramer(protocol);
    if (!framer)
        return whole;
    std::vector<FrameMark> marks;
    framer->feed(bytes, 0, marks);
    framer->finish(marks);
    if (marks.size() != 1 || marks[0].length != bytes.size())
        return whole;
    FrameMark m = marks[0];
    if (m.direction == Direction::Unknown)
        m.direction = direction;
    return m;
}

bool isCheckField(const std::string &name)
{
    return name == "CRC" || name == "LRC" || name == "Sum" || name == "BCC";
}

// "Register 3" reads "register 3" in a line; "CRC" stays.
std::string lineName(std::string name)
{
    if (name.size() >= 2 && name[0] >= 'A' && name[0] <= 'Z' && name[1] >= 'a' && name[1] <= 'z')
        name[0] = char(name[0] - 'A' + 'a');
    return name;
}

// The leaf fields of a description, each named with its occurrence so that
// two fields of one name are told apart.
std::vector<std::pair<std::string, const Field *>> leaves(const Description &d)
{
    std::vector<std::pair<std::string, const Field *>> out;
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        const Field &f = d.fields[i];
        if (i + 1 < d.fields.size() && d.fields[i + 1].depth > f.depth)
            continue;
        const int n = seen[f.name]++;
        out.emplace_back(n ? f.name + "#" + std::to_string(n + 1) : f.name, &f);
    }
    return out;
}

} // namespace

ExchangeList exchangesOf(Protocol protocol, const std::vector<RecordedBurst> &bursts, std::int64_t replyTimeoutUs)
{
    if (protocol == Protocol::None)
        return panelExchanges(bursts);
    return pairedExchanges(protocol, bursts, replyTimeoutUs);
}

std::vector<RecordedExchange> exchangesForUnits(Protocol protocol, std::vector<RecordedExchange> exchanges,
                                                const std::vector<std::uint8_t> &units)
{
    if (protocol != Protocol::ModbusRtu && protocol != Protocol::ModbusAscii)
        return exchanges;
    std::erase_if(exchanges, [&](const RecordedExchange &x) {
        const Description d = describe(protocol, x.request, markOf(protocol, x.request, Direction::Request));
        const int unit = d.unit.empty() ? -1 : std::stoi(d.unit);
        return std::find(units.begin(), units.end(), unit) == units.end();
    });
    return exchanges;
}

RecordingAnswerer::RecordingAnswerer(std::vector<RecordedExchange> exchanges)
    : m_exchanges(std::move(exchanges))
{
    for (std::size_t i = 0; i < m_exchanges.size(); ++i)
        m_byRequest[m_exchanges[i].request].indexes.push_back(i);
}

RecordingAnswerer::Reply RecordingAnswerer::answer(std::span<const std::uint8_t> request)
{
    const auto it = m_byRequest.find(ByteVector(request.begin(), request.end()));
    if (it == m_byRequest.end())
        return {};
    Turns &turns = it->second;
    const RecordedExchange &x = m_exchanges[turns.indexes[turns.next]];
    turns.next = (turns.next + 1) % turns.indexes.size();
    return {true, x.answer, x.replyUs};
}

LineFrames::LineFrames(Protocol protocol, std::int64_t gapUs, std::int64_t replyTimeoutUs)
    : m_framer(makeFramer(protocol, Options{replyTimeoutUs})), m_gapUs(gapUs)
{
}

LineFrames::~LineFrames() = default;

void LineFrames::feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs)
{
    if (bytes.empty())
        return;
    if (!m_framer) {
        idle(nowUs);
        if (m_bytes.empty())
            m_feeds.assign(1, {m_base, nowUs});
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        m_lastUs = nowUs;
        return;
    }
    m_feeds.push_back({m_base + std::int64_t(m_bytes.size()), nowUs});
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    std::vector<FrameMark> marks;
    m_framer->feed(bytes, nowUs, marks);
    collect(marks);
}

void LineFrames::idle(std::int64_t nowUs)
{
    if (!m_framer) {
        // A pause of the gap or longer ends what came before it.
        if (!m_bytes.empty() && nowUs - m_lastUs >= m_gapUs) {
            m_ready.push_back({std::move(m_bytes), Verdict::Good, Direction::Unknown, m_feeds.front().second});
            m_base += std::int64_t(m_ready.back().bytes.size());
            m_bytes.clear();
            m_feeds.clear();
        }
        return;
    }
    std::vector<FrameMark> marks;
    m_framer->idle(nowUs, marks);
    collect(marks);
}

void LineFrames::collect(const std::vector<FrameMark> &marks)
{
    for (const FrameMark &m : marks) {
        Frame f;
        f.bytes.assign(m_bytes.begin() + (m.begin - m_base), m_bytes.begin() + (m.end() - m_base));
        f.verdict = m.verdict;
        f.direction = m.direction;
        // The last feed that began at or before the frame's first byte.
        while (m_feeds.size() > 1 && m_feeds[1].first <= m.begin)
            m_feeds.pop_front();
        f.startUs = m_feeds.empty() ? 0 : m_feeds.front().second;
        m_ready.push_back(std::move(f));
    }
    if (!marks.empty()) {
        const std::int64_t upTo = marks.back().end();
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + (upTo - m_base));
        m_base = upTo;
    }
}

RecordingDevice::RecordingDevice(RecordingAnswerer &answerer, const Options &options)
    : m_answerer(answerer), m_options(options), m_frames(options.protocol, options.requestGapUs, 100'000)
{
}

void RecordingDevice::feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs)
{
    m_frames.feed(bytes, nowUs);
    handle(nowUs);
}

void RecordingDevice::idle(std::int64_t nowUs)
{
    m_frames.idle(nowUs);
    handle(nowUs);
}

void RecordingDevice::handle(std::int64_t nowUs)
{
    for (LineFrames::Frame &frame : m_frames.take()) {
        // Bytes that are no frame of the protocol are no request.
        if (frame.verdict == Verdict::Unrecognised || frame.verdict == Verdict::Cut)
            continue;
        const RecordingAnswerer::Reply reply = m_answerer.answer(frame.bytes);
        if (!reply.matched) {
            ++m_counts.unmatched;
            noteHandled(std::move(frame.bytes), Handled::Outcome::Unmatched);
            continue;
        }
        ++m_counts.matched;
        if (!reply.answer) {
            noteHandled(std::move(frame.bytes), Handled::Outcome::RecordedSilent);
            continue;
        }
        if (m_waiting.size() >= m_options.maxWaiting) {
            ++m_counts.dropped;
            noteHandled(std::move(frame.bytes), Handled::Outcome::Dropped);
            continue;
        }
        m_waiting.push_back({nowUs + m_options.replyDelayUs.value_or(reply.replyUs), *reply.answer});
        noteHandled(std::move(frame.bytes), Handled::Outcome::Answering);
    }
}

void RecordingDevice::noteHandled(ByteVector request, Handled::Outcome outcome)
{
    if (m_options.maxHandled == 0) {
        ++m_counts.unlisted;
        return;
    }
    if (m_handled.size() >= m_options.maxHandled) {
        m_handled.pop_front();
        ++m_counts.unlisted;
    }
    m_handled.push_back({std::move(request), outcome});
}

std::vector<RecordingDevice::Handled> RecordingDevice::takeHandled()
{
    std::vector<Handled> taken(std::make_move_iterator(m_handled.begin()), std::make_move_iterator(m_handled.end()));
    m_handled.clear();
    return taken;
}

std::string handledLine(const std::string &time, Protocol protocol, const RecordingDevice::Handled &handled)
{
    std::string what;
    if (protocol != Protocol::None) {
        const FrameMark mark{0, std::uint32_t(handled.request.size()), Direction::Request, Verdict::Good};
        const Description d = describe(protocol, handled.request, mark);
        if (d.direction == Direction::Request)
            what = d.summary;
    }
    if (what.empty())
        what = detail::hexBytes(handled.request);
    using Outcome = RecordingDevice::Handled::Outcome;
    const char *became = "";
    switch (handled.outcome) {
    case Outcome::Answering: became = "answered from the recording"; break;
    case Outcome::RecordedSilent: became = "recorded without an answer"; break;
    case Outcome::Unmatched: became = "not in the recording, no answer"; break;
    case Outcome::Dropped: became = "dropped: too many waiting"; break;
    }
    return time + " " + what + ": " + became;
}

std::optional<std::int64_t> RecordingDevice::nextDueUs() const
{
    if (m_waiting.empty())
        return std::nullopt;
    return std::max(m_waiting.front().dueUs, m_lineFreeUs);
}

std::optional<ByteVector> RecordingDevice::takeDue(std::int64_t nowUs)
{
    const auto due = nextDueUs();
    if (!due || *due > nowUs)
        return std::nullopt;
    ByteVector bytes = std::move(m_waiting.front().bytes);
    m_waiting.pop_front();
    m_lineFreeUs = nowUs + std::int64_t(bytes.size()) * m_options.byteTimeUs;
    ++m_counts.answered;
    return bytes;
}

std::vector<std::string> answerDifferences(Protocol protocol, std::span<const std::uint8_t> request,
                                           std::span<const std::uint8_t> recorded,
                                           std::span<const std::uint8_t> heard)
{
    if (std::equal(recorded.begin(), recorded.end(), heard.begin(), heard.end()))
        return {};
    const std::string bytesLine = "bytes: " + detail::hexBytes(recorded) + " -> " + detail::hexBytes(heard);
    if (protocol == Protocol::None)
        return {bytesLine};
    const FrameMark asked = markOf(protocol, request, Direction::Request);
    const std::span<const std::uint8_t> context = asked.verdict == Verdict::Good ? request : std::span<const std::uint8_t>{};
    const FrameMark recordedMark = markOf(protocol, recorded, Direction::Answer);
    const FrameMark heardMark = markOf(protocol, heard, Direction::Answer);
    // Bytes that are not one whole answer (cut short, no frame, or a frame
    // the decoder reads as a request) have no fields to compare.
    const auto anAnswer = [](const FrameMark &m) {
        return (m.verdict == Verdict::Good || m.verdict == Verdict::BadCheck) && m.direction != Direction::Request;
    };
    if (!anAnswer(recordedMark) || !anAnswer(heardMark))
        return {bytesLine};
    const Description before = describe(protocol, recorded, recordedMark, context);
    const Description after = describe(protocol, heard, heardMark, context);
    const auto was = leaves(before);
    const auto now = leaves(after);
    std::vector<std::string> fields, checks;
    const auto note = [&](const std::string &key, const std::string &from, const std::string &to) {
        (isCheckField(key) ? checks : fields).push_back(lineName(key) + ": " + from + " -> " + to);
    };
    // Named members rather than bindings: clang before 16 cannot capture a
    // structured binding in a lambda, and the fuzzers are built with clang.
    for (const auto &leaf : was) {
        const auto &key = leaf.first;
        const auto &field = leaf.second;
        const auto other = std::find_if(now.begin(), now.end(), [&](const auto &n) { return n.first == key; });
        if (other == now.end())
            note(key, field->value, "(none)");
        else if (other->second->value != field->value)
            note(key, field->value, other->second->value);
    }
    for (const auto &leaf : now) {
        if (std::none_of(was.begin(), was.end(), [&](const auto &w) { return w.first == leaf.first; }))
            note(leaf.first, "(none)", leaf.second->value);
    }
    if (!fields.empty())
        return fields;
    if (!checks.empty())
        return checks;
    return {bytesLine};
}

} // namespace protocol
