// The short cuts a re-decode and a walk over every frame take must give
// what the long way gives: the CRC eight bytes at a step against the bit by
// bit definition, noise passed over at once against a probe at every byte,
// and a frame's facts against its full description.
#include "protocol/checks.h"
#include "protocol/fx.h"
#include "protocol/mc.h"
#include "protocol/mewtocol.h"
#include "protocol/modbus.h"
#include "protocol/protocol.h"
#include "written_bytes.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using protocol::Direction;
using protocol::FrameMark;
using protocol::Protocol;
using written_bytes::Bytes;
// The CRC as its definition gives it: a bit at a step.
using written_bytes::crcBitByBit;
using written_bytes::hex;
using written_bytes::text;

struct Random {
    std::uint32_t seed;
    std::uint32_t next() { return (seed = seed * 1103515245 + 12345) >> 8; }
    std::uint8_t byte() { return std::uint8_t(next()); }
};

TEST(QuickCrc, AgreesWithTheDefinitionAtEveryLengthAndSplit)
{
    Random random{11};
    for (std::size_t length = 0; length <= 40; ++length) {
        Bytes bytes(length);
        for (auto &b : bytes)
            b = random.byte();
        const std::uint16_t expected = crcBitByBit(bytes);
        EXPECT_EQ(protocol::modbusCrc16(bytes), expected) << length << " bytes";
        // Gone on with from any point, the CRC of the whole.
        for (std::size_t split = 0; split <= length; ++split) {
            const std::span<const std::uint8_t> all(bytes);
            EXPECT_EQ(protocol::modbusCrc16(all.subspan(split), protocol::modbusCrc16(all.first(split))), expected)
                << length << " bytes split at " << split;
        }
    }
}

// A grammar probed at every byte: the long way the framer went before it
// passed over noise.
class EveryByte final : public protocol::detail::Grammar {
public:
    explicit EveryByte(std::unique_ptr<Grammar> grammar) : m_grammar(std::move(grammar)) {}
    protocol::detail::Probe probe(protocol::Bytes bytes, bool boundary, bool final) override
    {
        return m_grammar->probe(bytes, boundary, final);
    }
    void marked(protocol::Bytes frame, const FrameMark &mark) override { m_grammar->marked(frame, mark); }

private:
    std::unique_ptr<Grammar> m_grammar;
};

struct Grammars {
    Protocol protocol;
    std::function<std::unique_ptr<protocol::detail::Grammar>()> make;
    std::vector<Bytes> frames; // what the streams are made of, with noise
};

// The longest RTU frame: 256 bytes, a report of 251 bytes.
Bytes longestRtuFrame()
{
    Bytes frame{0x01, 0x11, 251};
    for (int i = 0; i < 251; ++i)
        frame.push_back(std::uint8_t(i * 7));
    return written_bytes::withCrc(frame);
}

std::vector<Grammars> grammars()
{
    using namespace protocol::detail;
    return {
        {Protocol::ModbusRtu, makeModbusRtuGrammar,
         {hex("01 03 00 00 00 0A C5 CD"),
          hex("01 03 14 00 64 00 65 00 66 00 67 00 68 00 69 00 6A 00 6B 00 6C 00 6D 63 D1"),
          hex("11 83 02 C1 34"), hex("11 03 00 6B 00 03 76 87"), hex("01 06 00 05 04 D2 1B 56"),
          hex("01 10 00 05 00 02 04 00 07 00 08 D2 0A"), hex("01 2B 0E 01 00 70 77"), longestRtuFrame()}},
        {Protocol::ModbusAscii, makeModbusAsciiGrammar, {text(":1103006B00037E\r\n"), text(":118302XX\r\n")}},
        // Every kind of frame each protocol has, so that the facts are
        // compared on each path of its description.
        {Protocol::FxProgramming, makeFxGrammar,
         {text("\x05"), text("\x06"), text("\x15"), text("\x02" "010F604" "\x03" "74"),
          text("\x02" "34120000" "\x03" "8D"), text("\x02" "E00800002" "\x03" "D2"),
          text("\x02" "70805" "\x03" "07"), text("\x02" "110F6023412" "\x03" "3D"),
          text("\x02" "E10800001AB" "\x03" "55"), text("\x02" "3412" "\x03" "CD")}},
        {Protocol::McAscii, makeMcGrammar,
         {text("\x05" "00FFWR0D000002" "2B"), text("\x02" "00FF12340ABC" "\x03" "AF"),
          text("\x05" "00FFBR0X0000052D\r\n"), text("\x02" "00FF10110" "\x03" "E2\r\n"),
          text("\x05" "00FFWW0D00000212345678D4"), text("\x06" "00FF"), text("\x06" "00FF\r\n"),
          text("\x15" "00FF0002")}},
        {Protocol::Mewtocol, makeMewtocolGrammar,
         {text("%01#RDD0010000101" "54\r"), text("%01$RD6400C800" "6F\r"), text("%01#RCSX0001" "1C\r"),
          text("%01$RC1" "20\r"), text("%01!42" "03\r"), text("%01$RD0100" "17&\r"),
          text("%010200" "26\r"), text("%01**&\r"), text("%01#WDD001000010134127856" "59\r"),
          text("%01$WD" "13\r"), text("%01#RT" "01\r"), text("%01$RT0102" "05\r")}},
    };
}

