#pragma once

#include "desktop/message_boxes.h"
#include "portcheck/text_box.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace discovery {
class Discovery;
}

namespace portcheck {

// The port checker's window: the device report of every attached bridge in
// txtData, scanned again on Refresh.
class PortNum final : public QWidget {
    Q_OBJECT
public:
    PortNum(discovery::Discovery &discovery, desktop::MessageBoxes &boxes,
            desktop::ProgramEnd &programEnd, QWidget *parent = nullptr);

    // Loads the window and shows it, unless the load ended the program.
    void start();

    void Form_Load();
    void cmdRefresh_Click();
    void cmdQuit_Click();
    void Form_Unload();
    // A scan as Refresh runs it, but the report is replaced only when it
    // differs from the last one: bridges came or went.
    void refreshIfChanged();

    // True once the program has been told to end.
    bool ended() const { return m_ended; }

    QLabel *Label1;
    TextBox *txtData;
    QPushButton *cmdRefresh;
    QPushButton *cmdQuit;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FillDeviceList();
    std::optional<QString> scan();
    void endProgram(int exitCode);

    discovery::Discovery &m_discovery;
    desktop::MessageBoxes &m_boxes;
    desktop::ProgramEnd &m_programEnd;
    bool m_ended = false;
    QString m_lastReport;
};

} // namespace portcheck
