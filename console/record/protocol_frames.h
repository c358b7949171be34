#pragma once

#include "protocol/protocol.h"

#include <QByteArray>
#include <QByteArrayView>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace console {

// A panel's received bytes cut into a protocol's frames as they arrive, for
// the recorder: the protocol's framer says where each frame ends and which
// way it went, and the bytes of a frame still growing are kept here (only
// those), so that the panel can let go of everything it was given.
class ProtocolFrames {
public:
    // `framer` must not be null.
    explicit ProtocolFrames(std::unique_ptr<protocol::Framer> framer);

    // The next bytes of the line: a burst whose first byte came at startUs
    // and its last at endUs (monotonic microseconds).
    void feed(QByteArrayView bytes, qint64 startUs, qint64 endUs);
    // Nothing more came until nowUs: a frame begun long before is cut.
    void idle(qint64 nowUs);
    // The line ends: whatever waits leaves as frames.
    void finish();

    struct Frame {
        QByteArray bytes;
        qint64 startUs = 0; // the first byte's burst began
        qint64 endUs = 0;   // the last byte's burst ended
        protocol::Direction direction = protocol::Direction::Unknown;
        protocol::Verdict verdict = protocol::Verdict::Good;
    };
    // The frames completed since the last call, in line order.
    std::vector<Frame> take() { return std::exchange(m_ready, {}); }
    // When the first byte not yet in a frame came; nothing when none waits.
    std::optional<qint64> pendingSinceUs() const;
    // Bytes held for frames still growing (bounded by the framer's own).
    qint64 heldBytes() const { return m_held.size(); }

private:
    void collect();
    struct Burst {
        qint64 first; // stream offset of its first byte
        qint64 startUs;
        qint64 endUs;
    };
    const Burst &burstOf(qint64 offset) const;

    std::unique_ptr<protocol::Framer> m_framer;
    std::vector<protocol::FrameMark> m_marks; // scratch
    QByteArray m_held;     // the stream from m_heldFrom on
    qint64 m_heldFrom = 0;
    std::deque<Burst> m_bursts; // those that hold a byte from m_heldFrom on
    std::vector<Frame> m_ready;
};

} // namespace console
