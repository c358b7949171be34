#pragma once

#include "console/traffic/traffic_settings.h"
#include "console/files/file_chooser.h"
#include "console/traffic/traffic_model.h"
#include "desktop/message_boxes.h"

#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace console {

class DecodedTools;

// "Tavrin Traffic": both panels' frames and port events as one timed list,
// shared by the two panels and opened from either receive menu. The split
// rule, the check, the protocol and the panel filter are chosen at the top
// (all but the filter kept in the settings); the list follows new rows while its
// last row is visible. Ctrl+F finds text or hex in frames (F3, Shift+F3),
// Ctrl+S exports the rows shown.
class TrafficWindow : public QWidget {
    Q_OBJECT
public:
    TrafficWindow(std::array<Panel *, 2> panels, ConsoleSettings &settings, desktop::MessageBoxes &boxes,
                  QWidget *parent = nullptr);
    // A read-only window over an opened capture, "Tavrin Traffic - FILE";
    // the window owns the source. Its frames are the file's records: the
    // split rule is not applied to them.
    TrafficWindow(std::unique_ptr<TrafficSource> capture, const QString &file, ConsoleSettings &settings,
                  desktop::MessageBoxes &boxes, QWidget *parent = nullptr);

    // Where the export asks for its file (not owned).
    void setFileChooser(FileChooser *files) { m_files = files; }

    TrafficModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }
    QComboBox *splitBox() const { return m_split; }
    QLineEdit *gapEdit() const { return m_gap; }
    QLineEdit *delimiterEdit() const { return m_delimiter; }
    QComboBox *checkBox() const { return m_check; }
    QComboBox *protocolBox() const { return m_protocol; }
    // The field tree, the row filter, the jump and the statistics of
    // decoded rows.
    DecodedTools *decodedTools() const { return m_tools; }
    QCheckBox *followBox() const { return m_follow; }
    QLineEdit *findEdit() const { return m_findText; }
    QCheckBox *findHexBox() const { return m_findHex; }
    // The reason a value was refused, or what a find found; empty if none.
    QString message() const;
    QString findMessage() const;
    // Told once, when rows first overlap (see mergedFramesNote); empty
    // before. Rows made again (a new split rule) may tell it again.
    QString mergeNote() const;
    bool following() const { return m_following; }
    // Rows added since the view was scrolled away from the end.
    int rowsSince() const { return m_rowsSince; }

public slots:
    void exportRows();
    void showFind();
    void findNext() { find(true); }
    void findPrevious() { find(false); }
    void setFollowing(bool on);
    // "Open Capture..." (Ctrl+O): asks for a capture file and opens it in a
    // window of its own.
    void openCapture();

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend TrafficWindow *openCaptureWindow(const QString &, ConsoleSettings &, desktop::MessageBoxes &, QString *);
    void build();
    QWidget *buildSettingsBar();
    QWidget *buildFindBar();
    void applySplitKind();
    void applyGap();
    void applyDelimiter();
    void applyCheck();
    void applyProtocol();
    // Split and Check apply to the frames of no protocol.
    void enableSplitAndCheck();
    void storeAndSplit(const SplitRule &rule);
    void refuse(QLineEdit *edit, const QString &oldText, const QString &reason);
    void rowsArrived(int count);
    void noteMergedFrames(int first, int last);
    void showRowsSince();
    void find(bool forward);

    std::array<Panel *, 2> m_panels{};
    std::unique_ptr<TrafficSource> m_capture;
    ConsoleSettings &m_settings;
    desktop::MessageBoxes &m_boxes;
    DialogFileChooser m_dialogs;
    FileChooser *m_files = &m_dialogs;
    TrafficModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    DecodedTools *m_tools = nullptr;
    QComboBox *m_split = nullptr;
    QLineEdit *m_gap = nullptr;
    QLineEdit *m_delimiter = nullptr;
    QComboBox *m_check = nullptr;
    QComboBox *m_protocol = nullptr;
    QComboBox *m_filter = nullptr;
    QCheckBox *m_follow = nullptr;
    QLabel *m_message = nullptr;
    QLabel *m_since = nullptr;
    QLabel *m_mergeNote = nullptr;
    QWidget *m_findBar = nullptr;
    QLineEdit *m_findText = nullptr;
    QCheckBox *m_findHex = nullptr;
    QLabel *m_findMessage = nullptr;
    QString m_lastFind;
    bool m_following = true;
    int m_rowsSince = 0;
};

// Opens the capture at `path` in a window of its own (deleted when closed),
// with the reason for damage shown above its rows; nothing, with the
// reason, when the file cannot be read at all.
TrafficWindow *openCaptureWindow(const QString &path, ConsoleSettings &settings, desktop::MessageBoxes &boxes,
                                 QString *failure);

} // namespace console
