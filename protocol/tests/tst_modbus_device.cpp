// The device's answers, byte for byte, as the protocol's public
// description gives them (its examples, with their CRCs), and its line
// discipline: requests joined across arrivals, answers in turn, a flood
// bounded.
#include "protocol/modbus_device.h"
#include "written_bytes.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace protocol;

namespace {

using written_bytes::hex;
using written_bytes::hexText;
// A CRC of the test's own, for the frames built at the quantity limits.
using written_bytes::withCrc;

void setBits(RegisterTable &table, RegisterKind kind, std::uint16_t first, const std::string &packed, int count)
{
    const auto bytes = hex(packed);
    for (int i = 0; i < count; ++i)
        table.set(kind, std::uint16_t(first + i), (bytes[std::size_t(i / 8)] >> (i % 8)) & 1);
}

// The values of the description's examples, at their addresses.
RegisterTable exampleTable()
{
    RegisterTable t;
    setBits(t, RegisterKind::Coil, 19, "CD 6B 05", 19); // coils 20-38 in its numbering
    t.set(RegisterKind::Coil, 172, 0);
    setBits(t, RegisterKind::Discrete, 196, "AC DB 35", 22);
    t.set(RegisterKind::Holding, 107, 0x022B);
    t.set(RegisterKind::Holding, 108, 0);
    t.set(RegisterKind::Holding, 109, 0x64);
    t.set(RegisterKind::Holding, 1, 0);
    t.set(RegisterKind::Holding, 2, 0);
    const std::uint16_t readWrite[] = {0x00FE, 0x0ACD, 0x0001, 0x0003, 0x000D, 0x00FF};
    for (int i = 0; i < 6; ++i)
        t.set(RegisterKind::Holding, std::uint16_t(3 + i), readWrite[i]);
    for (std::uint16_t a = 14; a <= 16; ++a)
        t.set(RegisterKind::Holding, a, 0);
    t.set(RegisterKind::Input, 8, 10);
    return t;
}

struct Row {
    const char *what;
    const char *request;
    const char *answer; // "" for none
    // A table entry the request leaves so: "holding 1 = 3".
    RegisterKind kind = RegisterKind::Holding;
    int address = -1;
    int value = 0;
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.what;
}

class Answers : public testing::TestWithParam<Row> {};

} // namespace

