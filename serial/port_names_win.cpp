#include "port_names.h"

namespace serial {

QString deviceForPortNumber(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

} // namespace serial
