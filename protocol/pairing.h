#pragma once

// Which answer answers which request, on a list of frames in time order:
// one panel's frames (a bus tap hears both ways) or two panels' merged (a
// panel each way). Nothing is kept per frame: a frame's pairing is found
// when it is asked for, from its neighbours with the same pairing key, so
// that a long capture costs no memory for it and a frame's pairing never
// depends on the order the frames were asked for in.
//
//  - an answer is paired with the frame before it of the same key when that
//    one is a request and the answer began within the reply timeout of its
//    end;
//  - a request is answered when the next frame of its key is an answer that
//    began within the timeout; it has no answer when the next frame of its
//    key is another request, or when the timeout passed without an answer
//    (still a plain request while the timeout runs);
//  - a frame whose framer could not tell its direction (a Modbus write's
//    echo looks like its request) is an answer when the frame before it of
//    its key is a request waiting for one within the timeout, else a request.

#include "protocol/protocol.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace protocol {

// One frame (or any other row: a row with no key is skipped) as the pairing
// reads it. Times are monotonic microseconds.
struct PairingFrame {
    std::optional<std::uint32_t> key;
    Direction direction = Direction::Unknown;
    std::int64_t startUs = 0;
    std::int64_t endUs = 0;
};

enum class Role : std::uint8_t {
    None,       // no key: not paired
    Request,    // a request whose timeout still runs
    Answered,   // a request with its answer
    NoAnswer,   // a request that got none
    Answer,     // an answer paired with its request
    Unanswering // an answer to no request seen (the request lost, or a second answer)
};

struct Pairing {
    Role role = Role::None;
    // The row of the other half: an answer's request, a request's answer;
    // -1 when there is none.
    std::int64_t partner = -1;
    // From the end of the request to the start of its answer (never below
    // 0: bytes handed over in lumps can make the two overlap).
    std::int64_t replyUs = 0;
};

struct PairingOptions {
    std::int64_t timeoutUs = 1'000'000;
    // The clock now, on the frames' clock: a request younger than the
    // timeout has not been left unanswered yet.
    std::int64_t nowUs = 0;
    // Rows looked through on either side at most: a flood of rows with no
    // key costs a bounded time per question.
    std::int64_t scanLimit = 512;
};

using FrameAt = std::function<PairingFrame(std::int64_t row)>;

// The pairing of row `row` of `count` rows.
Pairing pairingOf(const FrameAt &frameAt, std::int64_t count, std::int64_t row, const PairingOptions &options);

} // namespace protocol
