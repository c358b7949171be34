#include "protocol/checks.h"
#include "protocol/protocol.h"
#include "written_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string hex(std::uint8_t value)
{
    const auto pair = protocol::hexPair(value);
    return {pair.begin(), pair.end()};
}

TEST(Checks, KnownFrames)
{
    // Modbus: the read of three registers at 0x6B from unit 0x11.
    const std::vector<std::uint8_t> read = {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03};
    EXPECT_EQ(protocol::modbusCrc16(read), 0x8776);
    EXPECT_EQ(hex(protocol::lrc(read)), "7E");
    EXPECT_EQ(protocol::modbusCrc16(std::vector<std::uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}), 0xCDC5);
    EXPECT_EQ(protocol::modbusCrc16({}), 0xFFFF);
    EXPECT_EQ(protocol::lrc({}), 0x00);
    EXPECT_EQ(protocol::sum8(std::vector<std::uint8_t>{0x80, 0xFF, 0x81}), 0x00);

    // FX: read 4 bytes at 10F6 (D123), "0 10F6 04" ETX: sum 74 (0x174).
    EXPECT_EQ(hex(protocol::fxSum(written_bytes::text("010F604\x03"))), "74");
    // MEWTOCOL: read contact X0 from station 01.
    EXPECT_EQ(hex(protocol::mewtocolBcc(written_bytes::text("%01#RCSX0000"))), "1D");
    EXPECT_EQ(hex(protocol::mewtocolBcc(written_bytes::text("%01$RC1"))), "20");
}

TEST(Checks, HexDigits)
{
    EXPECT_EQ(hex(0x0A), "0A");
    EXPECT_EQ(protocol::hexPairValue('F', 'f'), 0xFF);
    EXPECT_EQ(protocol::hexPairValue('0', '9'), 0x09);
    for (char c : {'G', 'g', '/', ':', '@', '`', ' '})
        EXPECT_FALSE(protocol::hexPairValue('0', std::uint8_t(c))) << c;
}

TEST(Names, SettingsAndDisplay)
{
    const struct {
        const char *setting;
        const char *display;
    } rows[] = {{"none", "None"},
                {"modbus-rtu", "Modbus RTU"},
                {"modbus-ascii", "Modbus ASCII"},
                {"fx-programming", "FX programming port"},
                {"mc-ascii", "A/Q computer link"},
                {"mewtocol", "MEWTOCOL"}};
    for (const auto &row : rows) {
        const auto parsed = protocol::protocolFromSettingName(row.setting);
        ASSERT_TRUE(parsed) << row.setting;
        EXPECT_EQ(protocol::settingName(*parsed), row.setting);
        EXPECT_EQ(protocol::displayName(*parsed), row.display);
    }
    for (const char *name : {"", "Modbus-RTU", "modbus", "mewtocol ", "None"})
        EXPECT_FALSE(protocol::protocolFromSettingName(name)) << name;
}

} // namespace
