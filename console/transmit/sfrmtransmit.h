#pragma once

#include "console/transmit/history_model.h"
#include "console/transmit/history_store.h"
#include "console/transmit/send_options_store.h"
#include "desktop/message_boxes.h"
#include "console/panel/panel.h"
#include "console/files/file_chooser.h"

#include <QDialog>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace console {

class FileSender;
class PanelSender;
class RepeatDialog;
class ReplayDialog;
class TransmitMenu;
class TypeButtonDelegate;

// The transmit history window: the stored messages in a grid, added,
// deleted and edited in place, and the current row sent through the serial
// control of one port panel, as text or as hexadecimal byte values.
//
// Constructing the window loads it: the history file is opened and its rows
// read. Closing it only hides it; whoever shows it deletes it afterwards.
//
// The grid's context menu gives each row its send options (a check and a
// line ending, kept in the history file), sends a row repeatedly and sends
// a file. Every byte the window sends goes through one PanelSender and is
// announced by sent().
class sfrmTransmit : public QDialog {
    Q_OBJECT
public:
    // panels[0] is the left panel, panels[1] the right; port1() (true: the
    // left panel) is read once at the start of each send.
    sfrmTransmit(std::array<Panel *, 2> panels, std::function<bool()> port1,
                 desktop::MessageBoxes &boxes,
                 const QString &databasePath = QStringLiteral("TstHis.db"),
                 QWidget *parent = nullptr);
    sfrmTransmit(std::array<Panel *, 2> panels, std::function<bool()> port1,
                 desktop::MessageBoxes &boxes, std::unique_ptr<HistoryStore> store,
                 QWidget *parent = nullptr);
    ~sfrmTransmit() override;

    // Index 0 "Add New", 1 "Delete"; any other index does nothing.
    void Command2_Click(int Index);
    // "Transmit Selected Data".
    void Command1_Click();
    // The button of a Type cell: "Txt" becomes "Hex", anything else "Txt".
    void DataGrid1_ButtonClick(int ColIndex);

    HistoryModel &model() { return *m_model; }

    // The send options of a row of the grid; plain for a row without any.
    SendOptions optionsOf(int row) const;
    // Stores them for that row; a file that refuses is told, naming it.
    bool setOptionsOf(int row, SendOptions options);
    // Send Repeatedly... for the current row: opens the repeat window.
    void sendRepeatedly();
    // Send File...: the file's bytes through the panel Port1 names.
    void sendFile(const QString &path);

    TransmitMenu *menu() const { return m_menu; }
    // The repeat window while open, the file send while it runs; else null.
    RepeatDialog *repeatDialog() const;
    FileSender *fileSend() const;
    // Replay Requests...: a recording's requests through the panel Port1
    // names, in a dialog of their own; the dialog while it is open.
    void openReplay();
    ReplayDialog *replayDialog() const;
    // Where the replay dialog asks for its file; the platform's dialogs
    // unless set.
    void setFileChooser(FileChooser *files) { m_files = files; }

    // Closing the window ends a repeat or file send and says so.
    void done(int result) override;

    QLabel *DataGrid1Caption = nullptr;
    QTableView *DataGrid1 = nullptr;
    std::array<QPushButton *, 2> Command2{};
    QPushButton *Command1 = nullptr;

    // The current row right after the last "Add New"; 0 before any.
    qint32 NewRow = 0;

signals:
    // Bytes the window wrote to a panel's port (0 left, 1 right), exactly as
    // written: a row with its options, each repeat, each piece of a file.
    void sent(int panel, const QByteArray &bytes);

private:
    void buildControls();
    void addNew();
    void deleteCurrent();
    void tell(const QString &text, desktop::BoxIcon icon = desktop::BoxIcon::None);
    // A Hex row that cannot be sent, with the reason where one fits.
    void tellRefused(const QString &data, HexItemsError error);
    void buildMenu();
    void openMenu(const QPoint &pos);
    bool optionsEditable() const;
    // Drops a row's stored options; `failure` (%1 the file, %2 the reason)
    // is told when the file refuses.
    void forgetOptions(qint64 key, const QString &failure);
    bool backgroundSendRunning() const;
    // Ends a running repeat or file send, telling why.
    void endBackgroundSends(const QString &reason);
    // The history file's full path, as messages name it.
    QString shownPath() const;

    std::function<bool()> m_port1;
    desktop::MessageBoxes &m_boxes;
    std::unique_ptr<HistoryStore> m_store;
    // Over the store's connection: goes first.
    std::unique_ptr<SendOptionsStore> m_options;
    HistoryModel *m_model = nullptr;
    TypeButtonDelegate *m_typeDelegate = nullptr;
    PanelSender *m_sender = nullptr;
    TransmitMenu *m_menu = nullptr;
    QPointer<RepeatDialog> m_repeat;
    QPointer<FileSender> m_fileSend;
    std::array<Panel *, 2> m_panels;
    DialogFileChooser m_dialogFiles;
    FileChooser *m_files = &m_dialogFiles;
    QPointer<ReplayDialog> m_replayDialog;
};

} // namespace console
