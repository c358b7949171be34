// The framers pass over noise in one step where their grammar says no frame
// can begin; the marks must be exactly those of a byte-by-byte scan.

#include "protocol/fx.h"
#include "protocol/mc.h"
#include "protocol/mewtocol.h"
#include "protocol/modbus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

using namespace protocol;
using namespace protocol::detail;

// The grammar it wraps, with no runs passed over.
class ByteByByte final : public Grammar {
public:
    explicit ByteByByte(std::unique_ptr<Grammar> inner) : inner_(std::move(inner)) {}
    Probe probe(Bytes bytes, bool boundary, bool final) override { return inner_->probe(bytes, boundary, final); }
    void marked(Bytes frame, const FrameMark &mark) override { inner_->marked(frame, mark); }

private:
    std::unique_ptr<Grammar> inner_;
};

// Noise of every byte value (and now and then a CR LF, which tells the
// computer link's format) with the protocol's own frames (the fuzzers'
// seeds) dropped in, handed over in pieces of random length: each mark with
// the piece after which it came out.
std::vector<std::pair<int, FrameMark>> framed(Framer &framer, const std::vector<std::vector<std::uint8_t>> &frames,
                                              unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 400; ++i) {
        for (int n = int(random() % 40); n > 0; --n)
            stream.push_back(std::uint8_t(random()));
        if (random() % 4 == 0)
            stream.insert(stream.end(), {'\r', '\n'});
        const auto &frame = frames[random() % frames.size()];
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    std::vector<std::pair<int, FrameMark>> marks;
    std::vector<FrameMark> out;
    for (std::size_t at = 0, piece = 0; at <= stream.size(); ++piece) {
        const std::size_t n = std::min<std::size_t>(1 + random() % 64, stream.size() - at);
        if (n > 0)
            framer.feed({stream.data() + at, n}, std::int64_t(piece) * 1000, out);
        else
            framer.finish(out);
        for (const FrameMark &m : out)
            marks.emplace_back(int(piece), m);
        out.clear();
        at += n > 0 ? n : 1;
    }
    return marks;
}

TEST(NoiseSkip, EveryProtocolMarksWhatAByteByByteScanMarks)
{
    const std::pair<const char *, std::unique_ptr<Grammar> (*)()> cases[] = {
        {"modbus-rtu", makeModbusRtuGrammar}, {"modbus-ascii", makeModbusAsciiGrammar},
        {"fx-programming", makeFxGrammar},    {"mc-ascii", makeMcGrammar},
        {"mewtocol", makeMewtocolGrammar},
    };
    for (const auto &[seeds, grammar] : cases) {
        std::vector<std::vector<std::uint8_t>> frames;
        for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::path(SEEDS_DIR) / seeds)) {
            std::ifstream in(entry.path(), std::ios::binary);
            frames.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        ASSERT_FALSE(frames.empty()) << seeds;
        for (unsigned seed = 1; seed <= 20; ++seed) {
            const auto fast = framed(*makeStreamFramer(grammar(), {}), frames, seed);
            const auto slow = framed(*makeStreamFramer(std::make_unique<ByteByByte>(grammar()), {}), frames, seed);
            ASSERT_EQ(fast, slow) << seeds << " seed " << seed;
            EXPECT_GT(std::count_if(fast.begin(), fast.end(), [](const auto &m) { return m.second.verdict == Verdict::Good; }), 100)
                << seeds << ": the frames dropped in are found";
        }
    }
}

} // namespace
