#pragma once

// Two panels filled with a conversation, taking turns as a request and its
// answer do (left first), on a clock the filling moves: monotonic
// microseconds from 1 s, the wall clock on 2026-12-07.

#include "console/panel/panel.h"

#include <QByteArray>

namespace bench {

class Conversation {
public:
    console::Panel left, right;
    qint64 nowUs = 1000000;

    Conversation()
    {
        left.receive().setClock(m_clock);
        right.receive().setClock(m_clock);
        for (qsizetype i = 0; i < m_pattern.size(); ++i)
            m_pattern[i] = char(i * 31 + 7);
    }
    Conversation(const Conversation &) = delete;
    Conversation &operator=(const Conversation &) = delete;

    // Frame n, frame(n), comes stepUs(n) after the one before, until each
    // panel holds `total` bytes.
    template <typename Step, typename Frame>
    void fill(qint64 total, Step stepUs, Frame frame)
    {
        for (qint64 n = 0; left.receive().shownSize() < total || right.receive().shownSize() < total; ++n) {
            nowUs += stepUs(n);
            (n % 2 ? right : left).show(frame(n));
        }
    }

    // Frame n of a conversation of 8 to 255 bytes a frame, out of a fixed
    // pattern.
    QByteArray patternFrame(qint64 n) const
    {
        return QByteArray::fromRawData(m_pattern.constData() + (n * 131) % 60000, 8 + (n * 37) % 248);
    }

private:
    static constexpr qint64 kWallUs = 1796652191000000;
    const console::ArrivalClock m_clock{[this] { return nowUs; }, [this] { return nowUs + kWallUs; }};
    QByteArray m_pattern{1 << 16, Qt::Uninitialized};
};

} // namespace bench
