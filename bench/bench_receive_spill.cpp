// The console's receive path end to end: a writer floods 1 GB into a
// pseudo-terminal whose other side a started panel of the window (offscreen)
// reads, with its 500 ms poll running. Prints the rate at which the bytes
// reach the panel against a plain reader (`cat` on a pseudo-terminal made the
// same way, fed by the same writer, before and after), resident memory
// (growth, and the peak) while older bytes go to the spill file, how long the
// grids take to draw rows old and new (and whether the first and last rows
// show the right bytes), and how long "Save Received Bytes..." takes to write
// all of it, checked byte for byte. Then the program kills itself, and its
// parent reports what is left in the spill folder.
//
//   bench_receive_spill [megabytes]     (default 1000)
//
// The window reads [Receive] MemoryBudgetMiB from the user's settings as
// Tavrin does; the spill folder is a fresh one under the temporary folder.

#include "bench/pty_flood.h"
#include "bench/resident_memory.h"
#include "console/frmmain.h"
#include "console/receive/byte_grid_view.h"
#include "console/files/receive_files.h"
#include "tests/support/files.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/wait.h>

namespace {

using namespace benchflood;

// Draws grid row `row` (both grids, every column) as a view does; true when
// its cells show bytes [16(row-1), 16 row) of the flood.
bool rowShowsFlood(console::frmMain &window, int row, qint64 shown)
{
    bool right = true;
    for (auto *grid : {window.MSHFlexGrid1[0], window.MSHFlexGrid2[0]}) {
        const bool hex = grid == window.MSHFlexGrid2[0];
        QAbstractItemModel *m = grid->model();
        for (int column = 1; column <= 16; ++column) {
            const qint64 index = qint64(row - 1) * 16 + column - 1;
            const QString cell = m->data(m->index(row, column)).toString();
            const auto b = std::uint8_t(floodByte(index));
            const QString expected = index >= shown ? QString()
                                     : hex       ? QString::number(b, 16).toUpper()
                                                 : QString(QChar(char16_t(b)));
            right = right && cell == expected;
        }
    }
    return right;
}

// The file holds exactly the flood's first `total` bytes.
bool fileHoldsFlood(const QString &path, qint64 total)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != total)
        return false;
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (qint64 i = 0; i < block.size(); ++i)
        block[i] = floodByte(i);
    for (qint64 done = 0; done < total;) {
        const QByteArray piece = file.read(block.size());
        if (piece.isEmpty() || piece != block.first(piece.size()))
            return false;
        done += piece.size();
    }
    return true;
}

