// A recording as exchanges, the device that answers from them and the
// comparison of an answer heard again, on written-out frames (with their
// CRCs) and times in microseconds.
#include "protocol/recording.h"
#include "written_bytes.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace protocol;

namespace {

using written_bytes::hex;
using written_bytes::hexText;

// "request => answer after N us", "request => none".
std::string exchangeText(const RecordedExchange &x)
{
    return hexText(x.request) + " => "
        + (x.answer ? hexText(*x.answer) + " after " + std::to_string(x.replyUs) + " us" : std::string("none"));
}

RecordedBurst burst(int panel, const std::string &bytes, std::int64_t startMs, std::int64_t endMs = -1)
{
    return {panel, hex(bytes), startMs * 1000, (endMs < 0 ? startMs : endMs) * 1000};
}

// Unit 1, holding registers 0-2; its answer 10 20 40.
const std::string kReadThree = "01 03 00 00 00 03 05 CB";
const std::string kThreeValues = "01 03 06 00 0A 00 14 00 28 F9 6E";
// Unit 1, input registers 0-1; its answer 500 501.
const std::string kReadInputs = "01 04 00 00 00 02 71 CB";
const std::string kTwoInputs = "01 04 04 01 F4 01 F5 7A 5D";
// Unit 2, holding register 0; its answer 7.
const std::string kReadUnit2 = "02 03 00 00 00 01 84 39";
const std::string kUnit2Value = "02 03 02 00 07 BD 86";

struct ExtractionCase {
    std::string name;
    Protocol protocol;
    std::vector<RecordedBurst> bursts;
    std::vector<std::string> exchanges;
    std::string refusal; // a part of it; empty when exchanges come
};

void PrintTo(const ExtractionCase &c, std::ostream *os)
{
    *os << c.name;
}

class Extraction : public testing::TestWithParam<ExtractionCase> {};

TEST_P(Extraction, givesTheExchanges)
{
    const ExtractionCase &c = GetParam();
    const ExchangeList list = exchangesOf(c.protocol, c.bursts, 1'000'000);
    std::vector<std::string> got;
    for (const RecordedExchange &x : list.exchanges)
        got.push_back(exchangeText(x));
    EXPECT_EQ(got, c.exchanges);
    if (c.refusal.empty())
        EXPECT_EQ(list.refusal, "");
    else
        EXPECT_NE(list.refusal.find(c.refusal), std::string::npos) << list.refusal;
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, Extraction,
    testing::Values(
        ExtractionCase{"bothPanels", Protocol::ModbusRtu,
                       {burst(0, kReadThree, 0, 8), burst(1, kThreeValues, 20, 31), burst(0, kReadInputs, 1000, 1008),
                        burst(1, kTwoInputs, 1015, 1024)},
                       {kReadThree + " => " + kThreeValues + " after 12000 us",
                        kReadInputs + " => " + kTwoInputs + " after 7000 us"},
                       ""},
        // A bus tap: both ways in the left panel, a request split over two
        // bursts and an answer in the same burst as the next request.
        ExtractionCase{"busTapOnOnePanel", Protocol::ModbusRtu,
                       {burst(0, "01 03 00 00", 0, 4), burst(0, "00 03 05 CB", 5, 8), burst(0, kThreeValues, 30, 41),
                        burst(0, kReadInputs + " " + kTwoInputs, 500, 520)},
                       {kReadThree + " => " + kThreeValues + " after 22000 us",
                        kReadInputs + " => " + kTwoInputs + " after 0 us"},
                       ""},
        ExtractionCase{"noAnswerRequests", Protocol::ModbusRtu,
                       {burst(0, kReadThree, 0, 8), burst(0, kReadUnit2, 2000, 2008),
                        burst(1, kUnit2Value, 2010, 2017), burst(0, kReadInputs, 4000, 4008)},
                       {kReadThree + " => none", kReadUnit2 + " => " + kUnit2Value + " after 2000 us",
                        kReadInputs + " => none"},
                       ""},
        // Past the reply timeout an answer answers nothing; a corrupted
        // answer (its CRC wrong) leaves its request unanswered.
        ExtractionCase{"lateAndCorruptedAnswers", Protocol::ModbusRtu,
                       {burst(0, kReadThree, 0, 8), burst(1, kThreeValues, 1009, 1020),
                        burst(0, kReadUnit2, 3000, 3008), burst(1, "02 03 02 00 07 BD 87", 3010, 3017)},
                       {kReadThree + " => none", kReadUnit2 + " => none"},
                       ""},
        ExtractionCase{"noneProtocol", Protocol::None,
                       {burst(0, "3F 0D", 0, 2), burst(1, "4F 4B 0D", 5, 8), burst(1, "58", 9, 9),
                        burst(0, "41 0D", 100, 101), burst(0, "42 0D", 200, 201), burst(1, "45 0D", 250, 251)},
                       {"3F 0D => 4F 4B 0D after 3000 us", "41 0D => none", "42 0D => 45 0D after 49000 us"},
                       ""},
        // Without a protocol the taps' direction does not count: the bus
        // tap's frames are all requests.
        ExtractionCase{"noneOnOnePanel", Protocol::None,
                       {burst(0, kReadThree, 0, 8), burst(0, kThreeValues, 20, 31)},
                       {kReadThree + " => none", kThreeValues + " => none"},
                       ""},
        ExtractionCase{"onlyAnswers", Protocol::ModbusRtu, {burst(1, kThreeValues, 20, 31), burst(1, "00 11 22", 40)},
                       {}, "no Modbus RTU request (2 frames"},
        ExtractionCase{"noneWithOnlyTheRightPanel", Protocol::None, {burst(1, "4F 4B", 20, 31)}, {},
                       "left panel holds no frames"},
        ExtractionCase{"empty", Protocol::FxProgramming, {}, {}, "no FX programming port request (0 frames"}),
    [](const testing::TestParamInfo<ExtractionCase> &info) { return info.param.name; });

TEST(Extraction, keepsTheUnitsAsked)
{
    const ExchangeList list = exchangesOf(Protocol::ModbusRtu,
                                          {burst(0, kReadThree, 0, 8), burst(1, kThreeValues, 20, 31),
                                           burst(0, kReadUnit2, 100, 108), burst(1, kUnit2Value, 110, 117)});
    ASSERT_EQ(list.exchanges.size(), 2u);
    const auto unit2 = exchangesForUnits(Protocol::ModbusRtu, list.exchanges, {2});
    ASSERT_EQ(unit2.size(), 1u);
    EXPECT_EQ(hexText(unit2[0].request), kReadUnit2);
    EXPECT_EQ(exchangesForUnits(Protocol::ModbusRtu, list.exchanges, {1, 2}).size(), 2u);
    EXPECT_EQ(exchangesForUnits(Protocol::ModbusRtu, list.exchanges, {3}).size(), 0u);
    // Modbus ASCII names the unit in hex text: ":11..." is unit 17.
    const RecordedExchange ascii{hex("3A 31 31 30 33 30 30 36 42 30 30 30 33 37 45 0D 0A"), std::nullopt, 0, 0};
    EXPECT_EQ(exchangesForUnits(Protocol::ModbusAscii, {ascii}, {17}).size(), 1u);
    EXPECT_EQ(exchangesForUnits(Protocol::ModbusAscii, {ascii}, {11}).size(), 0u);
    // Bytes too short to name a unit are for no unit, the first neither.
    const RecordedExchange stub{hex("01"), std::nullopt, 0, 0};
    EXPECT_EQ(exchangesForUnits(Protocol::ModbusRtu, {stub}, {1}).size(), 0u);
}

TEST(Matcher, answersInTurnAndOnlyWhatWasRecorded)
{
    RecordingAnswerer answerer({{hex(kReadThree), hex("01 03 02 00 01 79 84"), 5000, 0},
                                {hex(kReadUnit2), std::nullopt, 0, 10},
                                {hex(kReadThree), hex("01 03 02 00 02 39 85"), 7000, 20}});
    const auto first = answerer.answer(hex(kReadThree));
    EXPECT_TRUE(first.matched);
    EXPECT_EQ(hexText(first.answer.value()), "01 03 02 00 01 79 84");
    EXPECT_EQ(first.replyUs, 5000);
    EXPECT_EQ(hexText(answerer.answer(hex(kReadThree)).answer.value()), "01 03 02 00 02 39 85");
    // After the last, the first again.
    EXPECT_EQ(hexText(answerer.answer(hex(kReadThree)).answer.value()), "01 03 02 00 01 79 84");
    // Recorded without an answer: matched, and none goes out.
    const auto silent = answerer.answer(hex(kReadUnit2));
    EXPECT_TRUE(silent.matched);
    EXPECT_FALSE(silent.answer);
    // One byte more, one byte less, one byte other: no match.
    EXPECT_FALSE(answerer.answer(hex(kReadThree + " 00")).matched);
    EXPECT_FALSE(answerer.answer(hex("01 03 00 00 00 03 05")).matched);
    EXPECT_FALSE(answerer.answer(hex("01 03 00 00 00 03 05 CC")).matched);
}

RecordingAnswerer deviceAnswerer()
{
    return RecordingAnswerer({{hex(kReadThree), hex(kThreeValues), 12'000, 0},
                              {hex(kReadUnit2), std::nullopt, 0, 0},
                              {hex("3F 0D"), hex("4F 4B 0D"), 3'000, 0}});
}

TEST(Device, answersAfterTheRecordedTimeOrTheDelayGiven)
{
    RecordingAnswerer answerer = deviceAnswerer();
    RecordingDevice::Options options;
    options.byteTimeUs = 1000;
    RecordingDevice device(answerer, options);
    // A request split across two arrivals is answered once whole.
    device.feed(hex("01 03 00 00"), 100'000);
    EXPECT_FALSE(device.nextDueUs());
    device.feed(hex("00 03 05 CB"), 101'000);
    ASSERT_EQ(device.nextDueUs(), std::optional<std::int64_t>(113'000));
    EXPECT_FALSE(device.takeDue(112'999));
    EXPECT_EQ(hexText(device.takeDue(113'000).value()), kThreeValues);
    // Two at once: the second waits until the first's 11 bytes are out.
    device.feed(hex(kReadThree + " " + kReadThree), 200'000);
    EXPECT_TRUE(device.takeDue(212'000));
    EXPECT_EQ(device.nextDueUs(), std::optional<std::int64_t>(223'000));
    EXPECT_TRUE(device.takeDue(223'000));
    // Recorded without an answer, not recorded, noise: nothing goes out.
    device.feed(hex(kReadUnit2), 300'000);
    device.feed(hex("01 03 00 07 00 01 35 CB"), 301'000);
    device.feed(hex("FF FF"), 302'000);
    device.idle(600'000);
    EXPECT_FALSE(device.nextDueUs());
    std::vector<std::string> lines;
    for (const auto &handled : device.takeHandled())
        lines.push_back(handledLine("t", Protocol::ModbusRtu, handled));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "t Read holding registers 0-2, unit 1: answered from the recording",
                         "t Read holding registers 0-2, unit 1: answered from the recording",
                         "t Read holding registers 0-2, unit 1: answered from the recording",
                         "t Read holding registers 0-0, unit 2: recorded without an answer",
                         "t Read holding registers 7-7, unit 1: not in the recording, no answer",
                     }));
    EXPECT_TRUE(device.takeHandled().empty());
    EXPECT_EQ(device.counts().matched, 4);
    EXPECT_EQ(device.counts().unmatched, 1);
    EXPECT_EQ(device.counts().answered, 3);
    // A delay given: at once.
    device.setReplyDelayUs(0);
    device.feed(hex(kReadThree), 700'000);
    EXPECT_EQ(device.nextDueUs(), std::optional<std::int64_t>(700'000));
}

TEST(Device, withoutAProtocolAPauseEndsARequest)
{
    RecordingAnswerer answerer = deviceAnswerer();
    RecordingDevice::Options options;
    options.protocol = Protocol::None;
    options.requestGapUs = 50'000;
    RecordingDevice device(answerer, options);
    device.feed(hex("3F"), 0);
    device.feed(hex("0D"), 49'999);
    device.idle(99'998);
    EXPECT_TRUE(device.pending());
    device.idle(99'999);
    EXPECT_FALSE(device.pending());
    EXPECT_EQ(device.nextDueUs(), std::optional<std::int64_t>(102'999));
    EXPECT_EQ(hexText(device.takeDue(102'999).value()), "4F 4B 0D");
    // A pause of the gap between the two halves: two requests, neither
    // recorded.
    device.feed(hex("3F"), 200'000);
    device.feed(hex("0D"), 250'000);
    device.idle(300'000);
    EXPECT_EQ(device.counts().matched, 1);
    EXPECT_EQ(device.counts().unmatched, 2);
}

TEST(Device, boundsTheAnswersWaiting)
{
    RecordingAnswerer answerer = deviceAnswerer();
    RecordingDevice::Options options;
    options.maxWaiting = 2;
    options.maxHandled = 2;
    RecordingDevice device(answerer, options);
    device.feed(hex(kReadThree + " " + kReadThree + " " + kReadThree), 0);
    EXPECT_EQ(device.counts().matched, 3);
    EXPECT_EQ(device.counts().dropped, 1);
    // The lines kept are the last ones, the first only counted; without a
    // protocol, the bytes.
    EXPECT_EQ(device.counts().unlisted, 1);
    const auto handled = device.takeHandled();
    ASSERT_EQ(handled.size(), 2u);
    EXPECT_EQ(handledLine("t", Protocol::None, handled[1]), "t " + kReadThree + ": dropped: too many waiting");
}

struct DifferenceCase {
    std::string name;
    Protocol protocol;
    std::string request, recorded, heard;
    std::vector<std::string> differences;
};

void PrintTo(const DifferenceCase &c, std::ostream *os)
{
    *os << c.name;
}

class Differences : public testing::TestWithParam<DifferenceCase> {};

TEST_P(Differences, nameTheFieldsThatChanged)
{
    const DifferenceCase &c = GetParam();
    EXPECT_EQ(answerDifferences(c.protocol, hex(c.request), hex(c.recorded), hex(c.heard)), c.differences);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Differences,
    testing::Values(
        DifferenceCase{"same", Protocol::ModbusRtu, kReadThree, kThreeValues, kThreeValues, {}},
        DifferenceCase{"oneRegister", Protocol::ModbusRtu, kReadThree, kThreeValues,
                       "01 03 06 00 0A 00 75 00 28 A8 B0", {"register 1: 20 -> 117"}},
        DifferenceCase{"twoRegisters", Protocol::ModbusRtu, kReadThree, kThreeValues,
                       "01 03 06 00 0A 00 75 00 29 69 70", {"register 1: 20 -> 117", "register 2: 40 -> 41"}},
        // Registers are named from the request's starting address.
        DifferenceCase{"fromTheAddressAsked", Protocol::ModbusRtu, "01 03 00 02 00 01 25 CA", "01 03 02 00 02 39 85",
                       "01 03 02 00 03 F8 45", {"register 2: 2 -> 3"}},
        DifferenceCase{"anException", Protocol::ModbusRtu, kReadThree, kThreeValues, "01 83 02 C0 F1",
                       {"function: 3 (Read holding registers) -> 131 (Exception to 3: Read holding registers)",
                        "byte count: 6 -> (none)", "register 0: 10 -> (none)", "register 1: 20 -> (none)",
                        "register 2: 40 -> (none)", "exception code: (none) -> 2 (illegal data address)"}},
        // Only the check differs: the check is named.
        DifferenceCase{"aBadCheck", Protocol::ModbusRtu, kReadThree, kThreeValues, "01 03 06 00 0A 00 14 00 28 F9 6F",
                       {"CRC: 0x6EF9 (ok) -> 0x6FF9 (bad, expected 0x6EF9)"}},
        DifferenceCase{"noProtocol", Protocol::None, "3F 0D", "4F 4B 0D", "4E 4F 0D", {"bytes: 4F 4B 0D -> 4E 4F 0D"}},
        // An answer with a byte after it is no answer of the protocol.
        DifferenceCase{"aByteTooMany", Protocol::ModbusRtu, "01 03 00 02 00 01 25 CA", "01 03 02 00 02 39 85",
                       "01 03 02 00 02 39 85 00", {"bytes: 01 03 02 00 02 39 85 -> 01 03 02 00 02 39 85 00"}},
        DifferenceCase{"bytesThatAreNoFrame", Protocol::ModbusRtu, kReadThree, "01 02", "01 03",
                       {"bytes: 01 02 -> 01 03"}}),
    [](const testing::TestParamInfo<DifferenceCase> &info) { return info.param.name; });

} // namespace
