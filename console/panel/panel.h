#pragma once

#include "console/panel/adapter_return.h"
#include "console/frames/frame_index.h"
#include "console/receive/receive_buffer.h"
#include "console/files/receive_log.h"
#include "serial/serial_control.h"

#include <QObject>

#include <optional>
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
// flag and what happened to the port. Everything that opens, closes, reads
// or writes the port goes through here, so that what the traffic view
// reads (frames, events, sent bytes) is always what happened on the line.
class Panel : public QObject {
    Q_OBJECT
public:
    explicit Panel(const PortEnvironment &ports = {}, QObject *parent = nullptr);
    ~Panel() override;

    const serial::SerialControl &control() const { return m_comm; }
    // A tap on the line: the port reads and every send is refused (see
    // SerialControl::setListenOnly).
    void setListenOnly(bool on) { m_comm.setListenOnly(on); }
    ReceiveBuffer &receive() { return m_receive; }
    const ReceiveBuffer &receive() const { return m_receive; }
    const FrameIndex &frames() const { return m_frames; }
    const ReceiveLog &log() const { return m_log; }
    const std::vector<PortEvent> &events() const { return m_events; }
    // Every byte the panel sent since its last clear, in order; a "sent"
    // event names its part.
    const ByteStore &sentBytes() const { return m_sent; }

    // The run flag: true while "Start" counts as ticked. Clearing it only
    // stops the panel; the next poll() closes the port.
    bool started() const { return m_started; }
    void setStarted(bool on) { m_started = on; }

    // The port box text; events note it.
    QString portText() const { return m_portText; }
    void setPortText(const QString &text) { m_portText = text; }

    // Opens the port the request names and notes "started"; false with the
    // reason when the text names no port, the settings are refused or the
    // open fails. Waiting bytes are discarded. The run flag is the caller's.
    bool start(const PortRequest &request, QString *failure);

    // What one receive poll did.
    struct Poll {
        enum class Outcome {
            Nothing, // nothing new (a stopped panel's port is closed here, noting "stopped")
            Shown,   // bytes shown: the grids, frames and log have them
            Fault,   // the line failed: what came before is shown, the port closed, the fault noted
        };
        Outcome outcome = Outcome::Nothing;
        // The bytes shown: [firstShown, firstShown + shownCount).
        qint64 firstShown = 0;
        qint64 shownCount = 0;
        // Set when logging stopped because the log could not be written.
        QString logFailure;
        // Fault: the device and the system's reason.
        QString fault;
    };
    // One tick of the receive poll: everything the port handed over since
    // the last one is shown, or the fault is met. Nothing else needs to be
    // called before or after it.
    Poll poll();
    // Bytes received and shown at once, as a poll that read them shows them
    // (for a panel fed without a port).
    Poll show(const QByteArray &bytes);

    // Logging of every byte shown; a file that exists is appended to.
    bool startLog(const QString &path, QString *failure);
    void stopLog() { m_log.close(); }

    // The wait for the adapter after a fault; beginWait() notes "waiting"
    // when there is an adapter to wait for.
    void beginWait();
    void endWait() { m_return.end(); }
    bool waiting() const { return m_return.waiting(); }
    QStringList returnCandidates() const { return m_return.candidates(); }
    const AdapterReturn &adapterReturn() const { return m_return; }
    // Opens the returned adapter; on success the wait ends, the run flag is
    // set and "reconnected <port>" noted.
    bool reconnect(const PortRequest &request, QString *failure);

    // Writes `bytes` to the port as one piece and notes "sent" with exactly
    // those bytes. False, with the reason, when the port is not open, has
    // failed or refused them; nothing was written then.
    bool send(const QByteArray &bytes, QString *failure);

    // Empties the grids, frames and events (bytes still waiting stay); notes
    // "cleared" when there was anything to clear.
    void clear();

    // Cuts the shown bytes again by `rule`, at once.
    void setSplitRule(const SplitRule &rule);

    // Test seam: every open fails at that step (see SerialControl).
    void failOpenAt(std::optional<serial::SerialControl::OpenFailure> failure) { m_comm.failOpenAt(failure); }

signals:
    void portEvent(const console::PortEvent &event);
    // New bytes were shown: new frames, or a longer last one.
    void framesGrown();
    // The frames and events were made again (a clear, a new rule).
    void framesReset();

private:
    bool open(const PortRequest &request, QString *failure);
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

// A panel's run flag under the window's name for it (Started0, Started1):
// reading and setting it go through the panel.
class RunFlag {
public:
    explicit RunFlag(Panel &panel)
        : m_panel(panel)
    {
    }
    operator bool() const { return m_panel.started(); }
    RunFlag &operator=(bool on)
    {
        m_panel.setStarted(on);
        return *this;
    }
    RunFlag &operator=(const RunFlag &other) { return *this = bool(other); }

private:
    Panel &m_panel;
};

} // namespace console
