#include "console/repeat_dialog.h"
#include "console/send_jobs.h"
#include "console/sfrmtransmit.h"
#include "history_fixtures.h"
#include "tests/support/far_end_reader.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recorders.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using console::sfrmTransmit;
using testsupport::FarEndReader;
using testsupport::PseudoTerminal;
using testsupport::RecordingMessageBoxes;

class TestSendJobs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void repeatPlanIsChecked_data();
    void repeatPlanIsChecked();
    void repeatSendsEachFrameOnceAtItsInterval();
    void repeatWaitsForTheLine();
    void repeatEndsWithItsCause_data();
    void repeatEndsWithItsCause();
    void fileArrivesByteExact();
    void fileRefusedOrStopped_data();
    void fileRefusedOrStopped();

private:
    // The window over a history with the row `data` (Hex, Modbus check),
    // its repeat window opened.
    std::unique_ptr<sfrmTransmit> makeWindow();
    console::RepeatDialog *startRepeat(sfrmTransmit &w, const QString &interval, const QString &count);

    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingMessageBoxes m_boxes;
    std::unique_ptr<fixtures::Line> m_line;
    PseudoTerminal *m_far = nullptr;
    serial::SerialControl *m_port = nullptr;
};

void TestSendJobs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_boxes = {};
    m_line = std::make_unique<fixtures::Line>();
    m_far = &m_line->far;
    m_port = &m_line->control;
    QVERIFY(m_line->open());
}

std::unique_ptr<sfrmTransmit> TestSendJobs::makeWindow()
{
    const QString path = m_dir->filePath(QStringLiteral("TstHis.db"));
    fixtures::storeRows(path, {{"Hex", "01,03,00,00,00,0A"}});
    auto w = std::make_unique<sfrmTransmit>(std::array<serial::SerialControl *, 2>{m_port, nullptr},
                                            [] { return true; }, m_boxes, path);
    w->setOptionsOf(0, {console::LineEnd::None, console::FrameCheck::ModbusRtu});
    return w;
}

console::RepeatDialog *TestSendJobs::startRepeat(sfrmTransmit &w, const QString &interval, const QString &count)
{
    w.sendRepeatedly();
    console::RepeatDialog *d = w.repeatDialog();
    d->interval->setText(interval);
    if (count.isEmpty())
        d->untilStopped->setChecked(true);
    else
        d->count->setText(count);
    d->startButton->click();
    return d;
}

void TestSendJobs::repeatPlanIsChecked_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("count");      // empty: until stopped
    QTest::addColumn<QString>("outcome");    // "interval/count", or what the refusal says

    QTest::newRow("typical") << "100" << "10" << "100/10";
    QTest::newRow("bounds, blanks around") << " 10 " << "1" << "10/1";
    QTest::newRow("an hour, until stopped") << "3600000" << "" << "3600000/0";
    QTest::newRow("interval too short") << "9" << "10" << "from 10 to 3,600,000 ms; 9 ms is out of range";
    QTest::newRow("interval too long") << "3600001" << "10" << "3,600,001 ms is out of range";
    QTest::newRow("interval not a number") << "1.5" << "10" << "\"1.5\" is not a whole number";
    QTest::newRow("no count") << "100" << "0" << "from 1 to 999,999,999; 0 is out of range";
    QTest::newRow("count too large") << "100" << "99999999999" << "99,999,999,999 is out of range";
    QTest::newRow("count not a number") << "100" << "ten" << "\"ten\" is not a whole number";
}

void TestSendJobs::repeatPlanIsChecked()
{
    QFETCH(QString, interval);
    QFETCH(QString, count);
    QFETCH(QString, outcome);

    const auto parsed = console::parseRepeatPlan(interval, count, count.isEmpty());
    QCOMPARE(parsed.plan ? QStringLiteral("%1/%2").arg(parsed.plan->intervalMs).arg(parsed.plan->count)
                         : QString(),
             outcome.contains(QLatin1Char('/')) ? outcome : QString());
    QVERIFY2(parsed.reason.contains(outcome) == !parsed.plan, qPrintable(parsed.reason));

    // The repeat window refuses the same way, sending nothing.
    if (parsed.plan)
        return;
    auto w = makeWindow();
    console::RepeatDialog *d = startRepeat(*w, interval, count);
    QCOMPARE(d->status->text(), parsed.reason);
    QVERIFY(!d->running());
    QCOMPARE(m_far->readAvailable(100), QByteArray());
}

