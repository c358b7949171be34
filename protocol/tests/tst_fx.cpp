// The FX programming port, on frames as its description writes them: STX
// command address(4) count(2) [data] ETX sum(2), the sum over the characters
// after STX up to and including ETX; answers STX data ETX sum, ACK or NAK.
#include "decoder_table.h"

namespace {

using namespace decoder_table;

const Bytes kEnq{0x05}, kAck{0x06}, kNak{0x15};
// Read 4 bytes at 10F6 (D123).
const Bytes kRead = text("\x02" "010F604" "\x03" "74");
// Its answer: D123 = 0x1234, D124 = 0.
const Bytes kAnswer = text("\x02" "34120000" "\x03" "8D");
// Write 2 bytes at 10F6: D123 = 0x1234.
const Bytes kWrite = text("\x02" "110F6023412" "\x03" "3D");
// Force Y10 on: 0x0508, low byte first.
const Bytes kForce = text("\x02" "70805" "\x03" "07");

TEST(FxFraming, Table)
{
    const auto R = Direction::Request, A = Direction::Answer, U = Direction::Unknown;
    const auto Good = Verdict::Good;
    checkFraming(Protocol::FxProgramming, {
        {"read request", {kRead}, {{0, 11, R, Good}}},
        {"answer", {kAnswer}, {{0, 12, A, Good}}},
        {"ENQ, ACK, NAK", {kEnq + kAck + kNak}, {{0, 1, R, Good}, {1, 1, A, Good}, {2, 1, A, Good}}},
        {"bad sum", {text("\x02" "010F604" "\x03" "75")}, {{0, 11, R, Verdict::BadCheck}}},
        {"lower-case sum", {text("\x02" "34120000" "\x03" "8d")}, {{0, 12, A, Verdict::BadCheck}}},
        {"truncated, then cut", {text("\x02" "010F6")}, {{0, 6, U, Verdict::Cut}}, 0},
        {"ETX without its sum yet", {text("\x02" "010F604" "\x03" "7")}, {{0, 10, U, Verdict::Cut}}, 0},
        {"split across arrivals", {text("\x02" "01"), text("0F604\x03"), text("74")}, {{0, 11, R, Good}}},
        {"a whole exchange glued", {kEnq + kAck + kRead + kAnswer},
         {{0, 1, R, Good}, {1, 1, A, Good}, {2, 11, R, Good}, {13, 12, A, Good}}},
        {"write and its ACK", {kWrite + kAck}, {{0, 15, R, Good}, {15, 1, A, Good}}},
        {"force and E00", {kForce + text("\x02" "E00800004" "\x03" "D4")}, {{0, 9, R, Good}, {9, 13, R, Good}}},
        {"garbage before", {text("xyz") + kRead}, {{0, 3, U, Verdict::Unrecognised}, {3, 11, R, Good}}},
        {"odd text of no command: direction left open", {text("\x02" "9AB" "\x03" "BF")}, {{0, 7, U, Good}}},
        {"write whose data do not match its count", {text("\x02" "110F6013412" "\x03" "3C")}, {{0, 15, U, Good}}},
        {"no hex after ETX", {text("\x02" "0123" "\x03" "ZZ") + kEnq},
         {{0, 8, U, Verdict::Unrecognised}, {8, 1, R, Good}}},
        {"control character inside", {text("\x02" "01\x01" "0F604" "\x03" "74")},
         {{0, 12, U, Verdict::Unrecognised}}},
        {"a text longer than any frame", {text("\x02") + Bytes(600, 'A') + text("\x03" "00") + kEnq},
         {{0, 604, U, Verdict::Unrecognised}, {604, 1, R, Good}}},
    });
}

TEST(FxFraming, AbandonedFrameCutAtTheReplyTimeout)
{
    auto framer = protocol::makeFramer(Protocol::FxProgramming, {.replyTimeoutUs = 1000});
    std::vector<FrameMark> marks;
    framer->feed(text("\x02" "010"), 0, marks);
    framer->idle(1000, marks);
    EXPECT_TRUE(marks.empty());
    framer->idle(1001, marks);
    EXPECT_EQ(marks, (std::vector<FrameMark>{{0, 4, Direction::Unknown, Verdict::Cut}}));
    EXPECT_EQ(framer->pending(), 0);
}

TEST(FxDescription, Table)
{
    const auto R = Direction::Request, A = Direction::Answer;
    const auto Good = Verdict::Good;
    checkDescribed(Protocol::FxProgramming, {
        {"read", kRead, R, Good, {}, "request", "", "0", "10F6", "4", "", "Read 4 bytes at D123 (10F6)"},
        {"its answer", kAnswer, A, Good, kRead, "answer", "", "0", "10F6", "4", "34 12 00 00",
         "Answer: 34 12 00 00"},
        {"an answer alone", kAnswer, A, Good, {}, "answer", "", "", "", "", "34 12 00 00", "Answer: 34 12 00 00"},
        {"write", kWrite, R, Good, {}, "request", "", "1", "10F6", "2", "34 12",
         "Write 2 bytes at D123 (10F6): 34 12"},
        {"ACK of the write", kAck, A, Good, kWrite, "answer", "", "1", "10F6", "2", "", "ACK"},
        {"NAK of the read", kNak, A, Good, kRead, "nak", "", "0", "10F6", "4", "", "NAK"},
        {"ENQ", kEnq, R, Good, {}, "request", "", "ENQ", "", "", "", "ENQ"},
        {"ACK of the ENQ", kAck, A, Good, kEnq, "answer", "", "ENQ", "", "", "", "ACK"},
        {"force on", kForce, R, Good, {}, "request", "", "7", "0805", "", "", "Force on Y10 (0805)"},
        {"force off M8", text("\x02" "80808" "\x03" "0B"), R, Good, {}, "request", "", "8", "0808", "", "",
         "Force off M8 (0808)"},
        {"E00", text("\x02" "E00800004" "\x03" "D4"), R, Good, {}, "request", "", "E00", "8000", "4", "",
         "Read (E00) 4 bytes at 8000"},
        {"timer read", text("\x02" "0080A02" "\x03" "6E"), R, Good, {}, "request", "", "0", "080A", "2", "",
         "Read 2 bytes at T5 (080A)"},
        // The ends of the areas named.
        {"last D named", text("\x02" "017FE02" "\x03" "88"), R, Good, {}, "request", "", "0", "17FE", "2", "",
         "Read 2 bytes at D1023 (17FE)"},
        {"past the D area", text("\x02" "0180002" "\x03" "5E"), R, Good, {}, "request", "", "0", "1800", "2", "",
         "Read 2 bytes at 1800"},
        {"last counter named", text("\x02" "00B8E02" "\x03" "84"), R, Good, {}, "request", "", "0", "0B8E", "2", "",
         "Read 2 bytes at C199 (0B8E)"},
        {"past the counters", text("\x02" "00B9002" "\x03" "70"), R, Good, {}, "request", "", "0", "0B90", "2", "",
         "Read 2 bytes at 0B90"},
        {"bad sum", text("\x02" "010F604" "\x03" "75"), R, Verdict::BadCheck, {}, "bad check", "", "0", "10F6", "4",
         "", "Bad check: Read 4 bytes at D123 (10F6)"},
        {"cut", text("\x02" "010"), Direction::Unknown, Verdict::Cut, {}, "unrecognised", "", "", "", "", "",
         "Cut: 4 bytes of a frame not completed within the reply timeout"},
        {"an answer's bytes told to be a request", kAnswer, R, Good, {}, "request", "", "", "", "", "",
         "Frame: 34120000"},
        {"a request's bytes told to be an answer", kRead, A, Good, {}, "answer", "", "", "", "", "",
         "Answer: 010F604"},
    });
}

TEST(FxDescription, WordsOfTheDevicesRead)
{
    const auto d = protocol::describe(Protocol::FxProgramming, kAnswer, {0, 12, Direction::Answer}, kRead);
    EXPECT_EQ(fieldValue(d, "D123"), "4660");
    EXPECT_EQ(fieldValue(d, "D124"), "0");
    EXPECT_EQ(fieldValue(d, "Sum"), "8D (ok)");
    const auto bad = protocol::describe(Protocol::FxProgramming, text("\x02" "010F604" "\x03" "75"),
                                        {0, 11, Direction::Request, Verdict::BadCheck});
    EXPECT_EQ(fieldValue(bad, "Sum"), "75 (bad, expected 74)");
    // One pairing key for the whole conversation.
    EXPECT_EQ(protocol::pairingKey(Protocol::FxProgramming, kAck, {0, 1, Direction::Answer}),
              protocol::pairingKey(Protocol::FxProgramming, kRead, {0, 11, Direction::Request}));
    EXPECT_FALSE(protocol::pairingKey(Protocol::FxProgramming, text("xy"), {0, 2, Direction::Unknown, Verdict::Unrecognised}));
}

} // namespace

TEST(FxDescription, BytesThatAreNoFrameNamedAndCountedByTheirMark)
{
    const auto bytes = text("\x02" "010");
    const std::span<const std::uint8_t> frame(bytes.data(), bytes.size());
    const protocol::Description cut = protocol::describe(protocol::Protocol::FxProgramming, frame,
                                                         {0, 4, Direction::Unknown, Verdict::Cut}, {});
    ASSERT_EQ(cut.fields.size(), 1u);
    EXPECT_EQ(cut.fields[0].name, "Incomplete frame");
    EXPECT_EQ(cut.fields[0].value, "02 30 31 30");
    // A long run given in part: counted by its mark, its field the bytes given.
    const protocol::Description run = protocol::describe(protocol::Protocol::FxProgramming, frame.first(2),
                                                         {0, 5000, Direction::Unknown, Verdict::Unrecognised}, {});
    ASSERT_EQ(run.fields.size(), 1u);
    EXPECT_EQ(run.fields[0].name, "Unrecognised bytes");
    EXPECT_EQ(run.fields[0].value, "02 30 ...");
    EXPECT_EQ(run.fields[0].end, 2u);
    EXPECT_EQ(run.summary, "Unrecognised: 5000 bytes");
}