// A stream of frames, some with a byte changed, some cut short, between
// runs of noise; fed in arrivals of random sizes, some after a silence
// longer than the reply timeout (where a frame with a bad check counts).
struct Stream {
    Bytes bytes;
    std::vector<std::size_t> cuts;    // where each arrival ends
    std::vector<bool> afterSilence;  // of each arrival
};

Stream makeStream(const std::vector<Bytes> &frames, Random &random, std::size_t size)
{
    Stream s;
    while (s.bytes.size() < size) {
        const std::uint32_t what = random.next() % 8;
        if (what < 2) {
            for (std::uint32_t n = random.next() % 300; n > 0; --n)
                s.bytes.push_back(random.byte());
            continue;
        }
        Bytes frame = frames[random.next() % frames.size()];
        if (what == 2)
            frame[random.next() % frame.size()] ^= std::uint8_t(1 + random.next() % 255);
        if (what == 3)
            frame.resize(random.next() % frame.size());
        s.bytes.insert(s.bytes.end(), frame.begin(), frame.end());
    }
    for (std::size_t at = 0; at < s.bytes.size();) {
        at = std::min(s.bytes.size(), at + 1 + random.next() % 700);
        s.cuts.push_back(at);
        s.afterSilence.push_back(random.next() % 5 == 0);
    }
    return s;
}

std::vector<FrameMark> frame(std::unique_ptr<protocol::detail::Grammar> grammar, const Stream &s)
{
    auto framer = protocol::detail::makeStreamFramer(std::move(grammar), {.replyTimeoutUs = 1000});
    std::vector<FrameMark> marks;
    std::int64_t now = 0;
    std::size_t from = 0;
    for (std::size_t i = 0; i < s.cuts.size(); ++i) {
        now += s.afterSilence[i] ? 5000 : 10;
        framer->feed(std::span(s.bytes).subspan(from, s.cuts[i] - from), now, marks);
        from = s.cuts[i];
    }
    framer->finish(marks);
    return marks;
}

TEST(PassingOverNoise, CutsTheFramesAProbeAtEveryByteCuts)
{
    for (const Grammars &g : grammars()) {
        Random random{std::uint32_t(g.protocol) * 7919u + 3};
        for (int round = 0; round < 60; ++round) {
            const Stream s = makeStream(g.frames, random, 4000);
            EXPECT_EQ(frame(g.make(), s), frame(std::make_unique<EveryByte>(g.make()), s))
                << protocol::settingName(g.protocol) << " round " << round;
        }
    }
}

