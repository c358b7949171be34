// libFuzzer: any bytes, cut into arrivals at points the input chooses, go
// through a protocol's framer and every frame through describe(). The marks
// cover the stream in order, without gaps or overlaps, each within the
// longest frame the protocol has; what waits for the rest of a frame stays
// bounded; describe() names fields only inside its frame and never throws;
// factsOf() says what the description says.
//
// Built once per protocol, FUZZ_PROTOCOL naming it (see CMakeLists.txt).
#include "protocol/protocol.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

namespace {

constexpr protocol::Protocol kProtocol = protocol::Protocol::FUZZ_PROTOCOL;

// Longer than any frame of any protocol (MEWTOCOL's 2048 characters), and
// the longest run of unrecognised bytes a mark holds.
constexpr std::int64_t kLongestFrame = 2048;
constexpr std::int64_t kLongestRun = 1 << 20;

[[noreturn]] void fail(const char *what, std::int64_t at)
{
    std::fprintf(stderr, "%s at %lld\n", what, static_cast<long long>(at));
    std::abort();
}

void checkDescription(const std::vector<std::uint8_t> &stream, const protocol::FrameMark &mark,
                      const protocol::FrameMark *request)
{
    const std::span<const std::uint8_t> frame(stream.data() + mark.begin, mark.length);
    std::span<const std::uint8_t> asked;
    if (request)
        asked = std::span<const std::uint8_t>(stream.data() + request->begin, request->length);
    // Also read the frame the other way round: the pairing may decide a
    // direction the framer left open.
    for (const protocol::Direction direction :
         {mark.direction, protocol::Direction::Answer, protocol::Direction::Request}) {
        protocol::FrameMark told = mark;
        told.direction = direction;
        try {
            const protocol::Description d = protocol::describe(kProtocol, frame, told, asked);
            for (const protocol::Field &field : d.fields)
                if (field.begin > field.end || field.end > frame.size())
                    fail("a field outside its frame", mark.begin);
            if (protocol::factsOf(kProtocol, frame, told, asked) != protocol::factsOf(d))
                fail("facts other than the description's", mark.begin);
            (void)protocol::pairingKey(kProtocol, frame, told);
        } catch (const std::exception &e) {
            fail(e.what(), mark.begin);
        } catch (...) {
            fail("describe threw", mark.begin);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte seeds where the stream is cut into arrivals and which
    // arrivals come after a silence longer than the reply timeout.
    std::uint32_t seed = data[0] * 2654435761u + 1;
    const std::vector<std::uint8_t> stream(data + 1, data + size);
    const auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };

    auto framer = protocol::makeFramer(kProtocol, {.replyTimeoutUs = 1000});
    if (!framer)
        std::abort();
    std::vector<protocol::FrameMark> marks;
    std::int64_t now = 0;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t chunk = std::min<std::size_t>(stream.size() - at, 1 + next() % 64);
        now += next() % 8 == 0 ? 2000 : 10;
        if (next() % 16 == 0)
            framer->idle(now, marks), now += 1;
        framer->feed(std::span(stream).subspan(at, chunk), now, marks);
        at += chunk;
        if (framer->pending() > 2 * kLongestFrame + 64)
            fail("pending beyond a frame", std::int64_t(at));
    }
    framer->finish(marks);
    if (framer->pending() != 0)
        fail("bytes left after finish", 0);

    std::int64_t covered = 0;
    const protocol::FrameMark *request = nullptr;
    for (const protocol::FrameMark &mark : marks) {
        if (mark.begin != covered)
            fail("marks not contiguous", mark.begin);
        if (mark.length == 0)
            fail("an empty mark", mark.begin);
        const std::int64_t longest =
            mark.verdict == protocol::Verdict::Unrecognised ? kLongestRun : kLongestFrame;
        if (mark.length > longest)
            fail("a mark longer than any frame", mark.begin);
        covered = mark.end();
        if (covered > std::int64_t(stream.size()))
            fail("a mark past the stream", mark.begin);
        checkDescription(stream, mark, request);
        if (mark.direction == protocol::Direction::Request)
            request = &mark;
    }
    if (covered != std::int64_t(stream.size()))
        fail("bytes no mark covers", covered);
    return 0;
}
