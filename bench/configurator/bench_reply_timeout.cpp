// Runs one configuration exchange against an adapter that never answers and
// prints the CPU time the process used while the window waited out the
// three-second reply limit. The target is under 5% of one core.

#include "configurator/config.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <sys/resource.h>

#include <cstdio>

namespace {
double cpuMs()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    testsupport::PseudoTerminal adapter; // stays silent
    if (!adapter.isValid()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    testsupport::RecordingMessageBoxes boxes;
    testsupport::RecordingProgramEnd programEnd;
    desktop::MonotonicTickCounter ticks;
    configurator::Config window(
        boxes, programEnd, ticks,
        [](discovery::ConfiguratorPorts &) {
            discovery::ConfiguratorScanResult none;
            none.lblComm = "COM 0";
            return none;
        },
        [&adapter](int) { return adapter.slavePath(); });
    window.start();
    QApplication::processEvents();

    auto *apply = window.findChild<QPushButton *>(QStringLiteral("cmdDevice_Config"));
    QElapsedTimer wall;
    const double cpuBefore = cpuMs();
    wall.start();
    apply->click(); // returns after the timeout box
    const double wallMs = double(wall.elapsed());
    const double cpu = cpuMs() - cpuBefore;

    const bool timedOut = boxes.boxes.size() == 1 && boxes.boxes[0].text.startsWith(QStringLiteral("通訊錯誤"));
    std::printf("reply timeout: %.0f ms wall, %.1f ms CPU (user+system), %.2f%% of one core%s\n",
                wallMs, cpu, 100.0 * cpu / wallMs, timedOut ? "" : " (the exchange did not time out)");
    return timedOut ? 0 : 1;
}
