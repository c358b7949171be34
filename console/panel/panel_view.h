#pragma once

#include "console/files/file_chooser.h"
#include "console/panel/console_settings.h"
#include "console/panel/panel.h"
#include "console/panel/panel_options.h"
#include "desktop/message_boxes.h"

#include <QObject>

#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;

namespace console {

class ByteGridView;
class ReceiveMenu;

// What the window gives both of its panel parts.
struct PanelServices {
    desktop::MessageBoxes &boxes;
    ConsoleSettings &settings;
    PortEnvironment ports;
};

// The window part of one port panel: its controls, placed on the main window
// in twips, and what they do. It routes their events to its Panel and shows
// what the panel did: the start and stop, the receive poll and its display,
// the stop after a fault and the wait for the adapter, the grids and their
// menu (copy, select, save, log, Choose Port, Other Baud Rate, reconnect).
// The main window builds two and routes the design's handlers here.
class PanelView : public QObject {
    Q_OBJECT
public:
    // The four pieces of the panel's settings string, kept by the window
    // under its own names (Baud0, Parity0, DataBits0, StopBits0).
    struct Pieces {
        QString *baud;
        QString *parity;
        QString *dataBits;
        QString *stopBits;
    };

    // `index` 0 is the left panel, 1 the right; the controls go on `window`.
    PanelView(int index, Panel &panel, Pieces pieces, PanelServices services, QWidget *window);
    ~PanelView() override;

    int index() const { return m_index; }
    Panel &panel() { return m_panel; }
    const Panel &panel() const { return m_panel; }
    // The other panel of the window: ports conflict with its port box, and
    // a returning adapter with the device it runs on.
    void setNeighbour(const PanelView *other) { m_other = other; }
    // Where the save and log items ask for their files (not owned).
    void setFileChooser(FileChooser *files) { m_files = files; }

    // The settings string of the pieces, and what Start asks of the port.
    QString settings() const;
    PortRequest portRequest() const;

    // The panel's controls, under the design's names.
    QLabel *Label1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QGroupBox *Frame1 = nullptr, *Frame2 = nullptr, *Frame3 = nullptr, *Frame4 = nullptr;
    QCheckBox *Check2 = nullptr, *Check3 = nullptr;
    ByteGridView *MSHFlexGrid1 = nullptr, *MSHFlexGrid2 = nullptr;
    QPushButton *Command1 = nullptr, *Command2 = nullptr;
    // The option buttons of the panel, each with its group and handler index.
    struct Option {
        OptionGroup group;
        int index;
        QRadioButton *button;
    };
    const std::vector<Option> &options() const { return m_options; }
    // The context menu of the panel's two grids.
    ReceiveMenu *menu() const { return m_menu; }

    // The handlers' work. Start ticked or unticked:
    void startClicked();
    // A port picked from the box's list: the other panel's port warns.
    void portPicked();
    // A new rate: a ticked panel stops first.
    void stopForNewRate();
    // Clear: the grids back to their first state.
    void resetGrids();
    // The other grid follows a grid the user scrolled.
    void followScroll(const ByteGridView *scrolled);
    // One tick of the receive poll, or of the wait for the adapter.
    void poll();
    // The poll's display step for bytes the panel did not read from its
    // port: shown, logged, and the grids moved as new rows come.
    void showReceived(const QByteArray &bytes);

    // The grid menu's items.
    void copySelection(bool hex);
    void selectAllReceived();
    void saveReceived();
    // Starts logging (asking for the file) or stops it.
    void setLogging(bool on);
    void choosePort();
    void chooseOtherBaudRate();
    // "Reconnect Automatically", kept per panel in the settings.
    bool reconnectAutomatically() const;
    void setReconnectAutomatically(bool on);
    // "Listen Only", kept per panel in the settings.
    void setListenOnly(bool on);
    bool waitingForAdapter() const { return m_panel.waiting(); }

signals:
    // "Traffic View..." of the menu.
    void trafficViewRequested();
    // "Answer as Device..." of the menu.
    void deviceRequested();

private:
    void build();
    void buildOptions(OptionGroup group, QGroupBox *frame);
    void buildMenu();
    void applyLayout(bool running);
    void showLogging();
    void message(const QString &text, desktop::BoxIcon icon);
    // Moves both grids as the rows the poll added came, and tells a log
    // that stopped.
    void showPoll(const Panel::Poll &poll, qint64 rowsBefore, int textTop, int hexTop);
    void stopAfterFault(const Panel::Poll &poll);
    void setOtherBaudRate(qint32 rate);
    // Reconnecting after a fault (panel_view_reconnect.cpp).
    void connectReconnect();
    void beginAdapterWait();
    void endAdapterWait();
    void tryReconnect();
    bool neighbourRunsOn(const QString &device) const;
    bool portConflicts() const;

    const int m_index;
    Panel &m_panel;
    Pieces m_pieces;
    PanelServices m_services;
    QWidget *m_window;
    const PanelView *m_other = nullptr;
    DialogFileChooser m_dialogs;
    FileChooser *m_files = &m_dialogs;
    std::vector<Option> m_options;
    ReceiveMenu *m_menu = nullptr;
    // The cause of the panel's last fault, and its box's details, which
    // follow the wait for the adapter while the box is open.
    QString m_faultCause;
    std::shared_ptr<desktop::BoxDetails> m_faultDetails;
    // Whether that box is open now, and the faults it has seen.
    bool m_faultBoxOpen = false;
    int m_faultCount = 0;
};

} // namespace console
