// The pairing of requests with answers, on rows written out as a rig would
// see them: times in milliseconds, a key per station, R request, A answer,
// ? a frame of unknown direction, - a row with no key (an event, garbage).

#include "protocol/pairing.h"

#include <QStringList>
#include <QTest>

#include <vector>

using protocol::Direction;
using protocol::Role;

Q_DECLARE_METATYPE(Role)

namespace {

// "R1@0-8" : a request of key 1 from 0 ms to 8 ms; "-@5-5": a keyless row.
std::vector<protocol::PairingFrame> rowsOf(const QString &text)
{
    std::vector<protocol::PairingFrame> rows;
    for (const QString &item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        protocol::PairingFrame f;
        const QChar kind = item[0];
        f.direction = kind == QLatin1Char('R') ? Direction::Request
            : kind == QLatin1Char('A')         ? Direction::Answer
                                               : Direction::Unknown;
        const int at = int(item.indexOf(QLatin1Char('@')));
        if (kind != QLatin1Char('-'))
            f.key = item.mid(1, at - 1).toUInt();
        const QStringList times = item.mid(at + 1).split(QLatin1Char('-'));
        f.startUs = qint64(times[0].toDouble() * 1000);
        f.endUs = qint64(times[1].toDouble() * 1000);
        rows.push_back(f);
    }
    return rows;
}

} // namespace

class PairingTest : public QObject {
    Q_OBJECT
private slots:
    void pairing_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("row");
        QTest::addColumn<Role>("role");
        QTest::addColumn<int>("partner");
        QTest::addColumn<double>("replyMs");

        // A panel each way: the answer comes on the other panel, merged in time.
        const QString twoPanels = QStringLiteral("R1@0-8 A1@12-20 R1@31-39 A1@42-50");
        QTest::newRow("two panels: request answered") << twoPanels << 0 << Role::Answered << 1 << 4.0;
        QTest::newRow("two panels: answer paired") << twoPanels << 1 << Role::Answer << 0 << 4.0;
        QTest::newRow("two panels: second answer to second request") << twoPanels << 3 << Role::Answer << 2 << 3.0;
        // Two stations polled in turn: each answer goes to its own station.
        const QString stations = QStringLiteral("R1@0-8 R2@9-17 A2@20-30 A1@31-40");
        QTest::newRow("stations: answer to the station's request") << stations << 3 << Role::Answer << 0 << 23.0;
        QTest::newRow("stations: other station answered") << stations << 1 << Role::Answered << 2 << 3.0;
        // A bus tap: events and garbage between request and answer.
        QTest::newRow("tap: keyless rows between")
            << QStringLiteral("R1@0-8 -@9-9 -@10-11 A1@13-20") << 3 << Role::Answer << 0 << 5.0;
        QTest::newRow("tap: keyless row itself") << QStringLiteral("R1@0-8 -@9-9 A1@13-20") << 1 << Role::None << -1 << 0.0;
        // Lumps: the answer's first bytes were handed over before the
        // request's last: the reply time is 0, never below.
        QTest::newRow("overlap: reply time never negative")
            << QStringLiteral("R1@0-10 A1@8-15") << 1 << Role::Answer << 0 << 0.0;

