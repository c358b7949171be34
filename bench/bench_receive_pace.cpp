// What the receive path costs at the kernel's pace, side by side with a
// plain reader (`cat`) fed by the same writer on a line made the same way:
//
// - a flood of N MB (default 100): the rate against cat's, the CPU seconds
//   of the receive work (the whole process but the writer thread) and of
//   cat per 100 MB, and the wake-ups (voluntary context switches) and read
//   calls per MB of each;
// - a real line's pace: 115200 and 921600 baud emulated by a writer that
//   hands over what the rate allows every millisecond, as a USB adapter's
//   latency timer does, for S seconds (default 10): CPU % of a core of the
//   receive work and of cat, and their wake-ups a second.
//
// With --traffic the traffic view is open and following; with --protocol
// NAME (a setting name such as modbus-rtu) it is too, and the flood runs
// twice, with Protocol None and then with NAME chosen (the panel cleared in
// between), each beside a run of cat, and the two rates are compared. With --spill the
// panel keeps only 1 MiB in memory and the rest goes to its spill file. The
// window runs on the platform Qt is given (offscreen unless
// QT_QPA_PLATFORM says otherwise: under Xvfb, QT_QPA_PLATFORM=xcb).
//
//   bench_receive_pace [megabytes] [--seconds S] [--traffic] [--protocol NAME] [--spill]

#include "bench/pty_flood.h"
#include "console/frmmain.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace benchflood;

// What a reader spent: CPU seconds, wake-ups, read calls.
struct Cost {
    double cpu = 0;
    long wakeUps = 0;
    long reads = 0;
    Cost operator-(const Cost &o) const { return {cpu - o.cpu, wakeUps - o.wakeUps, reads - o.reads}; }
};

long readCalls(const QString &ioFile)
{
    QFile f(ioFile);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("syscr:"))
            return line.mid(6).trimmed().toLong();
    return 0;
}

Cost costOf(const rusage &u, const QString &ioFile)
{
    return {cpuSeconds(u), u.ru_nvcsw, readCalls(ioFile)};
}

// The writer's own share, taken in its thread, so that what is left of the
// process is the receive work (the window thread and any thread of its).
struct WriterCost {
    std::atomic<bool> done{false};
    Cost cost;
    void take()
    {
        rusage u{};
        ::getrusage(RUSAGE_THREAD, &u);
        cost = costOf(u, QStringLiteral("/proc/self/task/%1/io").arg(::syscall(SYS_gettid)));
        done = true;
    }
};

Cost processCost()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return costOf(u, QStringLiteral("/proc/self/io"));
}