// The whole run but the end; returns whether every check passed.
bool runBench(int argc, char *argv[], const QString &spillFolder)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CACHE_HOME", QFileInfo(spillFolder).path().toLocal8Bit());
    QApplication app(argc, argv);
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 1000) * 1000 * 1000;

    const double plainBefore = catRate(total);

    testsupport::RecordingMessageBoxes boxes;
    auto window = std::make_unique<console::frmMain>(boxes);
    Line line;
    if (!startLeftPanel(*window, line, boxes))
        return false;
    const console::ReceiveBuffer &rx = window->views()[0]->panel().receive();
    const long before = benchmemory::residentBytes();
    const Flood f = floodLeftPanel(*window, line, total);
    const double arrived = f.arrived, shown = f.shown;
    const long after = benchmemory::residentBytes();
    const long peak = benchmemory::peakResidentBytes();
    const qint64 got = rx.shownSize();

    const double plainAfter = catRate(total);
    const double plain = (plainBefore + plainAfter) / 2;
    const double rate = double(got) / arrived;
    constexpr double kMiB = 1024.0 * 1024.0;
    std::printf("plain reader (cat): %.1f MB/s (%.1f before, %.1f after)\n", plain / 1e6, plainBefore / 1e6,
                plainAfter / 1e6);
    std::printf("console panel:      %.1f MB/s = %.0f%% of the plain reader (%lld bytes in the store after %.2f s, "
                "all shown after %.2f s)\n",
                rate / 1e6, 100 * rate / plain, static_cast<long long>(got), arrived, shown);
    std::printf("CPU time of the reader: console window thread %.2f s, cat %.2f s (mean of its two runs)\n",
                f.cpu, g_catCpu / 2);
    std::printf("resident memory:    %.1f MiB more at the end, %.1f MiB more at the peak, for %.1f MB received "
                "(memory budget %.0f MiB)\n",
                double(after - before) / kMiB, double(peak - before) / kMiB, double(got) / 1e6,
                double(rx.store().memoryBudget()) / kMiB);
    std::printf("spill file:         %.1f MB of the store, %.1f MB on disk, %s\n",
                double(rx.store().spilledSize()) / 1e6, double(testsupport::openFileBytesIn(spillFolder)) / 1e6,
                rx.store().spillError().isEmpty() ? "no error" : qPrintable(rx.store().spillError()));
    std::printf("arrival-time entries: %zu, rows in each grid: %d\n", rx.arrivalTimes().count(),
                window->MSHFlexGrid1[0]->model()->rowCount());

    // Rows old (in the file) and new (in memory), as a scroll draws them.
    const int rows = window->MSHFlexGrid1[0]->model()->rowCount();
    const bool firstRight = rowShowsFlood(*window, 1, got);
    const bool lastRight = rowShowsFlood(*window, rows - 2, got) && rowShowsFlood(*window, rows - 1, got);
    double slowestRow = 0, allRows = 0;
    bool randomRight = true;
    QRandomGenerator random(21);
    for (int i = 0; i < 1000; ++i) {
        const int row = 1 + int(random.bounded(rows - 1));
        QElapsedTimer drawn;
        drawn.start();
        randomRight = rowShowsFlood(*window, row, got) && randomRight;
        const double ms = double(drawn.nsecsElapsed()) / 1e6;
        slowestRow = std::max(slowestRow, ms);
        allRows += ms;
    }
    std::printf("rows drawn:         first %s, last %s, 1000 random rows %s: %.3f ms a row, slowest %.2f ms (both grids)\n",
                firstRight ? "right" : "WRONG", lastRight ? "right" : "WRONG", randomRight ? "right" : "WRONG",
                allRows / 1000, slowestRow);

    // "Save Received Bytes..." (raw), into a folder beside the spill folder.
    QTemporaryDir saveDir(QFileInfo(spillFolder).path() + QStringLiteral("/save-XXXXXX"));
    const QString saved = saveDir.filePath(QStringLiteral("received.bin"));
    QElapsedTimer saving;
    saving.start();
    const console::SaveResult result = console::saveRaw(rx.store(), got, saved);
    const double saveSeconds = double(saving.nsecsElapsed()) / 1e9;
    const bool exact = result.ok && fileHoldsFlood(saved, got);
    QFile::remove(saved);
    std::printf("save (raw):         %.2f s = %.0f MB/s, %s\n", saveSeconds, double(got) / 1e6 / saveSeconds,
                !result.ok ? qPrintable(result.error) : exact ? "byte-exact" : "NOT THE BYTES RECEIVED");
    std::fflush(stdout);
    return got == total && firstRight && lastRight && randomRight && exact;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir cache;
    const QString spillFolder = cache.filePath(QStringLiteral("Tavrin"));
    int report[2];
    if (::pipe(report) != 0)
        return 1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        const char passed = runBench(argc, argv, spillFolder) ? 'y' : 'n';
        if (::write(report[1], &passed, 1) != 1)
            std::perror("write");
        // Killed with the spill file open, as a program that is ended.
        ::kill(::getpid(), SIGKILL);
    }
    ::close(report[1]);
    char passed = 'n';
    if (::read(report[0], &passed, 1) != 1)
        passed = 'n';
    int status = 0;
    ::waitpid(pid, &status, 0);
    const QStringList left =
        QDir(spillFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    std::printf("after SIGKILL:      %s; %lld entries left in the spill folder %s\n",
                WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL ? "killed" : "NOT KILLED",
                static_cast<long long>(left.size()), qPrintable(spillFolder));
    return passed == 'y' && left.isEmpty() ? 0 : 1;
}
