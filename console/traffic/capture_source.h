#pragma once

#include "capture/capture_reader.h"
#include "console/traffic/traffic_source.h"

#include <QFile>

#include <memory>

namespace console {

// A capture file as a traffic source: its packets are the frames, its
// notes the port events. The file is mapped, not read into memory: a frame's
// bytes are read from it when drawn. With two interfaces or more the first
// is the left panel and the others the right; with one interface of link
// type 250, bytes transmitted (0x01) are the left panel's and received
// (0x02) the right's; otherwise all are the left panel's.
class CaptureSource final : public TrafficSource {
    Q_OBJECT
public:
    // Nothing, with the reason, when the file cannot be read at all; a
    // damaged file gives the frames before the damage and damage().
    static std::unique_ptr<CaptureSource> open(const QString &path, QString *failure);

    // Where and why the reading stopped early; empty when it did not.
    QString damage() const { return m_damage; }

    qint64 frameCount(int panel) const override { return qint64(m_frames[panel].size()); }
    qint64 covered(int panel) const override { return frameCount(panel); }
    qint64 frameLength(int panel, qint64 frame) const override { return at(panel, frame).length; }
    std::optional<Span> frameSpan(int panel, qint64 frame) const override;
    qint64 frameWallMs(int panel, qint64 frame) const override { return at(panel, frame).wallMs; }
    void frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const override;
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
    QString streamPort(int panel, qint64 byte) const override;

private:
    CaptureSource() = default;
    struct Frame {
        qint64 offset;
        qint64 length;
        qint64 startUs;
        qint64 endUs;
        qint64 wallMs;
        QString port;
        // Where its bytes begin in the panel's stream.
        qint64 streamOffset = 0;
    };
    const Frame &at(int panel, qint64 frame) const { return m_frames[panel][size_t(frame)]; }

    QFile m_file;
    const char *m_bytes = nullptr;
    std::array<std::vector<Frame>, 2> m_frames;
    std::array<std::vector<PortEvent>, 2> m_events;
    std::array<QString, 2> m_ports;
    std::array<QString, 2> m_settings;
    QString m_damage;
};

} // namespace console
