#pragma once

#include <QObject>

namespace console {

// The current cell and the selected range of a panel, shared by its text and
// hex grids. Byte indexes count from 0 at the last reset, in reading order;
// the range runs from the anchor to the current byte, both included, so it
// costs the same for one byte as for a hundred million.
//
// The current byte may be the cell that waits for the next byte (index ==
// limit); the selected bytes never go past the last received one.
class ByteSelection : public QObject {
    Q_OBJECT
public:
    struct Range {
        qint64 first = 0;
        qint64 count = 0;
        bool contains(qint64 i) const { return i >= first && i < first + count; }
    };

    qint64 current() const { return m_current; }
    qint64 anchor() const { return m_anchor; }
    // Bytes received so far: the current byte stays within 0..limit.
    qint64 limit() const { return m_limit; }
    void setLimit(qint64 limit);

    // Moves the current byte; without `extend` the range shrinks to it.
    void setCurrent(qint64 index, bool extend);
    void selectAll();
    // Back to the first cell, nothing received.
    void reset();

    Range selected() const;

signals:
    void changed();

private:
    qint64 m_anchor = 0;
    qint64 m_current = 0;
    qint64 m_limit = 0;
};

} // namespace console
