// Receiving through a serial device server: ser2net serves a
// pseudo-terminal that a writer floods, and the serial control reads it
// through RFC 2217 (telnet, 0xFF doubled on the wire) as a panel does. The
// measure of what the machine can do is a plain TCP client reading the same
// flood from the same server port. Prints both rates and their ratio for
// each run, then the median ratio and the lowest and highest; the same for
// raw TCP (tcp://).
//
//   bench_network_receive [megabytes] [--runs N]     (default 50, 3)

#include "bench/pty_flood.h"
#include "serial/serial_control.h"
#include "tests/support/ser2net.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using benchflood::Line;
using testsupport::Ser2net;

constexpr int kSettleMs = 200;

// Counts what the control hands over, as a panel's store takes it.
class Counter : public serial::ReceiveSink {
public:
    void received(const char *, qint64 count) override { bytes += count; }
    void discarded() override {}
    qint64 bytes = 0;
};

// Until a byte written into the line comes out at the reader: ser2net sets
// the line up after it opened it, and what came before is not the client's.
template<typename Read>
bool lineThrough(const Line &line, Read &&readSome)
{
    for (int i = 0; i < 200; ++i) {
        (void)::write(line.master, ".", 1);
        if (readSome(50) > 0) {
            while (readSome(kSettleMs) > 0) {
            }
            return true;
        }
    }
    return false;
}

// Bytes per second through the serial control at `portText`.
double controlRate(const Line &line, const QString &portText, qint64 total)
{
    serial::SerialControl control;
    control.setDevice(portText);
    if (!control.setPortOpen(true)) {
        std::fprintf(stderr, "open %s: %s\n", qPrintable(portText), qPrintable(control.lastError()));
        std::exit(1);
    }
    Counter counter;
    control.setReceiveSink(&counter);
    const auto readSome = [&](int ms) {
        const qint64 before = counter.bytes;
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        control.input();
        return counter.bytes - before;
    };
    if (!lineThrough(line, readSome)) {
        std::fprintf(stderr, "no byte came through %s\n", qPrintable(portText));
        std::exit(1);
    }
    counter.bytes = 0;
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] { benchflood::flood(line.master, total); });
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        control.input();
        if (counter.bytes >= total || control.hasFault())
            loop.quit();
    });
    check.start(20); // as the recorder polls its panels
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    writer.join();
    if (counter.bytes < total)
        std::fprintf(stderr, "%s: %lld of %lld bytes\n", qPrintable(portText), counter.bytes, total);
    control.setReceiveSink(nullptr);
    control.setPortOpen(false);
    return double(counter.bytes) / seconds;
}

// Bytes per second read by a plain blocking TCP client, which neither
// answers telnet nor takes its escapes out: from the telnet port it reads
// the same stream the control decodes (a 0xFF doubled in 256).
double plainRate(const Line &line, quint16 port, qint64 total)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    static char buffer[64 * 1024];
    const auto readSome = [&](int ms) -> qint64 {
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return 0;
        return std::max<qint64>(0, ::recv(s, buffer, sizeof buffer, 0));
    };
    if (!lineThrough(line, readSome)) {
        std::fprintf(stderr, "no byte came through tcp port %u\n", port);
        std::exit(1);
    }
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] { benchflood::flood(line.master, total); });
    qint64 got = 0;
    while (got < total) {
        const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got += n;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    writer.join();
    ::close(s);
    return double(got) / seconds;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qint64 megabytes = 50;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--runs") && i + 1 < argc)
            runs = std::max(1, QString::fromLocal8Bit(argv[++i]).toInt());
        else
            megabytes = std::max<qint64>(1, a.toLongLong());
    }
    const qint64 total = megabytes * 1000 * 1000;
    Line line;
    // Each server alone on the line in turn: ser2net holds the device only
    // while a client is connected.
    Ser2net telnet(line.path, Ser2net::Protocol::Rfc2217);
    Ser2net raw(line.path, Ser2net::Protocol::RawTcp);
    if (!telnet.start() || !raw.start()) {
        std::fprintf(stderr, "ser2net: %s%s\n", qPrintable(telnet.whyNot()), qPrintable(raw.whyNot()));
        return 1;
    }
    std::printf("%lld MB a run through ser2net on 127.0.0.1, %d runs\n", megabytes, runs);
    // Each rate of the control between two of the plain client on the same
    // port, their mean the measure.
    std::printf("%-4s %12s %12s %7s %12s %12s %7s\n", "run", "plain 2217", "rfc2217://", "ratio", "plain raw",
                "tcp://", "ratio");
    std::vector<double> ratios, rawRatios;
    for (int r = 0; r < runs; ++r) {
        double plain = plainRate(line, telnet.port(), total);
        const double rfc = controlRate(line, telnet.portText(), total);
        plain = (plain + plainRate(line, telnet.port(), total)) / 2;
        double plainRaw = plainRate(line, raw.port(), total);
        const double tcp = controlRate(line, raw.portText(), total);
        plainRaw = (plainRaw + plainRate(line, raw.port(), total)) / 2;
        ratios.push_back(rfc / plain);
        rawRatios.push_back(tcp / plainRaw);
        std::printf("%-4d %12.2f %12.2f %6.0f%% %12.2f %12.2f %6.0f%%   (MB/s)\n", r + 1, plain / 1e6, rfc / 1e6,
                    100 * ratios.back(), plainRaw / 1e6, tcp / 1e6, 100 * rawRatios.back());
        std::fflush(stdout);
    }
    std::printf("median: rfc2217:// %.0f%% of the plain client, tcp:// %.0f%%\n", 100 * median(ratios),
                100 * median(rawRatios));
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    const auto [rawLow, rawHigh] = std::minmax_element(rawRatios.begin(), rawRatios.end());
    std::printf("min-max: rfc2217:// %.0f%%-%.0f%%, tcp:// %.0f%%-%.0f%%\n", 100 * *low, 100 * *high,
                100 * *rawLow, 100 * *rawHigh);
    return 0;
}
