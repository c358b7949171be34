#pragma once

#include "console/panel/panel.h"

#include <QObject>

#include <array>
#include <optional>
#include <vector>

namespace console {

// What the traffic view reads its rows from: two panels' frames and port
// events, from the live panels or from a capture file. Frames and events are
// each in time order within a panel; times are microseconds of one clock.
class TrafficSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    struct Span {
        qint64 startUs = 0;
        qint64 endUs = 0;
    };

    virtual qint64 frameCount(int panel) const = 0;
    // How far the frames reach; changes when a last frame grows.
    virtual qint64 covered(int panel) const = 0;
    virtual qint64 frameLength(int panel, qint64 frame) const = 0;
    virtual std::optional<Span> frameSpan(int panel, qint64 frame) const = 0;
    virtual qint64 frameWallMs(int panel, qint64 frame) const = 0;
    // Appends the first `count` bytes of the frame.
    virtual void frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const = 0;
    // Whether the first `count` bytes of the frame read back as they came.
    virtual bool frameReadable(int panel, qint64 frame, qint64 count) const
    {
        (void)panel, (void)frame, (void)count;
        return true;
    }
    virtual QString framePort(int panel, qint64 frame) const = 0;
    // The longest silence between the frame's bursts, in microseconds;
    // nothing for a frame of one burst or where the source cannot tell.
    virtual std::optional<qint64> longestPauseUs(int, qint64) const { return std::nullopt; }
    virtual const std::vector<PortEvent> &events(int panel) const = 0;
    // Appends `count` bytes a "sent" event names, from its sentFirst on.
    virtual void sentBytes(int panel, qint64 first, qint64 count, QByteArray &out) const = 0;
    // The panel's port and the settings it ran with.
    virtual QString portText(int panel) const = 0;
    virtual QString settings(int panel) const = 0;

    // The panel's received bytes as one stream, as a protocol's framer reads
    // them: every byte the frames above hold, in arrival order, and the
    // bursts they arrived in (a burst: bytes handed over together, with when
    // its first and its last byte came). A protocol finds its own frames in
    // it, whatever rule cut the frames above.
    struct Burst {
        qint64 firstByte = 0;
        qint64 startUs = 0;
        qint64 endUs = 0;
        qint64 wallMs = 0;
    };
    virtual qint64 streamSize(int panel) const = 0;
    virtual qint64 burstCount(int panel) const = 0;
    virtual Burst burst(int panel, qint64 index) const = 0;
    // The burst that holds stream byte `byte`; nothing before the first.
    virtual std::optional<qint64> burstOf(int panel, qint64 byte) const = 0;
    // Appends stream bytes [first, first + count).
    virtual void streamBytes(int panel, qint64 first, qint64 count, QByteArray &out) const = 0;
    // Whether those bytes read back as they came (a failing spill file).
    virtual bool streamReadable(int panel, qint64 first, qint64 count) const
    {
        (void)panel, (void)first, (void)count;
        return true;
    }
    // The port stream byte `byte` came through.
    virtual QString streamPort(int panel, qint64 byte) const = 0;
    // Now, on the bursts' clock, for a source that still grows; nothing for
    // one that is complete (an opened capture).
    virtual std::optional<qint64> nowUs() const { return std::nullopt; }

signals:
    // New frames or events, or a longer last frame.
    void grown();
    // Everything made again.
    void reset();
};

// The live panels as a traffic source.
class PanelSource final : public TrafficSource {
    Q_OBJECT
public:
    explicit PanelSource(std::array<const Panel *, 2> panels, QObject *parent = nullptr);

    qint64 frameCount(int panel) const override { return m_panels[panel]->frames().count(); }
    qint64 covered(int panel) const override { return m_panels[panel]->frames().covered(); }
    qint64 frameLength(int panel, qint64 frame) const override { return m_panels[panel]->frames().length(frame); }
    std::optional<Span> frameSpan(int panel, qint64 frame) const override;
    qint64 frameWallMs(int panel, qint64 frame) const override;
    void frameBytes(int panel, qint64 frame, qint64 count, QByteArray &out) const override;
    bool frameReadable(int panel, qint64 frame, qint64 count) const override
    {
        return streamReadable(panel, m_panels[panel]->frames().start(frame), count);
    }
    QString framePort(int panel, qint64 frame) const override;
    std::optional<qint64> longestPauseUs(int panel, qint64 frame) const override;
    const std::vector<PortEvent> &events(int panel) const override { return m_panels[panel]->events(); }
    void sentBytes(int panel, qint64 first, qint64 count, QByteArray &out) const override;
    QString portText(int panel) const override { return m_panels[panel]->portText(); }
    QString settings(int panel) const override;
    qint64 streamSize(int panel) const override { return m_panels[panel]->receive().shownSize(); }
    qint64 burstCount(int panel) const override;
    Burst burst(int panel, qint64 index) const override;
    std::optional<qint64> burstOf(int panel, qint64 byte) const override;
    void streamBytes(int panel, qint64 first, qint64 count, QByteArray &out) const override;
    bool streamReadable(int panel, qint64 first, qint64 count) const override;
    QString streamPort(int panel, qint64 byte) const override;
    std::optional<qint64> nowUs() const override;
    // The panel itself, for what only a live panel has (bytes its spill
    // file could not give back).
    const Panel &panel(int panel) const { return *m_panels[panel]; }

private:
    QString portAt(int panel, qint64 us) const;
    std::array<const Panel *, 2> m_panels;
};

} // namespace console
