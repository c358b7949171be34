// The scan over the Windows back-ends as the programs get them: the test
// double DLL, the real (Wine) registry and, for the NT 5 family, the real
// version word of the prefix.

#include "discovery/configurator_scan.h"
#include "discovery/discovery.h"
#include "discovery/platform_backends.h"
#include "discovery/port_checker_scan.h"

#include "test_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using discovery::LibraryLoadError;
using wintests::FakeVendor;
using wintests::ScratchRegistry;

namespace {

const std::string kUsbKeys = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00";
const std::string kEntryKeys = "Enum\\SLABCR";

// Under HKEY_LOCAL_MACHINE: the NT 5 key of one bridge instance and its
// PortName.
using PortKey = std::pair<std::string, std::string>;

// The scan over the back-ends the programs get; `version` stands in for the
// prefix's version word when given.
struct WindowsDiscovery {
    explicit WindowsDiscovery(discovery::VersionSource *version = nullptr)
        : backends(discovery::makePlatformBackends()),
          scan(*backends.vendor, *backends.registry, version ? *version : *backends.version)
    {
    }
    discovery::PlatformBackends backends;
    discovery::Discovery scan;
};

FakeBridge unopenable(FakeBridge bridge)
{
    bridge.openStatus = 0x00FF;
    return bridge;
}

struct Nt5Case {
    const char *name;
    std::vector<FakeBridge> bridges;
    std::vector<PortKey> portKeys;
    std::string report;
};

class WindowsScanNt5 : public testing::TestWithParam<Nt5Case> {};

TEST_P(WindowsScanNt5, ReportsEachBridgeWithItsPort)
{
    const Nt5Case &c = GetParam();
    FakeVendor fake;
    for (const FakeBridge &b : c.bridges)
        fake.add(b);
    ScratchRegistry scratch({kUsbKeys});
    for (const auto &[instance, portName] : c.portKeys)
        scratch.setString(kUsbKeys + "\\" + instance + "\\Device Parameters", "PortName", portName);

    {
        WindowsDiscovery windows;
        EXPECT_EQ(discovery::FillDeviceListForPortChecker(windows.scan), c.report);
    }
    EXPECT_EQ(fake.openBridges(), 0u);
}

const FakeBridge kFirst = wintests::bridge(0x10C4, 0xEA60, "0001", "USB to UART adapter");
const FakeBridge kSecond = wintests::bridge(0x10C4, 0xEA60, "ab 12", "Second adapter");

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsScanNt5,
    testing::Values(
        Nt5Case{"OneBridgeOnCom3", {kFirst}, {{"0001_00", "COM3"}},
                "  Serial Num = 0001\r\n  Device Name = USB to UART adapter\r\n"
                "  This device is on COM Port :  3\r\n\r\n\r\n\r\n"},
        Nt5Case{"OneBridgeOnCom12", {kFirst}, {{"0001_00", "COM12"}},
                "  Serial Num = 0001\r\n  Device Name = USB to UART adapter\r\n"
                "  This device is on COM Port :  12\r\n\r\n\r\n\r\n"},
        Nt5Case{"TwoBridgesInIndexOrder", {kFirst, kSecond}, {{"0001_00", "COM3"}, {"ab_12_00", "COM12"}},
                "  Serial Num = 0001\r\n  Device Name = USB to UART adapter\r\n"
                "  This device is on COM Port :  3\r\n\r\n"
                "  Serial Num = ab 12\r\n  Device Name = Second adapter\r\n"
                "  This device is on COM Port :  12\r\n\r\n\r\n\r\n"},
        Nt5Case{"SecondBridgeFailsToOpen", {kFirst, unopenable(kSecond)},
                {{"0001_00", "COM3"}, {"ab_12_00", "COM12"}},
                "  Serial Num = 0001\r\n  Device Name = USB to UART adapter\r\n"
                "  This device is on COM Port :  3\r\n\r\n"
                "  This device is on COM Port :  3\r\n\r\n\r\n\r\n"},
        Nt5Case{"NoKeyForTheBridge", {kFirst}, {{"0002_00", "COM3"}},
                "  Serial Num = 0001\r\n  Device Name = USB to UART adapter\r\n"
                "  This device is on COM Port : -1\r\n\r\n\r\n\r\n"},
        Nt5Case{"PortNameLongerThanTheBuffer", {kFirst}, {{"0001_00", "COM" + std::string(120, '1')}},
                "  Serial Num = 0001\r\n  Device Name = USB to UART adapter\r\n"
                "  This device is on COM Port : -1\r\n\r\n\r\n\r\n"}),
    [](const testing::TestParamInfo<Nt5Case> &info) { return std::string(info.param.name); });

class Win9xVersion final : public discovery::VersionSource {
public:
    std::uint32_t GetVersion() override { return 0xC0000A04u; } // Windows 98
};

// Under HKEY_LOCAL_MACHINE\Enum\SLABCR\guid: entry number, CRLowerDeviceID,
// PortName.
struct Entry {
    int number;
    std::string deviceId;
    std::string portName;
};

struct Win9xCase {
    const char *name;
    std::vector<Entry> entries;
    std::int16_t port;
};

class WindowsScan9x : public testing::TestWithParam<Win9xCase> {};

