// Opening the history file: how long the store takes to open (with its
// check of every page) and to read every row, for histories of growing
// size. Prints its figures.

#include "console/transmit/history_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("%8s %10s %14s %14s\n", "rows", "file KiB", "open ms", "read all ms");
    for (int rows : {100, 1000, 10000, 100000}) {
        const QString path = dir.filePath(QStringLiteral("h%1.db").arg(rows));
        { console::HistoryStore create(path); }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
            db.setDatabaseName(path);
            db.open();
            QSqlQuery(db).exec(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO TrsData (\"Text\", \"Data\", \"Remark\", \"MD\") "
                "SELECT 'Hex', '7E,35,60,45,37,31,40,7E', 'preset ' || i, "
                "strftime('%Y-%m-%dT%H:%M:%f', 'now', '-' || i || ' minutes') FROM n").arg(rows));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fill"));

        QElapsedTimer t;
        t.start();
        console::HistoryStore store(path);
        const double openMs = t.nsecsElapsed() / 1e6;
        t.restart();
        const auto all = store.readAll();
        const double readMs = t.nsecsElapsed() / 1e6;
        if (!store.isOpen() || !all || all->size() != rows) {
            std::fprintf(stderr, "%d rows: not read back\n", rows);
            return 1;
        }
        std::printf("%8d %10lld %14.2f %14.2f\n", rows, QFileInfo(path).size() / 1024, openMs, readMs);
    }
    return 0;
}
