// The Linux stand-ins over sysfs trees made in a temporary folder, and the
// in-memory registry they fill.

#include "discovery/discovery.h"
#include "discovery/in_memory_registry.h"
#include "discovery/port_checker_scan.h"
#include "discovery/sysfs_backend.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>

namespace fs = std::filesystem;

namespace discovery {
namespace {

// A sysfs tree as the kernel lays it out for USB serial ports:
//   devices/usb1/<dev>/{idVendor,idProduct,serial,product}
//   devices/usb1/<dev>/<dev>:1.<i>/{bInterfaceNumber,ttyUSB<n>/driver -> drivers/<driver>}
//   bus/usb-serial/devices/ttyUSB<n> -> the ttyUSB<n> folder above
class FakeSysfs {
public:
    FakeSysfs()
    {
        std::string pattern = (fs::temp_directory_path() / "sysfs-XXXXXX").string();
        root = mkdtemp(pattern.data());
        fs::create_directories(root / "bus/usb-serial/devices");
        fs::create_directories(root / "bus/usb-serial/drivers/cp210x");
        fs::create_directories(root / "bus/usb-serial/drivers/ftdi_sio");
    }
    ~FakeSysfs() { fs::remove_all(root); }

    fs::path device(const std::string &name) const { return root / "devices/usb1" / name; }

    void addDevice(const std::string &name, const std::string &vid, const std::string &pid,
                   const char *serial, const char *product)
    {
        fs::create_directories(device(name));
        write(device(name) / "idVendor", vid + "\n");
        write(device(name) / "idProduct", pid + "\n");
        if (serial)
            write(device(name) / "serial", std::string(serial) + "\n");
        if (product)
            write(device(name) / "product", std::string(product) + "\n");
    }
    void addPort(const std::string &deviceName, int interface, int tty,
                 const std::string &driver = "cp210x")
    {
        const fs::path interfaceDir = device(deviceName) / (deviceName + ":1." + std::to_string(interface));
        const std::string ttyName = "ttyUSB" + std::to_string(tty);
        fs::create_directories(interfaceDir / ttyName);
        write(interfaceDir / "bInterfaceNumber", "0" + std::to_string(interface) + "\n");
        fs::create_directory_symlink(root / "bus/usb-serial/drivers" / driver, interfaceDir / ttyName / "driver");
        fs::create_directory_symlink(interfaceDir / ttyName, root / "bus/usb-serial/devices" / ttyName);
    }
    static void write(const fs::path &file, const std::string &text)
    {
        std::ofstream(file, std::ios::binary) << text;
    }

    fs::path root;
};

class Sysfs : public ::testing::Test {
protected:
    std::string report() { return FillDeviceListForPortChecker(discovery); }