// Writes `rate` bytes a second in 1 ms pieces for `seconds`, or floods
// `total` bytes when `rate` is 0.
void write(int fd, qint64 total, double rate, double seconds, WriterCost *cost)
{
    if (rate <= 0) {
        flood(fd, total);
    } else {
        char piece[4096];
        timespec next{};
        ::clock_gettime(CLOCK_MONOTONIC, &next);
        double owed = 0;
        const long ticks = long(seconds * 1000);
        for (long tick = 0; tick < ticks; ++tick) {
            owed += rate / 1000.0;
            const auto n = size_t(owed);
            owed -= double(n);
            for (size_t i = 0; i < n; ++i)
                piece[i] = floodByte(qint64(tick) * 97 + qint64(i));
            if (n > 0 && ::write(fd, piece, n) < 0)
                break;
            next.tv_nsec += 1000000;
            if (next.tv_nsec >= 1000000000) {
                next.tv_nsec -= 1000000000;
                ++next.tv_sec;
            }
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
    }
    if (cost)
        cost->take();
}

struct Measure {
    double seconds = 0;
    qint64 bytes = 0;
    Cost cost;
};

// cat on a line of its own, fed by the same writer; its output goes into a
// pipe that this process drains.
Measure catRun(qint64 total, double rate, double seconds)
{
    Line line;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        std::exit(1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        const QByteArray path = line.path.toLocal8Bit();
        ::execlp("cat", "cat", path.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    QElapsedTimer t;
    t.start();
    std::atomic<bool> written{false};
    std::thread writer([&] {
        write(line.master, total, rate, seconds, nullptr);
        written = true;
    });
    static char sink[256 * 1024];
    Measure m;
    while (rate > 0 ? !written.load() : m.bytes < total) {
        // A paced run ends with the writer, whether or not cat has more.
        pollfd ready{pipeFds[0], POLLIN, 0};
        if (::poll(&ready, 1, 50) == 0)
            continue;
        const ssize_t n = ::read(pipeFds[0], sink, sizeof sink);
        if (n <= 0)
            break;
        m.bytes += n;
    }
    m.seconds = double(t.nsecsElapsed()) / 1e9;
    writer.join();
    const long reads = readCalls(QStringLiteral("/proc/%1/io").arg(pid));
    ::kill(pid, SIGTERM);
    rusage usage{};
    ::wait4(pid, nullptr, 0, &usage);
    m.cost = costOf(usage, {});
    m.cost.reads = reads;
    ::close(pipeFds[0]);
    return m;
}

// The window's started left panel on `line`, fed by the writer.
Measure consoleRun(console::frmMain &window, const Line &line, qint64 total, double rate, double seconds)
{
    const console::ReceiveBuffer &rx = window.views()[0]->panel().receive();
    const qint64 before = rx.store().size();
    WriterCost writerCost;
    const Cost start = processCost();
    QElapsedTimer t;
    t.start();
    std::thread writer(write, line.master, total, rate, seconds, &writerCost);
    while (rate > 0 ? !writerCost.done.load() : rx.store().size() - before < total)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Measure m;
    m.seconds = double(t.nsecsElapsed()) / 1e9;
    writer.join();
    m.cost = processCost() - start - writerCost.cost;
    m.bytes = rx.store().size() - before;
    return m;
}

void printFlood(const char *who, const Measure &m)
{
    const double mb = double(m.bytes) / 1e6;
    std::printf("  %-8s %7.1f MB/s, CPU %.2f s per 100 MB, %7.0f wake-ups and %7.0f reads per MB\n", who,
                mb / m.seconds, m.cost.cpu * 100 / mb, double(m.cost.wakeUps) / mb, double(m.cost.reads) / mb);
}

void printPaced(const char *who, const Measure &m)
{
    std::printf("  %-8s CPU %5.2f%% of a core, %6.0f wake-ups/s, %6.0f reads/s (%lld bytes)\n", who,
                100 * m.cost.cpu / m.seconds, double(m.cost.wakeUps) / m.seconds,
                double(m.cost.reads) / m.seconds, static_cast<long long>(m.bytes));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    qint64 megabytes = 100;
    double seconds = 10;
    bool traffic = false;
    bool spill = false;
    QString chosen;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--traffic"))
            traffic = true;
        else if (args[i] == QLatin1String("--spill"))
            spill = true;
        else if (args[i] == QLatin1String("--protocol") && i + 1 < args.size())
            chosen = args[++i], traffic = true;
        else if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = args[++i].toDouble();
        else
            megabytes = args[i].toLongLong();
    }
    const qint64 total = megabytes * 1000 * 1000;

    testsupport::RecordingMessageBoxes boxes;
    QTemporaryDir settings;
    console::PortEnvironment ports;
    ports.settingsFile = settings.filePath(QStringLiteral("settings.ini"));
    if (spill) {
        QFile ini(ports.settingsFile);
        if (!ini.open(QIODevice::WriteOnly) || ini.write("[Receive]\nMemoryBudgetMiB=1\n") < 0)
            return 1;
    }
    console::frmMain window(boxes, ports);
    Line line;
    if (traffic)
        window.showTrafficView();
    if (!startLeftPanel(window, line, boxes))
        return 1;
    std::printf("platform %s, traffic view %s, %s\n", qPrintable(QApplication::platformName()),
                traffic ? "open and following" : "closed",
                spill ? "1 MiB in memory, the rest in the spill file" : "every byte in memory");

    std::printf("flood of %lld MB:\n", static_cast<long long>(megabytes));
    const Measure catFlood = catRun(total, 0, 0);
    const Measure panelFlood = consoleRun(window, line, total, 0, 0);
    printFlood("cat", catFlood);
    printFlood("console", panelFlood);
    const auto rateOfCat = [](const Measure &console, const Measure &cat) {
        return (double(console.bytes) / console.seconds) / (double(cat.bytes) / cat.seconds);
    };
    std::printf("  rate %.0f%% of cat's; CPU per byte %.2f times cat's\n", 100 * rateOfCat(panelFlood, catFlood),
                (panelFlood.cost.cpu / double(panelFlood.bytes)) / (catFlood.cost.cpu / double(catFlood.bytes)));
    if (!chosen.isEmpty()) {
        QComboBox *choice = window.trafficWindow()->protocolBox();
        const int index = choice->findData(chosen);
        if (index < 0) {
            std::fprintf(stderr, "no such protocol: %s\n", qPrintable(chosen));
            return 2;
        }
        window.Command1_Click(0);
        choice->setCurrentIndex(index);
        emit choice->activated(index);
        QApplication::processEvents();
        std::printf("flood of %lld MB with %s chosen:\n", static_cast<long long>(megabytes), qPrintable(chosen));
        const Measure catAgain = catRun(total, 0, 0);
        const Measure decodedFlood = consoleRun(window, line, total, 0, 0);
        printFlood("cat", catAgain);
        printFlood("console", decodedFlood);
        std::printf("  rate %.0f%% of cat's; %.0f%% of the rate with Protocol None (each against its cat), %d rows\n",
                    100 * rateOfCat(decodedFlood, catAgain),
                    100 * rateOfCat(decodedFlood, catAgain) / rateOfCat(panelFlood, catFlood),
                    window.trafficWindow()->model()->rowCount());
    }

    for (const int baud : {115200, 921600}) {
        // Ten bits a byte on the line: a start bit, eight data bits, a stop bit.
        const double rate = baud / 10.0;
        window.Command1_Click(0);
        std::printf("%d baud for %.0f s, in 1 ms pieces:\n", baud, seconds);
        const Measure catPaced = catRun(0, rate, seconds);
        const Measure panelPaced = consoleRun(window, line, 0, rate, seconds);
        printPaced("cat", catPaced);
        printPaced("console", panelPaced);
        std::printf("  CPU %.2f times cat's\n", panelPaced.cost.cpu / std::max(1e-6, catPaced.cost.cpu));
    }
    return 0;
}
