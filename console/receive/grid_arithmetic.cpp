#include "grid_arithmetic.h"

#include "console/frames/hex_text.h"

#include "codepage/codepage.h"

#include <algorithm>

namespace console {

namespace grid {

QChar headerCharacter(int column)
{
    return QChar(column <= 10 ? 47 + column : 54 + column);
}

QString hexText(std::uint8_t byte)
{
    return hexNumber(byte);
}

QChar textCharacter(std::uint8_t byte)
{
    return QChar(codepage::systemCodePage().character(byte));
}

qint64 autoScrolledTop(qint64 top, qint64 rowsBefore, qint64 appendedRows)
{
    // Once the view is within reach of the end it moves with every row;
    // before that, rows are added without moving it.
    const qint64 idle = std::max<qint64>(0, top + 7 - rowsBefore);
    return top + std::max<qint64>(0, appendedRows - idle);
}

} // namespace grid

} // namespace console
