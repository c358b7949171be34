// Capture files of a large conversation: each panel holds `megabytes`
// (default 100) of frames of 8 to 255 bytes, 25 ms apart, the panels taking
// turns as a request and its answer do. Prints how long the pcapng export
// of the traffic view's rows takes and how long the reader takes over the
// file (mapped), and how long opening it as the traffic view does takes
// (the source and its rows), three times each.
//
// Then what an open costs in memory, each in a process of its own (three
// times): the conversation's file, and the worst case for the index, a
// capture of `tiny` (default 2 000 000) packets of one byte each, as Tavrin
// writes them (a packet and its note) and as a classic pcap of raw bytes
// (17 bytes a packet). Resident memory is split into the process's own
// pages (what the index costs) and pages of the mapped file (which the
// system may drop and read again); both are given per MB of capture.
//
//   bench_capture [megabytes per panel [tiny packets]]
//   bench_capture --open FILE      (one measured open, as the above runs)

#include "bench/conversation.h"
#include "bench/resident_memory.h"
#include "capture/capture_reader.h"
#include "capture/pcapng_writer.h"
#include "console/files/file_writer.h"
#include "console/panel/panel.h"
#include "console/traffic/capture_source.h"
#include "console/traffic/traffic_capture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>

namespace {

int openOnce(const QString &path)
{
    const double mb = double(QFile(path).size()) / 1e6;
    const long anon = benchmemory::anonymousResidentBytes();
    const long file = benchmemory::fileResidentBytes();
    const long peak = benchmemory::peakResidentBytes();
    QElapsedTimer t;
    t.start();
    QString failure;
    const auto source = console::CaptureSource::open(path, &failure);
    if (!source) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(failure));
        return 1;
    }
    console::TrafficModel opened(source.get());
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    const double anonMb = double(benchmemory::anonymousResidentBytes() - anon) / 1e6;
    const double fileMb = double(benchmemory::fileResidentBytes() - file) / 1e6;
    const double peakMb = double(benchmemory::peakResidentBytes() - peak) / 1e6;
    std::printf("  open %.1f MB: %.2f s, %d rows; resident: own %+.1f MB (%.3f per MB), mapped file %+.1f MB "
                "(%.3f per MB), peak %+.1f MB\n",
                mb, seconds, opened.rowCount(), anonMb, anonMb / mb, fileMb, fileMb / mb, peakMb);
    std::fflush(stdout);
    return 0;
}

// Each open in a fresh process, so that one's memory is not the next's.
void openThrice(const QString &self, const QString &path, const char *what)
{
    std::printf("%s:\n", what);
    std::fflush(stdout);
    for (int i = 0; i < 3; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(self, {QStringLiteral("--open"), path});
        child.waitForFinished(-1);
    }
}

bool writeTiny(const QString &path, qint64 packets, bool pcap)
{
    console::FileWriter file(path);
    if (!file.open())
        return false;
    QByteArray out;
    const qint64 startUs = 1796652191000000; // 2026-12-07
    if (pcap) {
        out = QByteArray::fromHex("d4c3b2a1020004000000000000000000ffff000093000000");
    } else {
        out = capture::sectionHeaderBlock(QStringLiteral("bench"));
        out += capture::interfaceBlock(capture::kLinkSerial, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("9600,n,8,1"));
        out += capture::interfaceBlock(capture::kLinkSerial, QStringLiteral("/dev/ttyUSB1"), QStringLiteral("9600,n,8,1"));
    }
    for (qint64 n = 0; n < packets; ++n) {
        const qint64 us = startUs + n * 1000;
        const char byte = char(n);
        if (pcap) {
            uchar record[17];
            qToLittleEndian(quint32(us / 1000000), record);
            qToLittleEndian(quint32(us % 1000000), record + 4);
            qToLittleEndian(quint32(1), record + 8);
            qToLittleEndian(quint32(1), record + 12);
            record[16] = uchar(byte);
            out.append(reinterpret_cast<const char *>(record), 17);
        } else {
            const quint32 panel = quint32(n % 2);
            out += capture::frameBlocks(panel, us, us, panel ? capture::kReceived : capture::kTransmitted, false,
                                        QByteArrayView(&byte, 1),
                                        panel ? QStringLiteral("/dev/ttyUSB1") : QStringLiteral("/dev/ttyUSB0"), us / 1000);
        }
        if (out.size() > (1 << 20)) {
            if (!file.write(out))
                return false;
            out.clear();
        }
    }
    return file.write(out) && file.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--open")
        return openOnce(QString::fromLocal8Bit(argv[2]));
    const QString self = QCoreApplication::applicationFilePath();
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 100) * 1000 * 1000;
    const qint64 tiny = argc > 2 ? std::atoll(argv[2]) : 2000000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.pcapng"));
    {
        bench::Conversation talk;
        talk.fill(total, [](qint64) { return 25000; }, [&](qint64 n) { return talk.patternFrame(n); });
        console::Panel &left = talk.left, &right = talk.right;
        console::TrafficModel model({&left, &right});
        std::printf("%lld + %lld bytes, %d rows\n", static_cast<long long>(left.receive().shownSize()),
                    static_cast<long long>(right.receive().shownSize()), model.rowCount());

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
    std::fflush(stdout);
    openThrice(self, path, "the conversation, opened as the traffic view opens it (the source and its rows)");

    const QString tinyPcapng = dir.filePath(QStringLiteral("tiny.pcapng"));
    const QString tinyPcap = dir.filePath(QStringLiteral("tiny.pcap"));
    if (!writeTiny(tinyPcapng, tiny, false) || !writeTiny(tinyPcap, tiny, true)) {
        std::fprintf(stderr, "could not write the tiny captures\n");
        return 1;
    }
    openThrice(self, tinyPcapng, qPrintable(QStringLiteral("%1 one-byte packets as Tavrin writes them").arg(tiny)));
    openThrice(self, tinyPcap, qPrintable(QStringLiteral("%1 one-byte packets in a classic pcap").arg(tiny)));
    return 0;
}
