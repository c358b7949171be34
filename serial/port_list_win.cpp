#include "port_list.h"

#include <qt_windows.h>

#include <algorithm>

namespace serial {

// The COM ports the system lists under HARDWARE\DEVICEMAP\SERIALCOMM, by
// number. No identity is read: the device manager's details stay there.
QList<ListedPort> listSerialPorts(const PortListPlaces &)
{
    QList<ListedPort> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[64];
        DWORD nameSize = 256;
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, index, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE *>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        ports << examinePort(QString::fromWCharArray(data, int(dataSize / sizeof(wchar_t))).remove(QChar(0)));
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), [](const ListedPort &a, const ListedPort &b) {
        return a.device.mid(3).toInt() < b.device.mid(3).toInt();
    });
    return ports;
}

ListedPort examinePort(const QString &device, const PortListPlaces &)
{
    ListedPort port;
    port.device = device;
    return port;
}

} // namespace serial
