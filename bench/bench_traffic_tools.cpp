// What the traffic view's tools for decoded rows cost on a long capture:
//  - the per-station statistics over a million written rows (ten stations,
//    every other row an answer with a reply time): adding them, and working
//    out the figures (what a refresh of the Statistics window does);
//  - over Modbus polls on two panels (`megabytes` each, default 35: about a
//    million rows), reads of 1 to 120 registers and their answers, 25 ms
//    apart, with every 50th answer an exception: what reading a row's
//    facts costs (its description and pairing), and the longest slice of
//    the walks that count the statistics and build the errors-only filter's
//    index (the longest the window is held between two events).
// Repeated where the machine's noise matters; run by hand.
//
//   bench_traffic_tools [megabytes per panel]

#include "bench/conversation.h"
#include "console/panel/panel.h"
#include "console/traffic/decoded_tools.h"
#include "console/traffic/traffic_settings.h"
#include "console/traffic/traffic_window.h"
#include "protocol/checks.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Walks all rows slice by slice as the event loop would, and prints the
// whole time and the longest slice.
void timeWalk(const char *what, console::RowWalker &walker, int rows)
{
    QElapsedTimer all;
    all.start();
    double longest = 0;
    int slices = 0;
    for (bool done = false; !done; ++slices) {
        QElapsedTimer slice;
        slice.start();
        const int before = walker.next();
        done = walker.walk();
        longest = std::max(longest, msSince(slice));
        if (!done && walker.next() == before)
            break; // waits for a request's timeout
    }
    std::printf("%s: %d rows in %.0f ms, %d slices of %d rows, the longest %.1f ms\n", what, rows, msSince(all),
                slices, console::RowWalker::kSliceRows, longest);
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The statistics alone.
    {
        constexpr int kRows = 1'000'000;
        std::vector<console::RowFacts> rows(kRows);
        std::vector<std::string> units;
        for (int u = 1; u <= 10; ++u)
            units.push_back(std::to_string(u));
        for (int i = 0; i < kRows; ++i) {
            console::RowFacts &r = rows[size_t(i)];
            r.frame = true;
            r.function = units[2];
            r.unit = units[size_t((i / 2) % 10)];
            const bool answer = i % 2;
            r.status = answer ? protocol::Status::Answer : protocol::Status::Request;
            r.role = answer ? protocol::Role::Answer : protocol::Role::Answered;
            r.replyUs = answer ? 2000 + (std::int64_t(i) * 7919) % 50000 : 0;
        }
        std::vector<double> add, figures;
        for (int repeat = 0; repeat < 5; ++repeat) {
            console::StationStatistics stats;
            QElapsedTimer t;
            t.start();
            for (const console::RowFacts &r : rows)
                stats.add(r);
            add.push_back(msSince(t));
            t.restart();
            const auto f = stats.figures();
            figures.push_back(msSince(t));
            if (repeat == 0)
                std::printf("statistics: %zu stations, all: %lld requests, median %.1f ms, 95%% %.1f ms\n",
                            f.size() - 1, static_cast<long long>(f.back().requests), *f.back().medianUs / 1000,
                            *f.back().p95Us / 1000.0);
        }
        std::printf("statistics of %d rows: added in %.1f ms (median of 5), figures in %.1f ms\n", kRows, median(add),
                    median(figures));
    }

    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 35) * 1000 * 1000;
    const auto modbus = [](bool answer, bool exception, int address, int count) {
        QByteArray f;
        f.append(char(1 + address % 10)).append(char(exception ? 0x83 : 3));
        if (exception) {
            f.append(char(2));
        } else if (answer) {
            f.append(char(2 * count));
            for (int i = 0; i < count; ++i)
                f.append(char((address + i) >> 8)).append(char(address + i));
        } else {
            f.append(char(address >> 8)).append(char(address)).append(char(count >> 8)).append(char(count));
        }
        const auto crc = protocol::modbusCrc16(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(f.constData()), size_t(f.size())));
        return f.append(char(crc & 0xFF)).append(char(crc >> 8));
    };
    bench::Conversation talk;
    talk.fill(total, [](qint64 n) { return n % 2 ? 5000 : 20000; }, [&](qint64 n) {
        return modbus(n % 2, n % 2 && (n / 2) % 50 == 0, int((n / 2) % 1000), 1 + int((n / 2) % 120));
    });
    talk.nowUs += 10'000'000; // every request's timeout has run
    console::Panel &left = talk.left, &right = talk.right;

    QTemporaryDir dir;
    console::ConsoleSettings settings(dir.filePath(QStringLiteral("settings.ini")));
    console::TrafficSettings traffic = console::readTrafficSettings(settings);
    traffic.protocol = protocol::Protocol::ModbusRtu;
    console::writeTrafficSettings(settings, traffic);
    testsupport::RecordingMessageBoxes boxes;
    console::TrafficWindow view({&left, &right}, settings, boxes);
    view.model()->decodedSource()->frameAll();
    QApplication::processEvents();
    const console::TrafficModel &model = *view.model();
    const int rows = model.rowCount();
    std::printf("%lld + %lld bytes, %d rows\n", static_cast<long long>(left.receive().shownSize()),
                static_cast<long long>(right.receive().shownSize()), rows);

    std::vector<double> perRow;
    for (int repeat = 0; repeat < 3; ++repeat) {
        QElapsedTimer t;
        t.start();
        std::int64_t answers = 0;
        for (int row = 0; row < rows; ++row)
            answers += console::factsOf(model, row).role == protocol::Role::Answer;
        perRow.push_back(msSince(t) * 1000 / rows);
        if (repeat == 0)
            std::printf("paired answers: %lld\n", static_cast<long long>(answers));
    }
    std::printf("a row's facts (description and pairing): %.2f us (median of 3)\n", median(perRow));

    const console::RowWalker::Rows all{[&] { return model.rowCount(); },
                                       [&](int row) { return console::factsOf(model, row); }};
    console::StationStatistics stats;
    console::RowWalker counting(all, [&](int, const console::RowFacts &f) { stats.add(f); },
                                [](const console::RowFacts &f) { return !console::awaitsAnswer(f); });
    timeWalk("statistics walk", counting, rows);
    QElapsedTimer t;
    t.start();
    const auto figures = stats.figures();
    std::printf("figures of %zu stations in %.1f ms\n", figures.size() - 1, msSince(t));

    console::KeptRowsModel kept(view.model(), [&](int row) { return console::factsOf(model, row); });
    QApplication::processEvents(); // the walk over every row that no filter keeps
    while (!kept.caughtUp())
        kept.walker()->walk();
    kept.setFilter({{}, {}, true});
    timeWalk("errors-only filter walk", *kept.walker(), rows);
    std::printf("errors kept: %d rows\n", kept.rowCount());
    return 0;
}
