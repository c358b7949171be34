#pragma once

// History files for the tests: rows stored through the store itself, the
// stored Data read back, the file's bytes, a column of the window's grid.

#include "console/transmit/history_store.h"
#include "console/panel/panel.h"
#include "console/transmit/sfrmtransmit.h"
#include "tests/support/files.h"
#include "tests/support/pseudo_terminal.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <cstdlib>
#include <unistd.h>

namespace fixtures {

// Stores rows given newest first, each made a minute after the one below
// it, or all at the same time.
inline void storeRows(const QString &path, const QList<QPair<QString, QString>> &rows, bool sameTime = false)
{
    console::HistoryStore store(path);
    QVERIFY2(store.isOpen(), qPrintable(store.problem()));
    const QDateTime base(QDate(2024, 5, 1), QTime(8, 0));
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        const auto row = store.add(rows[i].first, base.addSecs(sameTime ? 0 : 60 * (rows.size() - i)));
        QVERIFY(row);
        QCOMPARE(store.setField(*row, console::HistoryStore::Field::Data, rows[i].second),
                 console::HistoryStore::Outcome::Done);
    }
}

// Data of every stored row, newest first.
inline QStringList storedData(const QString &path)
{
    console::HistoryStore store(path);
    QStringList data;
    for (const auto &row : store.readAll().value_or(QList<console::HistoryRow>{}))
        data << row.data;
    return data;
}

// The cells of one column of the window's grid, top to bottom.
inline QStringList column(console::sfrmTransmit &w, int c)
{
    QStringList cells;
    for (int r = 0; r < w.model().rowCount(); ++r)
        cells << w.model().index(r, c).data().toString();
    return cells;
}

// A port panel on a pseudo-terminal whose far end the test reads.
struct Line {
    testsupport::PseudoTerminal far;
    console::Panel panel;
    bool open()
    {
        QString failure;
        panel.setStarted(true);
        return panel.start({far.slavePath(), QStringLiteral("9600,n,8,1")}, &failure);
    }
    const serial::SerialControl &control() const { return panel.control(); }
    // Closed from elsewhere: unticked, and the next tick closes the port.
    void close()
    {
        panel.setStarted(false);
        panel.poll();
    }
};

// Keeps a file read-only for the life of the guard. Root ignores permission
// bits, so there the file is made immutable instead.
struct ReadOnlyFile {
    explicit ReadOnlyFile(const QString &path)
        : path(path)
    {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        if (::geteuid() == 0)
            immutable = chattr("+i");
        else
            immutable = true;
    }
    ~ReadOnlyFile()
    {
        if (::geteuid() == 0)
            chattr("-i");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    bool chattr(const char *flag) const
    {
        const QByteArray cmd = QByteArray("chattr ") + flag + " '" + path.toLocal8Bit() + "' 2>/dev/null";
        return std::system(cmd.constData()) == 0;
    }
    QString path;
    bool immutable = false;
};

// Runs SQL on the file through a connection of the test's own, as another
// program would; the values of the select's first column, then a line for
// each statement that failed.
inline QStringList runSql(const QString &path, const QStringList &statements, const QString &select = {})
{
    QStringList result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
        db.setDatabaseName(path);
        if (!db.open())
            return {QStringLiteral("open failed")};
        QSqlQuery q(db);
        for (const QString &s : statements) {
            if (!q.exec(s))
                result << QStringLiteral("failed: ") + s;
        }
        if (!select.isEmpty() && q.exec(select)) {
            while (q.next())
                result << q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
    return result;
}

} // namespace fixtures
