// The scan over scripted stand-ins: the device report, the configurator's
// result, both port lookups and the record that is not cleared between
// bridges.

#include "discovery/configurator_scan.h"
#include "discovery/discovery.h"
#include "discovery/port_checker_scan.h"
#include "discovery/tests/fakes.h"

#include <gtest/gtest.h>

namespace discovery {
namespace {

using fakes::FakeBridge;
using fakes::FakeRegistry;
using fakes::FakeVendorLibrary;
using fakes::FakeVersion;
using Strings = std::vector<std::string>;

constexpr std::uint32_t kXp = 0x0A280105u;
constexpr std::uint32_t kWin98 = 0xC0000A04u;

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
const std::string kSlabcr = "Enum\\SLABCR\\guid\\";

FakeBridge bridge(std::string serial, std::string product, std::uint32_t vid = 0x10C4,
                  std::uint32_t pid = 0xEA60)
{
    FakeBridge b;
    b.vid = vid;
    b.pid = pid;
    b.serial = std::move(serial);
    b.product = std::move(product);
    return b;
}

class Scan : public ::testing::Test {
protected:
    // PortName of an NT 5 instance key such as "Vid_10c4&Pid_ea60&Mi_00\0001_00".
    void xpPort(const std::string &instance, const std::string &portName)
    {
        registry.setString(kUsb + instance + "\\Device Parameters", "PortName", portName);
    }
    // One SLABCR entry ("0000", "00012", ...).
    void entry98(const std::string &entry, const std::string &deviceId, const std::string &portName)
    {
        registry.setString(kSlabcr + entry, "CRLowerDeviceID", deviceId);
        registry.setString(kSlabcr + entry, "PortName", portName);
    }
    std::string report() { return FillDeviceListForPortChecker(discovery); }
    ConfiguratorScanResult configure() { return FillDeviceListForConfigurator(discovery, ports); }
    // Every bridge closed and every key closed once a scan is over.
    void expectNothingLeftOpen()
    {
        EXPECT_TRUE(vendor.openHandles.empty());
        EXPECT_FALSE(discovery.bridgeOpen());
        EXPECT_TRUE(registry.open.empty());
    }