    FakeSysfs tree;
    InMemoryRegistry registry;
    SysfsVendorLibrary vendor{tree.root, &registry};
    Nt5Version version;
    Discovery discovery{vendor, registry, version};
};

TEST_F(Sysfs, NoTreeNoBridge)
{
    SysfsVendorLibrary nowhere(tree.root / "missing", &registry);
    Discovery scan(nowhere, registry, version);
    EXPECT_EQ(FillDeviceListForPortChecker(scan), "\r\n\r\n");
    EXPECT_EQ(report(), "\r\n\r\n");
}

TEST_F(Sysfs, SinglePortBridge)
{
    tree.addDevice("1-1", "10c4", "ea60", "0001", "CP2102 USB to UART Bridge Controller");
    tree.addPort("1-1", 0, 0);
    EXPECT_EQ(report(),
              "  Serial Num = 0001\r\n"
              "  Device Name = CP2102 USB to UART Bridge Controller\r\n"
              "  This device is on COM Port :  1\r\n\r\n"
              "\r\n\r\n");
    const auto value = registry.value(
        "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters", "PortName");
    ASSERT_TRUE(value);
    EXPECT_EQ(std::string(value->begin(), value->end()), std::string("COM1\0", 5));
    EXPECT_EQ(registry.openKeyCount(), 0u);
}

TEST_F(Sysfs, TwoBridgesOneDualPortBesideAnotherSerialAdapter)
{
    tree.addDevice("1-2", "0403", "6001", "FT1", "FT232R USB UART");
    tree.addPort("1-2", 0, 0, "ftdi_sio");
    tree.addDevice("1-3", "10c4", "ea70", "dual 7", "CP2105 Dual USB to UART Bridge Controller");
    tree.addPort("1-3", 0, 1);
    tree.addPort("1-3", 1, 2);
    tree.addDevice("1-4", "10c4", "ea60", "0042", "CP2102N USB to UART Bridge Controller");
    tree.addPort("1-4", 0, 3);

    EXPECT_EQ(report(),
              "  Serial Num = dual 7\r\n"
              "  Device Name = CP2105 Dual USB to UART Bridge Controller\r\n"
              "  This device is on COM Port :  2\r\n\r\n"
              "  Serial Num = 0042\r\n"
              "  Device Name = CP2102N USB to UART Bridge Controller\r\n"
              "  This device is on COM Port :  4\r\n\r\n"
              "\r\n\r\n");
    EXPECT_EQ(discovery.NumDevices, 2);
}

TEST_F(Sysfs, DualPortBridgeIsKnownByItsFirstInterface)
{
    tree.addDevice("2-1", "10c4", "ea70", "77", "CP2105");
    tree.addPort("2-1", 1, 4);
    tree.addPort("2-1", 0, 5);
    EXPECT_EQ(report(), "  Serial Num = 77\r\n  Device Name = CP2105\r\n"
                        "  This device is on COM Port :  6\r\n\r\n\r\n\r\n");
}

TEST_F(Sysfs, MissingSerialGivesAnEmptySerial)
{
    tree.addDevice("1-1", "10c4", "ea60", nullptr, "CP2102");
    tree.addPort("1-1", 0, 0);
    EXPECT_EQ(report(), "  Serial Num = \r\n  Device Name = CP2102\r\n"
                        "  This device is on COM Port :  1\r\n\r\n\r\n\r\n");
}

TEST_F(Sysfs, OddValuesAndEntriesGiveAReportWithoutIdentity)
{
    tree.addDevice("1-1", "zz", "ea60", "0001", "P");
    tree.addPort("1-1", 0, 0);
    // Not ports of a bridge: a name that is no ttyUSB, a dangling link, a
    // port without a driver link.
    fs::create_directory_symlink(tree.root / "nowhere", tree.root / "bus/usb-serial/devices/ttyUSB9");
    fs::create_directories(tree.root / "bus/usb-serial/devices/ttyUSBx");
    tree.addDevice("1-5", "10c4", "ea60", "5", "Q");
    fs::create_directories(tree.device("1-5") / "1-5:1.0/ttyUSB7");
    fs::create_directory_symlink(tree.device("1-5") / "1-5:1.0/ttyUSB7",
                                 tree.root / "bus/usb-serial/devices/ttyUSB7");

    EXPECT_EQ(report(), "  This device is on COM Port : -1\r\n\r\n\r\n\r\n");
    EXPECT_EQ(discovery.NumDevices, 1);
}

TEST_F(Sysfs, LongAndNonLatinStrings)
{
    tree.addDevice("1-1", "10c4", "ea60", "ab 12", (std::string(100, 'P') + "Br\xC3\xBC" "cke \xE6\xA9\x8B " + std::string(100, 'Q')).c_str());
    tree.addPort("1-1", 0, 0);
    EXPECT_EQ(report(), "  Serial Num = ab 12\r\n  Device Name = " + std::string(100, 'P') + "Br\xFC" "cke ? "
                            + std::string(127 - 109, 'Q') + "\r\n  This device is on COM Port :  1\r\n\r\n\r\n\r\n");
}

TEST_F(Sysfs, UnpluggedSinceTheCountFailsToOpenOrRead)
{
    tree.addDevice("1-1", "10c4", "ea60", "0001", "P");
    tree.addPort("1-1", 0, 0);
    std::int32_t count = 0;
    ASSERT_EQ(vendor.GetNumDevices(&count), 0u);
    ASSERT_EQ(count, 1);

    DeviceHandleType handle = 0;
    ASSERT_EQ(vendor.Open(0, &handle), 0u);
    fs::remove_all(tree.device("1-1"));
    std::uint32_t vid = 0;
    EXPECT_FALSE(succeeded(vendor.GetDeviceVid(handle, &vid)));
    std::uint8_t buffer[64];
    std::int32_t length = 0;
    EXPECT_FALSE(succeeded(vendor.GetDeviceSerialNumber(handle, buffer, sizeof buffer, &length, true)));
    EXPECT_EQ(vendor.Close(handle), 0u);
    EXPECT_FALSE(succeeded(vendor.Open(0, &handle)));
    EXPECT_FALSE(succeeded(vendor.Open(1, &handle)));

    // A whole scan over the tree with the device gone but its link left.
    EXPECT_EQ(report(), "\r\n\r\n");
}

TEST_F(Sysfs, BridgesSharingASerialShowNeitherOnTheOthersPort)
{
    tree.addDevice("1-1", "10c4", "ea60", "0001", "First");
    tree.addPort("1-1", 0, 0);
    tree.addDevice("1-2", "10c4", "ea60", "0001", "Second");
    tree.addPort("1-2", 0, 1);
    tree.addDevice("1-3", "10c4", "ea60", "0003", "Third");
    tree.addPort("1-3", 0, 2);
    EXPECT_EQ(report(),
              "  Serial Num = 0001\r\n  Device Name = First\r\n  This device is on COM Port : -1\r\n\r\n"
              "  Serial Num = 0001\r\n  Device Name = Second\r\n  This device is on COM Port : -1\r\n\r\n"
              "  Serial Num = 0003\r\n  Device Name = Third\r\n  This device is on COM Port :  3\r\n\r\n"
              "\r\n\r\n");
}

TEST_F(Sysfs, SerialLongerThanTheBufferIsFoundByWhatTheReadGives)
{
    const std::string serial = std::string(64, 'S') + "T";
    tree.addDevice("1-1", "10c4", "ea60", serial.c_str(), "P");
    tree.addPort("1-1", 0, 4);
    EXPECT_EQ(report(), "  Serial Num = " + std::string(64, 'S')
                            + "\r\n  Device Name = P\r\n  This device is on COM Port :  5\r\n\r\n\r\n\r\n");
}

// Attributes that are not regular files: the scan passes them over as
// unreadable instead of waiting on them.
class OddAttributes : public Sysfs, public ::testing::WithParamInterface<const char *> {};

TEST_P(OddAttributes, CannotHoldUpAScan)
{
    tree.addDevice("1-1", "10c4", "ea60", "0001", "P");
    tree.addPort("1-1", 0, 0);
    const fs::path attribute = GetParam() == std::string("bInterfaceNumber")
        ? tree.device("1-1") / "1-1:1.0" / GetParam()
        : tree.device("1-1") / GetParam();
    fs::remove(attribute);
    ASSERT_EQ(mkfifo(attribute.c_str(), 0600), 0);

    auto scan = std::async(std::launch::async, [this] { return report(); });
    if (scan.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
        ADD_FAILURE() << "the scan waits on the FIFO " << attribute;
        // Let each read that waits for a writer go, so the test ends.
        do {
            const int writer = open(attribute.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                close(writer);
        } while (scan.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready);
    }
    const std::string text = scan.get();
    EXPECT_NE(text.find("This device is on COM Port"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Files, OddAttributes,
                         ::testing::Values("serial", "product", "idVendor", "bInterfaceNumber"));

TEST(InMemoryRegistry, NamesCompareWithoutCaseAndSizesAreHonoured)
{
    InMemoryRegistry registry;
    registry.setString("SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\AB_12_00\\Device Parameters",
                       "PortName", "COM3");

    RegKey controlSet = 0, params = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(kHkeyLocalMachine, "system\\currentcontrolset\\", 0, 0xF003F, &controlSet), 0);
    ASSERT_EQ(registry.RegOpenKeyA(controlSet, "ENUM\\usb\\VID_10C4&PID_EA60&MI_00\\ab_12_00\\DEVICE PARAMETERS", &params), 0);
    RegKey missing = 0;
    EXPECT_EQ(registry.RegOpenKeyA(controlSet, "Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\AB 12_00", &missing), 2);

    std::uint8_t data[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    std::uint32_t type = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(registry.RegQueryValueExA(params, "portname", &type, data, &size), 234);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), 8), "########");
    EXPECT_EQ(registry.RegQueryValueExA(params, "PORTNAME", &type, data, &size), 0);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), 8), std::string("COM3\0###", 8));
    EXPECT_EQ(registry.RegQueryValueExA(params, "Other", &type, data, &size), 2);

    EXPECT_EQ(registry.RegCloseKey(params), 0);
    EXPECT_EQ(registry.RegCloseKey(params), 6);
    registry.clear();
    EXPECT_EQ(registry.RegQueryValueExA(controlSet, "PortName", &type, data, &size), 2);
    EXPECT_EQ(registry.RegCloseKey(controlSet), 0);
    EXPECT_EQ(registry.openKeyCount(), 0u);
}

} // namespace
} // namespace discovery
