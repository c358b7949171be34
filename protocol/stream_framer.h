#pragma once

// The framing every decoder shares: bytes wait in a bounded buffer until a
// protocol's grammar says where a frame ends; what no frame claims becomes
// an Unrecognised mark and the scan moves on one byte.

#include "protocol/checks.h"
#include "protocol/protocol.h"

#include <memory>

namespace protocol::detail {

// What a grammar sees at one position of the stream.
struct Probe {
    enum Kind : std::uint8_t {
        NoFrame,  // no frame of the protocol starts here
        NeedMore, // one may: the bytes after it decide
        Frame,    // a frame of `length` bytes starts here
    };
    Kind kind = NoFrame;
    Verdict verdict = Verdict::Good; // Good, BadCheck, or Cut (only when told no more bytes come)
    Direction direction = Direction::Unknown;
    std::uint32_t length = 0;
};

class Grammar {
public:
    virtual ~Grammar() = default;
    // `bytes` runs from the position to the last byte waiting. `boundary`:
    // the position follows a frame, the start of the stream or a silence
    // longer than the reply timeout, where a frame with a wrong check is
    // credible. `final`: nothing more comes, so a frame begun and not
    // completed is a Frame with verdict Cut (never NeedMore). A Frame with
    // a verdict other than Good is only a candidate: a good frame that
    // begins inside it wins.
    virtual Probe probe(Bytes bytes, bool boundary, bool final) = 0;
    // A frame was marked; grammars that tell directions from what came
    // before remember it.
    virtual void marked(Bytes frame, const FrameMark &mark) { (void)frame, (void)mark; }
    // How many of the first `limit` positions of `bytes` (the stream from a
    // position that follows no frame on) probe() would surely find no
    // frame at, not even one that needs more bytes: the framer passes over
    // them at once. Only for a grammar whose probe() at such a position
    // changes nothing of its own; 0 always holds.
    virtual std::size_t noFrameRun(Bytes bytes, std::size_t limit) const
    {
        (void)bytes, (void)limit;
        return 0;
    }
};

std::unique_ptr<Framer> makeStreamFramer(std::unique_ptr<Grammar> grammar, const Options &options);

} // namespace protocol::detail
