#pragma once

#include "console/panel/adapter_return.h"
#include "console/frames/frame_index.h"
#include "console/receive/receive_grid.h"
#include "console/files/receive_log.h"
#include "serial/serial_control.h"

#include <QObject>

#include <vector>

namespace console {

// What happened to a panel's port, as the traffic view lists it among the
// frames. A new kind goes at the end, with its words in portEventText().
enum class PortEventKind { Started, Stopped, Fault, Waiting, Reconnected, Cleared, Sent };

struct PortEvent {
    PortEventKind kind = PortEventKind::Started;
    // Started: the settings string; Fault: the cause; Reconnected: the port.
    QString detail;
    // The port box text when it happened.
    QString port;
    qint64 monotonicUs = 0;
    qint64 wallMs = 0;
    // Sent: where its bytes are in the panel's sent bytes.
    qint64 sentFirst = 0;
    qint64 sentCount = 0;
};

// "started 9600,n,8,1", "stopped", "fault: <cause>", "waiting",
// "reconnected <port>", "cleared", "sent".
QString portEventText(const PortEvent &event);

// What a start asks of the port: the port box text and the line settings.
struct PortRequest {
    QString portText;
    QString settings;
    bool rts = false;
    bool dtr = false;
};

// One port panel of the console without its window: the serial control,
// the received bytes with their arrival marks and grid models, the frames
// they are cut into, the log, the wait for a returning adapter, the run
// flag and what happened to the port. The window routes its controls'
// events here; the traffic view reads both panels through this class.
class Panel : public QObject {
    Q_OBJECT
public:
    explicit Panel(const PortEnvironment &ports = {}, QObject *parent = nullptr);
    ~Panel() override;

    serial::SerialControl &control() { return m_comm; }
    const serial::SerialControl &control() const { return m_comm; }
    ReceiveBuffer &receive() { return m_receive; }
    const ReceiveBuffer &receive() const { return m_receive; }
    const FrameIndex &frames() const { return m_frames; }
    ReceiveLog &log() { return m_log; }
    const ReceiveLog &log() const { return m_log; }
    const std::vector<PortEvent> &events() const { return m_events; }
    // Every byte the panel sent since its last clear, in order; a "sent"
    // event names its part.
    const ByteStore &sentBytes() const { return m_sent; }

    // True while "Start" counts as ticked; read by the receive poll.
    bool &runFlag() { return m_started; }
    bool started() const { return m_started; }

    // The port box text; events note it.
    QString portText() const { return m_portText; }
    void setPortText(const QString &text) { m_portText = text; }

    // Opens the port the request names; false with the reason when the text
    // names no port, the settings are refused or the open fails. Waiting
    // bytes are discarded. start() also notes "started".
    bool open(const PortRequest &request, QString *failure);
    bool start(const PortRequest &request, QString *failure);

    // One receive poll. A stopped panel's open port is closed here (noting
    // "stopped"); otherwise says whether there are bytes to show or a fault
    // to stop on.
    enum class PollStep { Nothing, Show, Fault };
    PollStep poll();
    // Shows what waited (and `bytes`, read from the control), cuts it into
    // frames and logs it. False when the log failed; it is then closed and
    // log().errorString() says why.
    bool show(const QByteArray &bytes);
    // After a fault: closes the port, clears the run flag and notes the
    // fault. Show what arrived before calling it.
    void stopAfterFault();

    // The wait for the adapter after a fault; beginWait() notes "waiting"
    // when there is an adapter to wait for.
    void beginWait();
    void endWait() { m_return.end(); }
    bool waiting() const { return m_return.waiting(); }
    QStringList returnCandidates() const { return m_return.candidates(); }
    // Opens the returned adapter; on success the wait ends, the run flag is
    // set and "reconnected <port>" noted.
    bool reconnect(const PortRequest &request, QString *failure);

    // Notes "sent" with the exact bytes that went out through the port.
    void noteSent(const QByteArray &bytes);

    // Empties the grids, frames and events (bytes still waiting stay); notes
    // "cleared" when there was anything to clear.
    void clear();

    // Cuts the shown bytes again by `rule`, at once.
    void setSplitRule(const SplitRule &rule);

signals:
    void portEvent(const console::PortEvent &event);
    // New bytes were shown: new frames, or a longer last one.
    void framesGrown();
    // The frames and events were made again (a clear, a new rule).
    void framesReset();

private:
    void note(PortEventKind kind, const QString &detail = {}, qint64 sentCount = 0);

    // Declared before the control, which hands it bytes until it goes.
    ReceiveBuffer m_receive;
    serial::SerialControl m_comm;
    FrameIndex m_frames;
    ReceiveLog m_log;
    AdapterReturn m_return;
    QString m_deviceDir;
    QString m_portText;
    bool m_started = false;
    std::vector<PortEvent> m_events;
    ByteStore m_sent;
};

} // namespace console
