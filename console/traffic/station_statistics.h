#pragma once

#include "console/traffic/row_walker.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QLabel;
class QTableView;

namespace console {

// Reply times in microseconds, in any order; the figures reorder them.
// The median of an even count is the mean of the two middle times; other
// percentiles are by nearest rank (the time at rank ceil(p/100 * n) of the
// sorted times: one that was measured). Nothing for no times.
std::optional<double> medianOf(std::span<std::uint32_t> times);
std::optional<std::uint32_t> nearestRank(std::span<std::uint32_t> times, int percent);

// What a station's rows add up to.
struct StationFigures {
    std::string unit; // empty: frames that name no station
    std::int64_t requests = 0;
    std::int64_t answers = 0;    // answers, exception answers and NAKs
    std::int64_t noAnswer = 0;
    std::int64_t exceptions = 0; // exception answers and NAKs
    std::int64_t badChecks = 0;
    std::int64_t replies = 0;    // answers with a reply time
    // Reply times in microseconds; nothing without replies.
    std::optional<std::uint32_t> minimumUs;
    std::optional<double> medianUs;
    std::optional<std::uint32_t> p95Us;
    std::optional<std::uint32_t> maximumUs;
};

// Per station: requests, answers, requests with no answer, exceptions or
// NAKs, bad checks, and reply times. Rows are added one by one (a walk over
// a growing list adds each once); the figures are worked out when asked for,
// in time linear in the replies, never per row.
class StationStatistics {
public:
    void add(const RowFacts &row);
    void clear() { m_stations.clear(); }
    bool empty() const { return m_stations.empty(); }
    std::int64_t rows() const { return m_rows; }
    // Stations in order of their number (texts after numbers, then the
    // frames with no station), and all of them together last.
    std::vector<StationFigures> figures();
    StationFigures total();

private:
    struct Station {
        StationFigures counts;
        // Reply times up to ~71 minutes fit; longer ones read as that.
        std::vector<std::uint32_t> replyUs;
    };
    static void fill(StationFigures &figures, std::vector<std::uint32_t> &times);
    std::map<std::string, Station> m_stations;
    std::int64_t m_rows = 0;
};

// The statistics as a table: a row a station and a last row "All".
class StatisticsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        StationColumn,
        RequestsColumn,
        AnswersColumn,
        NoAnswerColumn,
        ExceptionsColumn,
        BadChecksColumn,
        MinimumColumn,
        MedianColumn,
        P95Column,
        MaximumColumn,
        ColumnCount
    };
    using QAbstractTableModel::QAbstractTableModel;

    void setFigures(std::vector<StationFigures> figures);
    const std::vector<StationFigures> &figures() const { return m_figures; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<StationFigures> m_figures;
};

// "Statistics": a window of its own over the traffic view's rows, counted
// as they come (a walk in slices, see RowWalker) and shown at most every
// kRefreshMs. Rows are those the view lists under its panel choice, not
// under its row filter. The last kHoldBackRows rows (where the other
// panel's rows may still come in between) and a request still waiting for
// its answer are counted for the figures shown, and for good once they can
// no longer change.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 500;
    static constexpr int kHoldBackRows = 1024;

    StatisticsWindow(RowWalker::Rows rows, QWidget *parent = nullptr);

    StatisticsModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }
    RowWalker *walker() const { return m_walker; }
    QString progressText() const;

public slots:
    // The rows were made again: counting starts over.
    void restart();
    // Rows were added from `first` on.
    void more(int first);
    // Shows the figures of the rows counted so far.
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    RowWalker::Rows m_rows;
    StationStatistics m_statistics;
    RowWalker *m_walker = nullptr;
    StatisticsModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_progress = nullptr;
    QTimer m_refresh;
};

} // namespace console
