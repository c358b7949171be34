// The Windows back-ends on their own, where the scan cannot tell a fault:
// sizes and widths at the edges of the caller's buffers and variables.

#include "discovery/registry_win.h"
#include "discovery/vendor_library_win.h"
#include "discovery/version_win.h"

#include "test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using discovery::RegKey;
using discovery::WindowsRegistry;
using discovery::WindowsVendorLibrary;
using wintests::FakeVendor;

namespace {

constexpr RegKey kLocalMachine = 0x80000002u;
constexpr std::uint8_t kUntouched = 0xEE;

std::string text(const std::uint8_t *bytes, std::size_t count)
{
    return std::string(reinterpret_cast<const char *>(bytes), count);
}

std::string letters(std::size_t count)
{
    std::string s;
    for (std::size_t i = 0; i < count; ++i)
        s += static_cast<char>('A' + i % 26);
    return s;
}

} // namespace

TEST(WindowsVersion, TheTestPrefixIsOfTheNt5Family)
{
    EXPECT_EQ(discovery::WindowsVersion().GetVersion() & 0x8000000Fu, 0x5u);
}

struct SizeCase {
    std::size_t valueLength; // without the NUL
    std::uint32_t offered;
    long status;
    std::uint32_t sizeAfter;
};

class WindowsRegistrySize : public testing::TestWithParam<SizeCase> {};

TEST_P(WindowsRegistrySize, WritesNoMoreThanOfferedAndAsksForWhatItNeeds)
{
    const SizeCase c = GetParam();
    const std::string value = letters(c.valueLength);
    wintests::ScratchRegistry scratch({"Enum\\SLABCR"});
    scratch.setString("Enum\\SLABCR\\guid\\0000", "CRLowerDeviceID", value);

    WindowsRegistry registry;
    RegKey key = 0;
    ASSERT_EQ(registry.RegOpenKeyA(kLocalMachine, "Enum\\SLABCR\\guid\\0000", &key), 0);
    std::vector<std::uint8_t> buffer(300, kUntouched);
    std::uint32_t type = 0, size = c.offered;
    EXPECT_EQ(registry.RegQueryValueExA(key, "CRLowerDeviceID", &type, buffer.data(), &size), c.status);
    registry.RegCloseKey(key);

    EXPECT_EQ(size, c.sizeAfter);
    EXPECT_TRUE(std::all_of(buffer.begin() + c.offered, buffer.end(),
                            [](std::uint8_t b) { return b == kUntouched; }))
        << "written past the size offered";
    if (c.status == 0) {
        EXPECT_EQ(text(buffer.data(), size), value + '\0');
    }
}

INSTANTIATE_TEST_SUITE_P(Values, WindowsRegistrySize,
                         testing::Values(SizeCase{4, 100, 0, 5}, SizeCase{99, 100, 0, 100},
                                         SizeCase{100, 100, 234, 101}, SizeCase{150, 100, 234, 151},
                                         SizeCase{150, 151, 0, 151}));

TEST(WindowsVendorLibrary, ReadsEachBridgeThroughItsOwnHandle)
{
    FakeVendor fake;
    fake.add(wintests::bridge(0xFFFF, 0x8001, "ab 12", "First bridge"));
    fake.add(wintests::bridge(0x10C4, 0xEA60, "0002", "Second"));

    struct Expected {
        std::uint32_t vid, pid;
        std::string serial, product;
    };
    const Expected expected[] = {{0xFFFF, 0x8001, "ab 12", "First bridge"}, {0x10C4, 0xEA60, "0002", "Second"}};

    WindowsVendorLibrary vendor;
    std::int32_t count = -1;
    EXPECT_EQ(vendor.GetNumDevices(&count), 0u);
    ASSERT_EQ(count, 2);
    for (std::int32_t i = 0; i < 2; ++i) {
        discovery::DeviceHandleType handle = 0;
        ASSERT_EQ(vendor.Open(i, &handle), 0u);
        std::uint32_t vid = 0, pid = 0;
        std::array<std::uint8_t, 64> serial{};
        std::array<std::uint8_t, 127> product{};
        std::int32_t serialLength = 0, productLength = 0;
        EXPECT_EQ(vendor.GetDeviceVid(handle, &vid), 0u);
        EXPECT_EQ(vendor.GetDevicePid(handle, &pid), 0u);
        EXPECT_EQ(vendor.GetDeviceSerialNumber(handle, serial.data(), serial.size(), &serialLength, true), 0u);
        EXPECT_EQ(vendor.GetDeviceProductString(handle, product.data(), product.size(), &productLength, true),
                  0u);
        EXPECT_EQ(vid, expected[i].vid);
        EXPECT_EQ(pid, expected[i].pid);
        EXPECT_EQ(text(serial.data(), serialLength), expected[i].serial);
        EXPECT_EQ(text(product.data(), productLength), expected[i].product);
        EXPECT_EQ(vendor.Close(handle), 0u);
    }
    EXPECT_EQ(fake.openBridges(), 0u);
}

