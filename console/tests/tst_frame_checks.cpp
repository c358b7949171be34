#include "console/frames/frame_checks.h"
#include "console/frames/frame_index.h"
#include "console/frames/whole_number.h"

#include <limits>

#include <QTest>

using console::CheckVerdict;
using console::FrameCheck;

Q_DECLARE_METATYPE(FrameCheck)
Q_DECLARE_METATYPE(CheckVerdict)

class TestFrameChecks : public QObject {
    Q_OBJECT
private slots:
    void appended_data()
    {
        QTest::addColumn<FrameCheck>("check");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("appended");
        QTest::newRow("modbus read request") << FrameCheck::ModbusRtu << QByteArray::fromHex("01030000000A")
                                             << QByteArray::fromHex("C5CD");
        QTest::newRow("modbus nothing") << FrameCheck::ModbusRtu << QByteArray() << QByteArray::fromHex("FFFF");
        QTest::newRow("sum8 wraps") << FrameCheck::Sum8 << QByteArray::fromHex("80FF81") << QByteArray::fromHex("00");
        QTest::newRow("lrc upper-case digits") << FrameCheck::Lrc << QByteArray::fromHex("01030000000A") << QByteArray("F2");
        QTest::newRow("lrc of text") << FrameCheck::Lrc << QByteArray("AT") << QByteArray("6B");
        // FX: read 4 bytes at 10F6, the sum over the bytes after STX through ETX.
        QTest::newRow("fx sum after STX") << FrameCheck::FxSum << QByteArray("\x02" "010F604" "\x03") << QByteArray("74");
        QTest::newRow("fx sum, no STX") << FrameCheck::FxSum << QByteArray("010F604" "\x03") << QByteArray("74");
        QTest::newRow("fx sum, bytes before STX") << FrameCheck::FxSum << QByteArray("\x05\x02" "010F604" "\x03")
                                                  << QByteArray("74");
        QTest::newRow("fx sum wraps, upper case") << FrameCheck::FxSum << QByteArray("\x02\xFF\xFB") << QByteArray("FA");
        QTest::newRow("mewtocol bcc") << FrameCheck::MewtocolBcc << QByteArray("%01#RCSX0000") << QByteArray("1D");
        QTest::newRow("mewtocol bcc from %") << FrameCheck::MewtocolBcc << QByteArray("\r%01$RC1") << QByteArray("20");
        QTest::newRow("mewtocol bcc, no %") << FrameCheck::MewtocolBcc << QByteArray("01$RC1") << QByteArray("05");
        QTest::newRow("none") << FrameCheck::None << QByteArray("AT") << QByteArray();
    }
    void appended()
    {
        QFETCH(FrameCheck, check);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, appended);
        QCOMPARE(console::checkBytes(check, bytes).toHex(' '), appended.toHex(' '));
    }

    void verified_data()
    {
        QTest::addColumn<FrameCheck>("check");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<CheckVerdict>("verdict");
        const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
        QTest::newRow("modbus good") << FrameCheck::ModbusRtu << hex("01030000000AC5CD") << CheckVerdict::Ok;
        QTest::newRow("modbus bytes swapped") << FrameCheck::ModbusRtu << hex("01030000000ACDC5") << CheckVerdict::Bad;
        QTest::newRow("modbus data flipped") << FrameCheck::ModbusRtu << hex("01030000010AC5CD") << CheckVerdict::Bad;
        QTest::newRow("modbus three bytes") << FrameCheck::ModbusRtu << hex("00FF80") << CheckVerdict::Bad;
        QTest::newRow("modbus too short") << FrameCheck::ModbusRtu << hex("C5CD") << CheckVerdict::NotApplicable;
        QTest::newRow("sum8 good") << FrameCheck::Sum8 << hex("01020306") << CheckVerdict::Ok;
        QTest::newRow("sum8 bad") << FrameCheck::Sum8 << hex("01020307") << CheckVerdict::Bad;
        QTest::newRow("sum8 one byte") << FrameCheck::Sum8 << hex("00") << CheckVerdict::NotApplicable;
        QTest::newRow("sum8 two bytes") << FrameCheck::Sum8 << hex("0505") << CheckVerdict::Ok;
        QTest::newRow("lrc good") << FrameCheck::Lrc << (hex("1103006B0003") + "7E") << CheckVerdict::Ok;
        QTest::newRow("lrc lower case") << FrameCheck::Lrc << (hex("1103006B0003") + "7e") << CheckVerdict::Ok;
        QTest::newRow("lrc not hex") << FrameCheck::Lrc << (hex("1103006B0003") + "7G") << CheckVerdict::Bad;
        QTest::newRow("fx good") << FrameCheck::FxSum << QByteArray("\x02" "010F604" "\x03" "74") << CheckVerdict::Ok;
        QTest::newRow("fx bad") << FrameCheck::FxSum << QByteArray("\x02" "010F604" "\x03" "75") << CheckVerdict::Bad;
        QTest::newRow("mewtocol good") << FrameCheck::MewtocolBcc << QByteArray("%01#RCSX00001D") << CheckVerdict::Ok;
        QTest::newRow("mewtocol bad") << FrameCheck::MewtocolBcc << QByteArray("%01#RCSX00001C") << CheckVerdict::Bad;
        QTest::newRow("mewtocol no check") << FrameCheck::MewtocolBcc << QByteArray("%01#RCSX0000**") << CheckVerdict::Ok;
        QTest::newRow("none") << FrameCheck::None << hex("01030000000AC5CD") << CheckVerdict::NotApplicable;
    }
    void verified()
    {
        QFETCH(FrameCheck, check);
        QFETCH(QByteArray, frame);
        QFETCH(CheckVerdict, verdict);
        QCOMPARE(console::verifyFrame(check, frame), verdict);
    }

    void names()
    {
        for (const char *name : {"none", "modbus-rtu", "sum8", "lrc", "fx-sum", "mewtocol-bcc"}) {
            const auto check = console::frameCheckFromName(QString::fromLatin1(name));
            QVERIFY2(check, name);
            QCOMPARE(console::frameCheckName(*check), QString::fromLatin1(name));
        }
        for (const char *name : {"", "Modbus-RTU", "crc", "sum8 ", "fx", "FX-sum", "mewtocol"})
            QVERIFY2(!console::frameCheckFromName(QString::fromLatin1(name)), name);
    }

    // Every number a user types or a file holds is read whole.
    void wholeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("number");
        QTest::addColumn<qint64>("value");
        QTest::newRow("plain") << "10" << true << qint64(10);
        QTest::newRow("blanks and a sign") << " -7 " << true << qint64(-7);
        QTest::newRow("plus") << "+3" << true << qint64(3);
        QTest::newRow("NUL after the digits") << QString::fromLatin1("10\0junk", 7) << false << qint64(0);
        QTest::newRow("NUL at the end") << QString::fromLatin1("10\0", 3) << false << qint64(0);
        QTest::newRow("fraction") << "1.5" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("sign alone") << "-" << false << qint64(0);
        QTest::newRow("two signs") << "+-1" << false << qint64(0);
        QTest::newRow("blank inside") << "1 0" << false << qint64(0);
        QTest::newRow("Arabic-Indic digit") << QString(QChar(0x0663)) << false << qint64(0);
        QTest::newRow("largest") << "9223372036854775807" << true << std::numeric_limits<qint64>::max();
        QTest::newRow("one past the largest") << "9223372036854775808" << false << qint64(0);
        QTest::newRow("smallest") << "-9223372036854775808" << true << std::numeric_limits<qint64>::min();
        QTest::newRow("one past the smallest") << "-9223372036854775809" << false << qint64(0);
    }
    void wholeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, number);
        QFETCH(qint64, value);
        const std::optional<qint64> read = console::parseWholeNumber(text);
        QCOMPARE(read.has_value(), number);
        if (number)
            QCOMPARE(*read, value);
        // The gap of the split rule reads through it.
        QString reason;
        QCOMPARE(console::parseGapMs(text, &reason).has_value(), number && value >= 1 && value <= 10000);
    }
};

QTEST_GUILESS_MAIN(TestFrameChecks)
#include "tst_frame_checks.moc"
