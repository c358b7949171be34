#include "port_names.h"

namespace serial {

QString deviceForPortNumber(int n)
{
    return QStringLiteral("/dev/ttyUSB%1").arg(n - 1);
}

} // namespace serial
