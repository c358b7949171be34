// The configuration exchange without a window, against a pseudo-terminal.

#include "configurator/exchange.h"
#include "serial/serial_control.h"
#include "tests/support/hex.h"
#include "tests/support/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using configurator::Exchange;
using configurator::ExchangeRequest;
using configurator::ExchangeResult;
using configurator::Opening;
using configurator::Outcome;
using testsupport::PseudoTerminal;

Q_DECLARE_METATYPE(Outcome)

namespace {

using testsupport::hex;

// The adapter: answers each whole frame with `reply` (nothing when empty)
// and notes the baud rate the frame came at.
class FarEnd : public QObject {
public:
    explicit FarEnd(PseudoTerminal &pty) : m_pty(pty)
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            received += m_pty.readAvailable(2);
            if (received.size() < 8 * (frames + 1))
                return;
            ++frames;
            baudRate = m_pty.slaveBaudRate();
            if (!reply.isEmpty())
                m_pty.write(reply);
        });
        m_poll.start(2);
    }
    QByteArray reply;
    QByteArray received;
    int frames = 0;
    int baudRate = 0;

private:
    PseudoTerminal &m_pty;
    QTimer m_poll;
};

struct Rig {
    Rig()
    {
        port.setCommPort(1, pty.slavePath());
        port.setSettings(QStringLiteral("9600,e,7,1"));
        QObject::connect(&port, &serial::SerialControl::bytesArrived, &wait, &configurator::EventWait::wake);
    }
    PseudoTerminal pty;
    serial::SerialControl port;
    configurator::EventWait wait;
    desktop::MonotonicTickCounter ticks;
    Exchange exchange{port, ticks, wait};
    FarEnd adapter{pty};
};

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("settingsAfter");
        QTest::addColumn<bool>("waitsTheLimit");
        QTest::newRow("acknowledged") << hex("06") << Outcome::Acknowledged << "19200,o,8,1" << false;
        QTest::newRow("refused") << hex("15") << Outcome::Refused << "9600,e,7,1" << false;
        QTest::newRow("another byte") << hex("41") << Outcome::OtherReply << "9600,e,7,1" << false;
        QTest::newRow("silence") << QByteArray() << Outcome::Silence << "9600,e,7,1" << true;
        // Two bytes at once do not end the wait; the first one decides.
        QTest::newRow("two bytes, ack first") << hex("06 15") << Outcome::Acknowledged << "19200,o,8,1" << true;
        QTest::newRow("two bytes, refusal first") << hex("15 06") << Outcome::Refused << "9600,e,7,1" << true;
    }
    void outcomes()
    {
        QFETCH(QByteArray, reply);
        QFETCH(Outcome, outcome);
        QFETCH(QString, settingsAfter);
        QFETCH(bool, waitsTheLimit);
        Rig rig;
        rig.adapter.reply = reply;
        QElapsedTimer clock;
        clock.start();
        const ExchangeResult result = rig.exchange.run(configurator::presetRequest(2));
        const qint64 waited = clock.elapsed();

        QCOMPARE(result.opening, Opening::Opened);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.frame.toHex(' '), hex("7E 35 5C 4F 38 31 47 7E").toHex(' '));
        QCOMPARE(rig.adapter.received.toHex(' '), hex("7E 35 5C 4F 38 31 47 7E").toHex(' '));
        QCOMPARE(rig.adapter.baudRate, 9600);
        QCOMPARE(result.reply.toHex(' '), reply.toHex(' '));
        QVERIFY(!rig.port.portOpen());
        QCOMPARE(rig.port.settings(), settingsAfter);
        if (waitsTheLimit)
            QVERIFY2(waited > 3000, qPrintable(QString::number(waited)));
        else
            QVERIFY2(waited < 2500, qPrintable(QString::number(waited)));
    }

    // After an acknowledgement the next frame goes out at the settings the
    // adapter took; without one the port keeps its settings.
    void settingsSwitchCarriesTheNextExchange()
    {
        Rig rig;
        rig.adapter.reply = hex("06");
        const ExchangeRequest user = configurator::userDefinedRequest(38400, QStringLiteral("O"), 8, 2);
        QCOMPARE(user.frame.toHex(' '), hex("7E 35 54 4F 38 32 40 7E").toHex(' '));
        QCOMPARE(rig.exchange.run(user).outcome, Outcome::Acknowledged);
        QCOMPARE(rig.port.settings(), QStringLiteral("38400,o,8,2"));

        rig.adapter.reply = hex("15");
        QCOMPARE(rig.exchange.run(configurator::presetRequest(0)).outcome, Outcome::Refused);
        QCOMPARE(rig.adapter.frames, 2);
        QCOMPARE(rig.adapter.baudRate, 38400);
        QCOMPARE(rig.adapter.received.mid(8).toHex(' '), hex("7E 35 60 45 37 31 40 7E").toHex(' '));
        QCOMPARE(rig.port.settings(), QStringLiteral("38400,o,8,2"));
    }

    void portLeftOpenIsReopened()
    {
        Rig rig;
        QVERIFY(rig.port.setPortOpen(true));
        rig.adapter.reply = hex("06");
        const ExchangeResult result = rig.exchange.run(configurator::presetRequest(1));
        QCOMPARE(result.opening, Opening::Reopened);
        QCOMPARE(result.outcome, Outcome::Acknowledged);
        QCOMPARE(rig.adapter.received.toHex(' '), hex("7E 35 60 4F 38 32 4C 7E").toHex(' '));
        QCOMPARE(rig.port.settings(), QStringLiteral("9600,o,8,1"));
        QVERIFY(!rig.port.portOpen());
    }

    void portThatCannotOpenSendsNothing()
    {
        Rig rig;
        rig.port.setCommPort(2, QStringLiteral("/nonexistent/ttyUSB1"));
        const ExchangeResult result = rig.exchange.run(configurator::presetRequest(0));
        QCOMPARE(result.opening, Opening::Failed);
        QVERIFY(!result.opened());
        QVERIFY(result.frame.isEmpty());
        QVERIFY(!rig.port.lastError().isEmpty());
        QTest::qWait(50);
        QCOMPARE(rig.adapter.received, QByteArray());
        QCOMPARE(rig.port.settings(), QStringLiteral("9600,e,7,1"));
    }

    // The program ending during the wait stops the exchange there.
    void cancelledDuringTheWait()
    {
        Rig rig;
        QTimer::singleShot(200, &rig.wait, &configurator::EventWait::cancel);
        QElapsedTimer clock;
        clock.start();
        const ExchangeResult result = rig.exchange.run(configurator::presetRequest(0));
        QCOMPARE(result.outcome, Outcome::Cancelled);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!rig.port.portOpen());
        QCOMPARE(rig.port.settings(), QStringLiteral("9600,e,7,1"));
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
