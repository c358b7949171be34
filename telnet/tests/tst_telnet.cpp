// The session and the writer against byte sequences written out from
// RFC 854 (IAC 255, SB 250, SE 240, WILL 251, WONT 252, DO 253, DONT 254,
// NOP 241), RFC 856 (BINARY 0), RFC 858 (SUPPRESS-GO-AHEAD 3) and RFC 2217
// (COM-PORT-OPTION 44; SET-BAUDRATE 1, SET-DATASIZE 2, SET-PARITY 3,
// SET-STOPSIZE 4, SET-CONTROL 5, NOTIFY-LINESTATE 6, NOTIFY-MODEMSTATE 7,
// PURGE-DATA 12; the server's answers at +100).
#include "telnet/telnet.h"
#include "tests/support/hex.h"

#include <QTest>

namespace {

std::string hex(const char *text)
{
    return testsupport::hex(text).toStdString();
}

QByteArray shown(const std::string &bytes)
{
    return QByteArray::fromStdString(bytes).toHex(' ').toUpper();
}

} // namespace

class TelnetTest : public QObject {
    Q_OBJECT
private slots:
    void start();
    void reading_data();
    void reading();
    void endlessSubnegotiationStaysBounded();
    void writing_data();
    void writing();
    void numbers();
};

void TelnetTest::start()
{
    telnet::Session s;
    // WILL BINARY, DO BINARY, WILL COM-PORT-OPTION.
    QCOMPARE(shown(s.start()), shown(hex("FF FB 00 FF FD 00 FF FB 2C")));
    telnet::Session plain(false);
    QCOMPARE(shown(plain.start()), shown(hex("FF FB 00 FF FD 00")));
}

// Each row is what the server sends after our start(), in reads split at
// '|'; then the data, the replies and the COM-PORT messages ("command:value
// hex" each, ';' between) it must give, and whether COM-PORT was agreed.
void TelnetTest::reading_data()
{
    QTest::addColumn<QString>("reads");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<QString>("messages");
    QTest::addColumn<bool>("comPort");

    QTest::newRow("plain data") << "41 42 00 0D 0A" << "41 42 00 0D 0A" << "" << "" << false;
    QTest::newRow("IAC IAC is one FF") << "41 FF FF 42" << "41 FF 42" << "" << "" << false;
    QTest::newRow("IAC IAC cut between reads") << "41 FF|FF 42" << "41 FF 42" << "" << "" << false;
    QTest::newRow("IAC at the end of a read, data after") << "41 FF|F1 42" << "41 42" << "" << "" << false;
    QTest::newRow("FF FF FF FF is two FF") << "FF FF FF FF" << "FF FF" << "" << "" << false;
    QTest::newRow("NOP, GA, AYT, DM dropped") << "41 FF F1 FF F9 FF F6 FF F2 42" << "41 42" << "" << "" << false;
    QTest::newRow("stray SE dropped") << "FF F0 41" << "41" << "" << "" << false;
    QTest::newRow("answers to our requests are not answered")
        << "FF FD 00 FF FB 00 FF FD 2C" << "" << "" << "" << true;
    QTest::newRow("answers cut byte by byte")
        << "FF|FD|2C|41" << "41" << "" << "" << true;
    QTest::newRow("WILL ECHO refused with DONT") << "FF FB 01" << "" << "FF FE 01" << "" << false;
    QTest::newRow("DO TERMINAL-TYPE refused with WONT") << "FF FD 18" << "" << "FF FC 18" << "" << false;
    QTest::newRow("DO NAWS cut in the middle") << "FF FD|1F 41" << "41" << "FF FC 1F" << "" << false;
    QTest::newRow("WILL SGA agreed, once") << "FF FB 03 FF FB 03" << "" << "FF FD 03" << "" << false;
    QTest::newRow("DO SGA agreed") << "FF FD 03" << "" << "FF FB 03" << "" << false;
    QTest::newRow("WILL COM-PORT from the server is not ours to take")
        << "FF FB 2C" << "" << "FF FE 2C" << "" << false;
    QTest::newRow("DONT for what we never did: silence") << "FF FE 01 FF FC 01" << "" << "" << "" << false;
    QTest::newRow("agreed, then withdrawn: acknowledged once")
        << "FF FD 00 FF FE 00 FF FE 00" << "" << "FF FC 00" << "" << false;
    QTest::newRow("server withdraws WILL BINARY after agreeing")
        << "FF FB 00 FF FC 00" << "" << "FF FE 00" << "" << false;
    QTest::newRow("SET-BAUDRATE answer 9600")
        << "FF FA 2C 65 00 00 25 80 FF F0" << "" << "" << "1:00 00 25 80" << false;
    QTest::newRow("SET-BAUDRATE answer cut at every byte")
        << "FF|FA|2C|65|00|00|25|80|FF|F0|41" << "41" << "" << "1:00 00 25 80" << false;
    QTest::newRow("value holding FF is doubled on the wire")
        << "FF FA 2C 65 00 01 FF FF 00 FF F0" << "" << "" << "1:00 01 FF 00" << false;
    QTest::newRow("DATASIZE, PARITY, STOPSIZE, CONTROL answers")
        << "FF FA 2C 66 08 FF F0 FF FA 2C 67 03 FF F0 FF FA 2C 68 02 FF F0 FF FA 2C 69 08 FF F0" << "" << ""
        << "2:08;3:03;4:02;5:08" << false;
    QTest::newRow("NOTIFY-LINESTATE and NOTIFY-MODEMSTATE amid data")
        << "41 FF FA 2C 6A 60 FF F0 42 FF FA 2C 6B B0 FF F0 43" << "41 42 43" << "" << "6:60;7:B0" << false;
    QTest::newRow("PURGE-DATA answer") << "FF FA 2C 70 01 FF F0" << "" << "" << "12:01" << false;
    QTest::newRow("signature request answered with ours")
        << "FF FA 2C 64 FF F0" << "" << "FF FA 2C 00 73 65 72 69 61 6C 20 63 6F 6E 73 6F 6C 65 FF F0"
        << "0:" << false;
    QTest::newRow("server's signature taken")
        << "FF FA 2C 64 73 32 6E FF F0" << "" << "" << "0:73 32 6E" << false;
    QTest::newRow("unknown COM-PORT command dropped") << "FF FA 2C 7F 01 FF F0 41" << "41" << "" << "" << false;
    QTest::newRow("subnegotiation of another option dropped")
        << "FF FA 18 01 FF F0 41" << "41" << "" << "" << false;
    QTest::newRow("IAC then a command inside SB breaks it off")
        << "FF FA 2C 65 00 FF F1 41" << "41" << "" << "" << false;
    QTest::newRow("IAC then DO inside SB: SB dropped, DO answered")
        << "FF FA 2C 65 FF FD 18 41" << "41" << "FF FC 18" << "" << false;
    QTest::newRow("empty SB dropped") << "FF FA FF F0 41" << "41" << "" << "" << false;
    QTest::newRow("DONT COM-PORT: refused") << "FF FE 2C" << "" << "" << "" << false;
}