TEST_P(Answers, exactBytesThroughTheLine)
{
    const Row &row = GetParam();
    ModbusAnswerer answerer(exampleTable(), {1, 17});
    ModbusDevice device(answerer, {});
    device.feed(hex(row.request), 1000);
    const auto due = device.takeDue(1000);
    if (std::string(row.answer).empty()) {
        EXPECT_FALSE(due) << hexText(*due);
    } else {
        ASSERT_TRUE(due);
        EXPECT_EQ(hexText(*due), row.answer);
    }
    EXPECT_FALSE(device.takeDue(1'000'000'000));
    if (row.address >= 0) {
        EXPECT_EQ(answerer.table().value(row.kind, std::uint16_t(row.address)), row.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    PublicDescription, Answers,
    testing::Values(
        Row{"read coils", "01 01 00 13 00 13 8C 02", "01 01 03 CD 6B 05 42 82"},
        Row{"read discrete inputs", "01 02 00 C4 00 16 B8 39", "01 02 03 AC DB 35 22 88"},
        Row{"read holding registers", "01 03 00 6B 00 03 74 17", "01 03 06 02 2B 00 00 00 64 05 7A"},
        Row{"read input register", "01 04 00 08 00 01 B0 08", "01 04 02 00 0A 39 37"},
        Row{"write single coil", "01 05 00 AC FF 00 4C 1B", "01 05 00 AC FF 00 4C 1B", RegisterKind::Coil, 172, 1},
        Row{"write single register", "01 06 00 01 00 03 98 0B", "01 06 00 01 00 03 98 0B", RegisterKind::Holding,
            1, 3},
        Row{"write multiple coils", "01 0F 00 13 00 0A 02 CD 01 72 CB", "01 0F 00 13 00 0A 24 09",
            RegisterKind::Coil, 27, 1},
        Row{"write multiple coils, a cleared one", "01 0F 00 13 00 0A 02 CD 01 72 CB", "01 0F 00 13 00 0A 24 09",
            RegisterKind::Coil, 20, 0},
        Row{"write multiple registers", "01 10 00 01 00 02 04 00 0A 01 02 92 30", "01 10 00 01 00 02 10 08",
            RegisterKind::Holding, 2, 0x0102},
        Row{"read/write registers", "01 17 00 03 00 06 00 0E 00 03 06 00 FF 00 FF 00 FF 46 91",
            "01 17 0C 00 FE 0A CD 00 01 00 03 00 0D 00 FF 1D 79", RegisterKind::Holding, 16, 0xFF},
        Row{"the second unit", "11 03 00 6B 00 03 76 87", "11 03 06 02 2B 00 00 00 64 C8 BA"},
        Row{"address not in the table", "01 03 00 C8 00 01 05 F4", "01 83 02 C0 F1"},
        Row{"range runs past the table", "01 03 00 6C 00 03 C5 D6", "01 83 02 C0 F1"},
        Row{"unknown function", "01 41 00 00 51 CC", "01 C1 01 B0 50"},
        Row{"function not played", "01 07 41 E2", "01 87 01 82 30"},
        Row{"126 registers", "01 03 00 6B 00 7E B4 36", "01 83 03 01 31"},
        Row{"no coils", "01 01 00 13 00 00 CD CF", "01 81 03 00 51"},
        Row{"coil value neither on nor off", "01 05 00 AC 12 34 00 9C", "01 85 03 02 91", RegisterKind::Coil, 172,
            0},
        Row{"broadcast write: applied, no answer", "00 06 00 01 00 03 99 DA", "", RegisterKind::Holding, 1, 3},
        Row{"broadcast read: no answer", "00 03 00 6B 00 03 75 C6", ""},
        Row{"another unit", "02 03 00 6B 00 03 74 24", ""},
        Row{"bad CRC", "01 03 00 6B 00 03 74 18", ""},
        Row{"bad CRC on a write: nothing written", "01 06 00 01 00 03 98 0C", "", RegisterKind::Holding, 1, 0}));

namespace {

struct Limit {
    const char *what;
    std::vector<std::uint8_t> request; // without the CRC
    int exception;                     // 0: a normal answer
    std::size_t answerLength = 0;
};

std::vector<std::uint8_t> writeMany(std::uint8_t function, std::uint16_t count, std::size_t byteCount)
{
    std::vector<std::uint8_t> r{1, function, 0, 0, std::uint8_t(count >> 8), std::uint8_t(count),
                                std::uint8_t(byteCount)};
    r.resize(r.size() + byteCount, 0x55);
    return r;
}

std::vector<std::uint8_t> readWrite(std::uint16_t reads, std::uint16_t writes)
{
    std::vector<std::uint8_t> r{1, 23, 0, 0, std::uint8_t(reads >> 8), std::uint8_t(reads), 0, 0,
                                std::uint8_t(writes >> 8), std::uint8_t(writes), std::uint8_t(2 * writes)};
    r.resize(r.size() + 2 * writes, 0x11);
    return r;
}

} // namespace

// Every table full from 0 to 2999, and 65535 alone: only the limits decide.
TEST(Answers, quantityAndAddressLimits)
{
    RegisterTable full;
    for (RegisterKind kind : kRegisterKinds) {
        for (std::uint16_t a = 0; a < 3000; ++a)
            full.set(kind, a, 1);
        full.set(kind, 65535, 1);
    }
    const Limit limits[] = {
        {"2000 coils", {1, 1, 0, 0, 0x07, 0xD0}, 0, 5 + 250},
        {"2001 coils", {1, 1, 0, 0, 0x07, 0xD1}, 3},
        {"2000 discrete inputs", {1, 2, 0, 0, 0x07, 0xD0}, 0, 5 + 250},
        {"2001 discrete inputs", {1, 2, 0, 0, 0x07, 0xD1}, 3},
        {"125 holding registers", {1, 3, 0, 0, 0, 125}, 0, 5 + 250},
        {"126 input registers", {1, 4, 0, 0, 0, 126}, 3},
        {"125 input registers", {1, 4, 0, 0, 0, 125}, 0, 5 + 250},
        {"the last address", {1, 3, 0xFF, 0xFF, 0, 1}, 0, 7},
        {"past the last address", {1, 3, 0xFF, 0xFF, 0, 2}, 2},
        {"a gap in the table", {1, 3, 0x0B, 0xB7, 0, 2}, 2}, // 2999 and 3000
        {"1968 coils written", writeMany(15, 1968, 246), 0, 8},
        {"1969 coils written", writeMany(15, 1969, 247), 3},
        {"a coil byte count that does not fit", writeMany(15, 16, 1), 3},
        {"123 registers written", writeMany(16, 123, 246), 0, 8},
        {"124 registers written", writeMany(16, 124, 248), 3},
        {"a register byte count that does not fit", writeMany(16, 2, 2), 3},
        {"no registers written", writeMany(16, 0, 0), 3},
        {"121 registers read and written", readWrite(125, 121), 0, 5 + 250},
        {"122 registers written in a read/write", readWrite(1, 122), 3},
        {"126 registers read in a read/write", readWrite(126, 1), 3},
        {"a read request one byte short", {1, 3, 0, 0, 0}, 3},
    };
    for (const Limit &limit : limits) {
        SCOPED_TRACE(limit.what);
        ModbusAnswerer answerer(full, {1});
        const Exchange x = answerer.answer(withCrc(limit.request));
        if (limit.exception) {
            EXPECT_EQ(x.status, ExchangeStatus::Exception);
            EXPECT_EQ(hexText(x.answer), hexText(withCrc({1, std::uint8_t(limit.request[1] | 0x80),
                                                          std::uint8_t(limit.exception)})));
            EXPECT_EQ(answerer.table(), full) << "an exception writes nothing";
        } else {
            EXPECT_EQ(x.status, ExchangeStatus::Answered);
            EXPECT_EQ(x.answer.size(), limit.answerLength);
        }
    }
}

TEST(Device, requestSplitAcrossArrivalsIsJoined)
{
    ModbusAnswerer answerer(exampleTable(), {1});
    ModbusDevice device(answerer, {});
    const auto request = hex("01 03 00 6B 00 03 74 17");
    device.feed(std::span(request).first(3), 0);
    EXPECT_FALSE(device.nextDueUs());
    device.feed(std::span(request).subspan(3, 4), 2000);
    EXPECT_FALSE(device.nextDueUs());
    device.feed(std::span(request).subspan(7), 4000);
    const auto answer = device.takeDue(4000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(hexText(*answer), "01 03 06 02 2B 00 00 00 64 05 7A");
}

TEST(Device, answersWaitForTheDelayAndForTheLine)
{
    ModbusAnswerer answerer(exampleTable(), {1});
    ModbusDevice::Options options;
    options.replyDelayUs = 50'000;
    options.byteTimeUs = 1000;
    ModbusDevice device(answerer, options);
    // Two requests in one arrival.
    auto both = hex("01 04 00 08 00 01 B0 08");
    const auto second = hex("01 03 00 6B 00 03 74 17");
    both.insert(both.end(), second.begin(), second.end());
    device.feed(both, 100'000);
    EXPECT_EQ(device.nextDueUs(), 150'000);
    EXPECT_FALSE(device.takeDue(149'999));
    const auto first = device.takeDue(150'000);
    ASSERT_TRUE(first);
    EXPECT_EQ(hexText(*first), "01 04 02 00 0A 39 37");
    // Seven bytes at a millisecond each are on the line until 157 ms.
    EXPECT_EQ(device.nextDueUs(), 157'000);
    EXPECT_FALSE(device.takeDue(156'999));
    ASSERT_TRUE(device.takeDue(157'000));
    EXPECT_EQ(device.counts().answered, 2);
}

TEST(Device, floodIsBoundedAndCounted)
{
    ModbusAnswerer answerer(exampleTable(), {1});
    ModbusDevice::Options options;
    options.maxWaiting = 8;
    options.maxExchanges = 100;
    ModbusDevice device(answerer, options);
    const auto request = hex("01 06 00 01 00 03 98 0B");
    std::vector<std::uint8_t> flood;
    for (int i = 0; i < 1000; ++i)
        flood.insert(flood.end(), request.begin(), request.end());
    device.feed(flood, 0);
    EXPECT_EQ(device.waiting(), 8u);
    EXPECT_EQ(device.counts().requests, 1000);
    EXPECT_EQ(device.counts().dropped, 992);
    const auto exchanges = device.takeExchanges();
    ASSERT_EQ(exchanges.size(), 100u);
    EXPECT_EQ(device.counts().unlisted, 900);
    EXPECT_EQ(exchanges.back().status, ExchangeStatus::Dropped);
    EXPECT_EQ(exchangeStatusText(exchanges.back()), "dropped: too many waiting");
    int sent = 0;
    for (std::int64_t t = 0; device.takeDue(t + 1'000'000'000); t += 1'000'000'000)
        ++sent;
    EXPECT_EQ(sent, 8);
}

TEST(Device, noiseBeforeARequestIsLetGo)
{
    ModbusAnswerer answerer(exampleTable(), {1});
    ModbusDevice device(answerer, {});
    device.feed(hex("FF FE"), 0);
    device.idle(200'000);
    device.feed(hex("01 04 00 08 00 01 B0 08"), 300'000);
    const auto answer = device.takeDue(300'000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(hexText(*answer), "01 04 02 00 0A 39 37");
    EXPECT_EQ(device.counts().noiseBytes, 2);
}

TEST(Device, exchangeLines)
{
    ModbusAnswerer answerer(exampleTable(), {1});
    ModbusDevice device(answerer, {});
    device.feed(hex("01 03 00 C8 00 01 05 F4"), 0);
    device.feed(hex("01 10 00 01 00 02 04 00 0A 01 02 92 30"), 10);
    device.feed(hex("00 06 00 01 00 03 99 DA"), 20);
    // The shortest whole request, for another unit: named though not read.
    device.feed(hex("02 03 00 05 00 02 D4 39"), 30);
    const auto x = device.takeExchanges();
    ASSERT_EQ(x.size(), 4u);
    EXPECT_EQ(exchangeLine("12:00:00.000", x[0]),
              "12:00:00.000 unit 1 function 3 address 200 count 1 exception 2 (Illegal data address)");
    EXPECT_EQ(exchangeLine("t", x[1]), "t unit 1 function 16 address 1 count 2 ok");
    ASSERT_EQ(x[1].writes.size(), 2u);
    EXPECT_EQ(x[1].writes[1].address, 2);
    EXPECT_EQ(exchangeLine("t", x[2]), "t unit 0 function 6 address 1 count 1 broadcast, no answer");
    EXPECT_EQ(exchangeLine("t", x[3]), "t unit 2 function 3 address 5 count 2 other unit, no answer");
}

TEST(Units, parsed)
{
    struct {
        const char *text;
        std::vector<std::uint8_t> units; // empty: refused
    } rows[] = {
        {"1", {1}}, {"247", {247}}, {"1,2,17", {1, 2, 17}}, {"3,3", {3}}, {"0", {}}, {"248", {}},
        {"", {}},   {"1,", {}},     {"a", {}},              {"1 2", {}},  {"0001", {}},
    };
    for (const auto &row : rows) {
        std::string reason;
        const auto units = parseUnits(row.text, &reason);
        if (row.units.empty()) {
            EXPECT_FALSE(units) << row.text;
            EXPECT_FALSE(reason.empty());
        } else {
            ASSERT_TRUE(units) << row.text << reason;
            EXPECT_EQ(*units, row.units);
        }
    }
}

TEST(RegisterCsv, loads)
{
    const auto load = parseRegisterCsv("table,address,value\r\ncoil,0,1\n holding , 65535 , 65535 \n\n"
                                       "discrete,7,0\ninput,3,12\nholding,65535,4\n");
    ASSERT_TRUE(load.table) << load.error;
    EXPECT_EQ(load.table->size(), 4u);
    EXPECT_EQ(load.table->value(RegisterKind::Holding, 65535), 4);
    EXPECT_EQ(load.table->value(RegisterKind::Coil, 0), 1);
    ASSERT_EQ(load.remarks.size(), 1u);
    EXPECT_EQ(load.remarks[0], "line 7: holding 65535 was given on line 3 too; the later value 4 is kept");
    // What is saved loads back the same.
    const auto again = parseRegisterCsv(registerCsv(*load.table));
    ASSERT_TRUE(again.table);
    EXPECT_EQ(*again.table, *load.table);
    EXPECT_EQ(registerCsv(*load.table), "table,address,value\ncoil,0,1\ndiscrete,7,0\ninput,3,12\nholding,65535,4\n");
}

TEST(RegisterCsv, badLinesRefuseTheWholeFile)
{
    const struct {
        const char *text;
        const char *error;
    } rows[] = {
        {"coil,1,1\ncoil,65536,0\n", "line 2: address \"65536\" is out of range 0-65535"},
        {"coil,1,2\n", "line 1: value \"2\" is out of range 0-1 in table coil"},
        {"discrete,1,2\n", "line 1: value \"2\" is out of range 0-1 in table discrete"},
        {"holding,1,65536\n", "line 1: value \"65536\" is out of range 0-65535 in table holding"},
        {"input,1,-1\n", "line 1: value \"-1\" is out of range 0-65535 in table input"},
        {"register,1,1\n", "line 1: table \"register\" is none of coil, discrete, input, holding"},
        {"holding,1\n", "line 1: expected table,address,value, found \"holding,1\""},
        {"holding,1,2,3\n", "line 1: expected table,address,value, found \"holding,1,2,3\""},
        {"holding,0x10,1\n", "line 1: address \"0x10\" is out of range 0-65535"},
        {"holding,1,99999999999\n", "line 1: value \"99999999999\" is out of range 0-65535 in table holding"},
        {"holding,1,1\ntable,address,value\n", "line 2: table \"table\" is none of coil, discrete, input, holding"},
    };
    for (const auto &row : rows) {
        const auto load = parseRegisterCsv(row.text);
        EXPECT_FALSE(load.table) << row.text;
        EXPECT_EQ(load.error, row.error);
    }
}
