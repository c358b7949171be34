#pragma once

#include "capture/capture_bytes.h"
#include "capture/capture_reader.h"
#include "console/bytes/chunked_array.h"
#include "console/traffic/traffic_source.h"

#include <limits>
#include <memory>

namespace console {

// A capture file as a traffic source: its packets are the frames, its
// notes the port events. The file is read through mapped windows, not into
// memory: a frame's bytes are read from it when drawn, and a packet costs
// one 48-byte record of where it is (its port an index into the few port
// texts the capture names), so a capture opens in a small share of its size
// whatever that size, even one larger than the address space. With two
// interfaces or more the first is the left panel and the others the right;
// with one interface of link type 250, bytes transmitted (0x01) are the
// left panel's and received (0x02) the right's; otherwise all are the left
// panel's.
class CaptureSource final : public TrafficSource {
    Q_OBJECT
public:
    // The most packets indexed: a capture with more shows the first ones and
    // says why. Rows are counted in an int; a 32-bit build keeps its index
    // within a few hundred megabytes of address space.
    static constexpr qint64 kMaxPackets = sizeof(void *) == 4 ? 8'000'000 : 1'000'000'000;

    struct Limits {
        qint64 windowBytes = capture::FileWindows::kWindowBytes;
        qint64 maxPackets = kMaxPackets;
    };

    // Nothing, with the reason, when the file cannot be read at all; a
    // damaged file gives the frames before the damage and damage().
    static std::unique_ptr<CaptureSource> open(const QString &path, QString *failure)
    {
        return open(path, failure, Limits{});
    }
    static std::unique_ptr<CaptureSource> open(const QString &path, QString *failure, const Limits &limits);

    // Where and why the reading stopped early; empty when it did not.
    QString damage() const { return m_damage; }
    // The port texts the frames name, each once.
    qsizetype portTexts() const { return qsizetype(m_portTexts.size()); }

    qint64 frameCount(int panel) const override { return qint64(m_frames[panel].size()); }
    qint64 covered(int panel) const override { return frameCount(panel); }
    qint64 frameLength(int panel, qint64 frame) const override { return at(panel, frame).length; }
    std::optional<Span> frameSpan(int panel, qint64 frame) const override;
    qint64 frameWallMs(int panel, qint64 frame) const override { return at(panel, frame).wallMs; }
    void frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const override;
    bool frameReadable(int panel, qint64 frame, qint64 count) const override;
    QString framePort(int panel, qint64 frame) const override;
    const std::vector<PortEvent> &events(int panel) const override { return m_events[panel]; }
    void sentBytes(int panel, qint64 first, qint64 count, QByteArray &out) const override;
    QString portText(int panel) const override { return m_ports[panel]; }
    QString settings(int panel) const override { return m_settings[panel]; }
    // The stream is the packets' bytes one after the other, a burst a packet.
    qint64 streamSize(int panel) const override;
    qint64 burstCount(int panel) const override { return frameCount(panel); }
    Burst burst(int panel, qint64 index) const override;
    std::optional<qint64> burstOf(int panel, qint64 byte) const override;
    void streamBytes(int panel, qint64 first, qint64 count, QByteArray &out) const override;
    bool streamReadable(int panel, qint64 first, qint64 count) const override;
    QString streamPort(int panel, qint64 byte) const override;

private:
    friend class CaptureIndexer;
    explicit CaptureSource(qint64 windowBytes)
        : m_windows(windowBytes)
    {
    }
    // Where a packet is and when it came: a few integers, nothing allocated.
    struct Frame {
        qint64 offset;
        // Where its bytes begin in the panel's stream.
        qint64 streamOffset;
        qint64 startUs;
        qint64 endUs;
        qint64 wallMs;
        quint32 length;
        // An index into m_portTexts, or kPanelPort.
        quint32 port;
    };
    static_assert(sizeof(Frame) == 48);
    static constexpr quint32 kPanelPort = std::numeric_limits<quint32>::max();
    using Frames = ChunkedArray<Frame, 4096>;
    const Frame &at(int panel, qint64 frame) const { return m_frames[panel][size_t(frame)]; }
    // Appends the file's bytes, or as many zeros when they cannot be read.
    void fileBytes(qint64 offset, qint64 count, QByteArray &out) const;
    bool fileReadable(qint64 offset, qint64 count) const;

    mutable capture::FileWindows m_windows;
    std::array<Frames, 2> m_frames;
    std::vector<QString> m_portTexts;
    std::array<std::vector<PortEvent>, 2> m_events;
    std::array<QString, 2> m_ports;
    std::array<QString, 2> m_settings;
    QString m_damage;
};

} // namespace console
