// The computer link's MC protocol in ASCII, on frames as its description
// writes them: ENQ station PC command wait data sum, answers STX station PC
// data ETX sum, ACK station PC, NAK station PC error; format 4 ends each in
// CR LF. The sum covers the characters after ENQ or STX up to the sum.
#include "decoder_table.h"

namespace {

using namespace decoder_table;

const Bytes kCrLf = text("\r\n");
// Station 00, PC FF: 5 bits from X0040.
const Bytes kReadBits = text("\x05" "00FFBR3X004005" "34");
const Bytes kBits = text("\x02" "00FF10110" "\x03" "E2");
// 2 words from D0000, and their answer 0x1234 0x0ABC.
const Bytes kReadWords = text("\x05" "00FFWR0D000002" "2B");
const Bytes kWords = text("\x02" "00FF12340ABC" "\x03" "AF");
const Bytes kWriteWords = text("\x05" "00FFWW0D0000021234ABCD" "04");
const Bytes kAck = text("\x06" "00FF");
const Bytes kNak = text("\x15" "00FF" "0006");

TEST(McFraming, Table)
{
    const auto R = Direction::Request, A = Direction::Answer, U = Direction::Unknown;
    const auto Good = Verdict::Good;
    checkFraming(Protocol::McAscii, {
        // Format 1 has nothing after a frame: the next byte tells it from format 4.
        {"format 1 request", {kReadBits}, {{0, 17, R, Good}}, 0},
        {"format 1 exchange glued", {kReadBits + kBits}, {{0, 17, R, Good}, {17, 13, A, Good}}},
        {"format 4 exchange", {kReadBits + kCrLf + kBits + kCrLf}, {{0, 19, R, Good}, {19, 15, A, Good}}},
        {"format 4 ACK and NAK", {kAck + kCrLf + kNak + kCrLf}, {{0, 7, A, Good}, {7, 11, A, Good}}},
        {"write and its ACK, format 1", {kWriteWords + kAck}, {{0, 25, R, Good}, {25, 5, A, Good}}},
        {"bad sum", {text("\x05" "00FFBR3X004005" "35") + kBits}, {{0, 17, R, Verdict::BadCheck}, {17, 13, A, Good}}},
        {"bad answer sum", {kReadBits + text("\x02" "00FF10110" "\x03" "E3") + kAck},
         {{0, 17, R, Good}, {17, 13, A, Verdict::BadCheck}, {30, 5, A, Good}}},
        {"truncated, then cut", {text("\x05" "00FFBR3X00")}, {{0, 11, U, Verdict::Cut}}, 0},
        {"split across arrivals", {text("\x05" "00FFBR"), text("3X0040"), text("0534"), kCrLf},
         {{0, 19, R, Good}}},
        {"garbage before", {text("??") + kReadWords + kWords},
         {{0, 2, U, Verdict::Unrecognised}, {2, 17, R, Good}, {19, 16, A, Good}}},
        {"a command of no known length ends at the next frame", {text("\x05" "00FFXX0AB" "4F") + kAck},
         {{0, 12, R, Good}, {12, 5, A, Good}}},
        {"ACK of no hex", {text("\x06" "00FZ") + kAck}, {{0, 5, U, Verdict::Unrecognised}, {5, 5, A, Good}}, 1},
        {"a request longer than any frame", {text("\x05" "00FFXX0") + Bytes(700, 'A') + kAck},
         {{0, 708, U, Verdict::Unrecognised}, {708, 5, A, Good}}, 1},
    });
}

TEST(McDescription, Table)
{
    const auto R = Direction::Request, A = Direction::Answer;
    const auto Good = Verdict::Good;
    checkDescribed(Protocol::McAscii, {
        {"read bits", kReadBits, R, Good, {}, "request", "00", "BR", "X0040", "5", "",
         "Batch read bits X0040 (5), station 00"},
        {"their answer", kBits, A, Good, kReadBits, "answer", "00", "BR", "X0040", "5", "1 0 1 1 0",
         "Answer: 1 0 1 1 0"},
        {"format 4 request", kReadBits + kCrLf, R, Good, {}, "request", "00", "BR", "X0040", "5", "",
         "Batch read bits X0040 (5), station 00"},
        {"read words", kReadWords, R, Good, {}, "request", "00", "WR", "D0000", "2", "",
         "Batch read words D0000 (2), station 00"},
        {"their answer", kWords + kCrLf, A, Good, kReadWords + kCrLf, "answer", "00", "WR", "D0000", "2",
         "4660 2748", "Answer: 4660 2748"},
        {"an answer alone", kWords, A, Good, {}, "answer", "00", "", "", "", "", "Answer: 12340ABC"},
        {"write words", kWriteWords, R, Good, {}, "request", "00", "WW", "D0000", "2", "4660 43981",
         "Batch write words D0000 (2) = 4660 43981, station 00"},
        {"its ACK", kAck, A, Good, kWriteWords, "answer", "00", "WW", "D0000", "2", "", "ACK, station 00"},
        {"a NAK", kNak, A, Good, kWriteWords, "nak 0006", "00", "WW", "D0000", "2", "", "NAK 0006, station 00"},
        {"random word write", text("\x05" "00FFWT002D00001234W01002BCD" "0A"), R, Good, {}, "request", "00", "WT",
         "D0000", "2", "4660 11213", "Test words (random write) D0000 (2) = 4660 11213, station 00"},
        {"remote RUN", text("\x05" "00FFRR0" "C0"), R, Good, {}, "request", "00", "RR", "", "", "",
         "Remote RUN, station 00"},
        {"unknown command", text("\x05" "00FFXX0AB" "4F"), R, Good, {}, "request", "00", "XX", "", "", "",
         "Command XX, station 00"},
        {"bad sum", text("\x05" "00FFBR3X004005" "35"), R, Verdict::BadCheck, {}, "bad check", "00", "BR", "X0040",
         "5", "", "Bad check: Batch read bits X0040 (5), station 00"},
        {"count 00 is 256", text("\x05" "00FFBR3X004000" "2F"), R, Good, {}, "request", "00", "BR", "X0040", "256",
         "", "Batch read bits X0040 (256), station 00"},
    });
}

TEST(McDescription, SumAndPairing)
{
    const auto good = protocol::describe(Protocol::McAscii, kWords, {0, 16, Direction::Answer});
    EXPECT_EQ(fieldValue(good, "Sum"), "AF (ok)");
    const auto bad = protocol::describe(Protocol::McAscii, text("\x05" "00FFBR3X004005" "35"),
                                        {0, 17, Direction::Request, Verdict::BadCheck});
    EXPECT_EQ(fieldValue(bad, "Sum"), "35 (bad, expected 34)");
    const auto key = [](const Bytes &frame) {
        return protocol::pairingKey(Protocol::McAscii, frame, {0, std::uint32_t(frame.size()), Direction::Unknown});
    };
    EXPECT_EQ(key(kReadBits), key(kBits));
    EXPECT_EQ(key(kReadBits), key(kNak));
    EXPECT_NE(key(kReadBits), key(text("\x06" "01FF")));
}

} // namespace
