#include "decoder_table.h"

namespace {

using namespace decoder_table;
using written_bytes::hex;

TEST(ModbusFraming, Table)
{
    const auto R = Direction::Request, A = Direction::Answer, U = Direction::Unknown;
    const auto request = hex("01 03 00 00 00 0A C5 CD");
    const auto asciiRequest = text(":1103006B00037E\r\n");
    checkFraming(Protocol::ModbusRtu, {
        {"good request", {request}, {{0, 8, R, Verdict::Good}}},
        {"bad check after a frame", {request, hex("01 03 00 00 00 0A C5 CC")},
         {{0, 8, R, Verdict::Good}, {8, 8, R, Verdict::BadCheck}}, 1},
        {"exception answer", {hex("01 83 02 C0 F1")}, {{0, 5, A, Verdict::Good}}},
        {"truncated, then cut", {hex("01 03 00 00 00")}, {{0, 5, U, Verdict::Cut}}, 0},
        {"split across arrivals", {hex("11 03 06 02"), hex("2B 00 00 00 64 C8"), hex("BA")},
         {{0, 11, A, Verdict::Good}}},
        {"request and answer glued (bus tap)", {hex("11 03 00 6B 00 03 76 87 11 03 06 02 2B 00 00 00 64 C8 BA")},
         {{0, 8, R, Verdict::Good}, {8, 11, A, Verdict::Good}}},
        {"garbage before", {hex("FF 00 FE 01 03 00 00 00 0A C5 CD")},
         {{0, 3, U, Verdict::Unrecognised}, {3, 8, R, Verdict::Good}}},
    });
    checkFraming(Protocol::ModbusAscii, {
        {"ascii good", {asciiRequest}, {{0, 17, R, Verdict::Good}}},
        {"ascii bad lrc", {text(":1103006B00037F\r\n")}, {{0, 17, R, Verdict::BadCheck}}},
        {"ascii split, garbage before, glued", {text("xy:1103006B"), text("00037E\r\n:1103006B00037E\r\n")},
         {{0, 2, U, Verdict::Unrecognised}, {2, 17, R, Verdict::Good}, {19, 17, R, Verdict::Good}}},
        {"ascii truncated", {text(":1103006B")}, {{0, 9, U, Verdict::Cut}}, 0},
        {"ascii not hex", {text(":11G3\r\n")}, {{0, 7, U, Verdict::Unrecognised}}},
    });
}

TEST(ModbusFraming, ReplyTimeoutCutsAnAbandonedFrame)
{
    auto framer = protocol::makeFramer(Protocol::ModbusRtu, {.replyTimeoutUs = 1000});
    std::vector<FrameMark> marks;
    framer->feed(hex("01 03 00"), 0, marks);
    framer->idle(1000, marks);
    EXPECT_TRUE(marks.empty());
    EXPECT_EQ(framer->pending(), 3);
    framer->feed(hex("01 03 00 00 00 0A C5 CD"), 1001, marks);
    EXPECT_EQ(marks, (std::vector<FrameMark>{{0, 3, Direction::Unknown, Verdict::Cut}, {3, 8, Direction::Request, Verdict::Good}}));
}

TEST(ModbusFraming, NoiseNeverGrowsThePending)
{
    auto framer = protocol::makeFramer(Protocol::ModbusRtu);
    std::vector<FrameMark> marks;
    std::vector<std::uint8_t> noise(4096);
    std::uint32_t seed = 1;
    for (int round = 0; round < 256; ++round) {
        for (auto &b : noise)
            b = std::uint8_t((seed = seed * 1103515245 + 12345) >> 16);
        framer->feed(noise, round, marks);
        ASSERT_LE(framer->pending(), 256 + 4096);
    }
    framer->finish(marks);
    std::int64_t covered = 0;
    for (const FrameMark &m : marks) {
        ASSERT_EQ(m.begin, covered);
        covered = m.end();
    }
    EXPECT_EQ(covered, 256 * 4096);
}

TEST(ModbusDescription, Table)
{
    const auto R = Direction::Request, A = Direction::Answer;
    const auto read = hex("01 03 00 00 00 0A C5 CD");
    checkDescribed(Protocol::ModbusRtu, {
        {"read request", read, R, Verdict::Good, {}, "request", "1", "3", "0", "10", "",
         "Read holding registers 0-9, unit 1"},
        {"read answer", hex("01 03 14 00 64 00 65 00 66 00 67 00 68 00 69 00 6A 00 6B 00 6C 00 6D 63 D1"), A,
         Verdict::Good, read, "answer", "1", "3", "0", "10", "100 101 102 103 104 105 106 107 108 109",
         "Answer: 100 101 102 103 104 105 106 107 ..."},
        {"exception", hex("01 83 02 C0 F1"), A, Verdict::Good, read, "exception 2", "1", "3", "0", "10", "",
         "Exception 2: illegal data address"},
        {"bad check", hex("01 03 00 00 00 0A C5 CC"), R, Verdict::BadCheck, {}, "bad check", "1", "3", "0", "10", "",
         "Bad check: Read holding registers 0-9, unit 1"},
        {"write register", hex("11 06 00 01 00 03 9A 9B"), R, Verdict::Good, {}, "request", "17", "6", "1", "1", "3",
         "Write single register 1 = 3, unit 17"},
    });
    checkDescribed(Protocol::ModbusAscii, {
        {"ascii read", text(":1103006B00037E\r\n"), R, Verdict::Good, {}, "request", "17", "3", "107", "3", "",
         "Read holding registers 107-109, unit 17"},
    });
}

TEST(ModbusDescription, CoilsAnswerKeepsTheCountAsked)
{
    // 10 coils asked at 19; the answer carries 2 bytes: CD 01.
    const auto request = hex("01 01 00 13 00 0A 4D C8");
    const auto answer = hex("01 01 02 CD 01 2C AC");
    const auto d = protocol::describe(Protocol::ModbusRtu, answer, {0, 7, Direction::Answer}, request);
    EXPECT_EQ(d.values, "1 0 1 1 0 0 1 1 1 0");
    EXPECT_EQ(d.address, "19");
    EXPECT_EQ(d.count, "10");
    EXPECT_EQ(protocol::pairingKey(Protocol::ModbusRtu, answer, {0, 7, Direction::Answer}),
              protocol::pairingKey(Protocol::ModbusRtu, request, {0, 8, Direction::Request}));
    EXPECT_EQ(protocol::pairingKey(Protocol::ModbusRtu, hex("01 81 02 C1 91"), {0, 5, Direction::Answer}),
              protocol::pairingKey(Protocol::ModbusRtu, request, {0, 8, Direction::Request}));
}

} // namespace
