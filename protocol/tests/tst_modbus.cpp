#include "protocol/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using protocol::Direction;
using protocol::FrameMark;
using protocol::Protocol;
using protocol::Verdict;

std::vector<std::uint8_t> fromHex(std::string_view text)
{
    std::vector<std::uint8_t> out;
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(std::uint8_t(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<std::uint8_t> fromText(std::string_view text)
{
    return {text.begin(), text.end()};
}

struct Row {
    const char *name;
    Protocol protocol;
    std::vector<std::vector<std::uint8_t>> arrivals; // 1 ms apart
    std::vector<FrameMark> marks;
};

TEST(ModbusFraming, Table)
{
    const auto R = Direction::Request, A = Direction::Answer, U = Direction::Unknown;
    const auto request = fromHex("01 03 00 00 00 0A C5 CD");
    const auto answer = fromHex("11 03 06 02 2B 00 00 00 64 C8 BA");
    const auto asciiRequest = fromText(":1103006B00037E\r\n");
    const Row rows[] = {
        {"good request", Protocol::ModbusRtu, {request}, {{0, 8, R, Verdict::Good}}},
        {"bad check after a frame", Protocol::ModbusRtu, {request, fromHex("01 03 00 00 00 0A C5 CC")},
         {{0, 8, R, Verdict::Good}, {8, 8, R, Verdict::BadCheck}}},
        {"exception answer", Protocol::ModbusRtu, {fromHex("01 83 02 C0 F1")}, {{0, 5, A, Verdict::Good}}},
        {"truncated, then cut", Protocol::ModbusRtu, {fromHex("01 03 00 00 00")}, {{0, 5, U, Verdict::Cut}}},
        {"split across arrivals", Protocol::ModbusRtu, {fromHex("11 03 06 02"), fromHex("2B 00 00 00 64 C8"), fromHex("BA")},
         {{0, 11, A, Verdict::Good}}},
        {"request and answer glued (bus tap)", Protocol::ModbusRtu,
         {fromHex("11 03 00 6B 00 03 76 87 11 03 06 02 2B 00 00 00 64 C8 BA")},
         {{0, 8, R, Verdict::Good}, {8, 11, A, Verdict::Good}}},
        {"garbage before", Protocol::ModbusRtu, {fromHex("FF 00 FE 01 03 00 00 00 0A C5 CD")},
         {{0, 3, U, Verdict::Unrecognised}, {3, 8, R, Verdict::Good}}},
        {"ascii good", Protocol::ModbusAscii, {asciiRequest}, {{0, 17, R, Verdict::Good}}},
        {"ascii bad lrc", Protocol::ModbusAscii, {fromText(":1103006B00037F\r\n")}, {{0, 17, R, Verdict::BadCheck}}},
        {"ascii split, garbage before, glued", Protocol::ModbusAscii,
         {fromText("xy:1103006B"), fromText("00037E\r\n:1103006B00037E\r\n")},
         {{0, 2, U, Verdict::Unrecognised}, {2, 17, R, Verdict::Good}, {19, 17, R, Verdict::Good}}},
        {"ascii truncated", Protocol::ModbusAscii, {fromText(":1103006B")}, {{0, 9, U, Verdict::Cut}}},
        {"ascii not hex", Protocol::ModbusAscii, {fromText(":11G3\r\n")}, {{0, 7, U, Verdict::Unrecognised}}},
    };
    for (const Row &row : rows) {
        auto framer = protocol::makeFramer(row.protocol);
        ASSERT_TRUE(framer);
        std::vector<FrameMark> marks;
        std::int64_t now = 0;
        for (const auto &bytes : row.arrivals)
            framer->feed(bytes, now += 1000, marks);
        framer->finish(marks);
        EXPECT_EQ(marks, row.marks) << row.name;
        EXPECT_EQ(framer->pending(), 0) << row.name;
    }
}

TEST(ModbusFraming, ReplyTimeoutCutsAnAbandonedFrame)
{
    auto framer = protocol::makeFramer(Protocol::ModbusRtu, {.replyTimeoutUs = 1000});
    std::vector<FrameMark> marks;
    framer->feed(fromHex("01 03 00"), 0, marks);
    framer->idle(1000, marks);
    EXPECT_TRUE(marks.empty());
    EXPECT_EQ(framer->pending(), 3);
    framer->feed(fromHex("01 03 00 00 00 0A C5 CD"), 1001, marks);
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

struct Described {
    const char *name;
    Protocol protocol;
    std::vector<std::uint8_t> frame;
    FrameMark mark;
    std::vector<std::uint8_t> request;
    const char *status, *unit, *function, *address, *count, *values, *summary;
};

const char *statusName(protocol::Status s)
{
    switch (s) {
    case protocol::Status::Request: return "request";
    case protocol::Status::Answer: return "answer";
    case protocol::Status::Exception: return "exception";
    case protocol::Status::Nak: return "nak";
    case protocol::Status::BadCheck: return "bad check";
    case protocol::Status::Unrecognised: return "unrecognised";
    }
    return "";
}

TEST(ModbusDescription, Table)
{
    const auto R = Direction::Request, A = Direction::Answer;
    const auto read = fromHex("01 03 00 00 00 0A C5 CD");
    const Described rows[] = {
        {"read request", Protocol::ModbusRtu, read, {0, 8, R}, {}, "request", "1", "3", "0", "10", "",
         "Read holding registers 0-9, unit 1"},
        {"read answer", Protocol::ModbusRtu,
         fromHex("01 03 14 00 64 00 65 00 66 00 67 00 68 00 69 00 6A 00 6B 00 6C 00 6D 63 D1"), {0, 25, A}, read,
         "answer", "1", "3", "0", "10", "100 101 102 103 104 105 106 107 108 109",
         "Answer: 100 101 102 103 104 105 106 107 ..."},
        {"exception", Protocol::ModbusRtu, fromHex("01 83 02 C0 F1"), {0, 5, A}, read, "exception", "1", "3", "0",
         "10", "", "Exception 2: illegal data address"},
        {"bad check", Protocol::ModbusRtu, fromHex("01 03 00 00 00 0A C5 CC"), {0, 8, R, Verdict::BadCheck}, {},
         "bad check", "1", "3", "0", "10", "", "Bad check: Read holding registers 0-9, unit 1"},
        {"write register", Protocol::ModbusRtu, fromHex("11 06 00 01 00 03 9A 9B"), {0, 8, R}, {}, "request", "17",
         "6", "1", "1", "3", "Write single register 1 = 3, unit 17"},
        {"ascii read", Protocol::ModbusAscii, fromText(":1103006B00037E\r\n"), {0, 17, R}, {}, "request", "17", "3",
         "107", "3", "", "Read holding registers 107-109, unit 17"},
    };
    for (const Described &row : rows) {
        const auto d = protocol::describe(row.protocol, row.frame, row.mark, row.request);
        EXPECT_STREQ(statusName(d.status), row.status) << row.name;
        EXPECT_EQ(d.unit, row.unit) << row.name;
        EXPECT_EQ(d.function, row.function) << row.name;
        EXPECT_EQ(d.address, row.address) << row.name;
        EXPECT_EQ(d.count, row.count) << row.name;
        EXPECT_EQ(d.values, row.values) << row.name;
        EXPECT_EQ(d.summary, row.summary) << row.name;
        for (const auto &field : d.fields)
            EXPECT_LE(field.end, row.frame.size()) << row.name << " " << field.name;
    }
}

TEST(ModbusDescription, CoilsAnswerKeepsTheCountAsked)
{
    // 10 coils asked at 19; the answer carries 2 bytes: CD 01.
    const auto request = fromHex("01 01 00 13 00 0A 4D C8");
    const auto answer = fromHex("01 01 02 CD 01 2C AC");
    const auto d = protocol::describe(Protocol::ModbusRtu, answer, {0, 7, Direction::Answer}, request);
    EXPECT_EQ(d.values, "1 0 1 1 0 0 1 1 1 0");
    EXPECT_EQ(d.address, "19");
    EXPECT_EQ(d.count, "10");
    EXPECT_EQ(protocol::pairingKey(Protocol::ModbusRtu, answer, {0, 7, Direction::Answer}),
              protocol::pairingKey(Protocol::ModbusRtu, request, {0, 8, Direction::Request}));
    EXPECT_EQ(protocol::pairingKey(Protocol::ModbusRtu, fromHex("01 81 02 C1 91"), {0, 5, Direction::Answer}),
              protocol::pairingKey(Protocol::ModbusRtu, request, {0, 8, Direction::Request}));
}

} // namespace
