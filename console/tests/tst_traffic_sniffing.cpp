// The traffic view with Modbus RTU chosen on a real conversation: mbpoll
// polls a pymodbus slave at 115200 every 11 ms through a sniffing rig, the
// left panel hearing the master and the right one the slave. Every request
// and answer is a row of its own with its unit, function, address, count,
// values and reply time; a read beyond the slave's registers is answered
// by exception 2; an answer the cable corrupts is a bad check and one it
// cuts short leaves its request with no answer; the CSV export says so.
// Skipped with the reason when a peer cannot run here.
#include "console/traffic/traffic_window.h"
#include "tests/support/console_window.h"
#include "tests/support/files.h"
#include "tests/support/sniffing_rig.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using console::TrafficModel;
using testsupport::runMbpoll;

namespace {

const QString kSlave = QStringLiteral(MODBUS_SLAVE_SCRIPT);

// The CSV columns protocol, unit, function, address, count, values and
// status of an exported line.
QStringList decodedColumns(const QByteArray &line)
{
    return testsupport::csvFields(line).mid(9, 7);
}

} // namespace

class TestTrafficSniffing : public QObject {
    Q_OBJECT
private slots:
    void modbusThroughTheWindow()
    {
        const QString missing = testsupport::missingModbusPeer({"mbpoll"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        testsupport::SniffingRig rig;
        QProcess slave;
        slave.setProcessChannelMode(QProcess::MergedChannels);
        slave.start(QStringLiteral("/usr/bin/python3"), {kSlave, rig.slave.path, "115200"});
        QVERIFY(slave.waitForStarted());
        if (!testsupport::holdsOpen(slave.processId(), rig.slave.path, 60000))
            QSKIP(qPrintable("the pymodbus slave did not open its line: " + slave.readAll()));
        bool answering = false;
        for (int attempt = 0; attempt < 20 && !answering; ++attempt)
            answering = runMbpoll(rig.master.path, {"-r", "1"}, 115200).isEmpty();
        if (!answering)
            QSKIP(qPrintable("the pymodbus slave does not answer: " + slave.readAll()));

        testsupport::ConsoleWindow c(QByteArray("[Traffic]\nProtocol=modbus-rtu\nReplyTimeoutMs=300\n"));
        c.w.Combo1[0]->setEditText(rig.leftTap().path);
        c.w.Combo1[1]->setEditText(rig.rightTap().path);
        c.w.Check1[0]->click();
        c.w.Check1[1]->click();
        QVERIFY(c.w.Started0 && c.w.Started1);
        c.w.Timer1->start();
        console::TrafficWindow *view = c.openTrafficView(0);
        QVERIFY(view);
        TrafficModel *model = view->model();

        // Polls 11 ms apart for a while: three holding registers at 0.
        QProcess polling;
        polling.start(QStringLiteral("mbpoll"), {"-m", "rtu", "-a", "1", "-b", "115200", "-P", "none", "-l", "11",
                                                 "-o", "0.5", "-r", "1", "-c", "3", rig.master.path});
        QVERIFY(polling.waitForStarted());
        // Until ten polls or more have paired, however busy the machine: a
        // tap read late leaves a request unanswered and an answer alone, so
        // it is the pairs that are counted, not the time.
        const auto pairedSoFar = [&] {
            int n = 0;
            for (int row = 0; row < model->rowCount(); ++row)
                n += model->statusText(row) == QStringLiteral("answer") && model->pairing(row).partner >= 0;
            return n;
        };
        QTest::qWait(1500);
        QTRY_VERIFY_WITH_TIMEOUT(pairedSoFar() >= 12, 60000);
        ::kill(pid_t(polling.processId()), SIGINT);
        QVERIFY(polling.waitForFinished(10000));
        QTest::qWait(300);
        // Beyond the registers; a corrupted answer; an answer cut short.
        QVERIFY(!runMbpoll(rig.master.path, {"-r", "99", "-c", "5"}, 115200).isEmpty());
        QTest::qWait(100);
        rig.corruptNextAnswer();
        QVERIFY(!runMbpoll(rig.master.path, {"-o", "0.2", "-r", "1", "-c", "3"}, 115200).isEmpty());
        QTest::qWait(100);
        rig.dropFromNextAnswer();
        QVERIFY(!runMbpoll(rig.master.path, {"-o", "0.2", "-r", "1", "-c", "3"}, 115200).isEmpty());
        QTest::qWait(800); // the cut answer's timeout and the view's idle tick
        slave.kill();
        slave.waitForFinished(10000);

        QTemporaryDir out;
        c.files.exported = console::FileChooser::ExportTarget{out.filePath("traffic.csv"), true};
        view->exportRows();
        QList<QByteArray> lines = testsupport::readFile(out.filePath("traffic.csv")).split('\n');
        lines.removeAll(QByteArray());
        QStringList decoded;
        for (const QByteArray &line : lines.mid(1)) {
            const QStringList columns = decodedColumns(line);
            if (!columns.value(0).isEmpty())
                decoded << columns.join(u'|');
        }
        // The polls: a request and its answer each, paired with a reply time.
        // On a busy machine a tap may be read late, after the next request:
        // that request then reads "no answer" and the late answer stands
        // alone, never more of one than of the other.
        const QString request = "modbus-rtu|1|3|0|3||request", answer = "modbus-rtu|1|3|0|3|0 1 2|answer";
        int polls = 0, paired = 0, unanswered = 0, alone = 0;
        for (; polls < decoded.size(); ++polls) {
            if (polls + 1 < decoded.size() && decoded[polls] == request && decoded[polls + 1] == answer) {
                ++paired;
                ++polls;
            } else if (decoded[polls] == "modbus-rtu|1|3|0|3||no answer") {
                ++unanswered;
            } else if (decoded[polls] == "modbus-rtu|1|3|||0 1 2|answer") {
                ++alone;
            } else {
                break;
            }
        }
        QVERIFY2(paired >= 10, qPrintable(decoded.join(u'\n')));
        QVERIFY2(alone <= unanswered, qPrintable(decoded.join(u'\n')));
        int answersPaired = 0;
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->statusText(row) == QStringLiteral("answer") && model->pairing(row).partner >= 0
                && !console::replyText(*model, row).isEmpty())
                ++answersPaired;
        QVERIFY(answersPaired >= paired);
        const QStringList rest = decoded.mid(polls);
        const QStringList expectedTail{"modbus-rtu|1|3|98|5||request", "modbus-rtu|1|3|98|5||exception 2",
                                       "modbus-rtu|1|3|0|3||no answer", "modbus-rtu|1|3|||0 1 2|bad check",
                                       "modbus-rtu|1|3|0|3||no answer", "modbus-rtu||||||unrecognised"};
        QVERIFY2(rest.size() >= expectedTail.size(), qPrintable(decoded.join(u'\n')));
        QCOMPARE(rest.mid(rest.size() - expectedTail.size()), expectedTail);
    }
};

QTEST_MAIN(TestTrafficSniffing)
#include "tst_traffic_sniffing.moc"
