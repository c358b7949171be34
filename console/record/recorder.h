#pragma once

#include "console/panel/panel.h"
#include "console/record/protocol_frames.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace console {

// A port to record: the port box's text (a number, COMn, a path) and a
// settings string.
struct RecordPort {
    QString port;
    QString settings = QStringLiteral("9600,n,8,1");
};

// Records one or two ports into a pcapng file without a window: a panel a
// port, frames cut by the panels' idle gap, written as soon as they are
// complete together with the port events, so that the file is a valid
// capture at any moment (every block complete on disk within a second).
// An adapter that goes away is waited for, as the window waits. What was
// written is forgotten by the panels, so memory stays flat however long it
// runs.
class Recorder : public QObject {
    Q_OBJECT
public:
    explicit Recorder(std::vector<RecordPort> ports, QString output, PortEnvironment environment = {},
                      QObject *parent = nullptr);
    ~Recorder() override;

    // Frames found by the protocol's framer, each written with the
    // direction its decoder gives (requests 0x01, answers 0x02), instead of
    // cut by the panels' idle gap. Before start(); the protocol must have a
    // framer (None is the idle gap).
    void setProtocol(protocol::Protocol protocol) { m_protocol = protocol; }

    // Makes the file and opens the ports; false with the reason.
    bool start(QString *failure);
    // Stops the ports, writes what is left and closes the file; finished()
    // follows.
    void stop();

    struct PortCount {
        QString port;
        qint64 bytes = 0;
        qint64 frames = 0;
    };
    std::vector<PortCount> counts() const;
    // "<port>: <bytes> bytes, <frames> frames" for each port.
    QString progressLine() const;
    QString summaryLine() const;
    // Why the recording ended early; empty when it did not.
    QString failure() const { return m_failure; }
    // The panels, for tests.
    const Panel &panel(int index) const { return *m_panels[size_t(index)]; }

    // Receive poll interval, milliseconds.
    static constexpr int kPollMs = 20;

signals:
    // The file is complete and closed; failure() says whether something
    // went wrong before.
    void finished();

private:
    struct Block {
        qint64 us; // monotonic, for the file's time order
        QByteArray blocks;
    };
    void tick();
    // The blocks of a panel's frames complete by now; returns when the
    // first byte of a frame still growing came.
    std::optional<qint64> gapFrames(size_t index, bool everything, qint64 nowUs, std::vector<Block> &out);
    std::optional<qint64> protocolFrames(size_t index, qint64 nowUs, std::vector<Block> &out);
    // Writes the complete frames and events of every panel (all of them
    // when `everything`); false after a failed write, which ends the
    // recording.
    bool writeNew(bool everything);
    bool writeBlocks(const QByteArray &blocks);
    void forgetWritten(int index);
    void tryReconnect(int index);
    void fail(const QString &reason);

    std::vector<RecordPort> m_ports;
    QString m_output;
    PortEnvironment m_environment;
    std::vector<std::unique_ptr<Panel>> m_panels;
    struct Progress {
        qint64 framesWritten = 0; // of the panel's frames
        qint64 bytesFramed = 0;   // of the panel's bytes, given to the protocol's framer
        qint64 eventsWritten = 0; // of the panel's events
        qint64 bytes = 0;         // in all
        qint64 frames = 0;        // in all
    };
    std::vector<Progress> m_progress;
    protocol::Protocol m_protocol = protocol::Protocol::None;
    std::vector<std::unique_ptr<ProtocolFrames>> m_framed; // a panel's, with a protocol
    QFile m_file;
    // The file's size after its last complete block.
    qint64 m_complete = 0;
    bool m_unsynced = false;
    QTimer m_poll;
    QTimer m_sync;
    QElapsedTimer m_running;
    // Microseconds since 1970 minus the arrival clock's monotonic ones.
    qint64 m_offsetUs = 0;
    QString m_failure;
    bool m_stopped = false;
};

} // namespace console