void TestSendJobs::repeatSendsEachFrameOnceAtItsInterval()
{
    const QByteArray frame = QByteArray::fromHex("01030000000AC5CD");
    auto w = makeWindow();
    QSignalSpy sent(w.get(), &sfrmTransmit::sent);
    FarEndReader far(*m_far);
    console::RepeatDialog *d = startRepeat(*w, QStringLiteral("100"), QStringLiteral("10"));
    QTRY_VERIFY_WITH_TIMEOUT(!d->running(), 10000);
    QCOMPARE(d->status->text(), QStringLiteral("Done: sent 10 times."));
    QCOMPARE(d->sentSoFar->text(), QStringLiteral("Sent: 10 of 10"));
    QTest::qWait(300);

    QCOMPARE(far.bytes().toHex(' '), frame.repeated(10).toHex(' '));
    QCOMPARE(sent.size(), 10);
    // Arrival times: reported, and checked only as "not closer than".
    const auto pieces = far.pieces();
    QStringList gaps;
    for (qsizetype i = 1; i < pieces.size(); ++i)
        gaps << QString::number(std::chrono::duration<double, std::milli>(pieces[i].at - pieces[i - 1].at).count(), 'f', 1);
    const double span = std::chrono::duration<double, std::milli>(pieces.last().at - pieces.first().at).count();
    qInfo("%lld pieces, gaps (ms): %s; first to last %.1f ms", qlonglong(pieces.size()),
          qPrintable(gaps.join(QStringLiteral(" "))), span);
    QVERIFY2(span >= 700, qPrintable(QString::number(span)));
}

// The far end reads nothing for a while: the line fills, and the repeat
// waits for each frame to leave instead of piling frames up.
void TestSendJobs::repeatWaitsForTheLine()
{
    const QString path = m_dir->filePath(QStringLiteral("TstHis.db"));
    const QByteArray frame = QByteArray("0123456789").repeated(300);
    fixtures::storeRows(path, {{"Txt", QString::fromLatin1(frame)}});
    sfrmTransmit w({m_port, nullptr}, [] { return true; }, m_boxes, path);
    console::RepeatDialog *d = startRepeat(w, QStringLiteral("10"), QString());
    QTRY_VERIFY(m_port->outBufferCount() > 0);
    const int sent = d->job()->sent();
    QTest::qWait(200);
    QCOMPARE(d->job()->sent(), sent);
    QVERIFY(m_port->outBufferCount() <= frame.size());
    d->stopButton->click();
    QByteArray received;
    QTRY_COMPARE((received += m_far->readAvailable(5)).size(), frame.size() * sent);
    QVERIFY(received == frame.repeated(sent));
}

void TestSendJobs::repeatEndsWithItsCause_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("said");   // in the repeat window's status, or the box

    QTest::newRow("Stop") << "stop" << "stopped by the user.";
    QTest::newRow("panel stopped") << "close port" << "(left panel): the port was closed.";
    QTest::newRow("adapter gone") << "far end gone" << "(left panel): ";
    QTest::newRow("history window closed") << "close window" << "the Transmit window was closed.";
}

