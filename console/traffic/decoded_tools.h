#pragma once

#include "console/traffic/field_view.h"
#include "console/traffic/row_filter.h"
#include "console/traffic/station_statistics.h"
#include "console/traffic/traffic_model.h"

#include <QObject>
#include <QPointer>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTableView;
class QToolButton;

namespace console {

// What the filter and the statistics read of a row of the model.
RowFacts factsOf(const TrafficModel &model, int row);

// The traffic view's tools for decoded rows, shown only while a protocol is
// chosen (with None the view is as it always was):
//  - the selected row's fields as a tree beside a hex pane of its bytes;
//  - "Go to Request" / "Go to Answer" (Ctrl+J) in the list's context menu;
//  - a bar that keeps the rows of one station, one function, or errors
//    only; while it keeps any, the list shows the kept rows (see
//    KeptRowsModel) under the panel choice;
//  - "Statistics..." (Ctrl+T, and a button on that bar), a window per
//    station over the rows under the panel choice.
// The list shows either the model or the kept rows: rowOf() and
// indexOfRow() translate between the list and the model.
class DecodedTools : public QObject {
    Q_OBJECT
public:
    DecodedTools(TrafficModel *model, QTableView *table, QWidget *window);

    // The list above the fields: goes where the list alone went.
    QSplitter *listAndFields() const { return m_split; }
    QWidget *filterBar() const { return m_bar; }
    FieldView *fields() const { return m_fields; }
    KeptRowsModel *kept() const { return m_kept; }
    QLineEdit *stationEdit() const { return m_station; }
    QLineEdit *functionEdit() const { return m_function; }
    // Beside each edit: a menu of the values the rows name ("Any" first),
    // counted in a walk over the rows while a protocol is chosen; choosing
    // one types it and applies the filter.
    QToolButton *stationChoices() const { return m_stationChoices; }
    QToolButton *functionChoices() const { return m_functionChoices; }
    const SeenValues &seen() const { return m_seen; }
    RowWalker *seenWalker() const { return m_seenWalker; }
    QCheckBox *errorsBox() const { return m_errors; }
    QAction *jumpAction() const { return m_jump; }
    QAction *statisticsAction() const { return m_statisticsAction; }
    // Null until first shown.
    StatisticsWindow *statistics() const { return m_statistics; }
    QString filterMessage() const;

    // The model row the list's row shows, -1 for none.
    int rowOf(const QModelIndex &listIndex) const;
    // The list's index of a model row, invalid when the filter drops it.
    QModelIndex indexOfRow(int row, int column = 0) const;
    // Whether the list shows only kept rows.
    bool filtering() const;

    // Puts "Go to Request/Answer" and "Statistics..." in the list's context
    // menu, after what it holds.
    void addActions();

signals:
    // Kept rows were added to the list.
    void listGrew();

public slots:
    void applyFilter();
    void jump();
    void showStatistics();

private:
    void protocolChanged();
    void showCurrent();
    void updateJump();
    void showInList(QAbstractItemModel *rows);
    void select(int row);
    QToolButton *choices(QLineEdit *edit, const QString &tip, std::vector<std::string> (SeenValues::*values)() const);

    TrafficModel *m_model;
    QTableView *m_table;
    QWidget *m_window;
    QSplitter *m_split = nullptr;
    FieldView *m_fields = nullptr;
    KeptRowsModel *m_kept = nullptr;
    QWidget *m_bar = nullptr;
    QLineEdit *m_station = nullptr;
    QLineEdit *m_function = nullptr;
    QCheckBox *m_errors = nullptr;
    QToolButton *m_stationChoices = nullptr;
    QToolButton *m_functionChoices = nullptr;
    SeenValues m_seen;
    RowWalker *m_seenWalker = nullptr;
    QLabel *m_message = nullptr;
    QAction *m_jump = nullptr;
    QAction *m_statisticsAction = nullptr;
    QPointer<StatisticsWindow> m_statistics;
    bool m_decoding = false;
    // A model row to choose again once the filter has judged it; -1 none.
    int m_wanted = -1;
    // Whether the list's selection model is connected to the fields.
    bool m_selectionFollowed = false;
};

} // namespace console
