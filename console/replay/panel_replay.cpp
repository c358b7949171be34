#include "panel_replay.h"

namespace console {

PanelReplay::PanelReplay(Panel &panel, std::vector<protocol::RecordedExchange> exchanges,
                         const protocol::ReplayOptions &options, std::function<void()> pollPanel, QObject *parent)
    : QObject(parent), m_panel(panel), m_replay(std::move(exchanges), options), m_pollPanel(std::move(pollPanel))
{
    m_tick.setInterval(kTickMs);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &PanelReplay::tick);
}

PanelReplay::~PanelReplay() = default;

qint64 PanelReplay::nowUs() const
{
    return m_panel.receive().clock().monotonicUs();
}

void PanelReplay::start()
{
    // What the panel showed before is no answer.
    m_fed = m_panel.receive().shownSize();
    m_tick.start();
    tick();
}

void PanelReplay::stop()
{
    if (!m_tick.isActive())
        return;
    m_tick.stop();
    emit finished();
}

void PanelReplay::tick()
{
    if (m_pollPanel)
        m_pollPanel();
    const qint64 shown = m_panel.receive().shownSize();
    // A clear empties what the panel shows.
    if (shown < m_fed)
        m_fed = shown;
    if (shown > m_fed) {
        const qint64 now = nowUs();
        m_panel.receive().store().forEachSpan(m_fed, shown - m_fed, [&](QByteArrayView piece) {
            m_replay.feed({reinterpret_cast<const std::uint8_t *>(piece.data()), size_t(piece.size())}, now);
        });
        m_fed = shown;
    }
    m_replay.idle(nowUs());
    for (;;) {
        for (const protocol::ReplayResult &r : m_replay.takeResults())
            emit result(QString::fromStdString(protocol::replayLine(r)));
        const auto request = m_replay.takeRequest(nowUs());
        if (!request)
            break;
        QString why;
        if (!m_panel.send(QByteArray(reinterpret_cast<const char *>(request->data()), qsizetype(request->size())),
                          &why)) {
            m_failure = tr("Cannot send: %1").arg(why);
            stop();
            return;
        }
    }
    if (m_replay.finished())
        stop();
}

} // namespace console
