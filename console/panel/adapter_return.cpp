#include "adapter_return.h"

#include "serial/network_address.h"
#include "serial/open_failure.h"

#include <QCoreApplication>
#include <QDateTime>

namespace console {

ReturnRule platformReturnRule()
{
#ifdef Q_OS_WIN
    return ReturnRule::SameName;
#else
    return ReturnRule::UsbIdentity;
#endif
}

serial::PortListPlaces portListPlaces(const PortPlaces &places)
{
    serial::PortListPlaces list;
    list.deviceDir = places.deviceDir;
    list.sysfsRoot = places.sysfsRoot;
    return list;
}

AdapterReturn::AdapterReturn(ReturnRule rule, PortPlaces places)
    : m_rule(rule)
    , m_places(std::move(places))
{
}

void AdapterReturn::remember(const QString &device)
{
    m_device = device;
    m_identity.reset();
    m_lastTry.invalidate();
    if (m_rule == ReturnRule::UsbIdentity && !serial::isNetworkPortText(device))
        m_identity = serial::readUsbIdentityOfDevice(m_places.sysfsRoot, device);
}

QStringList AdapterReturn::candidates() const
{
    if (!m_waiting)
        return {};
    if (serial::isNetworkPortText(m_device)) {
        // A server is tried every 2 s rather than at each tick: a try that
        // meets no answer waits its 5 s.
        if (m_lastTry.isValid() && m_lastTry.elapsed() < networkRetryMs)
            return {};
        m_lastTry.start();
        return {m_device};
    }
    if (m_identity) {
        QStringList devices;
        for (const QString &tty : serial::findTtysWithIdentity(m_places.sysfsRoot, *m_identity))
            devices << m_places.deviceDir + QLatin1Char('/') + tty;
        return devices;
    }
    if (serial::deviceExists(m_device))
        return {m_device};
    return {};
}

QString waitingNotice(const QString &cause)
{
    return cause + QStringLiteral("\r\n")
        + QCoreApplication::translate("console::AdapterReturn",
                                      "The panel waits for its adapter to return and receives again once it is "
                                      "back; click its \"Start\" box to stop waiting.");
}

QString returnNotice(const QString &cause, const QString &portText, const QString &device, qint64 sinceMs)
{
    const QString where = portText == device ? device : QStringLiteral("port %1 (%2)").arg(portText, device);
    return cause + QStringLiteral("\r\n")
        + QCoreApplication::translate("console::AdapterReturn",
                                      "The adapter is back on %1 since %2; the panel receives again.")
              .arg(where, QDateTime::fromMSecsSinceEpoch(sinceMs).toString(QStringLiteral("HH:mm:ss")));
}

} // namespace console
