#pragma once

#include <QtGlobal>

namespace desktop {

// The system millisecond tick counter, cut to 32 bits. It wraps after about
// 49.7 days, so durations are always taken with elapsedMs().
class TickCounter {
public:
    virtual ~TickCounter() = default;
    virtual quint32 now() const = 0;
};

class MonotonicTickCounter final : public TickCounter {
public:
    quint32 now() const override;
};

// Wrapping 32-bit difference of two readings: later - earlier, taken as a
// signed value, so a wrap of the counter between the readings is harmless.
inline qint32 elapsedMs(quint32 earlier, quint32 later)
{
    return qint32(later - earlier);
}

} // namespace desktop
