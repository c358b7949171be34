// Received bytes past a small memory budget: the spill file reads back as
// memory does, through every reader; Clear and truncation shorten it; a file
// that cannot be written loses nothing; the file has no name to leave behind.

#include "console/files/receive_files.h"
#include "console/receive/receive_buffer.h"
#include "tests/support/files.h"

#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using console::ByteStore;

namespace {

constexpr qint64 kBudget = 4096;
// 512-byte chunks: many of them on each side of the edge.
constexpr int kChunkBits = 9;

// Bytes that repeat only every 251, shifted by `seed`.
QByteArray pattern(qint64 size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) % 251);
    return bytes;
}

QByteArray contents(const ByteStore &store, qint64 first = 0)
{
    QByteArray all;
    store.forEachSpan(first, store.size() - first, [&](QByteArrayView piece) { all.append(piece); });
    return all;
}

enum class Change { TruncateFromEnd, TruncateBeforeEdge, Clear };

} // namespace

class TestByteStore : public QObject {
    Q_OBJECT
private slots:
    void readsAcrossTheEdge_data()
    {
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("total");
        QTest::newRow("byte by byte") << 1 << 12000;
        QTest::newRow("odd pieces") << 509 << 40000;
        QTest::newRow("chunk-sized pieces") << 512 << 40000;
        QTest::newRow("one large append") << 40000 << 40000;
    }
    void readsAcrossTheEdge()
    {
        QFETCH(int, piece);
        QFETCH(int, total);
        QTemporaryDir dir;
        ByteStore store(kBudget, dir.path(), kChunkBits);
        const QByteArray sent = pattern(total);
        for (int at = 0; at < total; at += piece)
            store.append(sent.mid(at, piece));

        const qint64 edge = store.spilledSize();
        QVERIFY(edge > total / 2);
        QVERIFY(store.size() - edge < 2 * kBudget);
        QCOMPARE(testsupport::openFileBytesIn(dir.path()), edge);
        // Held without a name, the file goes with the process however it ends.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{});
        QByteArray byteByByte(total, 0);
        for (qint64 i = 0; i < total; ++i)
            byteByByte[i] = char(store.at(i));
        QCOMPARE(byteByByte, sent);
        for (auto [first, count] : {std::pair<qint64, qint64>{edge - 1, 2}, {edge - 700, 1400}, {511, 2},
                                    {edge - 5 * 512 - 3, 4 * 512 + 9}, {0, total}})
            QCOMPARE(console::copiedText(store, first, count), QString::fromLatin1(sent.mid(first, count)));
        const QString saved = dir.filePath(QStringLiteral("saved.bin"));
        QVERIFY(console::saveRaw(store, total, saved).ok);
        QCOMPARE(testsupport::readFile(saved), sent);
    }

    void changesAcrossTheEdge_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<int>("by");
        QTest::newRow("truncate in memory") << Change::TruncateFromEnd << 100;
        QTest::newRow("truncate at the edge") << Change::TruncateBeforeEdge << 0;
        QTest::newRow("truncate inside the file") << Change::TruncateBeforeEdge << 700;
        QTest::newRow("truncate to nothing") << Change::TruncateFromEnd << 40000;
        QTest::newRow("clear") << Change::Clear << 0;
    }
    void changesAcrossTheEdge()
    {
        QFETCH(Change, change);
        QFETCH(int, by);
        QTemporaryDir dir;
        ByteStore store(kBudget, dir.path(), kChunkBits);
        const QByteArray sent = pattern(40000);
        store.append(sent);
        // Reading fills the cache of chunks read back, which must not outlive them.
        QCOMPARE(contents(store), sent);

        qint64 kept = 0;
        if (change == Change::Clear)
            store.clear();
        else {
            kept = change == Change::TruncateFromEnd ? store.size() - by : store.spilledSize() - by;
            store.truncate(kept);
        }
        // Around the cut, where chunks read before it may still be cached.
        const qint64 nearCut = std::max<qint64>(0, kept - 1000);
        QCOMPARE(contents(store, nearCut), sent.left(kept).mid(nearCut));
        QCOMPARE(testsupport::openFileBytesIn(dir.path()), change == Change::Clear ? -1 : store.spilledSize());

        const QByteArray more = pattern(20000, 1);
        store.append(more);
        QCOMPARE(contents(store, nearCut), (sent.left(kept) + more).mid(nearCut));
        QCOMPARE(contents(store), sent.left(kept) + more);
        QCOMPARE(testsupport::openFileBytesIn(dir.path()), store.spilledSize());
    }

    void writeFailure_data()
    {
        QTest::addColumn<qint64>("sizeLimit");
        QTest::addColumn<bool>("cacheIsAFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("file-size limit at the first write") << qint64(0) << false << QStringLiteral("File too large");
        QTest::newRow("file-size limit inside a write") << qint64(100000) << false << QStringLiteral("File too large");
        QTest::newRow("no cache folder to be made") << qint64(-1) << true << QStringLiteral("could not make the folder");
    }
    void writeFailure()
    {
        QFETCH(qint64, sizeLimit);
        QFETCH(bool, cacheIsAFile);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString cache = dir.filePath(QStringLiteral("cache"));
        QVERIFY(!cacheIsAFile || testsupport::writeFile(cache));
        const QByteArray cacheBefore = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", cache.toLocal8Bit());
        const auto restore = qScopeGuard([&] { qputenv("XDG_CACHE_HOME", cacheBefore); });

        console::ReceiveBuffer rx;
        rx.setMemoryBudget(kBudget);
        QSignalSpy failed(&rx, &console::ReceiveBuffer::spillFailed);
        const QByteArray sent = pattern(1 << 20);
        {
            // The program ignores SIGXFSZ too, so a write past the limit fails.
            std::optional<testsupport::FileSizeLimit> limit;
            if (sizeLimit >= 0)
                QVERIFY(limit.emplace(rlim_t(sizeLimit)).ok());
            for (qint64 at = 0; at < sent.size(); at += 4096)
                rx.received(sent.constData() + at, 4096);
        }
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0][0].toString().contains(reason), qPrintable(failed[0][0].toString()));
        QCOMPARE(contents(rx.store()), sent);

        // Clear tries a new file, which works once the cause is gone.
        if (cacheIsAFile)
            QVERIFY(QFile::remove(cache));
        rx.reset();
        rx.received(sent.constData(), sent.size());
        QVERIFY(rx.store().spilledSize() > 0);
        QCOMPARE(failed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestByteStore)

#include "tst_byte_store.moc"
