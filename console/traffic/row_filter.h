#pragma once

#include "console/traffic/row_walker.h"

#include <QAbstractProxyModel>

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace console {

// Which decoded rows the view keeps: one station, one function, or errors
// only (exception answers, NAKs, bad checks, requests with no answer,
// unrecognised bytes). Criteria combine: station 1's errors. Event rows
// are kept only when nothing is asked.
struct RowFilter {
    std::optional<std::string> station;  // as the description gives it: "1", "01"
    std::optional<std::string> function; // "3", "RD", "ENQ"
    bool errorsOnly = false;

    bool active() const { return station || function || errorsOnly; }
    bool keeps(const RowFacts &row) const;
    // Whether keeps() can already be told for the row: an error filter
    // waits for a request's timeout to run out (it may end with no answer).
    bool settled(const RowFacts &row) const { return !(errorsOnly && awaitsAnswer(row)); }
    bool operator==(const RowFilter &) const = default;
};

// An error row: what the errors-only filter keeps.
bool isError(const RowFacts &row);

// The stations and functions frame rows name, for the filter to offer as
// choices: each once, in station order (see stationBefore()).
class SeenValues {
public:
    void add(const RowFacts &row);
    void clear();
    std::vector<std::string> stations() const { return sorted(m_stations); }
    std::vector<std::string> functions() const { return sorted(m_functions); }

private:
    static std::vector<std::string> sorted(const std::unordered_set<std::string> &values);
    std::unordered_set<std::string> m_stations;
    std::unordered_set<std::string> m_functions;
};

// The rows of a source model a RowFilter keeps, as a model of their own: an
// index of kept source rows (4 bytes a kept row), built by a walk in slices
// (see RowWalker) so that a million rows never hold the window up, and
// grown as rows are added. With no filter set every row is kept (a view is
// better given the source itself then).
//
// The source adds rows at or near its end (rows added before the last ones
// are judged again from there) and makes them all again with a reset; a
// change of cells judges again the last kRejudgeRows rows it names (a frame
// that grew is the last).
class KeptRowsModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    // Rows whose cells change are judged again one by one up to this many;
    // a larger change makes the index again.
    static constexpr int kRejudgeRows = 64;

    // `factsAt` reads a row of `source` (which it outlives).
    KeptRowsModel(QAbstractItemModel *source, std::function<RowFacts(int row)> factsAt, QObject *parent = nullptr);

    const RowFilter &filter() const { return m_filter; }
    void setFilter(const RowFilter &filter);
    // Whether every source row has been judged.
    bool caughtUp() const;
    // Judges the rows not judged yet, now, as far as they can be told (a
    // request still waiting for its answer stops it).
    void judgeAll();
    RowWalker *walker() const { return m_walker; }

    int sourceRow(int row) const;
    // The row that shows source row `row`; -1 when it is not kept (yet).
    int rowOf(int sourceRow) const;

    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;

signals:
    // Kept rows were added to the index.
    void progressed();

private:
    void remake();
    void take(int row, const RowFacts &facts);
    // Rows kept in a walk's slice go in with one insert.
    void flush();
    void sourceChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);

    std::function<RowFacts(int)> m_factsAt;
    RowFilter m_filter;
    std::vector<int> m_kept;
    std::vector<int> m_batch;
    RowWalker *m_walker = nullptr;
};

} // namespace console