TEST_P(WindowsScan9x, MatchesTheDeviceIdOfEachEntryUntilTheFirstGap)
{
    const Win9xCase &c = GetParam();
    FakeVendor fake;
    fake.add(kSecond);
    ScratchRegistry scratch({kEntryKeys});
    for (const Entry &e : c.entries) {
        const std::string key = "Enum\\SLABCR\\guid\\000" + std::to_string(e.number);
        scratch.setString(key, "CRLowerDeviceID", e.deviceId);
        scratch.setString(key, "PortName", e.portName);
    }

    Win9xVersion win98;
    WindowsDiscovery windows(&win98);
    const std::string portLine = c.port < 0 ? " " + std::to_string(c.port) : "  " + std::to_string(c.port);
    EXPECT_EQ(discovery::FillDeviceListForPortChecker(windows.scan),
              "  Serial Num = ab 12\r\n  Device Name = Second adapter\r\n"
              "  This device is on COM Port :" + portLine + "\r\n\r\n\r\n\r\n");
}

const std::string kSecondId = "USB\\VID_10C4&PID_EA60&MI_00\\AB_12_00";

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsScan9x,
    testing::Values(
        // The size a read leaves is what the next entry is offered: after
        // the short "x" the matching entry answers "more data" and is read
        // again with the size asked for.
        Win9xCase{"ShorterValueBeforeMakesTheNextOneReadAgain",
                  {{0, "x", "COM7"}, {1, kSecondId, "COM3"}, {3, kSecondId, "COM9"}},
                  3},
        // 101 characters and the NUL: more than the 100 bytes first offered
        // but within the buffer.
        Win9xCase{"LongerThanFirstOfferedIsReadAgain",
                  {{0, "USB\\VID_10C4&PID_EA60&MI_00\\" + std::string(73, 'X'), "COM7"},
                   {1, "x", "COM8"},
                   {2, kSecondId, "COM3"}},
                  3},
        Win9xCase{"ValueLongerThanTheBufferIsPassedOver",
                  {{0, "USB\\VID_10C4&PID_EA60&MI_00\\" + std::string(150, 'X'), "COM7"},
                   {1, kSecondId, "COM12"}},
                  12},
        Win9xCase{"LowerCaseIdDoesNotMatch", {{0, "USB\\VID_10C4&PID_EA60&MI_00\\ab_12_00", "COM3"}}, -1},
        Win9xCase{"EntryNumbersGrowWithoutPadding",
                  {{0, "USB\\VID_10C4&PID_EA61&MI_00\\AB_12_00", "COM1"},
                   {1, "x", "COM1"}, {2, "x", "COM1"}, {3, "x", "COM1"}, {4, "x", "COM1"},
                   {5, "x", "COM1"}, {6, "x", "COM1"}, {7, "x", "COM1"}, {8, "x", "COM1"},
                   {9, "x", "COM1"}, {10, "x", "COM1"}, {11, "x", "COM1"}, {12, kSecondId, "COM12"}},
                  12}),
    [](const testing::TestParamInfo<Win9xCase> &info) { return std::string(info.param.name); });

TEST(WindowsScanConfigurator, TakesTheBridgePortOrEndsWhenThereIsNone)
{
    FakeVendor fake;
    fake.add(kFirst);
    ScratchRegistry scratch({kUsbKeys});
    scratch.setString(kUsbKeys + "\\0001_00\\Device Parameters", "PortName", "COM3");

    WindowsDiscovery windows;
    discovery::ConfiguratorPorts ports;
    auto result = discovery::FillDeviceListForConfigurator(windows.scan, ports);
    EXPECT_EQ(result.status, discovery::ConfiguratorScanStatus::Done);
    EXPECT_EQ(result.lblComm, "COM 3");
    EXPECT_EQ(ports.CommPortNumber, 3);
    EXPECT_EQ(ports.DetectedPort, 3);

    fake.add(kSecond);
    result = discovery::FillDeviceListForConfigurator(windows.scan, ports);
    EXPECT_EQ(result.status, discovery::ConfiguratorScanStatus::PortNotFound);
    EXPECT_EQ(ports.CommPortNumber, 3);
    EXPECT_EQ(ports.DetectedPort, -1);
}

std::string loadErrorOfScan(discovery::Discovery &discovery)
{
    try {
        discovery::FillDeviceListForPortChecker(discovery);
    } catch (const LibraryLoadError &e) {
        return e.what();
    }
    return "(no error)";
}

TEST(WindowsScanFatal, MissingLibraryIsNamed)
{
    wintests::VendorDirectory none(wintests::kNoVendor);
    WindowsDiscovery windows;
    EXPECT_EQ(loadErrorOfScan(windows.scan), "Cannot load CP210xManufacturing.dll");
    EXPECT_EQ(windows.scan.NumDevices, 0);
}

TEST(WindowsScanFatal, MissingFunctionIsNamedAndItsBridgeClosedAtUnload)
{
    FakeVendor fake(wintests::kLackingVendor);
    fake.add(kFirst);
    {
        WindowsDiscovery windows;
        EXPECT_EQ(loadErrorOfScan(windows.scan),
                  "Cannot load CP210x_GetDeviceProductString from CP210xManufacturing.dll");
        EXPECT_EQ(fake.openBridges(), 1u);
        windows.scan.closeBridgeLeftOpen();
    }
    EXPECT_EQ(fake.openBridges(), 0u);
}

} // namespace