void TelnetTest::reading()
{
    QFETCH(QString, reads);
    QFETCH(QString, data);
    QFETCH(QString, replies);
    QFETCH(QString, messages);
    QFETCH(bool, comPort);

    telnet::Session s;
    s.start();
    std::string gotData, gotReplies;
    for (const QString &piece : reads.split(QLatin1Char('|'))) {
        const std::string bytes = hex(piece.toLatin1().constData());
        s.read(bytes.data(), bytes.size(), gotData, gotReplies);
    }
    QCOMPARE(shown(gotData), shown(hex(data.toLatin1().constData())));
    QCOMPARE(shown(gotReplies), shown(hex(replies.toLatin1().constData())));
    QStringList got;
    for (const telnet::ComPortMessage &m : s.takeMessages())
        got << QString::number(int(m.command)) + QLatin1Char(':') + QString::fromLatin1(shown(m.value));
    QCOMPARE(got.join(QLatin1Char(';')), messages);
    QCOMPARE(s.comPortAgreed(), comPort);
    QCOMPARE(s.comPortRefused(), QTest::currentDataTag() == QByteArray("DONT COM-PORT: refused"));
    QVERIFY(s.takeMessages().empty());
}

void TelnetTest::endlessSubnegotiationStaysBounded()
{
    // A subnegotiation that goes on past any sensible length is dropped
    // whole, and what follows its end reads as data again.
    telnet::Session s;
    std::string data, replies;
    const std::string head = hex("FF FA 2C 65");
    s.read(head.data(), head.size(), data, replies);
    const std::string filler(64 * 1024, char(0x41));
    for (int i = 0; i < 16; ++i)
        s.read(filler.data(), filler.size(), data, replies);
    const std::string tail = hex("FF F0 42 FF FA 2C 6A 10 FF F0");
    s.read(tail.data(), tail.size(), data, replies);
    QCOMPARE(shown(data), shown(hex("42")));
    const auto messages = s.takeMessages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(int(messages[0].command), 6);
    // At the limit exactly the message still counts.
    telnet::Session edge;
    std::string sub = hex("FF FA 2C 6A");
    sub += std::string(telnet::Session::subnegotiationLimit - 2, char(0x01));
    sub += hex("FF F0");
    edge.read(sub.data(), sub.size(), data, replies);
    QCOMPARE(edge.takeMessages().size(), size_t(1));
    telnet::Session over;
    sub.insert(4, 1, char(0x01));
    over.read(sub.data(), sub.size(), data, replies);
    QCOMPARE(over.takeMessages().size(), size_t(0));
}

