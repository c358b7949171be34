#include "station_statistics.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace console {

namespace {

QString millisecondsText(double us)
{
    return QString::number(us / 1000.0, 'f', 1);
}

} // namespace

std::optional<double> medianOf(std::span<std::uint32_t> times)
{
    const size_t n = times.size();
    if (n == 0)
        return std::nullopt;
    const auto upper = times.begin() + std::ptrdiff_t(n / 2);
    std::nth_element(times.begin(), upper, times.end());
    if (n % 2)
        return double(*upper);
    // The lower middle is the largest of the half before the upper one.
    const std::uint32_t lower = *std::max_element(times.begin(), upper);
    return (double(lower) + double(*upper)) / 2.0;
}

std::optional<std::uint32_t> nearestRank(std::span<std::uint32_t> times, int percent)
{
    const size_t n = times.size();
    if (n == 0)
        return std::nullopt;
    percent = std::clamp(percent, 0, 100);
    // ceil(percent * n / 100), at least the first.
    const size_t rank = std::max<size_t>(1, (size_t(percent) * n + 99) / 100);
    const auto at = times.begin() + std::ptrdiff_t(rank - 1);
    std::nth_element(times.begin(), at, times.end());
    return *at;
}

void StationStatistics::add(const RowFacts &row)
{
    using protocol::Role;
    using protocol::Status;
    if (!row.frame || (row.status == Status::Unrecognised && row.unit.empty()))
        return;
    ++m_rows;
    Station &s = m_stations[row.unit];
    StationFigures &c = s.counts;
    switch (row.status) {
    case Status::Request: ++c.requests; break;
    case Status::Exception:
    case Status::Nak: ++c.exceptions; [[fallthrough]];
    case Status::Answer: ++c.answers; break;
    case Status::BadCheck: ++c.badChecks; break;
    case Status::Unrecognised: break;
    }
    if (row.role == Role::NoAnswer)
        ++c.noAnswer;
    if (row.role == Role::Answer) {
        constexpr std::int64_t most = std::numeric_limits<std::uint32_t>::max();
        s.replyUs.push_back(std::uint32_t(std::clamp<std::int64_t>(row.replyUs, 0, most)));
    }
}

void StationStatistics::fill(StationFigures &f, std::vector<std::uint32_t> &times)
{
    f.replies = std::int64_t(times.size());
    f.minimumUs = nearestRank(times, 0);
    f.medianUs = medianOf(times);
    f.p95Us = nearestRank(times, 95);
    f.maximumUs = nearestRank(times, 100);
}

std::vector<StationFigures> StationStatistics::figures()
{
    std::vector<StationFigures> out;
    out.reserve(m_stations.size() + 1);
    for (auto &[unit, station] : m_stations) {
        StationFigures f = station.counts;
        f.unit = unit;
        fill(f, station.replyUs);
        out.push_back(std::move(f));
    }
    std::sort(out.begin(), out.end(),
              [](const StationFigures &a, const StationFigures &b) { return stationBefore(a.unit, b.unit); });
    if (!out.empty())
        out.push_back(total());
    return out;
}

StationFigures StationStatistics::total()
{
    StationFigures all;
    std::vector<std::uint32_t> times;
    size_t replies = 0;
    for (const auto &[unit, station] : m_stations)
        replies += station.replyUs.size();
    times.reserve(replies);
    for (const auto &[unit, station] : m_stations) {
        const StationFigures &c = station.counts;
        all.requests += c.requests;
        all.answers += c.answers;
        all.noAnswer += c.noAnswer;
        all.exceptions += c.exceptions;
        all.badChecks += c.badChecks;
        times.insert(times.end(), station.replyUs.begin(), station.replyUs.end());
    }
    fill(all, times);
    return all;
}

void StatisticsModel::setFigures(std::vector<StationFigures> figures)
{
    if (figures.size() != m_figures.size()) {
        beginResetModel();
        m_figures = std::move(figures);
        endResetModel();
        return;
    }
    m_figures = std::move(figures);
    if (!m_figures.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

int StatisticsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_figures.size());
}

int StatisticsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant StatisticsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == StationColumn ? QVariant() : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const StationFigures &f = m_figures[size_t(index.row())];
    const bool all = index.row() == rowCount() - 1;
    const auto us = [](const auto &value) { return value ? millisecondsText(double(*value)) : QString(); };
    switch (index.column()) {
    case StationColumn:
        return all ? tr("All") : f.unit.empty() ? tr("(none)") : QString::fromStdString(f.unit);
    case RequestsColumn: return QString::number(f.requests);
    case AnswersColumn: return QString::number(f.answers);
    case NoAnswerColumn: return QString::number(f.noAnswer);
    case ExceptionsColumn: return QString::number(f.exceptions);
    case BadChecksColumn: return QString::number(f.badChecks);
    case MinimumColumn: return us(f.minimumUs);
    case MedianColumn: return us(f.medianUs);
    case P95Column: return us(f.p95Us);
    case MaximumColumn: return us(f.maximumUs);
    default: return {};
    }
}

QVariant StatisticsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::ToolTipRole && section >= MinimumColumn && section <= MaximumColumn)
        return tr("Reply time: from the end of the request to the start of its answer. "
                  "The median of an even count is the mean of the two middle times; "
                  "the 95th percentile is by nearest rank.");
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case StationColumn: return tr("Station");
    case RequestsColumn: return tr("Requests");
    case AnswersColumn: return tr("Answers");
    case NoAnswerColumn: return tr("No answer");
    case ExceptionsColumn: return tr("Exceptions or NAKs");
    case BadChecksColumn: return tr("Bad checks");
    case MinimumColumn: return tr("Min (ms)");
    case MedianColumn: return tr("Median (ms)");
    case P95Column: return tr("95% (ms)");
    case MaximumColumn: return tr("Max (ms)");
    default: return {};
    }
}

StatisticsWindow::StatisticsWindow(RowWalker::Rows rows, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_rows(rows)
{
    setWindowTitle(tr("Tavrin Traffic - Statistics"));
    resize(820, 260);
    // The walk counts for good all but the last rows.
    RowWalker::Rows settledRows{[count = rows.count] { return std::max(0, count() - kHoldBackRows); },
                                rows.factsAt};
    m_walker = new RowWalker(
        std::move(settledRows), [this](int, const RowFacts &facts) { m_statistics.add(facts); },
        [](const RowFacts &facts) { return !awaitsAnswer(facts); }, this);
    m_model = new StatisticsModel(this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_progress = new QLabel(this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_progress);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &StatisticsWindow::refresh);
    connect(m_walker, &RowWalker::progressed, this, [this] {
        if (!m_refresh.isActive())
            m_refresh.start();
    });
    restart();
}

QString StatisticsWindow::progressText() const
{
    return m_progress->text();
}

void StatisticsWindow::restart()
{
    m_statistics.clear();
    m_walker->restartAt(0);
    refresh();
}

void StatisticsWindow::more(int first)
{
    if (first < m_walker->next())
        return restart(); // rows came in before rows counted for good
    m_walker->more();
    if (!m_refresh.isActive())
        m_refresh.start();
}

void StatisticsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void StatisticsWindow::refresh()
{
    m_refresh.stop();
    const int total = m_rows.count();
    const int counted = std::min(m_walker->next(), total);
    // The rows not counted for good yet, when they are few: counted on a
    // copy, every time, while they wait.
    const bool tail = counted < total && total - counted <= 4 * kHoldBackRows;
    if (tail) {
        StationStatistics withTail = m_statistics;
        for (int row = counted; row < total; ++row)
            withTail.add(m_rows.factsAt(row));
        m_model->setFigures(withTail.figures());
        if (isVisible())
            m_refresh.start();
    } else {
        m_model->setFigures(m_statistics.figures());
    }
    m_progress->setText(tail || counted >= total ? tr("%n row(s) counted.", nullptr, total)
                                                 : tr("%1 of %2 rows counted.").arg(counted).arg(total));
}

} // namespace console
