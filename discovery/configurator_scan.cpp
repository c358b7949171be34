#include "discovery/configurator_scan.h"

#include "discovery/discovery.h"

namespace discovery {

namespace {

constexpr std::int16_t kHighestPort = 255;  // CommPortNumber is one byte

class ConfiguratorObserver final : public ScanObserver {
public:
    explicit ConfiguratorObserver(ConfiguratorPorts &ports) : m_ports(ports) {}

    bool passDone(const BridgeDevice &device) override
    {
        if (device.ComPort == -1) {
            status = ConfiguratorScanStatus::PortNotFound;
            return false;
        }
        if (device.ComPort > kHighestPort) {
            status = ConfiguratorScanStatus::PortOutOfRange;
            return false;
        }
        m_ports.CommPortNumber = static_cast<std::uint8_t>(device.ComPort);
        return true;
    }
    std::int16_t *detectedPort() override { return &m_ports.DetectedPort; }

    ConfiguratorScanStatus status = ConfiguratorScanStatus::Done;

private:
    ConfiguratorPorts &m_ports;
};

} // namespace

ConfiguratorScanResult FillDeviceListForConfigurator(Discovery &discovery, ConfiguratorPorts &ports)
{
    ConfiguratorObserver observer(ports);
    const BridgeDevice device = discovery.FillDeviceList(observer);

    ConfiguratorScanResult result;
    result.status = observer.status;
    result.ComPort = device.ComPort;
    if (result.status == ConfiguratorScanStatus::Done)
        result.lblComm = "COM" + numberText(device.ComPort);
    return result;
}

} // namespace discovery