void TelnetTest::writing_data()
{
    QTest::addColumn<QByteArray>("made");
    QTest::addColumn<QString>("wire");
    auto row = [](const char *name, const std::string &made, const char *wire) {
        QTest::newRow(name) << QByteArray::fromStdString(made) << QString::fromLatin1(wire);
    };
    const std::string data = hex("FF 00 FF FF 41");
    row("data: every FF doubled", telnet::escape(data.data(), data.size()), "FF FF 00 FF FF FF FF 41");
    row("data without FF as it is", telnet::escape("AB", 2), "41 42");
    row("SET-BAUDRATE 9600", telnet::setBaudRate(9600), "FF FA 2C 01 00 00 25 80 FF F0");
    row("SET-BAUDRATE 115200", telnet::setBaudRate(115200), "FF FA 2C 01 00 01 C2 00 FF F0");
    row("SET-BAUDRATE 65280 doubles its FF", telnet::setBaudRate(65280), "FF FA 2C 01 00 00 FF FF 00 FF F0");
    row("SET-DATASIZE 7", telnet::setDataSize(7), "FF FA 2C 02 07 FF F0");
    row("SET-PARITY EVEN", telnet::setParity(telnet::Parity::Even), "FF FA 2C 03 03 FF F0");
    row("SET-PARITY NONE", telnet::setParity(telnet::Parity::None), "FF FA 2C 03 01 FF F0");
    row("SET-PARITY ODD", telnet::setParity(telnet::Parity::Odd), "FF FA 2C 03 02 FF F0");
    row("SET-STOPSIZE 2", telnet::setStopSize(telnet::StopSize::Two), "FF FA 2C 04 02 FF F0");
    row("SET-STOPSIZE 1.5", telnet::setStopSize(telnet::StopSize::OneAndHalf), "FF FA 2C 04 03 FF F0");
    row("SET-CONTROL no flow control", telnet::setControl(telnet::Control::NoFlowControl), "FF FA 2C 05 01 FF F0");
    row("SET-CONTROL DTR on", telnet::setControl(telnet::Control::DtrOn), "FF FA 2C 05 08 FF F0");
    row("SET-CONTROL DTR off", telnet::setControl(telnet::Control::DtrOff), "FF FA 2C 05 09 FF F0");
    row("SET-CONTROL RTS on", telnet::setControl(telnet::Control::RtsOn), "FF FA 2C 05 0B FF F0");
    row("SET-CONTROL RTS off", telnet::setControl(telnet::Control::RtsOff), "FF FA 2C 05 0C FF F0");
    row("PURGE-DATA receive buffer", telnet::purgeData(telnet::Purge::Receive), "FF FA 2C 0C 01 FF F0");
}

void TelnetTest::writing()
{
    QFETCH(QByteArray, made);
    QFETCH(QString, wire);
    QCOMPARE(made.toHex(' ').toUpper(), shown(hex(wire.toLatin1().constData())));
}

void TelnetTest::numbers()
{
    QCOMPARE((telnet::ComPortMessage{telnet::ComPort::SetBaudRate, hex("00 01 C2 00")}.number()), 115200u);
    QCOMPARE((telnet::ComPortMessage{telnet::ComPort::SetDataSize, hex("07")}.number()), 7u);
    QCOMPARE((telnet::ComPortMessage{telnet::ComPort::SetBaudRate, hex("01 00 01 C2 00")}.number()), 0u);
    QCOMPARE((telnet::ComPortMessage{telnet::ComPort::SetBaudRate, {}}.number()), 0u);
}

QTEST_GUILESS_MAIN(TelnetTest)
#include "tst_telnet.moc"
