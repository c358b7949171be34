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

Q_DECLARE_METATYPE(console::SpillFile::Making)

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
        // What a failed write put in the file is given back: it holds the
        // spilled bytes only.
        const qint64 inFile = testsupport::openFileBytesIn(cache + "/Tavrin");
        QCOMPARE(inFile, cacheIsAFile ? -1 : rx.store().spilledSize());

        // Clear tries a new file, which works once the cause is gone.
        if (cacheIsAFile)
            QVERIFY(QFile::remove(cache));
        rx.reset();
        rx.received(sent.constData(), sent.size());
        QVERIFY(rx.store().spilledSize() > 0);
        QCOMPARE(failed.size(), 1);
    }

    void fileWithoutANameEitherWay_data()
    {
        QTest::addColumn<console::SpillFile::Making>("making");
        QTest::newRow("nameless at once") << console::SpillFile::Making::Nameless;
        QTest::newRow("named, then unlinked") << console::SpillFile::Making::NamedThenUnlinked;
    }
    void fileWithoutANameEitherWay()
    {
        QFETCH(console::SpillFile::Making, making);
        QTemporaryDir dir;
        console::SpillFile file;
        QVERIFY2(file.open(dir.path(), making), qPrintable(file.errorString()));
        const QByteArrayView pieces[] = {"spilled ", "bytes"};
        QVERIFY(file.write(0, pieces));
        char back[13] = {};
        QVERIFY(file.read(0, back, 13));
        QCOMPARE(QByteArray(back, 13), QByteArray("spilled bytes"));
        // Open, but no name in the folder to be left behind.
        QCOMPARE(testsupport::openFileBytesIn(dir.path()), 13);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{});
        file.close();
        QCOMPARE(testsupport::openFileBytesIn(dir.path()), -1);
    }

    void unreadableBytes_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::newRow("raw save") << "raw";
        QTest::newRow("hex dump") << "hex";
        QTest::newRow("truncate inside the file") << "truncate";
        QTest::newRow("byte by byte") << "at";
    }
    // A cache disk that loses what it held: the bytes read as zeros, and
    // every reader is told instead of taking them for what came.
    void unreadableBytes()
    {
        QFETCH(QString, reader);
        QTemporaryDir dir;
        ByteStore store(kBudget, dir.path(), kChunkBits);
        const QByteArray sent = pattern(40000);
        store.append(sent);
        const qint64 edge = store.spilledSize();
        QVERIFY(edge > 4 * 512);
        QVERIFY(testsupport::shortenOpenFileIn(dir.path(), 512)); // the first chunk survives
        const QString saved = dir.filePath("saved.bin");
        if (reader == "raw" || reader == "hex") {
            const console::SaveResult result = reader == "raw" ? console::saveRaw(store, store.size(), saved)
                                                               : console::saveHexDump(store, {}, store.size(), saved);
            QVERIFY(!result.ok && !result.cancelled);
            QVERIFY2(result.error.startsWith("the received bytes could not be read back: could not read in ")
                         && result.error.endsWith("Input/output error"),
                     qPrintable(result.error));
            QCOMPARE(testsupport::readFile(saved), QByteArray("<missing>"));
            // Read again, still unreadable, still refused.
            QVERIFY(!console::saveRaw(store, store.size(), saved).ok);
            // What was read back whole saves as before.
            QVERIFY(console::saveRaw(store, 512, saved).ok);
            QCOMPARE(testsupport::readFile(saved), sent.left(512));
        } else if (reader == "truncate") {
            // The part of the cut chunk that stays comes back to memory.
            const qint64 kept = edge - 700;
            store.truncate(kept);
            QVERIFY(!store.readable(kept - 1));
            QVERIFY(store.readable(0, 512));
            QVERIFY(store.readFailures() > 0);
            QVERIFY2(store.readError().endsWith("Input/output error"), qPrintable(store.readError()));
            QVERIFY(!console::saveRaw(store, store.size(), saved).ok);
        } else {
            QCOMPARE(store.at(600), std::uint8_t(0));
            QVERIFY(store.readable(511) && !store.readable(600) && !store.readable(0, 513));
            QVERIFY(store.readable(edge, store.size() - edge));
            const quint64 failures = store.readFailures();
            (void)store.at(601);
            QCOMPARE(store.readFailures(), failures + 1);
        }
        // A clear starts over with a new file: nothing unreadable is left.
        store.clear();
        store.append(sent);
        QCOMPARE(contents(store), sent);
        QVERIFY(store.readable(0, store.size()));
        QVERIFY(store.readError().isEmpty());
        QVERIFY(console::saveRaw(store, store.size(), saved).ok);
    }

    void unreadableBytesInTheGrids()
    {
        QTemporaryDir dir;
        const QByteArray cacheBefore = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", dir.path().toLocal8Bit());
        const auto restore = qScopeGuard([&] { qputenv("XDG_CACHE_HOME", cacheBefore); });
        console::ReceiveBuffer rx;
        rx.setMemoryBudget(kBudget);
        QSignalSpy failed(&rx, &console::ReceiveBuffer::readBackFailed);
        QSignalSpy spillFailed(&rx, &console::ReceiveBuffer::spillFailed);
        rx.append(pattern(300000));
        QVERIFY(rx.store().spilledSize() > 0);
        QVERIFY(testsupport::shortenOpenFileIn(dir.path() + "/Tavrin", 0));
        rx.checkReadBack();
        QCOMPARE(failed.size(), 0); // nothing read yet, nothing known
        auto *text = rx.textModel();
        auto *hex = rx.hexModel();
        QCOMPARE(hex->data(hex->index(1, 2)).toString(), QString("??"));
        QCOMPARE(text->data(text->index(1, 2)).toString(), QString("?"));
        QVERIFY2(hex->data(hex->index(1, 2), Qt::ToolTipRole).toString().startsWith("This byte could not be read back: "),
                 qPrintable(hex->data(hex->index(1, 2), Qt::ToolTipRole).toString()));
        // Bytes in memory show as they came.
        const qint64 lastRow = (rx.shownSize() - 1) / 16 + 1;
        QCOMPARE(hex->data(hex->index(int(lastRow), 1)).toString(),
                 QString("%1").arg(uchar(pattern(300000)[(lastRow - 1) * 16]), 2, 16, QChar('0')).toUpper());
        QCOMPARE(hex->data(hex->index(int(lastRow), 1), Qt::ToolTipRole), QVariant());
        // Told once, at the next tick, with no second box for the spill
        // that stopped with it.
        rx.checkReadBack();
        rx.checkReadBack();
        rx.append("more");
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0][0].toString().endsWith("Input/output error"), qPrintable(failed[0][0].toString()));
        QCOMPARE(spillFailed.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestByteStore)

#include "tst_byte_store.moc"
