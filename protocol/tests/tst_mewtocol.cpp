// MEWTOCOL-COM, on frames as its description writes them: '%' station '#'
// command data BCC CR, answers '$', errors '!', the BCC the XOR of the
// characters from '%' up to it ("**" for none), '&' CR where the next frame
// goes on.
#include "decoder_table.h"

namespace {

using namespace decoder_table;

const Bytes kReadContact = text("%01#RCSX00001D\r");
const Bytes kContactOn = text("%01$RC120\r");
// D100 and D101; they hold 100 and 200.
const Bytes kReadData = text("%01#RDD0010000101" "54\r");
const Bytes kData = text("%01$RD6400C800" "6F\r");
const Bytes kError = text("%01!42" "03\r");

TEST(MewtocolFraming, Table)
{
    const auto R = Direction::Request, A = Direction::Answer, U = Direction::Unknown;
    const auto Good = Verdict::Good;
    checkFraming(Protocol::Mewtocol, {
        {"request", {kReadContact}, {{0, 15, R, Good}}},
        {"answer", {kContactOn}, {{0, 10, A, Good}}},
        {"error answer", {kError}, {{0, 9, A, Good}}},
        {"bad BCC", {text("%01#RCSX00001E\r")}, {{0, 15, R, Verdict::BadCheck}}},
        {"no BCC: **", {text("%01#RDD0010000102**\r")}, {{0, 20, R, Good}}},
        {"truncated, then cut", {text("%01#RCSX00")}, {{0, 10, U, Verdict::Cut}}, 0},
        {"split across arrivals", {text("%01#RC"), text("SX00001D"), text("\r")}, {{0, 15, R, Good}}},
        {"request and answer glued", {kReadData + kData}, {{0, 20, R, Good}, {20, 17, A, Good}}},
        {"garbage before", {text("\r\n") + kReadContact}, {{0, 2, U, Verdict::Unrecognised}, {2, 15, R, Good}}},
        {"a '%' begun again", {text("%0%%") + kReadContact}, {{0, 4, U, Verdict::Unrecognised}, {4, 15, R, Good}}},
        {"an answer that goes on, the ask for more, and the rest",
         {text("%01$RD6400C800" "6F&\r") + text("%01**&\r") + text("%0164000000" "26\r")},
         {{0, 18, A, Good}, {18, 7, R, Good}, {25, 14, A, Good}}},
        {"a frame of no station's continuation", {text("%0164000000" "26\r")}, {{0, 14, U, Good}}},
        {"BCC no hex", {text("%01#RTZZ\r") + kContactOn}, {{0, 9, U, Verdict::Unrecognised}, {9, 10, A, Good}}},
        {"station no hex", {text("%0G#RT" "77\r")}, {{0, 9, U, Verdict::Unrecognised}}},
        {"too short for a station and BCC", {text("%0\r")}, {{0, 3, U, Verdict::Unrecognised}}},
        {"a line that never ends", {text("%") + Bytes(3000, 'A') + kReadContact},
         {{0, 3001, U, Verdict::Unrecognised}, {3001, 15, R, Good}}},
    });
}

// A continuation that never ends, or a '%' whose CR never comes: frames
// leave as they come and what waits stays within a frame's length.
TEST(MewtocolFraming, EndlessContinuationStaysBounded)
{
    auto framer = protocol::makeFramer(Protocol::Mewtocol);
    std::vector<FrameMark> marks;
    const Bytes more = text("%0164000000" "26&\r");
    framer->feed(text("%01$RD6400C800" "6F&\r"), 0, marks);
    for (int i = 0; i < 1000; ++i)
        framer->feed(more, i, marks);
    EXPECT_EQ(marks.size(), 1001u);
    EXPECT_EQ(marks.back().direction, Direction::Answer);
    EXPECT_EQ(framer->pending(), 0);
    EXPECT_TRUE(protocol::describe(Protocol::Mewtocol, more, marks.back()).continues);

    framer->feed(text("%"), 2000, marks);
    const Bytes line(100, 'A');
    for (int i = 0; i < 1000; ++i) {
        framer->feed(line, 2000 + i, marks);
        ASSERT_LE(framer->pending(), 2048 + 100);
    }
}

TEST(MewtocolDescription, Table)
{
    const auto R = Direction::Request, A = Direction::Answer;
    const auto Good = Verdict::Good;
    const Bytes writeContact = text("%01#WCSY00011" "29\r");
    const Bytes readContacts = text("%01#RCP2X0000R0010" "7F\r");
    const Bytes readWords = text("%01#RCCX00000001" "0C\r");
    checkDescribed(Protocol::Mewtocol, {
        {"read contact", kReadContact, R, Good, {}, "request", "01", "RCS", "X0000", "1", "",
         "Read contact X0000, station 01"},
        {"its answer", kContactOn, A, Good, kReadContact, "answer", "01", "RCS", "X0000", "1", "1", "Answer: 1"},
        {"an answer alone", kContactOn, A, Good, {}, "answer", "01", "RC", "", "", "1", "Answer: 1"},
        {"write contact", writeContact, R, Good, {}, "request", "01", "WCS", "Y0001", "1", "1",
         "Write contact Y0001 = 1, station 01"},
        {"its answer", text("%01$WC" "14\r"), A, Good, writeContact, "answer", "01", "WCS", "Y0001", "1", "",
         "Answer: done, station 01"},
        {"read contacts", readContacts, R, Good, {}, "request", "01", "RCP", "X0000", "2", "",
         "Read contacts X0000 (2), station 01"},
        {"their answer", text("%01$RC10" "10\r"), A, Good, readContacts, "answer", "01", "RCP", "X0000", "2", "1 0",
         "Answer: 1 0"},
        {"write contacts", text("%01#WCP2Y00001Y00010" "71\r"), R, Good, {}, "request", "01", "WCP", "Y0000", "2",
         "1 0", "Write contacts Y0000 (2) = 1 0, station 01"},
        {"read contact words", readWords, R, Good, {}, "request", "01", "RCC", "X0000", "2", "",
         "Read contact words X0000 (2), station 01"},
        {"their answer", text("%01$RC01000200" "12\r"), A, Good, readWords, "answer", "01", "RCC", "X0000", "2",
         "1 2", "Answer: 1 2"},
        {"read data", kReadData, R, Good, {}, "request", "01", "RD", "D00100", "2", "",
         "Read data area D00100 (2), station 01"},
        {"its answer, low byte first", kData, A, Good, kReadData, "answer", "01", "RD", "D00100", "2", "100 200",
         "Answer: 100 200"},
        {"write data", text("%01#WDD0010000101E8030000" "2F\r"), R, Good, {}, "request", "01", "WD", "D00100", "2",
         "1000 0", "Write data area D00100 (2) = 1000 0, station 01"},
        {"system registers", text("%01#RR0000001" "36\r"), R, Good, {}, "request", "01", "RR", "0000", "2", "",
         "Read system registers 0000 (2), station 01"},
        {"status", text("%01#RT" "01\r"), R, Good, {}, "request", "01", "RT", "", "", "", "Read status, station 01"},
        {"error to the read", kError, A, Good, kReadData, "nak 42", "01", "RD", "D00100", "2", "",
         "Error 42: not supported, station 01"},
        {"bad BCC", text("%01#RCSX00001E\r"), R, Verdict::BadCheck, {}, "bad check", "01", "RCS", "X0000", "1", "",
         "Bad check: Read contact X0000, station 01"},
        {"a write whose data miss a word", text("%01#WDD0010000101E803" "2F\r"), R, Verdict::BadCheck, {},
         "bad check", "01", "WD", "", "", "", "Bad check: Write data area D0010000101E803, station 01"},
        {"a first frame that goes on", text("%01$RD6400C800" "6F&\r"), A, Good, kReadData, "answer", "01", "RD",
         "D00100", "2", "100 200", "Answer: 100 200 &"},
    });
}

TEST(MewtocolDescription, ChecksAndContinuation)
{
    const auto unchecked = protocol::describe(Protocol::Mewtocol, text("%01#RDD0010000102**\r"),
                                              {0, 20, Direction::Request});
    EXPECT_EQ(fieldValue(unchecked, "BCC"), "** (not checked)");
    const auto bad = protocol::describe(Protocol::Mewtocol, text("%01#RCSX00001E\r"),
                                        {0, 15, Direction::Request, Verdict::BadCheck});
    EXPECT_EQ(fieldValue(bad, "BCC"), "1E (bad, expected 1D)");
    const auto first = protocol::describe(Protocol::Mewtocol, text("%01$RD6400C800" "6F&\r"), {0, 18, Direction::Answer});
    EXPECT_TRUE(first.continues);
    EXPECT_EQ(fieldValue(first, "BCC"), "6F (ok)");
    EXPECT_FALSE(protocol::describe(Protocol::Mewtocol, kData, {0, 17, Direction::Answer}).continues);
    // Paired by station.
    const auto key = [](const Bytes &frame) {
        return protocol::pairingKey(Protocol::Mewtocol, frame, {0, std::uint32_t(frame.size()), Direction::Unknown});
    };
    EXPECT_EQ(key(kReadContact), key(kContactOn));
    EXPECT_NE(key(kReadContact), key(text("%02$RC1" "23\r")));
}

} // namespace