        // No answer: the next request of its key came first.
        const QString dropped = QStringLiteral("R1@0-8 R1@100-108 A1@110-118");
        QTest::newRow("dropped: next request came first") << dropped << 0 << Role::NoAnswer << -1 << 0.0;
        QTest::newRow("dropped: the next one answered") << dropped << 2 << Role::Answer << 1 << 2.0;
        // No answer: the timeout (1000 ms) passed; an answer after it
        // answers nothing.
        const QString late = QStringLiteral("R1@0-8 A1@1009-1015");
        QTest::newRow("timeout: request") << late << 0 << Role::NoAnswer << -1 << 0.0;
        QTest::newRow("timeout: late answer") << late << 1 << Role::Unanswering << -1 << 0.0;
        QTest::newRow("timeout: exactly at the limit")
            << QStringLiteral("R1@0-8 A1@1008-1015") << 1 << Role::Answer << 0 << 1000.0;
        // The last request: waiting while the clock (now = 500 ms) is
        // within its timeout, no answer once it passed (see the test).
        QTest::newRow("last request: still waiting") << QStringLiteral("R1@0-8") << 0 << Role::Request << -1 << 0.0;
        QTest::newRow("last request: other keys later")
            << QStringLiteral("R1@0-8 R2@100-108") << 0 << Role::Request << -1 << 0.0;
        QTest::newRow("second answer answers nothing")
            << QStringLiteral("R1@0-8 A1@10-18 A1@20-28") << 2 << Role::Unanswering << -1 << 0.0;
        QTest::newRow("answer with no request before") << QStringLiteral("A1@0-8") << 0 << Role::Unanswering << -1 << 0.0;
        // An exception answer is an answer like any other (its key is the
        // function without its 0x80 bit).
        QTest::newRow("exception answer") << QStringLiteral("R3@0-8 A3@20-25") << 1 << Role::Answer << 0 << 12.0;

        // Unknown directions (a write's echo): request, echo, request, echo.
        const QString echoes = QStringLiteral("?6@0-8 ?6@12-20 ?6@40-48 ?6@52-60");
        QTest::newRow("echo: first is a request") << echoes << 0 << Role::Answered << 1 << 4.0;
        QTest::newRow("echo: second its answer") << echoes << 1 << Role::Answer << 0 << 4.0;
        QTest::newRow("echo: third a request again") << echoes << 2 << Role::Answered << 3 << 4.0;
        QTest::newRow("echo: fourth its answer") << echoes << 3 << Role::Answer << 2 << 4.0;
        QTest::newRow("echo: after a known answer, a request")
            << QStringLiteral("R6@0-8 A6@10-18 ?6@30-38 ?6@40-48") << 2 << Role::Answered << 3 << 2.0;
        QTest::newRow("echo: apart by more than the timeout, a request")
            << QStringLiteral("?6@0-8 ?6@2000-2008") << 1 << Role::Request << -1 << 0.0;
    }

    void pairing()
    {
        QFETCH(QString, rows);
        QFETCH(int, row);
        QFETCH(Role, role);
        QFETCH(int, partner);
        QFETCH(double, replyMs);
        const auto frames = rowsOf(rows);
        protocol::PairingOptions options;
        options.timeoutUs = 1'000'000;
        options.nowUs = frames.back().endUs + 500'000;
        const auto at = [&](std::int64_t r) { return frames[size_t(r)]; };
        const protocol::Pairing p = protocol::pairingOf(at, std::int64_t(frames.size()), row, options);
        QCOMPARE(int(p.role), int(role));
        QCOMPARE(int(p.partner), partner);
        QCOMPARE(double(p.replyUs) / 1000.0, replyMs);
    }

    // A request stays a request while its timeout runs, and reads no answer
    // once the clock passed it; rows beyond the scan limit are not read.
    void clockAndLimit()
    {
        const auto frames = rowsOf(QStringLiteral("R1@0-8 -@10-10 -@11-11 -@12-12 A1@13-20"));
        const auto at = [&](std::int64_t r) { return frames[size_t(r)]; };
        protocol::PairingOptions options;
        options.nowUs = 1'008'000;
        QCOMPARE(protocol::pairingOf(at, 1, 0, options).role, Role::Request);
        options.nowUs = 1'008'001;
        QCOMPARE(protocol::pairingOf(at, 1, 0, options).role, Role::NoAnswer);
        options.scanLimit = 4;
        QCOMPARE(protocol::pairingOf(at, 5, 0, options).role, Role::Answered);
        QCOMPARE(protocol::pairingOf(at, 5, 4, options).role, Role::Answer);
        options.scanLimit = 3;
        QCOMPARE(protocol::pairingOf(at, 5, 4, options).role, Role::Unanswering);
        QCOMPARE(protocol::pairingOf(at, 5, 5, options).role, Role::None);
        QCOMPARE(protocol::pairingOf(at, 5, -1, options).role, Role::None);
    }
};

QTEST_GUILESS_MAIN(PairingTest)
#include "tst_pairing.moc"
