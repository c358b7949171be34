// The traffic view's tools for decoded rows through the window: Modbus RTU
// frames (written out from the protocol's public description) on two
// pseudo-terminals, a panel each way.

#include "console/traffic/decoded_tools.h"
#include "console/traffic/traffic_window.h"
#include "tests/support/hex.h"
#include "tests/support/two_panel_rig.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using console::DecodedTools;
using console::TrafficModel;
using console::TrafficWindow;
using testsupport::TwoPanelRig;
using testsupport::utc;

namespace {

using testsupport::hex;

// The window's list's current row, as a row of the model.
int currentRow(TrafficWindow *view)
{
    return view->decodedTools()->rowOf(view->table()->currentIndex());
}

void choose(TrafficWindow *view, int row)
{
    const QModelIndex at = view->decodedTools()->indexOfRow(row, TrafficModel::HexColumn);
    QVERIFY(at.isValid());
    view->table()->setCurrentIndex(at);
}

QStringList visibleContextMenu(QTableView *table)
{
    QStringList texts;
    for (QAction *a : table->actions())
        if (a->isVisible())
            texts << a->text();
    return texts;
}

} // namespace

class TestTrafficDecoded : public QObject {
    Q_OBJECT
private slots:
    void toolsOfDecodedRows()
    {
        TwoPanelRig rig(QByteArray("[Traffic]\nProtocol=modbus-rtu\nReplyTimeoutMs=500\n"), utc(14, 3, 10, 0));
        TrafficWindow *view = rig.view;
        QVERIFY(view);
        DecodedTools *tools = view->decodedTools();
        QVERIFY(tools->filterBar()->isVisible());
        QVERIFY(tools->fields()->isVisible());

        // Two start events, then: a read of 10 registers of unit 1 and its
        // answer (100..109); a read of unit 17 answered by exception 2.
        rig.now = utc(14, 3, 11, 0);
        QVERIFY(rig.send(0, hex("01 03 00 00 00 0A C5 CD")));
        rig.now += 7;
        QVERIFY(rig.send(1, hex("01 03 14 00 64 00 65 00 66 00 67 00 68 00 69 00 6A 00 6B 00 6C 00 6D 63 D1")));
        rig.now += 20;
        QVERIFY(rig.send(0, hex("11 03 00 6B 00 03 76 87")));
        rig.now += 30;
        QVERIFY(rig.send(1, hex("11 83 02 C1 34")));
        QCOMPARE(view->model()->rowCount(), 6);

        // The answer's fields, and its bytes with the chosen field's marked.
        choose(view, 3);
        QTreeWidget *tree = tools->fields()->tree();
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Unit"));
        QCOMPARE(tree->topLevelItem(0)->text(1), QStringLiteral("1"));
        QVERIFY(tools->fields()->hexPane()->toPlainText().startsWith(QStringLiteral("0000  01 03 14 00 64")));
        tree->setCurrentItem(tree->topLevelItem(0));
        QCOMPARE(tools->fields()->highlighted().size(), 2);
        QCOMPARE(tools->fields()->hexPane()->toPlainText().mid(tools->fields()->highlighted()[0].start, 2),
                 QStringLiteral("01"));
        // An event row has none.
        choose(view, 0);
        QCOMPARE(tree->topLevelItemCount(), 0);

        // From the answer to its request and back.
        choose(view, 3);
        QAction *jump = tools->jumpAction();
        QCOMPARE(jump->text(), QStringLiteral("Go to &Request"));
        QCOMPARE(jump->shortcut(), QKeySequence(QStringLiteral("Ctrl+J")));
        QTest::keyClick(view->table(), Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(currentRow(view), 2);
        QCOMPARE(jump->text(), QStringLiteral("Go to &Answer"));
        jump->trigger();
        QCOMPARE(currentRow(view), 3);
        QVERIFY(visibleContextMenu(view->table()).contains(QStringLiteral("&Statistics...")));

        // Station 17's rows, then its errors.
        tools->stationEdit()->setText(QStringLiteral("17"));
        emit tools->stationEdit()->editingFinished();
        QVERIFY(tools->filtering());
        QTRY_VERIFY(tools->kept()->caughtUp());
        QAbstractItemModelTester tester(tools->kept(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(view->table()->model()->rowCount(), 2);
        QCOMPARE(view->table()->model()->index(0, TrafficModel::DecodedColumn).data().toString(),
                 QStringLiteral("Read holding registers 107-109, unit 17"));
        QCOMPARE(view->table()->columnWidth(TrafficModel::DecodedColumn), 300);
        choose(view, 5);
        jump->trigger();
        QCOMPARE(currentRow(view), 4);
        // Find passes over the rows the filter drops.
        view->findHexBox()->setChecked(true);
        view->findEdit()->setText(QStringLiteral("83"));
        view->findNext();
        QCOMPARE(currentRow(view), 5);
        tools->errorsBox()->setChecked(true);
        QTRY_VERIFY(tools->kept()->caughtUp());
        QCOMPARE(view->table()->model()->rowCount(), 1);
        choose(view, 5);
        jump->trigger();
        QCOMPARE(tools->filterMessage(), QStringLiteral("Its request is not among the rows kept."));
        QCOMPARE(currentRow(view), 5);
        view->findEdit()->setText(QStringLiteral("03")); // rows 2, 3 and 4, none kept
        view->findNext();
        QCOMPARE(view->findMessage(), QStringLiteral("Not found."));
        QCOMPARE(currentRow(view), 5);
        tools->stationEdit()->clear();
        emit tools->stationEdit()->editingFinished();
        QTRY_VERIFY(tools->kept()->caughtUp());
        QCOMPARE(view->table()->model()->rowCount(), 1);
        tools->errorsBox()->setChecked(false);
        QVERIFY(!tools->filtering());
        QCOMPARE(view->table()->model(), view->model());
        QCOMPARE(currentRow(view), 5); // the chosen row stays chosen

        // The stations and functions the rows name, offered to choose from.
        QTRY_VERIFY(tools->seenWalker()->caughtUp());
        const auto offered = [](QToolButton *button) {
            emit button->menu()->aboutToShow();
            QStringList texts;
            for (QAction *a : button->menu()->actions())
                if (!a->isSeparator())
                    texts << a->text();
            return texts;
        };
        QCOMPARE(offered(tools->stationChoices()), (QStringList{"Any", "1", "17"}));
        QCOMPARE(offered(tools->functionChoices()), (QStringList{"Any", "3"}));
        tools->stationChoices()->menu()->actions().last()->trigger();
        QCOMPARE(tools->stationEdit()->text(), QStringLiteral("17"));
        QVERIFY(tools->filtering());
        QTRY_VERIFY(tools->kept()->caughtUp());
        QCOMPARE(view->table()->model()->rowCount(), 2);
        tools->stationChoices()->menu()->actions().first()->trigger();
        QCOMPARE(tools->stationEdit()->text(), QString());
        QVERIFY(!tools->filtering());

        // The statistics, per station and all together.
        tools->statisticsAction()->trigger();
        console::StatisticsWindow *stats = tools->statistics();
        QVERIFY(stats && stats->isVisible());
        QTRY_COMPARE(stats->model()->rowCount(), 3);
        const auto cell = [&](int row, int column) { return stats->model()->index(row, column).data().toString(); };
        using S = console::StatisticsModel;
        QCOMPARE(cell(0, S::StationColumn), QStringLiteral("1"));
        QCOMPARE(cell(0, S::RequestsColumn), QStringLiteral("1"));
        QCOMPARE(cell(0, S::AnswersColumn), QStringLiteral("1"));
        QCOMPARE(cell(0, S::MedianColumn), QStringLiteral("7.0"));
        QCOMPARE(cell(1, S::StationColumn), QStringLiteral("17"));
        QCOMPARE(cell(1, S::ExceptionsColumn), QStringLiteral("1"));
        QCOMPARE(cell(1, S::MaximumColumn), QStringLiteral("30.0"));
        QCOMPARE(cell(2, S::StationColumn), QStringLiteral("All"));
        QCOMPARE(cell(2, S::AnswersColumn), QStringLiteral("2"));

        // Back to None: the view as it always was.
        tools->errorsBox()->setChecked(true);
        QComboBox *choice = view->protocolBox();
        choice->setCurrentIndex(choice->findData(QStringLiteral("none")));
        emit choice->activated(choice->currentIndex());
        QVERIFY(!tools->filterBar()->isVisible());
        QVERIFY(!tools->fields()->isVisible());
        QVERIFY(!stats->isVisible());
        QCOMPARE(view->table()->model(), view->model());
        QCOMPARE(visibleContextMenu(view->table()), QStringList{QStringLiteral("Open &Capture...")});
        QVERIFY(!jump->isEnabled() || !jump->isVisible());
        // And a protocol again: the filter still asked for applies.
        choice->setCurrentIndex(choice->findData(QStringLiteral("modbus-rtu")));
        emit choice->activated(choice->currentIndex());
        QVERIFY(tools->filtering());
        QTRY_VERIFY(tools->kept()->caughtUp());
        QCOMPARE(view->table()->model()->rowCount(), 1);
    }
};

QTEST_MAIN(TestTrafficDecoded)
#include "tst_traffic_decoded.moc"
