// The traffic view over a large conversation: each panel holds `megabytes`
// (default 100) of frames of 8 to 255 bytes, 25 ms apart, the panels taking
// turns as a request and its answer do. Prints what the frame index and the
// view's rows cost a frame, how long the view takes to open (shown and
// drawn), to draw a page at random places and page by page, and to cut
// everything again by a new rule. Repeated where the machine's noise
// matters; run by hand.
//
// With a protocol (a setting name such as modbus-rtu) the panels hold
// Modbus RTU polls instead, reads and writes of 1 to 120 registers in turn
// (so that both directions carry about as much) and their answers, and
// the view opens with that protocol chosen; it also prints how fast a
// protocol choice frames what is stored. "none" gives the same polls with
// no protocol chosen, to compare with.
//
//   bench_traffic [megabytes per panel] [protocol]

#include "bench/conversation.h"
#include "bench/resident_memory.h"
#include "console/panel/panel.h"
#include "console/traffic/traffic_settings.h"
#include "protocol/checks.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <time.h>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall-clock and CPU times of one step, repeated: on a shared machine the
// CPU time is the steadier figure.
struct Figures {
    std::vector<double> ms, cpu;
    QElapsedTimer wall;
    double cpuStart = 0;
    void start()
    {
        cpuStart = threadCpuMs();
        wall.start();
    }
    void stop()
    {
        ms.push_back(double(wall.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    void print(const char *what)
    {
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("%s: median %.2f ms (CPU %.2f ms), p90 %.2f ms (CPU %.2f ms), worst %.2f ms (%zu times)\n", what,
                    ms[ms.size() / 2], cpu[cpu.size() / 2], ms[ms.size() * 9 / 10], cpu[cpu.size() * 9 / 10],
                    ms.back(), ms.size());
    }
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 100) * 1000 * 1000;
    const auto chosen = argc > 2 ? protocol::protocolFromSettingName(argv[2]) : std::optional<protocol::Protocol>();
    if (argc > 2 && !chosen) {
        std::fprintf(stderr, "no such protocol: %s\n", argv[2]);
        return 2;
    }
    // "none" fills the panels with the same polls, for a comparison.
    const bool polls = chosen.has_value();
    // A read (function 3) or a write (16) of `count` registers at `address`
    // of unit 1, or its answer.
    const auto modbus = [](bool write, bool answer, int address, int count) {
        QByteArray f;
        f.append(char(1)).append(char(write ? 16 : 3));
        const auto registers = [&] {
            for (int i = 0; i < count; ++i)
                f.append(char((address + i) >> 8)).append(char(address + i));
        };
        if (answer && !write) {
            f.append(char(2 * count));
            registers();
        } else {
            f.append(char(address >> 8)).append(char(address)).append(char(count >> 8)).append(char(count));
            if (write && !answer) {
                f.append(char(2 * count));
                registers();
            }
        }
        const auto crc = protocol::modbusCrc16(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(f.constData()), size_t(f.size())));
        return f.append(char(crc & 0xFF)).append(char(crc >> 8));
    };

    bench::Conversation talk;
    QElapsedTimer fill;
    fill.start();
    talk.fill(total, [](qint64) { return 25000; }, [&](qint64 n) {
        return polls ? modbus((n / 2) % 2, n % 2, int(n % 1000), 1 + int((n / 2) % 120)) : talk.patternFrame(n);
    });
    console::Panel &left = talk.left, &right = talk.right;
    std::printf("%lld + %lld bytes in %lld + %lld frames, filled in %.1f s\n",
                static_cast<long long>(left.receive().shownSize()), static_cast<long long>(right.receive().shownSize()),
                static_cast<long long>(left.frames().count()), static_cast<long long>(right.frames().count()),
                double(fill.nsecsElapsed()) / 1e9);

    // The frame index alone, cut afresh.
    {
        const long before = benchmemory::residentBytes();
        console::FrameIndex index;
        index.rebuild(left.receive().store(), left.receive().arrivalTimes(), left.receive().shownSize());
        std::printf("frame index: %.1f bytes a frame (%lld frames)\n",
                    double(benchmemory::residentBytes() - before) / double(index.count()), static_cast<long long>(index.count()));
    }

    QTemporaryDir dir;
    console::ConsoleSettings settings(dir.filePath(QStringLiteral("settings.ini")));
    if (chosen) {
        console::TrafficSettings traffic = console::readTrafficSettings(settings);
        traffic.protocol = *chosen;
        console::writeTrafficSettings(settings, traffic);
    }
    testsupport::RecordingMessageBoxes boxes;
    Figures open;
    long viewBytes = 0;
    int rows = 0;
    for (int i = 0; i < 5; ++i) {
        const long before = benchmemory::residentBytes();
        open.start();
        console::TrafficWindow view({&left, &right}, settings, boxes);
        view.show();
        view.table()->viewport()->repaint();
        QApplication::processEvents();
        open.stop();
        // Memory once, before anything freed is reused.
        if (i == 0)
            viewBytes = benchmemory::residentBytes() - before;
        rows = view.model()->rowCount();
    }
    open.print(polls && *chosen != protocol::Protocol::None ? "open the view (its first slice framed, shown, drawn)" : "open the view (rows made, shown, drawn)");
    std::printf("the open view: %.1f bytes a row (%d rows; 8 bytes of them the row itself, the rest the table's "
                "header)\n",
                double(viewBytes) / rows, rows);

    console::TrafficWindow view({&left, &right}, settings, boxes);
    view.show();
    QApplication::processEvents();
    if (console::ProtocolSource *decoded = view.model()->decodedSource()) {
        Figures frame;
        for (int i = 0; i < 3; ++i) {
            // The choice made again: every stored byte of both panels framed.
            view.model()->setProtocol(protocol::Protocol::None);
            frame.start();
            view.model()->setProtocol(*chosen);
            view.model()->decodedSource()->frameAll();
            frame.stop();
        }
        (void)decoded;
        frame.print("choose the protocol and frame everything stored");
        std::printf("framing: %.0f MB/s (both panels, median), %d rows\n",
                    double(left.receive().shownSize() + right.receive().shownSize()) / 1e3 / frame.ms[frame.ms.size() / 2],
                    view.model()->rowCount());
    }
    QScrollBar *bar = view.table()->verticalScrollBar();
    std::mt19937 random(7);
    Figures jump, page;
    for (int i = 0; i < 300; ++i) {
        jump.start();
        bar->setValue(int(random() % unsigned(bar->maximum() + 1)));
        view.table()->viewport()->repaint();
        jump.stop();
    }
    jump.print("draw a page at a random place");
    bar->setValue(bar->maximum() / 2);
    for (int i = 0; i < 300; ++i) {
        page.start();
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        view.table()->viewport()->repaint();
        page.stop();
    }
    page.print("page down and draw");
    // A view that follows the end draws its last page again at each tick,
    // most of its rows the same as before.
    Figures again;
    bar->setValue(bar->maximum());
    for (int i = 0; i < 300; ++i) {
        again.start();
        view.table()->viewport()->repaint();
        again.stop();
    }
    again.print("draw the last page again (a following view at each tick)");

    Figures resplit;
    for (int i = 0; i < 3; ++i) {
        for (console::SplitRule rule : {console::SplitRule{console::SplitKind::Delimiter, 20, 0x03},
                                        console::SplitRule{}}) {
            resplit.start();
            left.setSplitRule(rule);
            right.setSplitRule(rule);
            view.table()->viewport()->repaint();
            resplit.stop();
        }
    }
    resplit.print("cut both panels again (delimiter 03, then gap 20 ms) and draw");
    return 0;
}