// With the vendor's stdcall convention the library takes its arguments off
// the stack itself; a 32-bit caller that declared a function otherwise (or
// with other argument widths) leaves its stack pointer astray after each
// call, which at -O2 soon shows as a crash or as wrong values. (64-bit
// Windows has one convention, so there the calls simply have to agree.)
TEST(WindowsVendorLibrary, EveryFunctionAnswersAlikeManyTimesInARow)
{
    FakeVendor fake;
    fake.add(wintests::bridge(0x10C4, 0xEA60, "0001", "First"));
    fake.add(wintests::bridge(0xFFFF, 0x8001, "ab 12", "Second bridge"));

    WindowsVendorLibrary vendor;
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE(round);
        std::int32_t count = -1;
        ASSERT_EQ(vendor.GetNumDevices(&count), 0u);
        ASSERT_EQ(count, 2);
        discovery::DeviceHandleType handle = 0;
        ASSERT_EQ(vendor.Open(1, &handle), 0u);
        std::uint32_t vid = 0xAAAA0000u, pid = 0xBBBB0000u;
        ASSERT_EQ(vendor.GetDeviceVid(handle, &vid), 0u);
        ASSERT_EQ(vendor.GetDevicePid(handle, &pid), 0u);
        ASSERT_EQ(vid, 0xAAAAFFFFu);
        ASSERT_EQ(pid, 0xBBBB8001u);
        std::array<std::uint8_t, 64> serial{};
        std::array<std::uint8_t, 127> product{};
        std::int32_t serialLength = 0x7700, productLength = 0x7700;
        ASSERT_EQ(vendor.GetDeviceSerialNumber(handle, serial.data(), serial.size(), &serialLength, true), 0u);
        ASSERT_EQ(vendor.GetDeviceProductString(handle, product.data(), product.size(), &productLength, false),
                  0u);
        ASSERT_EQ(text(serial.data(), 5), "ab 12");
        ASSERT_EQ(serialLength, 0x7705);
        ASSERT_EQ(productLength, 0x770D);
        ASSERT_EQ(text(product.data(), 13), "Second bridge");
        ASSERT_EQ(vendor.Close(handle), 0u);
        ASSERT_EQ(vendor.Close(handle), 0x01u);
        ASSERT_EQ(vendor.Open(2, &handle), 0xFFu);
    }
    EXPECT_EQ(fake.openBridges(), 0u);
}

struct StringCase {
    bool product; // else the serial number
    std::size_t length;
    std::size_t capacity;
};

class WindowsVendorStrings : public testing::TestWithParam<StringCase> {};

TEST_P(WindowsVendorStrings, ReportTheFullLengthButFillOnlyTheBuffer)
{
    const StringCase c = GetParam();
    const std::string reported = letters(c.length);
    FakeVendor fake;
    fake.add(c.product ? wintests::bridge(0x10C4, 0xEA60, "0001", reported)
                       : wintests::bridge(0x10C4, 0xEA60, reported, "Bridge"));

    WindowsVendorLibrary vendor;
    discovery::DeviceHandleType handle = 0;
    ASSERT_EQ(vendor.Open(0, &handle), 0u);
    std::vector<std::uint8_t> buffer(c.capacity + 64, kUntouched);
    std::int32_t length = 0;
    const auto status = c.product
                            ? vendor.GetDeviceProductString(handle, buffer.data(), c.capacity, &length, true)
                            : vendor.GetDeviceSerialNumber(handle, buffer.data(), c.capacity, &length, true);
    vendor.Close(handle);

    EXPECT_EQ(status, 0u);
    EXPECT_EQ(length, static_cast<std::int32_t>(c.length));
    const std::size_t filled = std::min(c.length, c.capacity);
    EXPECT_EQ(text(buffer.data(), filled), reported.substr(0, filled));
    EXPECT_TRUE(std::all_of(buffer.begin() + c.capacity, buffer.end(),
                            [](std::uint8_t b) { return b == kUntouched; }))
        << "written past the buffer";
}

INSTANTIATE_TEST_SUITE_P(Lengths, WindowsVendorStrings,
                         testing::Values(StringCase{false, 64, 64}, StringCase{false, 65, 64},
                                         StringCase{false, 255, 64}, StringCase{true, 127, 127},
                                         StringCase{true, 200, 127}, StringCase{true, 255, 127}));

TEST(WindowsVendorLibrary, AFailedCallPassesItsStatusOnAndLeavesTheValue)
{
    FakeVendor fake;
    FakeBridge unopenable = wintests::bridge(0x10C4, 0xEA60, "0001", "Bridge");
    unopenable.openStatus = 0x00010003;
    FakeBridge unreadable = wintests::bridge(0x10C4, 0xEA61, "0002", "Bridge");
    unreadable.vidStatus = 0x12;
    unreadable.serialStatus = 0x34;
    fake.add(unopenable);
    fake.add(unreadable);

    WindowsVendorLibrary vendor;
    discovery::DeviceHandleType handle = 0x1234;
    EXPECT_EQ(vendor.Open(0, &handle), 0x00010003u);
    EXPECT_EQ(handle, 0x1234u);

    ASSERT_EQ(vendor.Open(1, &handle), 0u);
    std::uint32_t vid = 0x0403, pid = 0;
    EXPECT_EQ(vendor.GetDeviceVid(handle, &vid), 0x12u);
    EXPECT_EQ(vid, 0x0403u);
    EXPECT_EQ(vendor.GetDevicePid(handle, &pid), 0u);
    EXPECT_EQ(pid, 0xEA61u);

    std::array<std::uint8_t, 64> serial{};
    serial[0] = 'x';
    std::int32_t length = 1;
    EXPECT_EQ(vendor.GetDeviceSerialNumber(handle, serial.data(), serial.size(), &length, true), 0x34u);
    EXPECT_EQ(length, 1);
    EXPECT_EQ(serial[0], 'x');
    vendor.Close(handle);
}
