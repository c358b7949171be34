#include "portcheck/report.h"

#include "discovery/discovery.h"
#include "serial/port_names.h"
#include "serial/serial_control.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace portcheck {

QString fromCodePage(const std::string &bytes)
{
    return serial::fromCodePage(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

namespace {

// Takes each pass as the scan settles it. The scan's record keeps the
// previous bridge's identity when a read fails, so the identity is taken
// only from a pass that read it.
class JsonCollector final : public discovery::ScanObserver {
public:
    void identityRead(const discovery::BridgeDevice &device) override
    {
        m_current = QJsonObject{
            {QStringLiteral("serial"), fromCodePage(discovery::ConvertToString(device.SerialBytes, device.SerialLength))},
            {QStringLiteral("product"), fromCodePage(discovery::ConvertToString(device.ProductBytes, device.ProductLength))},
            {QStringLiteral("vid"), qint64(device.Vid)},
            {QStringLiteral("pid"), qint64(device.Pid)},
        };
    }
    bool passDone(const discovery::BridgeDevice &device) override
    {
        QJsonObject bridge = m_current;
        for (const char *name : {"serial", "product", "vid", "pid"}) {
            if (!bridge.contains(QLatin1String(name)))
                bridge.insert(QLatin1String(name), QJsonValue::Null);
        }
        const bool found = device.ComPort > 0;
        bridge.insert(QStringLiteral("port"), found ? QJsonValue(int(device.ComPort)) : QJsonValue(QJsonValue::Null));
        bridge.insert(QStringLiteral("device"), found ? QJsonValue(serial::deviceForPortNumber(device.ComPort))
                                                      : QJsonValue(QJsonValue::Null));
        bridges.append(bridge);
        m_current = {};
        return true;
    }

    QJsonArray bridges;

private:
    QJsonObject m_current;
};

} // namespace

QByteArray bridgesAsJson(discovery::Discovery &discovery)
{
    JsonCollector collector;
    discovery.FillDeviceList(collector);
    return QJsonDocument(collector.bridges).toJson(QJsonDocument::Indented);
}

} // namespace portcheck
