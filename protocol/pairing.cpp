#include "pairing.h"

#include <algorithm>
#include <vector>

namespace protocol {

namespace {

struct Near {
    std::int64_t row = -1;
    PairingFrame frame;
};

// The row of the same key before `row`, among rows that could still matter:
// a frame that ended more than the timeout before `frame` began cannot be
// answered by it.
Near previousOfKey(const FrameAt &frameAt, std::int64_t row, const PairingFrame &frame,
                   const PairingOptions &options)
{
    const std::int64_t stop = std::max<std::int64_t>(0, row - options.scanLimit);
    for (std::int64_t r = row - 1; r >= stop; --r) {
        PairingFrame f = frameAt(r);
        if (!f.key)
            continue;
        if (f.endUs + options.timeoutUs < frame.startUs)
            return {};
        if (*f.key == *frame.key)
            return {r, f};
    }
    return {};
}

// The next row of the same key after `row`; `timedOut` when the rows looked
// through already began past the timeout (or the scan ran out).
Near nextOfKey(const FrameAt &frameAt, std::int64_t count, std::int64_t row, const PairingFrame &frame,
               const PairingOptions &options, bool *timedOut)
{
    *timedOut = false;
    const std::int64_t stop = std::min(count, row + 1 + options.scanLimit);
    for (std::int64_t r = row + 1; r < stop; ++r) {
        PairingFrame f = frameAt(r);
        if (!f.key)
            continue;
        if (f.startUs - frame.endUs > options.timeoutUs) {
            *timedOut = true;
            return {};
        }
        if (*f.key == *frame.key)
            return {r, f};
    }
    *timedOut = stop < count || options.nowUs - frame.endUs > options.timeoutUs;
    return {};
}

bool withinTimeout(const PairingFrame &request, const PairingFrame &answer, const PairingOptions &options)
{
    return answer.startUs - request.endUs <= options.timeoutUs;
}

// The direction of a row, an unknown one decided by the chain of rows of its
// key before it (each within the timeout of the next): after a request
// waiting for its answer it is that answer, otherwise a request.
Direction directionOf(const FrameAt &frameAt, std::int64_t row, const PairingFrame &frame,
                      const PairingOptions &options)
{
    if (frame.direction != Direction::Unknown)
        return frame.direction;
    std::vector<PairingFrame> chain{frame};
    Direction base = Direction::Unknown; // Unknown: the chain has no frame before it
    std::int64_t at = row;
    while (chain.size() < size_t(options.scanLimit)) {
        const Near before = previousOfKey(frameAt, at, chain.back(), options);
        if (before.row < 0 || !withinTimeout(before.frame, chain.back(), options))
            break;
        if (before.frame.direction != Direction::Unknown) {
            base = before.frame.direction;
            break;
        }
        chain.push_back(before.frame);
        at = before.row;
    }
    // Walk forward from the oldest: each unknown one answers a request
    // before it, and is a request after an answer.
    Direction previous = base;
    for (size_t i = chain.size(); i-- > 0;)
        previous = previous == Direction::Request ? Direction::Answer : Direction::Request;
    return previous;
}

} // namespace

Pairing pairingOf(const FrameAt &frameAt, std::int64_t count, std::int64_t row, const PairingOptions &options)
{
    if (row < 0 || row >= count)
        return {};
    const PairingFrame frame = frameAt(row);
    if (!frame.key)
        return {};
    const Direction direction = directionOf(frameAt, row, frame, options);
    if (direction == Direction::Answer) {
        const Near before = previousOfKey(frameAt, row, frame, options);
        if (before.row < 0 || !withinTimeout(before.frame, frame, options)
            || directionOf(frameAt, before.row, before.frame, options) != Direction::Request)
            return {Role::Unanswering, -1, 0};
        return {Role::Answer, before.row, std::max<std::int64_t>(0, frame.startUs - before.frame.endUs)};
    }
    bool timedOut = false;
    const Near after = nextOfKey(frameAt, count, row, frame, options, &timedOut);
    if (after.row < 0)
        return {timedOut ? Role::NoAnswer : Role::Request, -1, 0};
    if (directionOf(frameAt, after.row, after.frame, options) == Direction::Answer)
        return {Role::Answered, after.row, std::max<std::int64_t>(0, after.frame.startUs - frame.endUs)};
    return {Role::NoAnswer, -1, 0};
}

} // namespace protocol
