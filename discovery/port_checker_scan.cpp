#include "discovery/port_checker_scan.h"

#include "discovery/discovery.h"

namespace discovery {

namespace {

constexpr const char *kLineBreak = "\r\n";

class ReportObserver final : public ScanObserver {
public:
    void identityRead(const BridgeDevice &device) override
    {
        report += "  Serial Num = " + ConvertToString(device.SerialBytes, device.SerialLength) + kLineBreak;
        report += "  Device Name = " + ConvertToString(device.ProductBytes, device.ProductLength) + kLineBreak;
    }
    bool passDone(const BridgeDevice &device) override
    {
        report += "  This device is on COM Port : " + numberText(device.ComPort) + kLineBreak + kLineBreak;
        return true;
    }

    std::string report;
};

} // namespace

std::string FillDeviceListForPortChecker(Discovery &discovery)
{
    ReportObserver observer;
    discovery.FillDeviceList(observer);
    return observer.report + kLineBreak + kLineBreak;
}

} // namespace discovery
