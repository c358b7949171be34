#include "adapter_return.h"

#include "console/byte_store.h"
#include "serial/open_failure.h"

#include <QSettings>

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

namespace {
QString reconnectKey(int panel)
{
    return QStringLiteral("Panel%1/ReconnectAutomatically").arg(panel);
}
} // namespace

std::unique_ptr<QSettings> openSettings(const QString &file)
{
    return file.isEmpty() ? std::make_unique<QSettings>(QStringLiteral("Tavrin"), QStringLiteral("Tavrin"))
                          : std::make_unique<QSettings>(file, QSettings::IniFormat);
}

qint64 receiveMemoryBudget(const QString &settingsFile)
{
    constexpr qint64 kMiB = 1024 * 1024;
    bool number = false;
    const qint64 mib = openSettings(settingsFile)->value(QStringLiteral("Receive/MemoryBudgetMiB")).toLongLong(&number);
    if (!number || mib < 0)
        return ByteStore::kDefaultMemoryBudget;
    // Far beyond any memory; keeps the product in range.
    return std::min<qint64>(mib, qint64(1) << 30) * kMiB;
}

ReconnectSettings::ReconnectSettings(const QString &file)
    : m_settings(openSettings(file))
{
}

ReconnectSettings::~ReconnectSettings() = default;

bool ReconnectSettings::reconnectAutomatically(int panel) const
{
    return m_settings->value(reconnectKey(panel), false).toBool();
}

void ReconnectSettings::setReconnectAutomatically(int panel, bool on)
{
    m_settings->setValue(reconnectKey(panel), on);
    m_settings->sync();
}

} // namespace console
