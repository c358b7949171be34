#pragma once

#include "console/panel/panel.h"
#include "protocol/replay.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace console {

// A recording's requests sent through a started panel, each answer read
// from what the panel shows and compared (protocol::Replay): the one place
// the command and the history window's dialog both replay through. Ticks
// every kTickMs; `pollPanel`, when given, runs the panel's receive poll
// first (the command's panel has no window to poll it).
class PanelReplay : public QObject {
    Q_OBJECT
public:
    PanelReplay(Panel &panel, std::vector<protocol::RecordedExchange> exchanges, const protocol::ReplayOptions &options,
                std::function<void()> pollPanel = {}, QObject *parent = nullptr);
    ~PanelReplay() override;

    void start();
    // Ends it early; finished() follows.
    void stop();
    bool running() const { return m_tick.isActive(); }
    const protocol::ReplayTotals &totals() const { return m_replay.totals(); }
    std::size_t size() const { return m_replay.size(); }
    // Why it ended early; empty when it did not.
    QString failure() const { return m_failure; }

    static constexpr int kTickMs = 5;

signals:
    // A request's line (protocol::replayLine()).
    void result(const QString &line);
    void finished();

private:
    void tick();
    qint64 nowUs() const;

    Panel &m_panel;
    protocol::Replay m_replay;
    std::function<void()> m_pollPanel;
    qint64 m_fed = 0;
    QTimer m_tick;
    QString m_failure;
};

} // namespace console
