#pragma once

// History files for the tests: rows stored through the store itself, the
// stored Data read back, the file's bytes, a column of the window's grid.

#include "console/history_store.h"
#include "console/sfrmtransmit.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QTest>

namespace fixtures {

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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

} // namespace fixtures
