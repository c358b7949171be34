// The console's receive path end to end: a writer floods 100 MB into a
// pseudo-terminal whose other side a started panel of the window (offscreen)
// reads, with its 500 ms poll running. Prints the rate at which the bytes
// reach the panel, and resident memory per received byte; and, as the limit,
// the rate of a plain reader (`cat` on a pseudo-terminal made the same way)
// fed by the same writer.
//
//   bench_receive_pty [megabytes]     (default 100)

#include "console/frmmain.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// A raw pseudo-terminal: the master is the far end, the slave's path is the
// line that the reader opens.
struct Line {
    int master = -1;
    int slave = -1;
    QString path;
    Line()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        path = QString::fromLocal8Bit(name);
    }
    ~Line()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
};

// Writes `total` bytes (every byte value, over and over) in 64 KiB blocks,
// blocking while the line is full.
void flood(int fd, qint64 total)
{
    char block[64 * 1024];
    for (size_t i = 0; i < sizeof block; ++i)
        block[i] = char(i * 31 + 7);
    qint64 done = 0;
    while (done < total) {
        const ssize_t n = ::write(fd, block, size_t(std::min<qint64>(sizeof block, total - done)));
        if (n < 0) {
            std::perror("write");
            return;
        }
        done += n;
    }
}

double cpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of the plain reader's last run: what reading the line costs it,
// whatever else the machine is doing.
double g_catCpu = 0;

// cat copies the line into a pipe; the bytes count as read when they come
// out of the pipe, which costs cat nothing it would not spend anyway.
double catRate(qint64 total)
{
    Line line;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
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
    std::thread writer(flood, line.master, total);
    static char sink[256 * 1024];
    qint64 got = 0;
    while (got < total) {
        const ssize_t n = ::read(pipeFds[0], sink, sizeof sink);
        if (n <= 0)
            break;
        got += n;
    }
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    writer.join();
    ::kill(pid, SIGTERM);
    rusage usage{};
    ::wait4(pid, nullptr, 0, &usage);
    g_catCpu += cpuSeconds(usage);
    ::close(pipeFds[0]);
    return double(got) / seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 100) * 1000 * 1000;

    const double plainBefore = catRate(total);

    testsupport::RecordingMessageBoxes boxes;
    auto window = std::make_unique<console::frmMain>(boxes);
    window->show();
    QApplication::processEvents();
    Line line;
    window->Combo1[0]->setEditText(line.path);
    window->Check1[0]->setChecked(true);
    if (!window->MSComm1[0].portOpen() || !boxes.boxes.isEmpty()) {
        std::fprintf(stderr, "the panel did not start on %s\n", qPrintable(line.path));
        return 1;
    }
    const console::ReceiveBuffer &rx = window->receiveOf(0);
    const long before = residentBytes();
    rusage cpuBefore{}, cpuAfter{};
    ::getrusage(RUSAGE_THREAD, &cpuBefore);
    QElapsedTimer t;
    t.start();
    std::thread writer(flood, line.master, total);
    while (rx.store().size() < total)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double arrived = double(t.nsecsElapsed()) / 1e9;
    ::getrusage(RUSAGE_THREAD, &cpuAfter);
    // Then the tick that shows the last of them.
    while (rx.shownSize() < total)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double shown = double(t.nsecsElapsed()) / 1e9;
    writer.join();
    const long after = residentBytes();
    const qint64 got = rx.shownSize();

    const double plainAfter = catRate(total);
    const double plain = (plainBefore + plainAfter) / 2;
    const double rate = double(got) / arrived;
    std::printf("plain reader (cat): %.1f MB/s (%.1f before, %.1f after)\n", plain / 1e6, plainBefore / 1e6,
                plainAfter / 1e6);
    std::printf("console panel:      %.1f MB/s = %.0f%% of the plain reader (%lld bytes in the store after %.2f s, "
                "all shown after %.2f s)\n",
                rate / 1e6, 100 * rate / plain, static_cast<long long>(got), arrived, shown);
    std::printf("CPU time of the reader: console window thread %.2f s, cat %.2f s (mean of its two runs)\n",
                cpuSeconds(cpuAfter) - cpuSeconds(cpuBefore), g_catCpu / 2);
    std::printf("resident memory:    %.3f bytes per received byte (%.1f MB more for %.1f MB received)\n",
                double(after - before) / double(got), double(after - before) / 1e6, double(got) / 1e6);
    std::printf("arrival-time entries: %zu, rows in each grid: %d\n", rx.arrivalTimes().entries().size(),
                window->MSHFlexGrid1[0]->model()->rowCount());
    return got == total ? 0 : 1;
}
