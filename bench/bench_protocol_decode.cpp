// Re-decode rate of the protocol framers: how fast a stored capture is cut
// into frames again when a protocol is chosen. Prints MB/s, best of 3, by
// the clock and by the process's CPU time (which a machine shared with other
// work leaves nearer the truth), and a digest of the marks, so that a faster
// framer is seen to cut the same frames. Then, on each input, the rate of a
// walk that reads every frame's facts (as the statistics and the row filter
// do), an answer with the request before it, and of the framing and that
// walk together: re-decoding what is stored.
#include "protocol/protocol.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// MB/s of CPU time, best of 3, of reading the facts of every frame of
// `input` (framed once beforehand).
double factsRate(protocol::Protocol protocol, const std::vector<std::uint8_t> &input)
{
    auto framer = protocol::makeFramer(protocol);
    std::vector<protocol::FrameMark> marks;
    framer->feed(input, 0, marks);
    framer->finish(marks);
    double best = 0;
    std::size_t kept = 0;
    for (int round = 0; round < 3; ++round) {
        const std::clock_t cpuStart = std::clock();
        std::span<const std::uint8_t> request;
        for (const protocol::FrameMark &m : marks) {
            const auto frame = std::span(input).subspan(std::size_t(m.begin), m.length);
            const protocol::Facts facts = protocol::factsOf(
                protocol, frame, m, m.direction == protocol::Direction::Answer ? request : std::span<const std::uint8_t>{});
            kept += facts.unit.size() + facts.function.size();
            if (m.direction == protocol::Direction::Request)
                request = frame;
        }
        const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        best = std::max(best, input.size() / 1e6 / std::max(cpuSeconds, 1e-6));
    }
    // Kept, so that the walk is not optimised away.
    if (kept == 1)
        std::puts("");
    return best;
}

} // namespace

int main()
{
    constexpr std::size_t kSize = 64u << 20, kChunk = 64u << 10;
    std::vector<std::uint8_t> noise(kSize);
    std::uint32_t seed = 7;
    for (auto &b : noise)
        b = std::uint8_t((seed = seed * 1103515245 + 12345) >> 16);
    // An exchange of each protocol, repeated to fill the stream.
    const auto text = [](std::string_view chars) { return std::vector<std::uint8_t>(chars.begin(), chars.end()); };
    const struct {
        protocol::Protocol protocol;
        std::vector<std::uint8_t> exchange;
    } inputs[] = {
        {protocol::Protocol::ModbusRtu, {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87,
                                         0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64, 0xC8, 0xBA}},
        {protocol::Protocol::ModbusAscii, text(":1103006B00037E\r\n")},
        {protocol::Protocol::FxProgramming, text("\x05\x06\x02" "010F604" "\x03" "74\x02" "34120000" "\x03" "8D")},
        {protocol::Protocol::McAscii, text("\x05" "00FFWR0D000002" "2B\x02" "00FF12340ABC" "\x03" "AF")},
        {protocol::Protocol::Mewtocol, text("%01#RDD0010000101" "54\r%01$RD6400C800" "6F\r")},
    };
    for (const auto &[protocol, exchange] : inputs) {
        std::vector<std::uint8_t> frames;
        while (frames.size() + exchange.size() <= kSize)
            frames.insert(frames.end(), exchange.begin(), exchange.end());
        // The frames with a byte in 61 changed: bad checks, cut frames and
        // resynchronisation, for the digest rather than the rate.
        std::vector<std::uint8_t> damaged = frames;
        for (std::size_t at = 0; at < damaged.size(); at += 61)
            damaged[at] = noise[at];
        for (const auto *input : {&noise, &frames, &damaged}) {
            double best = 0, bestCpu = 0;
            std::size_t marks = 0;
            std::uint64_t digest = 0;
            for (int round = 0; round < 3; ++round) {
                auto framer = protocol::makeFramer(protocol);
                std::vector<protocol::FrameMark> out;
                const auto start = std::chrono::steady_clock::now();
                const std::clock_t cpuStart = std::clock();
                for (std::size_t at = 0; at < input->size(); at += kChunk)
                    framer->feed(std::span(*input).subspan(at, std::min(kChunk, input->size() - at)), 0, out);
                framer->finish(out);
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
                best = std::max(best, input->size() / 1e6 / seconds);
                bestCpu = std::max(bestCpu, input->size() / 1e6 / std::max(cpuSeconds, 1e-6));
                marks = out.size();
                digest = 1469598103934665603u;
                for (const protocol::FrameMark &m : out)
                    for (const std::uint64_t v : {std::uint64_t(m.begin), std::uint64_t(m.length),
                                                  std::uint64_t(m.direction), std::uint64_t(m.verdict)})
                        digest = (digest ^ v) * 1099511628211u;
            }
            std::printf("%-15s %-7s %8.1f MB/s, %8.1f MB/s of CPU time  (%zu marks, digest %016llx)\n",
                        std::string(protocol::settingName(protocol)).c_str(), input == &noise ? "noise" : input == &frames ? "frames" : "damaged", best,
                        bestCpu, marks, static_cast<unsigned long long>(digest));
            const double factsCpu = factsRate(protocol, *input);
            std::printf("%-15s %-7s facts %8.1f MB/s of CPU time; framing and facts %8.1f MB/s of CPU time\n", "", "",
                        factsCpu, 1 / (1 / bestCpu + 1 / factsCpu));
        }
    }
}
