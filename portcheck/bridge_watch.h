#pragma once

// What tells the port checker that bridges may have come or gone, so that it
// scans again without a click. Each watch only says "maybe": the window
// scans and replaces its report only when the report changed.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace portcheck {

class PortNum;

// Linux: reads the listing of the USB serial devices (a folder of links, one
// per port) every `intervalMs` and reports when names or link targets differ
// from the last reading. Works on any tree, fake ones included, which send
// no device events.
class ListingWatch final : public QObject {
    Q_OBJECT
public:
    ListingWatch(QString folder, int intervalMs, QObject *parent = nullptr);

signals:
    void mayHaveChanged();

private:
    QString listing() const;
    void look();

    QString m_folder;
    QString m_last;
    QTimer m_timer;
};

#ifdef Q_OS_WIN
using NativeMessage = MSG;
#else
// The leading fields of the Windows MSG structure, in its layout, so the
// message rule is built and tested on every platform.
struct NativeMessage {
    void *hwnd;
    quint32 message;
    quintptr wParam;
    qintptr lParam;
};
#endif

// Windows: the system's device-change message (WM_DEVICECHANGE) for a
// device that arrived or left, or a change of the device tree.
bool isDeviceChange(const NativeMessage &message);

// Watches the window system's messages for that rule. One plug sends a
// burst of messages; they are gathered into one report `settleMs` after the
// last of them.
class DeviceChangeWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit DeviceChangeWatch(int settleMs, QObject *parent = nullptr);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void mayHaveChanged();

private:
    QTimer m_settle;
};

// The platform's watch, made a child of `window` and connected to its
// refreshIfChanged(). `sysfsRoot` is where Linux reads the USB devices.
void watchBridges(PortNum &window, const QString &sysfsRoot);

} // namespace portcheck
