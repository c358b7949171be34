#include "port_names.h"

namespace serial {

QString defaultDeviceDir()
{
    return QStringLiteral("/dev");
}

QString portDeviceIn(const QString &deviceDir, int n)
{
    return deviceDir + QStringLiteral("/ttyUSB%1").arg(n - 1);
}

} // namespace serial
