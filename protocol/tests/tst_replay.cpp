// A recording's requests sent again: when each goes out, how long its
// answer is waited for, and the line each gets, on written-out Modbus frames
// and times in microseconds.
#include "protocol/replay.h"
#include "written_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace protocol;

namespace {

using written_bytes::hex;

const std::string kReadThree = "01 03 00 00 00 03 05 CB";
const std::string kThreeValues = "01 03 06 00 0A 00 14 00 28 F9 6E";
const std::string kChangedValues = "01 03 06 00 0A 00 75 00 28 A8 B0"; // register 1: 117
const std::string kReadInputs = "01 04 00 00 00 02 71 CB";
const std::string kTwoInputs = "01 04 04 01 F4 01 F5 7A 5D";
const std::string kReadUnit2 = "02 03 00 00 00 01 84 39";
const std::string kUnit2Value = "02 03 02 00 07 BD 86";

// Requests at 0, 1 s and 1.5 s of the recording.
std::vector<RecordedExchange> recording()
{
    return {{hex(kReadThree), hex(kThreeValues), 12'000, 5'000'000},
            {hex(kReadInputs), hex(kTwoInputs), 7'000, 6'000'000},
            {hex(kReadUnit2), hex(kUnit2Value), 2'000, 6'500'000}};
}

ReplayOptions modbus(ReplayTiming timing)
{
    ReplayOptions o;
    o.protocol = Protocol::ModbusRtu;
    o.timing = timing;
    o.replyTimeoutUs = 1'000'000;
    o.byteTimeUs = 1000;
    return o;
}

std::vector<std::string> lines(Replay &replay)
{
    std::vector<std::string> out;
    for (const ReplayResult &r : replay.takeResults())
        out.push_back(replayLine(r));
    return out;
}

} // namespace

TEST(Replay, fastSendsEachAfterTheAnswerBefore)
{
    Replay replay(recording(), modbus(ReplayTiming::Fast));
    EXPECT_EQ(replay.takeRequest(100), hex(kReadThree));
    EXPECT_FALSE(replay.takeRequest(101)); // one at a time
    replay.feed(hex(kThreeValues), 20'000);
    EXPECT_EQ(lines(replay), std::vector<std::string>{"request 1 (Read holding registers 0-2, unit 1): same"});
    EXPECT_EQ(replay.takeRequest(20'000), hex(kReadInputs));
    // The answer in two pieces: still one answer, and a wrong one.
    replay.feed(hex("01 04 04 01 F4"), 30'000);
    EXPECT_TRUE(lines(replay).empty());
    replay.feed(hex("01 F6 3A 5C"), 31'000);
    EXPECT_EQ(lines(replay),
              std::vector<std::string>{"request 2 (Read input registers 0-1, unit 1): different: register 1: 501 -> 502"});
    // Nothing comes: waited for the request's 8 bytes and the timeout.
    EXPECT_EQ(replay.takeRequest(40'000), hex(kReadUnit2));
    EXPECT_EQ(replay.nextDueUs(), std::optional<std::int64_t>(1'048'000));
    replay.idle(1'047'999);
    EXPECT_TRUE(lines(replay).empty());
    replay.idle(1'048'000);
    EXPECT_EQ(lines(replay), std::vector<std::string>{"request 3 (Read holding registers 0-0, unit 2): no answer"});
    EXPECT_TRUE(replay.finished());
    EXPECT_FALSE(replay.nextDueUs());
    EXPECT_EQ(replayTotalsLine(replay.totals()), "3 requests: 1 same, 1 different, 1 no answer");
}

TEST(Replay, recordedKeepsTheSpacingButNeverOvertakesAnAnswer)
{
    Replay replay(recording(), modbus(ReplayTiming::Recorded));
    ASSERT_TRUE(replay.takeRequest(100));
    replay.feed(hex(kChangedValues), 20'000);
    EXPECT_EQ(lines(replay), std::vector<std::string>{
                                 "request 1 (Read holding registers 0-2, unit 1): different: register 1: 20 -> 117"});
    // The second went 1 s after the first.
    EXPECT_EQ(replay.nextDueUs(), std::optional<std::int64_t>(1'000'100));
    EXPECT_FALSE(replay.takeRequest(1'000'099));
    ASSERT_TRUE(replay.takeRequest(1'000'100));
    // Its answer comes after the third's time (1.5 s): the third goes at once.
    replay.feed(hex(kTwoInputs), 1'700'000);
    EXPECT_EQ(replay.nextDueUs(), std::optional<std::int64_t>(1'700'000));
    EXPECT_TRUE(replay.takeRequest(1'700'000));
}

TEST(Replay, aLateAnswerIsNotTheNextOnes)
{
    Replay replay(recording(), modbus(ReplayTiming::Fast));
    ASSERT_TRUE(replay.takeRequest(0));
    replay.idle(1'008'000);
    EXPECT_EQ(replay.totals().noAnswer, 1);
    // The first's answer comes now, while nothing waits; then the second
    // request's own answer is the one compared.
    replay.feed(hex(kThreeValues), 1'010'000);
    ASSERT_TRUE(replay.takeRequest(1'020'000));
    replay.feed(hex("01 04 04"), 1'021'000);
    replay.feed(hex("01 F4 01 F5 7A 5D"), 1'022'000);
    EXPECT_EQ(replay.totals().same, 1);
}

TEST(Replay, anAnswerBegunInTimeMayEndAfterTheTimeout)
{
    Replay replay(recording(), modbus(ReplayTiming::Fast));
    ASSERT_TRUE(replay.takeRequest(0));
    replay.feed(hex("01 03 06 00 0A"), 1'007'000);
    replay.idle(1'008'000);
    EXPECT_EQ(replay.totals().all(), 0);
    replay.feed(hex("00 14 00 28 F9 6E"), 1'009'000);
    EXPECT_EQ(replay.totals().same, 1);
}

TEST(Replay, noiseBeforeTheAnswerIsSkipped)
{
    Replay replay(recording(), modbus(ReplayTiming::Fast));
    ASSERT_TRUE(replay.takeRequest(0));
    replay.feed(hex("FF"), 5'000);
    replay.idle(200'000);
    replay.feed(hex(kThreeValues), 300'000);
    EXPECT_EQ(replay.totals().same, 1);
}

TEST(Replay, requestsRecordedWithoutAnAnswer)
{
    std::vector<RecordedExchange> silent{{hex(kReadThree), std::nullopt, 0, 0}, {hex(kReadUnit2), std::nullopt, 0, 10}};
    Replay replay(silent, modbus(ReplayTiming::Fast));
    ASSERT_TRUE(replay.takeRequest(0));
    replay.idle(2'000'000);
    ASSERT_TRUE(replay.takeRequest(2'000'000));
    replay.feed(hex(kUnit2Value), 2'010'000);
    EXPECT_EQ(lines(replay),
              (std::vector<std::string>{"request 1 (Read holding registers 0-2, unit 1): same",
                                        "request 2 (Read holding registers 0-0, unit 2): different: answer: (none) -> 02 03 02 00 07 BD 86"}));
}

TEST(Replay, withoutAProtocolAPauseEndsTheAnswer)
{
    ReplayOptions o;
    o.protocol = Protocol::None;
    o.timing = ReplayTiming::Fast;
    o.answerGapUs = 50'000;
    Replay replay({{hex("3F 0D"), hex("4F 4B 0D"), 0, 0}}, o);
    ASSERT_TRUE(replay.takeRequest(0));
    replay.feed(hex("4F 4B"), 10'000);
    replay.feed(hex("21 0D"), 40'000);
    replay.idle(89'999);
    EXPECT_EQ(replay.totals().all(), 0);
    replay.idle(90'000);
    EXPECT_EQ(lines(replay), std::vector<std::string>{"request 1 (3F 0D): different: bytes: 4F 4B 0D -> 4F 4B 21 0D"});
    EXPECT_EQ(replayTotalsLine(replay.totals()), "1 request: 0 same, 1 different, 0 no answer");
}
