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
    m_node.reset();
    m_lastTry.invalidate();
    if (m_rule == ReturnRule::UsbIdentity && !serial::isNetworkPortText(device)) {
        m_identity = serial::readUsbIdentityOfDevice(m_places.sysfsRoot, device);
        m_node = serial::readDeviceNode(device);
    }
}

bool AdapterReturn::recognisable() const
{
    return m_rule == ReturnRule::SameName || serial::isNetworkPortText(m_device) || m_identity
           || (m_node && !m_node->pseudoTerminal);
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
    if (m_rule == ReturnRule::SameName)
        return serial::deviceExists(m_device) ? QStringList{m_device} : QStringList{};
    if (!m_node || !strangerAtPath().isEmpty())
        return {};
    const std::optional<serial::DeviceNode> now = serial::readDeviceNode(m_device);
    return now ? QStringList{m_device} : QStringList{};
}

QString AdapterReturn::strangerAtPath() const
{
    if (!m_waiting || m_identity || !m_node)
        return {};
    const std::optional<serial::DeviceNode> now = serial::readDeviceNode(m_device);
    if (!now)
        return {};
    if (!now->sameNodeAs(*m_node))
        return QCoreApplication::translate("console::AdapterReturn",
                                           "%1 is another device now; the panel does not take it.")
            .arg(m_device);
    if (const auto holder = serial::findOtherPortHolder(m_device))
        return QCoreApplication::translate("console::AdapterReturn",
                                           "%1 is back but in use by %2 (process %3); the panel does not take it.")
            .arg(m_device, holder->name)
            .arg(holder->pid);
    return {};
}

QString repeatedFault(const QString &cause, int count, qint64 lastMs)
{
    if (count <= 1)
        return cause;
    return cause + QStringLiteral("\r\n")
        + QCoreApplication::translate("console::AdapterReturn", "The fault came %1 times, the last at %2.")
              .arg(count)
              .arg(QDateTime::fromMSecsSinceEpoch(lastMs).toString(QStringLiteral("HH:mm:ss")));
}

QString waitingNotice(const QString &cause, const QString &sameNodeAt)
{
    if (!sameNodeAt.isEmpty())
        return cause + QStringLiteral("\r\n")
            + QCoreApplication::translate("console::AdapterReturn",
                                          "The port has no identity to recognise it by: the panel waits for the "
                                          "same device to return at %1, held by no other program, and receives "
                                          "again once it is back; click its \"Start\" box to stop waiting.")
                  .arg(sameNodeAt);
    return cause + QStringLiteral("\r\n")
        + QCoreApplication::translate("console::AdapterReturn",
                                      "The panel waits for its adapter to return and receives again once it is "
                                      "back; click its \"Start\" box to stop waiting.");
}

QString notReopenedNotice(const QString &cause)
{
    return cause + QStringLiteral("\r\n")
        + QCoreApplication::translate("console::AdapterReturn",
                                      "The port has no identity to recognise it by, and what opens at its path "
                                      "next may be another program's: the panel will not reopen it by itself. "
                                      "Tick its \"Start\" box to open it again.");
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
