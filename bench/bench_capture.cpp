// Capture files of a large conversation: each panel holds `megabytes`
// (default 100) of frames of 8 to 255 bytes, 25 ms apart, the panels taking
// turns as a request and its answer do. Prints how long the pcapng export
// of the traffic view's rows takes and how long the reader takes over the
// file (mapped), and how long opening it as the traffic view does takes
// (the source and its rows), three times each; run by hand.
//
//   bench_capture [megabytes per panel]

#include "capture/capture_reader.h"
#include "console/panel/panel.h"
#include "console/traffic/capture_source.h"
#include "console/traffic/traffic_capture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 100) * 1000 * 1000;

    qint64 nowUs = 1000000;
    const qint64 wallUs = 1796652191000000; // 2026-12-07
    const console::ArrivalClock clock{[&] { return nowUs; }, [&] { return nowUs + wallUs; }};
    console::Panel left, right;
    left.receive().setClock(clock);
    right.receive().setClock(clock);
    QByteArray pattern(1 << 16, Qt::Uninitialized);
    for (qsizetype i = 0; i < pattern.size(); ++i)
        pattern[i] = char(i * 31 + 7);
    for (qint64 n = 0; left.receive().shownSize() < total || right.receive().shownSize() < total; ++n) {
        const qsizetype length = 8 + (n * 37) % 248;
        nowUs += 25000;
        (n % 2 ? right : left).show(QByteArray::fromRawData(pattern.constData() + (n * 131) % 60000, length));
    }
    console::TrafficModel model({&left, &right});
    std::printf("%lld + %lld bytes, %d rows\n", static_cast<long long>(left.receive().shownSize()),
                static_cast<long long>(right.receive().shownSize()), model.rowCount());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.pcapng"));
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        const console::SaveResult result = console::exportCapture(model, path);
        if (!result.ok) {
            std::fprintf(stderr, "export failed: %s\n", qPrintable(result.error));
            return 1;
        }
        std::printf("export: %.2f s, %lld bytes\n", double(t.nsecsElapsed()) / 1e9,
                    static_cast<long long>(QFile(path).size()));
    }
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const uchar *bytes = file.map(0, file.size());
        const capture::Capture c = capture::readCapture(
            QByteArrayView(reinterpret_cast<const char *>(bytes), file.size()));
        qint64 sum = 0;
        for (const capture::Packet &p : c.packets)
            sum += p.length;
        std::printf("read: %.2f s, %zu packets, %zu notes, %lld bytes%s\n", double(t.nsecsElapsed()) / 1e9,
                    c.packets.size(), c.notes.size(), static_cast<long long>(sum), c.damage ? " DAMAGED" : "");
    }
    // As the traffic view opens it: the file read into a source, the rows
    // made in time order.
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        QString failure;
        const auto source = console::CaptureSource::open(path, &failure);
        if (!source) {
            std::fprintf(stderr, "open failed: %s\n", qPrintable(failure));
            return 1;
        }
        console::TrafficModel opened(source.get());
        std::printf("open (source and rows): %.2f s, %d rows\n", double(t.nsecsElapsed()) / 1e9, opened.rowCount());
    }
    return 0;
}