void TestSendJobs::repeatEndsWithItsCause()
{
    QFETCH(QString, how);
    QFETCH(QString, said);

    auto w = makeWindow();
    QByteArray received;
    QPointer<console::RepeatDialog> d = startRepeat(*w, QStringLiteral("30"), QString());
    QTRY_VERIFY((received += m_far->readAvailable(5)).size() >= 16);
    int sentAtEnd = -1;
    connect(d->job(), &console::SendJob::finished, [&, job = d->job()] { sentAtEnd = job->sent(); });
    if (how == QLatin1String("stop"))
        d->stopButton->click();
    else if (how == QLatin1String("close port"))
        m_port->setPortOpen(false);
    else if (how == QLatin1String("far end gone"))
        m_far->closeMaster();
    else {
        w->show();
        w->close();
    }
    QTRY_VERIFY(sentAtEnd >= 2);
    // The repeat window closes with the history window; a box tells.
    const bool closed = how == QLatin1String("close window");
    const QString text = closed ? m_boxes.texts().value(0) : d->status->text();
    QVERIFY2(text.startsWith(QStringLiteral("%1 %2 sends: ")
                                 .arg(closed ? "Send Repeatedly stopped after" : "Stopped after")
                                 .arg(sentAtEnd)),
             qPrintable(text));
    QVERIFY2(text.endsWith(said) || text.contains(m_far->slavePath() + QStringLiteral(" ") + said),
             qPrintable(text));
    if (how == QLatin1String("far end gone"))
        return;
    // Every frame sent arrived once and whole; none after the end.
    received += m_far->readAvailable(200);
    QCOMPARE(received.toHex(' '), QByteArray::fromHex("01030000000AC5CD").repeated(sentAtEnd).toHex(' '));
}

void TestSendJobs::fileArrivesByteExact()
{
    QByteArray content(1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 7919 + (i >> 13)) & 0xFF);
    const QString path = m_dir->filePath(QStringLiteral("recipe.bin"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();

    auto w = makeWindow();
    QByteArray announced;
    connect(w.get(), &sfrmTransmit::sent, [&](int panel, const QByteArray &bytes) {
        QCOMPARE(panel, 0);
        announced += bytes;
    });
    FarEndReader far(*m_far);
    w->sendFile(path);
    QTRY_VERIFY_WITH_TIMEOUT(!w->fileSend(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(far.bytes().size(), content.size(), 10000);
    QVERIFY(far.bytes() == content);
    QVERIFY(announced == content);
    QCOMPARE(m_boxes.texts(), QStringList{});
}

void TestSendJobs::fileRefusedOrStopped_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("said");   // empty: nothing is told

    QTest::newRow("above 64 MiB") << "send" << qint64(64 * 1024 * 1024 + 1)
                                  << "holds 67,108,865 bytes; Send File sends at most 64 MiB (67,108,864 bytes).";
    QTest::newRow("empty") << "send" << qint64(0) << "is empty; there is nothing to send.";
    QTest::newRow("a folder") << "folder" << qint64(0) << "is a folder, not a file.";
    QTest::newRow("adapter gone") << "far end gone" << qint64(1024 * 1024) << "(left panel): ";
    QTest::newRow("cancelled") << "cancel" << qint64(1024 * 1024) << "";
}

void TestSendJobs::fileRefusedOrStopped()
{
    QFETCH(QString, how);
    QFETCH(qint64, size);
    QFETCH(QString, said);

    QString path = m_dir->filePath(QStringLiteral("file.bin"));
    if (how == QLatin1String("folder")) {
        path = m_dir->path();
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Sparse: no disk is used for the large one.
        QVERIFY(f.resize(size));
    }
    auto w = makeWindow();
    w->sendFile(path);
    // Nothing is read at the far end yet: the file waits in the port.
    if (how == QLatin1String("far end gone")) {
        QTest::qWait(100);
        m_far->closeMaster();
    } else if (how == QLatin1String("cancel")) {
        auto *progress = w->findChild<QProgressDialog *>();
        QVERIFY(progress && progress->isVisible());
        progress->findChild<QPushButton *>()->click();
    }
    QTRY_VERIFY(!w->fileSend());
    QCOMPARE(m_boxes.boxes.size(), said.isEmpty() ? 0 : 1);
    if (!said.isEmpty())
        QVERIFY2(m_boxes.boxes.first().text.contains(said), qPrintable(m_boxes.boxes.first().text));
    if (how == QLatin1String("far end gone"))
        return;
    // A part of the file at most, each byte once.
    const QByteArray received = m_far->readAvailable(300);
    QVERIFY(received.size() < size || size == 0);
    QCOMPARE(received, QByteArray(received.size(), '\0'));
}

QTEST_MAIN(TestSendJobs)
#include "tst_send_jobs.moc"
