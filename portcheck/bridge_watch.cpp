#include "portcheck/bridge_watch.h"

#include "portcheck/port_num.h"

#include <QCoreApplication>
#include <QDir>

namespace portcheck {

namespace {
constexpr quint32 kWmDeviceChange = 0x0219;
constexpr quintptr kDeviceArrival = 0x8000;
constexpr quintptr kDeviceRemoveComplete = 0x8004;
constexpr quintptr kDevNodesChanged = 0x0007;

// A listing read once a second and a burst settled after half a second keep
// a change within two seconds of the plug.
constexpr int kListingIntervalMs = 1000;
constexpr int kSettleMs = 500;
} // namespace

ListingWatch::ListingWatch(QString folder, int intervalMs, QObject *parent)
    : QObject(parent), m_folder(std::move(folder)), m_last(listing())
{
    connect(&m_timer, &QTimer::timeout, this, &ListingWatch::look);
    m_timer.start(intervalMs);
}

QString ListingWatch::listing() const
{
    QString text;
    const QFileInfoList entries =
        QDir(m_folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries)
        text += entry.fileName() + u'>' + entry.symLinkTarget() + u'\n';
    return text;
}

void ListingWatch::look()
{
    QString now = listing();
    if (now == m_last)
        return;
    m_last = std::move(now);
    emit mayHaveChanged();
}

bool isDeviceChange(const NativeMessage &message)
{
    if (message.message != kWmDeviceChange)
        return false;
    const quintptr event = quintptr(message.wParam);
    return event == kDeviceArrival || event == kDeviceRemoveComplete || event == kDevNodesChanged;
}

DeviceChangeWatch::DeviceChangeWatch(int settleMs, QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &DeviceChangeWatch::mayHaveChanged);
}

bool DeviceChangeWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType == "windows_generic_MSG" && isDeviceChange(*static_cast<const NativeMessage *>(message)))
        m_settle.start();
    return false; // the window system goes on with the message
}

void watchBridges(PortNum &window, const QString &sysfsRoot)
{
#ifdef Q_OS_WIN
    Q_UNUSED(sysfsRoot);
    auto *watch = new DeviceChangeWatch(kSettleMs, &window);
    QCoreApplication::instance()->installNativeEventFilter(watch);
#else
    auto *watch = new ListingWatch(sysfsRoot + QStringLiteral("/bus/usb-serial/devices"), kListingIntervalMs, &window);
#endif
    QObject::connect(watch, &std::remove_pointer_t<decltype(watch)>::mayHaveChanged, &window,
                     &PortNum::refreshIfChanged);
}

} // namespace portcheck
