#pragma once

#include "console/files/file_chooser.h"
#include "console/panel/panel.h"
#include "console/replay/panel_replay.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace console {

// "Replay Requests - <port>": a recording's requests sent through a panel's
// port, the report of each answer shown as it comes (the command's lines).
// The replaying is PanelReplay's; the panel's owner polls the panel.
class ReplayDialog : public QDialog {
    Q_OBJECT
public:
    ReplayDialog(Panel &panel, FileChooser &files, QWidget *parent = nullptr);
    ~ReplayDialog() override;

    // The controls, for the tests.
    QLineEdit *file() const { return m_file; }
    // "From the file" first, then the protocols by their display names.
    QComboBox *protocolChoice() const { return m_protocol; }
    // "Recorded spacing", "Fast".
    QComboBox *timingChoice() const { return m_timing; }
    QPushButton *startButton() const { return m_start; }
    QPlainTextEdit *report() const { return m_report; }
    QLabel *status() const { return m_status; }
    PanelReplay *replay() const { return m_replay.get(); }

    // The buttons' work.
    void chooseFile();
    void startOrStop();

private:
    void finished();
    void showTotals();

    Panel &m_panel;
    FileChooser &m_files;
    std::unique_ptr<PanelReplay> m_replay;
    QLineEdit *m_file = nullptr;
    QComboBox *m_protocol = nullptr;
    QComboBox *m_timing = nullptr;
    QPushButton *m_start = nullptr;
    QPlainTextEdit *m_report = nullptr;
    QLabel *m_status = nullptr;
};

} // namespace console
