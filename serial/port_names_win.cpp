#include "port_names.h"

namespace serial {

QString defaultDeviceDir()
{
    return {};
}

QString portDeviceIn(const QString &, int n)
{
    return QStringLiteral("COM%1").arg(n);
}

} // namespace serial
