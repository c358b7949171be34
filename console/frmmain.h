#pragma once

#include "console/panel/console_settings.h"
#include "console/panel/panel.h"
#include "console/panel/panel_view.h"
#include "desktop/message_boxes.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;

namespace console {

class ByteGridView;
class FileChooser;
class sfrmTransmit;
class TrafficWindow;
class DeviceWindow;

// The panels' serial controls under the window's name for them: MSComm1[i]
// is panel i's, to read; the panel alone opens, closes and writes it.
class PanelControls {
public:
    explicit PanelControls(const std::array<Panel, 2> &panels)
        : m_panels(panels)
    {
    }
    const serial::SerialControl &operator[](int i) const { return m_panels[size_t(i)].control(); }

private:
    const std::array<Panel, 2> &m_panels;
};

// Tavrin's main window: two identical port panels side by side (index 0 on
// the left, 1 on the right), each with its settings, Start, its text and hex
// receive grids, Clear and Transmit. A 500 ms timer polls both ports. What a
// panel is lives in its Panel, what its controls do in its PanelView; the
// window builds both, keeps the form-level state under its given names and
// routes the handlers to the panel they belong to.
class frmMain : public QWidget {
    Q_OBJECT
    // First: the run flags and controls below refer into them.
    std::array<Panel, 2> m_panels;

public:
    explicit frmMain(desktop::MessageBoxes &boxes, QWidget *parent = nullptr);
    // `ports` says where ports are found and where the panels' options are
    // kept; tests point it at temporary folders.
    frmMain(desktop::MessageBoxes &boxes, const PortEnvironment &ports, QWidget *parent = nullptr);
    ~frmMain() override;

    // Where the save, log and export items ask for their files; file
    // dialogs unless set (the window does not own it).
    void setFileChooser(FileChooser *files);

    // Form-level state. Each panel's settings string is its four pieces.
    QString Baud0, Baud1;
    QString Parity0, Parity1;
    QString DataBits0, DataBits1;
    QString StopBits0, StopBits1;
    RunFlag Started0{m_panels[0]};
    RunFlag Started1{m_panels[1]};
    // True when the history window sends through the left panel.
    bool Port1 = false;

    // Receive write positions, derived from what each panel has received.
    qint64 RxRow0() const { return m_panels[0].receive().rxRow(); }
    int RxCol0() const { return m_panels[0].receive().rxCol(); }
    qint64 RxRow1() const { return m_panels[1].receive().rxRow(); }
    int RxCol1() const { return m_panels[1].receive().rxCol(); }

    // The window parts of the two panels, left first.
    const std::array<PanelView *, 2> &views() const { return m_views; }

    // Controls, two of each (index = panel) unless an option group.
    std::array<QLabel *, 2> Label1{};
    std::array<QComboBox *, 2> Combo1{};
    std::array<QCheckBox *, 2> Check1{};
    std::array<QGroupBox *, 2> Frame1{}, Frame2{}, Frame3{}, Frame4{};
    std::array<QRadioButton *, 16> Option1{};
    std::array<QRadioButton *, 8> Option2{};
    std::array<QRadioButton *, 6> Option3{};
    std::array<QRadioButton *, 6> Option4{};
    std::array<QCheckBox *, 2> Check2{}, Check3{};
    std::array<QPushButton *, 2> Command1{}, Command2{};
    std::array<ByteGridView *, 2> MSHFlexGrid1{}, MSHFlexGrid2{};
    PanelControls MSComm1{m_panels};
    QTimer *Timer1 = nullptr;

    // The history window while it is loaded (hidden or shown), else null.
    sfrmTransmit *transmitWindow() const { return m_transmit.get(); }
    // "Traffic View..." of either menu: opens the one traffic window, or
    // raises it. Null until first opened.
    void showTrafficView();
    TrafficWindow *trafficWindow() const { return m_traffic; }
    // "Answer as Device..." of a started panel's menu: opens the panel's
    // device window, or raises it. Null while none is open.
    void showDeviceWindow(int index);
    DeviceWindow *deviceWindow(int index) const;

public slots:
    void Form_Load();
    void Check1_Click(int Index);
    void Combo1_Click(int Index);
    void Option1_Click(int Index);
    void Option2_Click(int Index);
    void Option3_Click(int Index);
    void Option4_Click(int Index);
    void Command1_Click(int Index);
    void Command2_Click(int Index);
    void Form_Unload();
    void Timer1_Timer();
    void ResetGrids0();
    void ResetGrids1();
    void MSHFlexGrid1_Scroll(int Index);
    void MSHFlexGrid2_Scroll(int Index);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildPanels(const PortEnvironment &ports);
    void connectHandlers(const PanelView &view);
    // Older received bytes go to a file past the budget; a file that
    // cannot be written is reported once.
    void keepReceivedWithin(qint64 memoryBudget);
    void loadTransmitWindow();

    desktop::MessageBoxes &m_boxes;
    ConsoleSettings m_settings;
    std::array<PanelView *, 2> m_views{};
    FileChooser *m_files = nullptr;
    // The device windows' file dialogs when no chooser was set.
    DialogFileChooser m_dialogs;
    TrafficWindow *m_traffic = nullptr;
    // Each deletes itself when closed.
    std::array<QPointer<DeviceWindow>, 2> m_devices;
    // Declared after the panels, so it goes before the panels it sends
    // through.
    std::unique_ptr<sfrmTransmit> m_transmit;
};

} // namespace console
