#include "adapter_return.h"

#include "serial/open_failure.h"

namespace console {

ReturnRule platformReturnRule()
{
#ifdef Q_OS_WIN
    return ReturnRule::SameName;
#else
    return ReturnRule::UsbIdentity;
#endif
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
    if (m_rule == ReturnRule::UsbIdentity)
        m_identity = serial::readUsbIdentityOfDevice(m_places.sysfsRoot, device);
}

QStringList AdapterReturn::candidates() const
{
    if (!m_waiting)
        return {};
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

} // namespace console
