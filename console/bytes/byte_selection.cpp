#include "byte_selection.h"

#include <algorithm>

namespace console {

void ByteSelection::setLimit(qint64 limit)
{
    m_limit = std::max<qint64>(0, limit);
}

void ByteSelection::setCurrent(qint64 index, bool extend)
{
    m_current = std::clamp<qint64>(index, 0, m_limit);
    if (!extend)
        m_anchor = m_current;
    emit changed();
}

void ByteSelection::selectAll()
{
    m_anchor = 0;
    m_current = std::max<qint64>(0, m_limit - 1);
    emit changed();
}

void ByteSelection::reset()
{
    m_anchor = m_current = m_limit = 0;
    emit changed();
}

ByteSelection::Range ByteSelection::selected() const
{
    const qint64 first = std::min(m_anchor, m_current);
    const qint64 last = std::min(std::max(m_anchor, m_current), m_limit - 1);
    return {first, std::max<qint64>(0, last - first + 1)};
}

} // namespace console