    FakeVendorLibrary vendor;
    FakeRegistry registry;
    FakeVersion version{kXp};
    Discovery discovery{vendor, registry, version};
    ConfiguratorPorts ports;
};

TEST_F(Scan, NoBridgeGivesTwoLineBreaksAndCom0)
{
    EXPECT_EQ(report(), "\r\n\r\n");
    ports.DetectedPort = 0;
    const auto result = configure();
    EXPECT_EQ(result.status, ConfiguratorScanStatus::Done);
    EXPECT_EQ(result.lblComm, "COM 0");
    EXPECT_EQ(ports.CommPortNumber, 0);
    EXPECT_EQ(vendor.calls, (Strings{"GetNumDevices", "GetNumDevices"}));
    EXPECT_TRUE(registry.calls.empty());
}

TEST_F(Scan, OneBridgeOnCom3)
{
    vendor.bridges = {bridge("0001", "CP2102 USB to UART Bridge Controller")};
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM3");

    EXPECT_EQ(report(),
              "  Serial Num = 0001\r\n"
              "  Device Name = CP2102 USB to UART Bridge Controller\r\n"
              "  This device is on COM Port :  3\r\n"
              "\r\n"
              "\r\n\r\n");
    EXPECT_EQ(vendor.calls, (Strings{"GetNumDevices", "Open 0", "GetDeviceVid 0", "GetDevicePid 0",
                                     "GetDeviceSerialNumber 0", "GetDeviceProductString 0", "Close 0"}));
    EXPECT_EQ(registry.calls,
              (Strings{"open SYSTEM\\CurrentControlSet",
                       "open SYSTEM\\CurrentControlSet\\Enum\\USB",
                       "open SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00",
                       "open SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters",
                       "query SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters PortName 100",
                       "close SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters",
                       "close SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00",
                       "close SYSTEM\\CurrentControlSet\\Enum\\USB",
                       "close SYSTEM\\CurrentControlSet"}));
    EXPECT_EQ(registry.accessRequested, (std::vector<std::uint32_t>{0xF003F}));
    expectNothingLeftOpen();

    const auto result = configure();
    EXPECT_EQ(result.status, ConfiguratorScanStatus::Done);
    EXPECT_EQ(result.lblComm, "COM 3");
    EXPECT_EQ(result.ComPort, 3);
    EXPECT_EQ(ports.CommPortNumber, 3);
    EXPECT_EQ(ports.DetectedPort, 3);
}

TEST_F(Scan, OnlyTheLow16BitsOfAStatusTellAFailure)
{
    vendor.bridges = {bridge("0001", "P")};
    vendor.bridges[0].open = 0x00010000u;
    vendor.bridges[0].vidStatus = 0xFFFF0000u;
    vendor.bridges[0].productStatus = 0x80000000u;
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM3");
    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port :  3\r\n\r\n\r\n\r\n");
    expectNothingLeftOpen();
}

struct PortNameCase {
    const char *value;
    const char *shown;  // number text in the report
};

class PortNames : public Scan, public ::testing::WithParamInterface<PortNameCase> {};

TEST_P(PortNames, AreTheDigitsAfterTheFirstThreeCharacters)
{
    vendor.bridges = {bridge("0001", "P")};
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", GetParam().value);
    EXPECT_EQ(report(), std::string("  Serial Num = 0001\r\n  Device Name = P\r\n"
                                    "  This device is on COM Port : ")
                  + GetParam().shown + "\r\n\r\n\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(Values, PortNames,
                         ::testing::Values(PortNameCase{"COM3", " 3"}, PortNameCase{"COM12", " 12"},
                                           PortNameCase{"com7", " 7"}, PortNameCase{"COM003", " 3"},
                                           PortNameCase{"COM3x", " 3"}, PortNameCase{"COM0", " 0"},
                                           PortNameCase{"COM300", " 300"},
                                           PortNameCase{"COM32767", " 32767"},
                                           PortNameCase{"COM32768", "-1"},
                                           PortNameCase{"COM99999999999999999999", "-1"},
                                           PortNameCase{"COM000000000000000000009", " 9"},
                                           PortNameCase{"LPT1", " 1"}, PortNameCase{"XYZ5", " 5"},
                                           PortNameCase{"COM", " 0"}, PortNameCase{"COMx", " 0"},
                                           PortNameCase{"COM-1", " 0"}, PortNameCase{"CO", " 0"},
                                           PortNameCase{"", " 0"}));

TEST_F(Scan, TwoBridgesInIndexOrderLastPortWins)
{
    vendor.bridges = {bridge("0001", "First"), bridge("0002", "Second")};
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM12");
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0002_00", "COM7");

    EXPECT_EQ(report(),
              "  Serial Num = 0001\r\n"
              "  Device Name = First\r\n"
              "  This device is on COM Port :  12\r\n\r\n"
              "  Serial Num = 0002\r\n"
              "  Device Name = Second\r\n"
              "  This device is on COM Port :  7\r\n\r\n"
              "\r\n\r\n");
    const auto result = configure();
    EXPECT_EQ(result.lblComm, "COM 7");
    EXPECT_EQ(ports.CommPortNumber, 7);
    EXPECT_EQ(ports.DetectedPort, 7);
    expectNothingLeftOpen();
}

TEST_F(Scan, BridgeThatCannotBeOpenedIsLookedUpWithThePreviousIdentity)
{
    vendor.bridges = {bridge("ab 12", "First"), bridge("0002", "Held")};
    vendor.bridges[1].open = 0x0003;
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\ab_12_00", "COM3");

    EXPECT_EQ(report(),
              "  Serial Num = ab 12\r\n"
              "  Device Name = First\r\n"
              "  This device is on COM Port :  3\r\n\r\n"
              "  This device is on COM Port :  3\r\n\r\n"
              "\r\n\r\n");
    // Nothing was opened for the second bridge, so nothing is closed.
    EXPECT_EQ(vendor.calls.back(), "Open 1");
    const std::string instance = kUsb + "Vid_10c4&Pid_ea60&Mi_00\\ab_12_00";
    EXPECT_EQ(std::count(registry.calls.begin(), registry.calls.end(), "open " + instance), 2);

    const auto result = configure();
    EXPECT_EQ(result.lblComm, "COM 3");
    EXPECT_EQ(ports.CommPortNumber, 3);
}

TEST_F(Scan, FirstBridgeThatCannotBeOpenedHasZeroIdentity)
{
    vendor.bridges = {bridge("0001", "P")};
    vendor.bridges[0].open = 0x00FF;
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM3");

    EXPECT_EQ(report(), "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
    EXPECT_EQ(registry.callsOf("open").at(2), kUsb + "Vid_0&Pid_0&Mi_00\\_00");
}

// The second bridge's reads stop at `failing`; each field read before it is
// that bridge's, each from it on still the first bridge's.
struct ReadFailure {
    const char *failing;
    const char *instance;  // the key the second pass looks up
    const char *shown;     // and the port it finds
};

class ReadFailures : public Scan, public ::testing::WithParamInterface<ReadFailure> {};

TEST_P(ReadFailures, KeepThePreviousBridgesFields)
{
    vendor.bridges = {bridge("0001", "First"), bridge("0002", "Second", 0x10C5, 0xEA61)};
    FakeBridge &second = vendor.bridges[1];
    const std::string failing = GetParam().failing;
    (failing == "GetDeviceVid" ? second.vidStatus
     : failing == "GetDevicePid" ? second.pidStatus
     : failing == "GetDeviceSerialNumber" ? second.serialStatus
                                          : second.productStatus) = 0x00010003u;
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM4");

    EXPECT_EQ(report(),
              "  Serial Num = 0001\r\n"
              "  Device Name = First\r\n"
              "  This device is on COM Port :  4\r\n\r\n"
              "  This device is on COM Port : "
                  + std::string(GetParam().shown) + "\r\n\r\n\r\n\r\n");
    // Four keys opened in the first pass; the third of the second pass is
    // the instance key.
    EXPECT_EQ(registry.callsOf("open").at(6), kUsb + GetParam().instance);

    // The chain stops at the failing read and the bridge is closed once.
    const Strings &calls = vendor.calls;
    const auto close1 = std::find(calls.begin(), calls.end(), "Close 1");
    ASSERT_NE(close1, calls.end());
    EXPECT_EQ(*(close1 - 1), failing + " 1");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Close 1"), 1);
    expectNothingLeftOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ReadFailures,
    ::testing::Values(ReadFailure{"GetDeviceVid", "Vid_10c4&Pid_ea60&Mi_00\\0001_00", " 4"},
                      ReadFailure{"GetDevicePid", "Vid_10c5&Pid_ea60&Mi_00\\0001_00", "-1"},
                      ReadFailure{"GetDeviceSerialNumber", "Vid_10c5&Pid_ea61&Mi_00\\0001_00", "-1"},
                      ReadFailure{"GetDeviceProductString", "Vid_10c5&Pid_ea61&Mi_00\\0002_00", "-1"}));

// Bridges that answer to one registry entry (same IDs, same serial as the
// lookups rewrite it) cannot be told apart: each of them gets -1, and no
// other bridge's port.
struct SharedSerialCase {
    const char *name;
    std::vector<std::pair<std::string, std::uint32_t>> bridges;  // serial, product ID
    Strings shown;                                                // port text per bridge
};

class SharedSerials : public Scan, public ::testing::WithParamInterface<SharedSerialCase> {};

TEST_P(SharedSerials, GiveNoBridgeAnotherBridgesPort)
{
    for (const auto &[serial, pid] : GetParam().bridges)
        vendor.bridges.push_back(bridge(serial, "P", 0x10C4, pid));
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM3");
    xpPort("Vid_10c4&Pid_ea70&Mi_00\\0001_00", "COM4");
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0002_00", "COM5");
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\AB_12_00", "COM6");

    std::string expected;
    for (std::size_t i = 0; i < GetParam().bridges.size(); ++i)
        expected += "  Serial Num = " + GetParam().bridges[i].first + "\r\n  Device Name = P\r\n"
            + "  This device is on COM Port : " + GetParam().shown[i] + "\r\n\r\n";
    EXPECT_EQ(report(), expected + "\r\n\r\n");
    expectNothingLeftOpen();

    const auto result = configure();
    const auto firstUnknown = std::find(GetParam().shown.begin(), GetParam().shown.end(), "-1");
    EXPECT_EQ(result.status, firstUnknown == GetParam().shown.end() ? ConfiguratorScanStatus::Done
                                                                    : ConfiguratorScanStatus::PortNotFound);
    if (firstUnknown != GetParam().shown.end()) {
        EXPECT_EQ(ports.DetectedPort, -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SharedSerials,
    ::testing::Values(
        SharedSerialCase{"SameSerial", {{"0001", 0xEA60}, {"0001", 0xEA60}}, {"-1", "-1"}},
        SharedSerialCase{"ThreeOneShared", {{"0001", 0xEA60}, {"0002", 0xEA60}, {"0001", 0xEA60}},
                         {"-1", " 5", "-1"}},
        SharedSerialCase{"SameEntryAfterRewriting", {{"ab 12", 0xEA60}, {"AB_12", 0xEA60}}, {"-1", "-1"}},
        SharedSerialCase{"OtherProductId", {{"0001", 0xEA60}, {"0001", 0xEA70}}, {" 3", " 4"}},
        SharedSerialCase{"Distinct", {{"0001", 0xEA60}, {"0002", 0xEA60}}, {" 3", " 5"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Scan, SharedSerialStaysUnknownForABridgeLookedUpWithIt)
{
    // The third bridge cannot be opened, so it is looked up with the second
    // one's identity, which the first bridge shares.
    vendor.bridges = {bridge("0001", "P"), bridge("0001", "Q"), bridge("0002", "R")};
    vendor.bridges[2].open = 0x0003;
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM3");
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0002_00", "COM5");
    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n  This device is on COM Port : -1\r\n\r\n"
                        "  Serial Num = 0001\r\n  Device Name = Q\r\n  This device is on COM Port : -1\r\n\r\n"
                        "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");

    // The same on the 9x family, whose entry names the port just as well.
    version.word = kWin98;
    entry98("0000", "USB\\VID_10C4&PID_EA60&MI_00\\0001_00", "COM7");
    entry98("0001", "USB\\VID_10C4&PID_EA60&MI_00\\0002_00", "COM8");
    vendor.bridges[2].open = 0;
    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n  This device is on COM Port : -1\r\n\r\n"
                        "  Serial Num = 0001\r\n  Device Name = Q\r\n  This device is on COM Port : -1\r\n\r\n"
                        "  Serial Num = 0002\r\n  Device Name = R\r\n  This device is on COM Port :  8\r\n\r\n"
                        "\r\n\r\n");
}

enum class Lookup { Nt5, Win9x, None };

struct VersionCase {
    std::uint32_t word;
    Lookup lookup;
};

class VersionWords : public Scan, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionWords, ChooseTheLookup)
{
    version.word = GetParam().word;
    vendor.bridges = {bridge("0001", "P")};
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM3");
    entry98("0000", "USB\\VID_10C4&PID_EA60&MI_00\\0001_00", "COM5");

    const std::string shown = GetParam().lookup == Lookup::Nt5 ? " 3"
        : GetParam().lookup == Lookup::Win9x                   ? " 5"
                                                               : " 0";
    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n  This device is on COM Port : "
                            + shown + "\r\n\r\n\r\n\r\n");
    if (GetParam().lookup == Lookup::None) {
        EXPECT_TRUE(registry.calls.empty());
    }

    ports.DetectedPort = 42;
    const auto result = configure();
    EXPECT_EQ(result.lblComm, "COM" + shown);
    // Only the NT 5 lookup records what it detected.
    EXPECT_EQ(ports.DetectedPort, GetParam().lookup == Lookup::Nt5 ? 3 : 42);
}

INSTANTIATE_TEST_SUITE_P(Words, VersionWords,
                         ::testing::Values(VersionCase{5, Lookup::Nt5},
                                           VersionCase{0x0A280105u, Lookup::Nt5},  // XP
                                           VersionCase{0x08930005u, Lookup::Nt5},  // 2000
                                           VersionCase{0x80000004u, Lookup::Win9x},
                                           VersionCase{0xC0000A04u, Lookup::Win9x},  // 98
                                           VersionCase{0x00000004u, Lookup::None},   // NT 4
                                           VersionCase{0x17700006u, Lookup::None},   // Vista
                                           VersionCase{0x4000000Au, Lookup::None},   // 10
                                           VersionCase{0x80000005u, Lookup::None},
                                           VersionCase{0x00000000u, Lookup::None}));

TEST_F(Scan, SerialWithBlankOnBothFamilies)
{
    vendor.bridges = {bridge("ab 12", "P", 0x1A2B, 0x5E6F)};
    xpPort("Vid_1a2b&Pid_5e6f&Mi_00\\ab_12_00", "COM6");
    EXPECT_EQ(report(), "  Serial Num = ab 12\r\n  Device Name = P\r\n"
                        "  This device is on COM Port :  6\r\n\r\n\r\n\r\n");
    EXPECT_EQ(registry.callsOf("open").at(2), kUsb + "Vid_1a2b&Pid_5e6f&Mi_00\\ab_12_00");

    // The 9x comparison is exact: only the upper-case ID matches.
    version.word = kWin98;
    entry98("0000", "USB\\VID_1A2B&PID_5E6F&MI_00\\AB_12_00", "COM4");
    entry98("0001", "USB\\VID_1A2B&PID_5E6F&MI_00\\ab_12_00", "COM8");
    EXPECT_EQ(report(), "  Serial Num = ab 12\r\n  Device Name = P\r\n"
                        "  This device is on COM Port :  4\r\n\r\n\r\n\r\n");
}

TEST_F(Scan, Win9xReadsAnEntryAgainWithTheSizeAskedFor)
{
    version.word = kWin98;
    vendor.bridges = {bridge("0001", "P")};
    entry98("0000", "USB\\VID_10C4&PID_EA60&MI_00\\A_00", "COM2");     // 32 characters
    entry98("0001", "USB\\VID_10C4&PID_EA60&MI_00\\0001_00", "COM5");  // 35 characters

    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port :  5\r\n\r\n\r\n\r\n");
    EXPECT_EQ(registry.callsOf("query"),
              (Strings{"Enum\\SLABCR\\guid\\0000 CRLowerDeviceID 100",
                       "Enum\\SLABCR\\guid\\0001 CRLowerDeviceID 33",
                       "Enum\\SLABCR\\guid\\0001 CRLowerDeviceID 36",
                       "Enum\\SLABCR\\guid\\0001 PortName 36"}));
    EXPECT_EQ(registry.callsOf("open"),
              (Strings{"Enum\\SLABCR\\guid\\0000", "Enum\\SLABCR\\guid\\0001",
                       "Enum\\SLABCR\\guid\\0001", "Enum\\SLABCR\\guid\\0002"}));
    expectNothingLeftOpen();
}

TEST_F(Scan, Win9xStopsAtTheFirstMissingEntry)
{
    version.word = kWin98;
    vendor.bridges = {bridge("0001", "P")};
    entry98("0000", "USB\\VID_10C4&PID_EA60&MI_00\\A_00", "COM2");
    entry98("0001", "USB\\VID_10C4&PID_EA60&MI_00\\B_00", "COM3");
    entry98("0003", "USB\\VID_10C4&PID_EA60&MI_00\\0001_00", "COM5");

    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
    const Strings opens = registry.callsOf("open");
    EXPECT_EQ(opens.back(), "Enum\\SLABCR\\guid\\0002");
    EXPECT_EQ(std::count(opens.begin(), opens.end(), "Enum\\SLABCR\\guid\\0003"), 0);
}

TEST_F(Scan, Win9xLastMatchWinsAndEntryNamesGrow)
{
    version.word = kWin98;
    vendor.bridges = {bridge("0001", "P")};
    const std::string id = "USB\\VID_10C4&PID_EA60&MI_00\\0001_00";
    entry98("0000", id, "COM5");
    for (int n = 1; n <= 10; ++n)
        entry98("000" + std::to_string(n), "USB\\VID_10C4&PID_EA60&MI_00\\X_00", "COM2");
    entry98("00011", id, "COM6");

    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port :  6\r\n\r\n\r\n\r\n");
    EXPECT_EQ(registry.callsOf("open").back(), "Enum\\SLABCR\\guid\\00012");
}

TEST_F(Scan, ValueLongerThanTheBufferIsPassedOver)
{
    version.word = kWin98;
    vendor.bridges = {bridge("0001", "P")};
    entry98("0000", std::string(150, 'X'), "COM2");
    entry98("0001", "USB\\VID_10C4&PID_EA60&MI_00\\0001_00", "COM5");

    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port :  5\r\n\r\n\r\n\r\n");
    // Never offered more than the 102-byte buffer.
    EXPECT_EQ(registry.offered, (std::vector<std::uint32_t>{100, 102, 36}));

    // The NT 5 lookup offers 100 bytes once; a longer value is not found.
    version.word = kXp;
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM" + std::string(120, '1'));
    registry.offered.clear();
    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
    EXPECT_EQ(registry.offered, (std::vector<std::uint32_t>{100}));
}

TEST_F(Scan, LengthsBeyondTheBuffersAreClamped)
{
    vendor.bridges = {bridge(std::string(70, 'S'), std::string(200, 'P'))};
    vendor.bridges[0].serialLength = 1000;
    vendor.bridges[0].productLength = 0x7FFFFFFF;
    registry.addKey(kUsb);
    EXPECT_EQ(report(), "  Serial Num = " + std::string(64, 'S') + "\r\n  Device Name = "
                            + std::string(127, 'P') + "\r\n  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
    EXPECT_EQ(vendor.serialCapacities, (std::vector<std::size_t>{64}));
    EXPECT_EQ(vendor.productCapacities, (std::vector<std::size_t>{127}));
    EXPECT_EQ(registry.callsOf("open").at(2), kUsb + "Vid_10c4&Pid_ea60&Mi_00\\" + std::string(64, 'S') + "_00");

    vendor.bridges[0].serialLength = -5;
    vendor.bridges[0].productLength = 0;
    EXPECT_EQ(report(), "  Serial Num = \r\n  Device Name = \r\n"
                        "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
}

TEST_F(Scan, BytesPassThroughAsCodePageCharacters)
{
    vendor.bridges = {bridge("caf\xE9", "Br\xFC" "cke")};
    EXPECT_EQ(report(), "  Serial Num = caf\xE9\r\n  Device Name = Br\xFC" "cke\r\n"
                        "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
}

TEST_F(Scan, TheCountIsKeptWhenTheLibraryLeavesItAlone)
{
    vendor.bridges = {bridge("0001", "P")};
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM3");
    report();
    EXPECT_EQ(discovery.NumDevices, 1);

    vendor.countWrites = false;
    vendor.countStatus = 0x00FF;
    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port :  3\r\n\r\n\r\n\r\n");

    vendor.countWrites = true;
    vendor.count = -3;
    EXPECT_EQ(report(), "\r\n\r\n");
}

TEST_F(Scan, MissingLibraryFunctionPassesThrough)
{
    vendor.bridges = {bridge("0001", "P")};
    vendor.missingFunction = "CP210x_GetNumDevices";
    try {
        report();
        FAIL() << "no LibraryLoadError";
    } catch (const LibraryLoadError &e) {
        EXPECT_NE(std::string(e.what()).find("CP210x_GetNumDevices"), std::string::npos);
    }

    // Cut short inside a pass: the bridge stays open until the unload
    // closes it, once.
    vendor.missingFunction = "CP210x_GetDeviceVid";
    EXPECT_THROW(configure(), LibraryLoadError);
    EXPECT_TRUE(discovery.bridgeOpen());
    discovery.closeBridgeLeftOpen();
    discovery.closeBridgeLeftOpen();
    EXPECT_EQ(std::count(vendor.calls.begin(), vendor.calls.end(), "Close 0"), 1);
    EXPECT_TRUE(vendor.openHandles.empty());
    EXPECT_FALSE(discovery.bridgeOpen());
}

TEST_F(Scan, ConfiguratorStopsAtTheFirstPortNotFound)
{
    vendor.bridges = {bridge("0001", "P"), bridge("0002", "Q")};
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0002_00", "COM4");
    ports.CommPortNumber = 9;

    const auto result = configure();
    EXPECT_EQ(result.status, ConfiguratorScanStatus::PortNotFound);
    EXPECT_EQ(result.ComPort, -1);
    EXPECT_EQ(result.lblComm, "");
    EXPECT_EQ(ports.CommPortNumber, 9);
    EXPECT_EQ(ports.DetectedPort, -1);
    // The second bridge was read, but its port was never looked up.
    EXPECT_EQ(registry.callsOf("open"),
              (Strings{"SYSTEM\\CurrentControlSet", "SYSTEM\\CurrentControlSet\\Enum\\USB",
                       kUsb + "Vid_10c4&Pid_ea60&Mi_00\\0001_00"}));
    expectNothingLeftOpen();
}

TEST_F(Scan, ConfiguratorRefusesAPortAboveTheByteRange)
{
    vendor.bridges = {bridge("0001", "P")};
    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM256");
    ports.CommPortNumber = 9;

    const auto result = configure();
    EXPECT_EQ(result.status, ConfiguratorScanStatus::PortOutOfRange);
    EXPECT_EQ(result.ComPort, 256);
    EXPECT_EQ(ports.CommPortNumber, 9);

    xpPort("Vid_10c4&Pid_ea60&Mi_00\\0001_00", "COM255");
    EXPECT_EQ(configure().lblComm, "COM 255");
    EXPECT_EQ(ports.CommPortNumber, 255);
}

TEST_F(Scan, KeysOpenedBeforeAFailureAreClosed)
{
    vendor.bridges = {bridge("0001", "P")};
    registry.addKey("SYSTEM\\CurrentControlSet");
    EXPECT_EQ(report(), "  Serial Num = 0001\r\n  Device Name = P\r\n"
                        "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
    EXPECT_EQ(registry.calls, (Strings{"open SYSTEM\\CurrentControlSet",
                                       "open SYSTEM\\CurrentControlSet\\Enum\\USB",
                                       "close SYSTEM\\CurrentControlSet"}));

    // With the instance key but no "Device Parameters" below it.
    registry.addKey(kUsb + "Vid_10c4&Pid_ea60&Mi_00\\0001_00");
    registry.calls.clear();
    report();
    EXPECT_EQ(registry.callsOf("close"),
              (Strings{"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00",
                       "SYSTEM\\CurrentControlSet\\Enum\\USB", "SYSTEM\\CurrentControlSet"}));
    expectNothingLeftOpen();
}

TEST(Texts, NumberAndHex)
{
    EXPECT_EQ(numberText(3), " 3");
    EXPECT_EQ(numberText(0), " 0");
    EXPECT_EQ(numberText(-1), "-1");
    EXPECT_EQ(numberText(-32768), "-32768");
    EXPECT_EQ(hexText(0x1A2B), "1A2B");
    EXPECT_EQ(hexText(0x403), "403");
    EXPECT_EQ(hexText(0), "0");
    EXPECT_EQ(hexText(0xFFFFFFFFu), "FFFFFFFF");

    const std::uint8_t bytes[] = {'a', 'b', 0xE9};
    EXPECT_EQ(ConvertToString(bytes, 3, 3), "ab\xE9");
    EXPECT_EQ(ConvertToString(bytes, 3, 0), "");
    EXPECT_EQ(ConvertToString(bytes, 3, -1), "");
    EXPECT_EQ(ConvertToString(bytes, 3, 99), "ab\xE9");
}

} // namespace
} // namespace discovery
