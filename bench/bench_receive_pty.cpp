// The console's receive path end to end: a writer floods 100 MB into a
// pseudo-terminal whose other side a started panel of the window (offscreen)
// reads, with its 500 ms poll running. Prints the rate at which the bytes
// reach the panel, and resident memory per received byte; and, as the limit,
// the rate of a plain reader (`cat` on a pseudo-terminal made the same way)
// fed by the same writer, before and after each run. With --traffic the
// traffic view is open and following meanwhile; --runs repeats the flood
// (a Clear between runs) and prints the median ratio.
//
//   bench_receive_pty [megabytes] [--traffic] [--runs N]     (default 100, 1)

#include "bench/pty_flood.h"
#include "bench/resident_memory.h"
#include "console/frmmain.h"
#include "console/receive/byte_grid_view.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <vector>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace benchflood;

struct Run {
    double plain = 0; // mean of the plain reader's rate before and after
    double rate = 0;
    double arrived = 0;
    double shown = 0;
    double cpu = 0;
    qint64 got = 0;
};

// One flood into the started left panel, between two runs of the plain
// reader.
Run floodRun(console::frmMain &window, const Line &line, qint64 total)
{
    Run run;
    run.plain = catRate(total);
    const console::ReceiveBuffer &rx = window.views()[0]->panel().receive();
    const Flood f = floodLeftPanel(window, line, total);
    run.arrived = f.arrived;
    run.shown = f.shown;
    run.got = rx.shownSize();
    run.rate = double(run.got) / run.arrived;
    run.cpu = f.cpu;
    g_consoleCpu += run.cpu;
    run.plain = (run.plain + catRate(total)) / 2;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    qint64 megabytes = 100;
    int runs = 1;
    bool traffic = false;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--traffic"))
            traffic = true;
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else
            megabytes = args[i].toLongLong();
    }
    const qint64 total = megabytes * 1000 * 1000;

    testsupport::RecordingMessageBoxes boxes;
    QTemporaryDir settings;
    console::PortEnvironment ports;
    ports.settingsFile = settings.filePath(QStringLiteral("settings.ini"));
    auto window = std::make_unique<console::frmMain>(boxes, ports);
    Line line;
    if (traffic)
        window->showTrafficView();
    if (!startLeftPanel(*window, line, boxes))
        return 1;
    std::printf("%s, %d run(s) of %lld MB\n",
                traffic ? "traffic view open and following" : "traffic view closed", runs,
                static_cast<long long>(megabytes));
    std::vector<double> ratios;
    for (int r = 0; r < runs; ++r) {
        // Memory is read on the first run, before anything freed is reused.
        const long before = benchmemory::residentBytes();
        if (r > 0)
            window->Command1_Click(0);
        const Run run = floodRun(*window, line, total);
        const long after = benchmemory::residentBytes();
        ratios.push_back(run.rate / run.plain);
        std::printf("run %d: plain reader (cat) %.1f MB/s, console panel %.1f MB/s = %.0f%% (all in the store "
                    "after %.2f s, shown after %.2f s; window thread CPU %.2f s)\n",
                    r + 1, run.plain / 1e6, run.rate / 1e6, 100 * ratios.back(), run.arrived, run.shown, run.cpu);
        if (r == 0)
            std::printf("resident memory: %.3f bytes per received byte (%.1f MB more for %.1f MB received)\n",
                        double(after - before) / double(run.got), double(after - before) / 1e6,
                        double(run.got) / 1e6);
        if (run.got != total)
            return 1;
    }
    std::sort(ratios.begin(), ratios.end());
    const console::Panel &panel = window->views()[0]->panel();
    std::printf("median of %d: %.0f%% of the plain reader (worst %.0f%%, best %.0f%%)\n", runs,
                100 * ratios[ratios.size() / 2], 100 * ratios.front(), 100 * ratios.back());
    // CPU time is what the machine's other load disturbs least.
    std::printf("CPU time a run: console window thread %.2f s, cat %.2f s (%.0f%% of the plain reader's rate when "
                "each has a core to itself)\n",
                g_consoleCpu / runs, g_catCpu / (2 * runs), 100 * (g_catCpu / 2) / g_consoleCpu);
    std::printf("arrival marks: %zu, frames: %lld, rows in each grid: %d, rows in the traffic view: %d\n",
                panel.receive().arrivalTimes().count(), static_cast<long long>(panel.frames().count()),
                window->MSHFlexGrid1[0]->model()->rowCount(),
                window->trafficWindow() ? window->trafficWindow()->model()->rowCount() : 0);
    return 0;
}
