#pragma once

#include "console/panel/panel.h"
#include "console/panel/port_argument.h"
#include "protocol/modbus_device.h"
#include "protocol/recording.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace console {

// A panel answering as a Modbus RTU device, from a register table or from a
// recording: what the panel shows is fed to the device, and each answer
// goes out through the panel's own send, so that it is a "sent" row of the
// traffic view like any other. The panel is polled by its owner (the
// window's timer, or the command's); answering stops when this object goes.
class PanelDevice : public QObject {
    Q_OBJECT
public:
    PanelDevice(Panel &panel, protocol::ModbusAnswerer &answerer, const protocol::ModbusDevice::Options &options,
                QObject *parent = nullptr);
    // Answering from a recording instead.
    PanelDevice(Panel &panel, protocol::RecordingAnswerer &answerer,
                const protocol::RecordingDevice::Options &options, QObject *parent = nullptr);
    ~PanelDevice() override;

    bool fromRecording() const { return m_recording != nullptr; }
    void setReplyDelayMs(int ms);
    // From a recording: nothing answers after the recorded reply times.
    void setRecordingReplyDelayMs(std::optional<int> ms);
    // The table's counts (all zero from a recording), and the recording's.
    const protocol::ModbusDevice::Counts &counts() const;
    const protocol::RecordingDevice::Counts &recordingCounts() const;
    // Whether every byte the panel shows has been fed to the device, so that
    // the panel may be cleared without losing a request.
    bool caughtUp() const;
    // Whether requestLines() is emitted: off until asked for, as the lines
    // cost their formatting under a flood.
    void setLinesWanted(bool wanted) { m_linesWanted = wanted; }

signals:
    // A request was handled (its writes are in the table already).
    void exchanged(const protocol::Exchange &exchange);
    // An answer went out to the panel's port.
    void answerSent();
    // An answer could not be sent; the reason.
    void sendFailed(const QString &reason);
    // From a recording: requests were matched or not (the counts changed).
    void recordingCounted();
    // A line about each request handled since the last, oldest first, as
    // the command prints them ("12:00:01.250 unit 1 function 3 address 0
    // count 10 ok", "12:00:01.250 Read holding registers 0-9, unit 1:
    // answered from the recording"), and how many requests before them were
    // let go without one under a flood.
    void requestLines(const QStringList &lines, qint64 unlisted);

private:
    void start(qint64 idleMs);
    void takeShown();
    void feed(std::span<const std::uint8_t> bytes, qint64 nowUs);
    void idle(qint64 nowUs);
    void sendDue();
    void schedule();
    void emitLines(QStringList lines);
    qint64 nowUs() const;

    Panel &m_panel;
    // One of the two answers.
    std::unique_ptr<protocol::ModbusDevice> m_device;
    std::unique_ptr<protocol::RecordingDevice> m_recording;
    qint64 m_lastCounted = 0;
    // The protocol a recording is framed and read with.
    protocol::Protocol m_protocol = protocol::Protocol::ModbusRtu;
    bool m_linesWanted = false;
    qint64 m_lastUnlisted = 0;
    // How far the panel's shown bytes were fed.
    qint64 m_fed = 0;
    QTimer m_due;
    QTimer m_idle;
};

} // namespace console
