#pragma once

#include "console/receive/byte_grid_view.h"
#include "console/panel/console_settings.h"
#include "console/files/file_chooser.h"
#include "console/panel/panel.h"
#include "console/panel/panel_options.h"
#include "console/receive/receive_menu.h"
#include "desktop/message_boxes.h"
#include "serial/serial_control.h"

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

class sfrmTransmit;
class TrafficWindow;

// The panels' serial controls under the window's name for them: MSComm1[i]
// is panel i's.
class PanelControls {
public:
    explicit PanelControls(std::array<Panel, 2> &panels)
        : m_panels(panels)
    {
    }
    serial::SerialControl &operator[](int i) const { return m_panels[size_t(i)].control(); }

private:
    std::array<Panel, 2> &m_panels;
};

// Tavrin's main window: two identical port panels side by side (index 0 on
// the left, 1 on the right), each with its settings, Start, its text and hex
// receive grids, Clear and Transmit. A 500 ms timer polls both ports. What a
// panel is lives in its Panel; the window holds the controls and routes
// their events there.
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

    // Where the save and log items ask for their files; file dialogs unless
    // set (the window does not own it).
    void setFileChooser(FileChooser *files);

    // Form-level state. Each panel's settings string is its four pieces.
    QString Baud0, Baud1;
    QString Parity0, Parity1;
    QString DataBits0, DataBits1;
    QString StopBits0, StopBits1;
    bool &Started0;
    bool &Started1;
    // True when the history window sends through the left panel.
    bool Port1 = false;

    // The history window while it is loaded (hidden or shown), else null.
    sfrmTransmit *transmitWindow() const { return m_transmit.get(); }

    // Receive write positions, derived from what each panel has received.
    qint64 RxRow0() const { return m_panels[0].receive().rxRow(); }
    int RxCol0() const { return m_panels[0].receive().rxCol(); }
    qint64 RxRow1() const { return m_panels[1].receive().rxRow(); }
    int RxCol1() const { return m_panels[1].receive().rxCol(); }

    QString settingsOf(int panel) const;
    bool &startedOf(int panel) { return m_panels[size_t(panel)].runFlag(); }
    Panel &panel(int i) { return m_panels[size_t(i)]; }

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

    ReceiveBuffer &receiveOf(int panel) { return m_panels[size_t(panel)].receive(); }
    // The context menu of the panel's two grids.
    ReceiveMenu *receiveMenu(int panel) const { return m_menus[panel]; }
    const ReceiveLog &receiveLog(int panel) const { return m_panels[size_t(panel)].log(); }

    // What the menu's items do, for the panel given.
    void copySelection(int panel, bool hex);
    void selectAllReceived(int panel);
    void saveReceived(int panel);
    // Starts logging (asking for the file) or stops it.
    void setLogging(int panel, bool on);
    // "Choose Port..." and "Other Baud Rate..." (frmmain_choices.cpp): a
    // dialog, then the port box's text or the panel's baud piece.
    void choosePort(int panel);
    void chooseOtherBaudRate(int panel);
    // The poll's display step: appends to the panel's grids and moves both
    // views as new rows come.
    void showReceived(int panel, const QByteArray &bytes);

    // "Reconnect Automatically" of the panel's menu, remembered per panel.
    bool reconnectAutomatically(int panel) const;
    void setReconnectAutomatically(int panel, bool on);
    // True while the panel waits for its adapter to return after a fault.
    bool waitingForAdapter(int panel) const { return m_panels[size_t(panel)].waiting(); }

    // "Traffic View..." of either menu: opens the one traffic window, or
    // raises it. Null until first opened.
    void showTrafficView();
    TrafficWindow *trafficWindow() const { return m_traffic; }

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
    void buildPanel(int panel);
    // Older received bytes go to a file past the budget; a file that
    // cannot be written is reported once.
    void keepReceivedWithin(qint64 memoryBudget);
    void buildReceiveMenu(int panel);
    void buildOptions(OptionGroup group, int panel, QGroupBox *frame);
    void applyLayout(int panel, bool running);
    bool portsConflict() const;
    // The other panel runs on `device`: a returning adapter there conflicts.
    bool otherPanelRunsOn(int panel, const QString &device) const;
    // The log item and the grids' tooltip as the panel logs, or does not.
    void showLogging(int panel);
    // Option1_Click's first step: a ticked panel stops before a new rate.
    void stopForNewRate(int panel);
    void setOtherBaudRate(int panel, qint32 rate);
    PortRequest portRequest(int panel) const;
    // Reconnecting after a fault (frmmain_reconnect.cpp).
    void connectReconnect(int panel);
    void beginAdapterWait(int panel);
    void endAdapterWait(int panel);
    void tryReconnect(int panel);
    void pollPanel(int panel);
    void stopAfterFault(int panel);
    // The cause of the panel's last fault, and its box's details, which
    // follow the wait for the adapter while the box is open.
    struct FaultBox {
        QString cause;
        std::shared_ptr<desktop::BoxDetails> details;
    };
    void resetGrids(int panel);
    void loadTransmitWindow();
    void message(const QString &text, desktop::BoxIcon icon);

    desktop::MessageBoxes &m_boxes;
    std::array<ReceiveMenu *, 2> m_menus{};
    std::array<FaultBox, 2> m_faultBoxes;
    DialogFileChooser m_dialogs;
    FileChooser *m_files = &m_dialogs;
    PortEnvironment m_ports;
    ConsoleSettings m_settings;
    TrafficWindow *m_traffic = nullptr;
    // Declared after the panels, so it goes before the controls it sends
    // through.
    std::unique_ptr<sfrmTransmit> m_transmit;
};

} // namespace console
