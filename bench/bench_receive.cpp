// Receive path of the console at full speed: how long one poll tick takes
// when it brings half a second of a 3 Mbaud line, how much memory each
// received byte costs once 50 MB have arrived (arrival times included), and
// how long "Save Received Bytes..." takes for 100 MB, raw and as a hex dump.
// Prints its figures.

#include "console/frmmain.h"
#include "console/receive/byte_grid_view.h"
#include "console/files/receive_files.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4096;
}

QByteArray tickOfBytes(qsizetype count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        bytes[i] = char(i * 31 + 7);
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testsupport::RecordingMessageBoxes boxes;
    console::frmMain window(boxes);
    window.Timer1->stop();
    window.show();
    QApplication::processEvents();

    // Memory first, while nothing freed could be reused: receive 50 MB tick
    // by tick.
    const QByteArray tick = tickOfBytes(150000);
    const long before = residentBytes();
    const qint64 total = 50LL * 1000 * 1000;
    qint64 fed = 0;
    while (fed < total) {
        window.views()[0]->showReceived(tick);
        fed += tick.size();
        if ((fed / tick.size()) % 20 == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    const long after = residentBytes();
    std::printf("memory after %lld bytes received: %.3f bytes of resident memory per received byte\n",
                static_cast<long long>(fed), double(after - before) / double(fed));
    // One tick: the display step of the poll plus the repaint it causes.
    window.Command1_Click(0);
    QApplication::processEvents();
    std::vector<double> times;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        window.views()[0]->showReceived(tick);
        QApplication::processEvents();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("tick of 150000 bytes: median %.3f ms, p90 %.3f ms (200 ticks, grids shown offscreen)\n",
                times[times.size() / 2], times[times.size() * 9 / 10]);

    std::printf("rows in each grid: %d, first visible row %d / %d\n",
                window.MSHFlexGrid1[0]->model()->rowCount(), window.MSHFlexGrid1[0]->firstVisibleRow(),
                window.MSHFlexGrid2[0]->firstVisibleRow());

    // Saving 100 MB, into a folder beside the build unless one is given.
    window.Command1_Click(0);
    const qint64 saved = 100LL * 1000 * 1000;
    for (fed = 0; fed < saved; fed += tick.size())
        window.views()[0]->showReceived(tick.left(qsizetype(std::min<qint64>(tick.size(), saved - fed))));
    const console::ReceiveBuffer &rx = window.views()[0]->panel().receive();
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/save-XXXXXX") : QString());
    auto timeSave = [&](const char *what, auto &&save, int repetitions) {
        std::vector<double> seconds;
        qint64 size = 0;
        for (int i = 0; i < repetitions; ++i) {
            const QString path = dir.filePath(QStringLiteral("saved"));
            QElapsedTimer t;
            t.start();
            const console::SaveResult result = save(path);
            seconds.push_back(double(t.nsecsElapsed()) / 1e9);
            if (!result.ok)
                std::printf("%s failed: %s\n", what, qPrintable(result.error));
            size = QFileInfo(path).size();
            QFile::remove(path);
        }
        std::sort(seconds.begin(), seconds.end());
        std::printf("save %lld bytes %s: median %.3f s, best %.3f s, worst %.3f s (%d saves, file %lld bytes)\n",
                    static_cast<long long>(rx.shownSize()), what, seconds[seconds.size() / 2], seconds.front(),
                    seconds.back(), repetitions, static_cast<long long>(size));
    };
    timeSave("raw", [&](const QString &path) { return console::saveRaw(rx.store(), rx.shownSize(), path); }, 7);
    timeSave("as a hex dump", [&](const QString &path) {
        return console::saveHexDump(rx.store(), rx.arrivalTimes(), rx.shownSize(), path);
    }, 3);
    return 0;
}
