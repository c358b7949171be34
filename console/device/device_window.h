#pragma once

#include "console/device/panel_device.h"
#include "console/device/register_model.h"
#include "console/device/request_log.h"
#include "console/files/file_chooser.h"
#include "desktop/message_boxes.h"
#include "protocol/modbus_device.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QSpinBox;
class QTabWidget;
class QTableView;

namespace console {

// "Tavrin Device - <port>": a started panel answering as a Modbus RTU
// device while this window is open. The unit numbers, the reply delay and
// the four tables are edited here; what the master writes shows at once,
// marked. The answering itself is PanelDevice's; closing the window (which
// deletes it) stops it.
class DeviceWindow : public QWidget {
    Q_OBJECT
public:
    // `pollPanel` runs the panel's receive poll, as its window's timer does,
    // so that answers need not wait for that timer; null leaves the polling
    // to the owner.
    DeviceWindow(Panel &panel, desktop::MessageBoxes &boxes, FileChooser &files,
                 std::function<void()> pollPanel = {}, QWidget *parent = nullptr);
    ~DeviceWindow() override;

    // The controls, for the tests.
    QLineEdit *units() const { return m_units; }
    QSpinBox *replyDelay() const { return m_delay; }
    QTabWidget *tables() const { return m_tabs; }
    RegisterModel &model(protocol::RegisterKind kind) { return *m_models[size_t(kind)]; }
    QLabel *status() const { return m_status; }
    QLabel *problem() const { return m_problem; }
    const protocol::RegisterTable &table() const { return m_answerer.table(); }
    // "Recorded reply times": answering from a capture, each answer after
    // its recorded reply time, else after the reply delay. Shown once a
    // capture is loaded.
    QCheckBox *recordedTimes() const { return m_recordedTimes; }
    // The capture answered from; empty while the table answers.
    QString capture() const { return m_capture; }
    PanelDevice &device() { return *m_device; }
    // A line per request, from the table or the capture alike, the newest
    // last; its heading says how many older ones were let go.
    RequestLog &requestLog() { return m_requests; }
    QLabel *requestHeading() const { return m_requestHeading; }

    // The buttons' work.
    void loadTable();
    void saveTable();
    void addEntry();
    void removeEntry();
    // From a Capture...: answers from a recording instead of the table, for
    // the units given (a request equal to a recorded one gets its answer).
    void loadCapture();

    // Receive poll interval while the window is open, milliseconds.
    static constexpr int kPollMs = 20;

private:
    void unitsEdited();
    void exchanged(const protocol::Exchange &exchange);
    void showCounts();
    QTableView *currentView() const;
    void replyDelayChosen();
    void attachDevice();
    void playRecording(std::vector<protocol::RecordedExchange> exchanges);
    void requestLines(const QStringList &lines, qint64 unlisted);

    Panel &m_panel;
    desktop::MessageBoxes &m_boxes;
    FileChooser &m_files;
    protocol::ModbusAnswerer m_answerer;
    std::array<std::unique_ptr<RegisterModel>, 4> m_models;
    std::array<QTableView *, 4> m_views{};
    std::optional<protocol::RecordingAnswerer> m_recording;
    std::unique_ptr<PanelDevice> m_device;
    RequestLog m_requests;
    QString m_capture;
    // The capture's exchanges for every unit, and the protocol they were
    // found with: what the units edited later are played from.
    std::vector<protocol::RecordedExchange> m_captureExchanges;
    protocol::Protocol m_captureProtocol = protocol::Protocol::ModbusRtu;
    QCheckBox *m_recordedTimes = nullptr;
    QLineEdit *m_units = nullptr;
    QSpinBox *m_delay = nullptr;
    QTabWidget *m_tabs = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_problem = nullptr;
    QLabel *m_requestHeading = nullptr;
    QListView *m_requestView = nullptr;
};

} // namespace console
