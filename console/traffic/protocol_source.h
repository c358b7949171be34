#pragma once

#include "console/bytes/chunked_array.h"
#include "console/traffic/traffic_source.h"
#include "protocol/protocol.h"

#include <QTimer>

#include <array>
#include <memory>

namespace console {

// Another source's traffic with the frames a protocol finds: its framer
// reads each panel's received byte stream burst by burst, as the bytes
// arrived (not as a split rule cut them), and leaves a FrameMark (16 bytes)
// a frame; a frame's times are those of the bursts its first and last byte
// came in. Port events are the other source's.
//
// Framing is incremental: bytes are framed once, when the other source
// grows, in slices of at most kSliceBytes, the rest following from the
// event loop, so that opening a long capture or choosing a protocol over a
// long store leaves the window responsive while rows fill in. The two
// panels are framed in the bursts' time order, so their rows arrive in
// order. While the other source still grows, a timer tells the framers when
// nothing arrived (a frame abandoned for longer than the reply timeout is
// cut); a complete source (an opened capture) is finished at its end.
//
// With no framer for the protocol (a decoder not built), there are no
// frames, only the events.
class ProtocolSource final : public TrafficSource {
    Q_OBJECT
public:
    static constexpr qint64 kSliceBytes = 4 * 1024 * 1024;
    // How often a growing source's framers are told the time.
    static constexpr int kIdleTickMs = 100;

    ProtocolSource(const TrafficSource &base, protocol::Protocol protocol, qint64 replyTimeoutUs,
                   QObject *parent = nullptr);
    ~ProtocolSource() override;

    protocol::Protocol protocol() const { return m_protocol; }
    qint64 replyTimeoutUs() const { return m_timeoutUs; }
    // Whether this build has a framer for the protocol.
    bool hasFramer() const { return m_hasFramer; }
    const protocol::FrameMark &mark(int panel, qint64 frame) const { return m_lanes[panel].marks[size_t(frame)]; }
    // Whether every byte of the other source is framed.
    bool caughtUp() const;

    // Frames up to `budget` more bytes; emits grown() when marks were added.
    // Returns caughtUp().
    bool frameMore(qint64 budget = kSliceBytes);
    // Frames everything now (a reader that needs all rows at once).
    void frameAll();
    // Nothing more arrived until `nowUs`: frames begun before the reply
    // timeout are cut.
    void idle(qint64 nowUs);

    qint64 frameCount(int panel) const override { return qint64(m_lanes[panel].marks.size()); }
    qint64 covered(int panel) const override;
    qint64 frameLength(int panel, qint64 frame) const override { return mark(panel, frame).length; }
    std::optional<Span> frameSpan(int panel, qint64 frame) const override;
    qint64 frameWallMs(int panel, qint64 frame) const override;
    void frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const override;
    bool frameReadable(int panel, qint64 frame, qint64 count) const override;
    QString framePort(int panel, qint64 frame) const override;
    const std::vector<PortEvent> &events(int panel) const override { return m_base.events(panel); }
    void sentBytes(int panel, qint64 first, qint64 count, QByteArray &out) const override
    {
        m_base.sentBytes(panel, first, count, out);
    }
    QString portText(int panel) const override { return m_base.portText(panel); }
    QString settings(int panel) const override { return m_base.settings(panel); }
    qint64 streamSize(int panel) const override { return m_base.streamSize(panel); }
    qint64 burstCount(int panel) const override { return m_base.burstCount(panel); }
    Burst burst(int panel, qint64 index) const override { return m_base.burst(panel, index); }
    std::optional<qint64> burstOf(int panel, qint64 byte) const override { return m_base.burstOf(panel, byte); }
    void streamBytes(int panel, qint64 first, qint64 count, QByteArray &out) const override
    {
        m_base.streamBytes(panel, first, count, out);
    }
    bool streamReadable(int panel, qint64 first, qint64 count) const override
    {
        return m_base.streamReadable(panel, first, count);
    }
    QString streamPort(int panel, qint64 byte) const override { return m_base.streamPort(panel, byte); }
    std::optional<qint64> nowUs() const override { return m_base.nowUs(); }

signals:
    // The framers were told the time (pairings may change).
    void ticked();

private:
    struct Lane {
        std::unique_ptr<protocol::Framer> framer;
        ChunkedArray<protocol::FrameMark> marks;
        qint64 fed = 0;
        bool finished = false;
    };
    void restart();
    void baseGrown();
    // frameMore() without telling anyone.
    bool frameSome(qint64 budget);
    // Feeds one piece of the next burst of `panel`; returns the bytes fed.
    qint64 feedNext(int panel, QByteArray &scratch, std::vector<protocol::FrameMark> &out);
    void take(int panel, std::vector<protocol::FrameMark> &out);
    // Whether `next` only goes on with the run of bytes that are no frame
    // `last` holds: they become one mark.
    bool continuesRun(int panel, const protocol::FrameMark &last, const protocol::FrameMark &next) const;
    void scheduleMore();

    const TrafficSource &m_base;
    protocol::Protocol m_protocol;
    qint64 m_timeoutUs;
    bool m_hasFramer = false;
    std::array<Lane, 2> m_lanes;
    QTimer m_idle;
    bool m_moreScheduled = false;
    // The panel of the last mark taken: a run goes on only on it.
    int m_lastLane = -1;
    // Changes with every restart: a slice scheduled before one is dropped.
    quint64 m_generation = 0;
};

} // namespace console