TEST(PassingOverNoise, EndsALongRunWhereTheLongWayDoes)
{
    // More noise than a mark holds, with a frame whose check fails after a
    // silence just before the end (a candidate the scan must not pass).
    Random random{5};
    Stream s;
    for (std::size_t i = 0; i < (1u << 20) + 1000; ++i)
        s.bytes.push_back(random.byte());
    s.cuts = {s.bytes.size()};
    s.afterSilence = {false};
    const Bytes bad = hex("01 03 14 00 64 00 65 00 66 00 67 00 68 00 69 00 6A 00 6B 00 6C 00 6D 63 D2");
    s.bytes.insert(s.bytes.end(), bad.begin(), bad.end());
    for (int i = 0; i < 40; ++i)
        s.bytes.push_back(random.byte());
    s.cuts.push_back(s.bytes.size());
    s.afterSilence.push_back(true);
    const auto marks = frame(protocol::detail::makeModbusRtuGrammar(), s);
    EXPECT_EQ(marks, frame(std::make_unique<EveryByte>(protocol::detail::makeModbusRtuGrammar()), s));
    ASSERT_GE(marks.size(), 2u);
    EXPECT_EQ(marks[0].length, 1u << 20);
}

TEST(Facts, SayWhatTheDescriptionSaysAndTheKeyIsInTheFirstBytes)
{
    for (const Grammars &g : grammars()) {
        Random random{std::uint32_t(g.protocol) * 104729u + 1};
        for (int round = 0; round < 40; ++round) {
            const Stream s = makeStream(g.frames, random, 3000);
            const auto marks = frame(g.make(), s);
            std::span<const std::uint8_t> request;
            for (const FrameMark &mark : marks) {
                const std::span<const std::uint8_t> bytes(s.bytes.data() + mark.begin, mark.length);
                for (const Direction direction :
                     {mark.direction, Direction::Unknown, Direction::Request, Direction::Answer}) {
                    FrameMark told = mark;
                    told.direction = direction;
                    EXPECT_EQ(protocol::factsOf(g.protocol, bytes, told, request),
                              protocol::factsOf(protocol::describe(g.protocol, bytes, told, request)))
                        << protocol::settingName(g.protocol) << " frame at " << mark.begin;
                }
                // The pairing reads the key from the first bytes only.
                EXPECT_EQ(protocol::pairingKey(g.protocol, bytes, mark),
                          protocol::pairingKey(g.protocol, bytes.first(std::min<std::size_t>(bytes.size(), 8)), mark))
                    << protocol::settingName(g.protocol) << " frame at " << mark.begin;
                if (mark.direction == Direction::Request)
                    request = bytes;
            }
        }
    }
}

TEST(Facts, OfModbusFrames)
{
    const struct {
        const char *name;
        Protocol protocol;
        Bytes frame;
        protocol::Verdict verdict;
        Direction direction;
        protocol::Facts facts;
    } rows[] = {
        {"read", Protocol::ModbusRtu, hex("11 03 00 6B 00 03 76 87"), protocol::Verdict::Good, Direction::Request,
         {Direction::Request, protocol::Status::Request, "", "17", "3"}},
        {"exception", Protocol::ModbusRtu, hex("11 83 02 C1 34"), protocol::Verdict::Good, Direction::Answer,
         {Direction::Answer, protocol::Status::Exception, "2", "17", "3"}},
        {"bad check", Protocol::ModbusRtu, hex("11 83 02 C1 35"), protocol::Verdict::BadCheck, Direction::Answer,
         {Direction::Answer, protocol::Status::BadCheck, "2", "17", "3"}},
        {"too short", Protocol::ModbusRtu, hex("11 83 02"), protocol::Verdict::BadCheck, Direction::Answer,
         {Direction::Answer, protocol::Status::BadCheck, "", "", ""}},
        {"noise", Protocol::ModbusRtu, hex("FF 00"), protocol::Verdict::Unrecognised, Direction::Unknown, {}},
        {"ascii read", Protocol::ModbusAscii, text(":1103006B00037E\r\n"), protocol::Verdict::Good,
         Direction::Request, {Direction::Request, protocol::Status::Request, "", "17", "3"}},
        {"ascii no hex", Protocol::ModbusAscii, text(":11030G6B00037E\r\n"), protocol::Verdict::BadCheck,
         Direction::Unknown, {Direction::Unknown, protocol::Status::BadCheck, "", "", ""}},
    };
    for (const auto &row : rows) {
        const FrameMark mark{0, std::uint32_t(row.frame.size()), row.direction, row.verdict};
        EXPECT_EQ(protocol::factsOf(row.protocol, row.frame, mark), row.facts) << row.name;
    }
}

} // namespace
