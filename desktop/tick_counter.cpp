#include "tick_counter.h"

#include <chrono>

namespace desktop {

quint32 MonotonicTickCounter::now() const
{
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace desktop
