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

struct Case {
    const char *seeds;
    std::unique_ptr<Grammar> (*grammar)();
};

std::vector<std::uint8_t> fileBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Noise of every byte value (and now and then a CR LF, which tells the
// computer link's format) with the protocol's own frames (the fuzzers'
// seeds) dropped in, the stream handed over in pieces of random length.
// Each mark with the number of the piece after which it came out.
std::vector<std::pair<int, FrameMark>> framed(Framer &framer, const std::vector<std::vector<std::uint8_t>> &frames,
                              unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 400; ++i) {
        const int noise = int(random() % 40);
        for (int n = 0; n < noise; ++n)
            stream.push_back(std::uint8_t(random()));
        if (random() % 4 == 0)
            stream.insert(stream.end(), {'\r', '\n'});
        const auto &frame = frames[random() % frames.size()];
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    std::vector<std::pair<int, FrameMark>> marks;
    std::vector<FrameMark> out;
    std::int64_t us = 0;
    int piece = 0;
    const auto take = [&] {
        for (const FrameMark &m : out)
            marks.emplace_back(piece, m);
        out.clear();
        ++piece;
    };
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(1 + random() % 64, stream.size() - at);
        framer.feed({stream.data() + at, n}, us += 1000, out);
        take();
        at += n;
    }
    framer.finish(out);
    take();
    return marks;
}

TEST(NoiseSkip, EveryProtocolMarksWhatAByteByByteScanMarks)
{
    const Case cases[] = {
        {"modbus-rtu", makeModbusRtuGrammar}, {"modbus-ascii", makeModbusAsciiGrammar},
        {"fx-programming", makeFxGrammar},    {"mc-ascii", makeMcGrammar},
        {"mewtocol", makeMewtocolGrammar},
    };
    for (const Case &c : cases) {
        std::vector<std::vector<std::uint8_t>> frames;
        for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::path(SEEDS_DIR) / c.seeds))
            frames.push_back(fileBytes(entry.path()));
        ASSERT_FALSE(frames.empty()) << c.seeds;
        for (unsigned seed = 1; seed <= 20; ++seed) {
            const auto skipping = makeStreamFramer(c.grammar(), {});
            const auto scanning = makeStreamFramer(std::make_unique<ByteByByte>(c.grammar()), {});
            const auto fast = framed(*skipping, frames, seed);
            const auto slow = framed(*scanning, frames, seed);
            ASSERT_EQ(fast.size(), slow.size()) << c.seeds << " seed " << seed;
            for (std::size_t i = 0; i < fast.size(); ++i) {
                ASSERT_EQ(fast[i].first, slow[i].first) << c.seeds << " seed " << seed << " mark " << i;
                ASSERT_EQ(fast[i].second, slow[i].second) << c.seeds << " seed " << seed << " mark " << i;
            }
            const auto good = std::count_if(fast.begin(), fast.end(),
                                            [](const auto &m) { return m.second.verdict == Verdict::Good; });
            EXPECT_GT(good, 100) << c.seeds << ": the frames dropped in are found";
        }
    }
}

} // namespace
