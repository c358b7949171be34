#include "console/frames/hex_items.h"
#include "console/transmit/send_options.h"

#include <QTest>

using console::HexItemsError;

namespace {

// "01,02,...": n items, n-1 commas.
QString items(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << QString::number(i % 256, 16);
    return list.join(u',');
}

QByteArray counting(int n)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i)
        bytes.append(char(i % 256));
    return bytes;
}

} // namespace

class TestHexItems : public QObject {
    Q_OBJECT
private slots:
    void rowBytes_data();
    void rowBytes();
};

void TestHexItems::rowBytes_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QString hex = QStringLiteral("Hex");
    QTest::newRow("three values") << hex << "12,34,AB" << QByteArray("\x12\x34\xAB", 3) << "";
    QTest::newRow("single digits") << hex << "1,2" << QByteArray("\x01\x02", 2) << "";
    QTest::newRow("blanks round the comma") << hex << "7 , f" << QByteArray("\x07\x0F", 2) << "";
    QTest::newRow("trailing comma") << hex << "12,34," << QByteArray("\x12\x34\x00", 3) << "";
    QTest::newRow("empty data") << hex << "" << QByteArray(1, '\0') << "";
    QTest::newRow("empty middle item") << hex << "12,,34" << QByteArray("\x12\x00\x34", 3) << "";
    QTest::newRow("lone comma") << hex << "," << QByteArray(2, '\0') << "";
    QTest::newRow("lower case") << hex << "ff,a,0A" << QByteArray("\xFF\x0A\x0A", 3) << "";
    QTest::newRow("prefix 0x stops at x") << hex << "0x0A" << QByteArray(1, '\0') << "";
    QTest::newRow("no leading digit") << hex << "x1,&H1,g" << QByteArray(3, '\0') << "";
    QTest::newRow("digits then junk") << hex << "4g,1z2" << QByteArray("\x04\x01", 2) << "";
    QTest::newRow("blanks tabs line feeds inside") << hex << " 1\t2\n, \n3 "
                                                   << QByteArray("\x12\x03", 2) << "";
    QTest::newRow("leading zeros") << hex << "000000FF" << QByteArray("\xFF", 1) << "";
    QTest::newRow("wide digits are not digits") << hex << QStringLiteral("\uFF11\uFF12,\u00E9")
                                                << QByteArray(2, '\0') << "";
    QTest::newRow("256 values") << hex << items(256) << counting(256) << "";
    QTest::newRow("257 values") << hex << items(257) << QByteArray() << "Cannot send data.";
    QTest::newRow("thousands of commas") << hex << QString(5000, u',') << QByteArray()
                                         << "Cannot send data.";
    QTest::newRow("above FF") << hex << "1FF" << QByteArray() << "Invalid output value";
    QTest::newRow("above FF after good values") << hex << "12,100" << QByteArray()
                                                << "Invalid output value";
    // A 32-bit accumulator would wrap this to 0.
    QTest::newRow("nine digits") << hex << "100000000" << QByteArray() << "Invalid output value";
    QTest::newRow("many digits") << hex << QString(400, u'F') << QByteArray()
                                 << "Invalid output value";
    // Items are converted as they are reached, so a bad value among the
    // first 256 is found before the count runs out.
    QTest::newRow("bad value and too many") << hex << "1FF," + items(300) << QByteArray()
                                            << "Invalid output value";
    // Blanks are dropped inside an item, so numbers split by blanks run
    // together; the box's details then say how items are separated.
    const QString commas = QStringLiteral("Invalid output value\nhex items are separated by commas: 01,03,00");
    QTest::newRow("hex typed with blanks") << hex << "01 03 00 00 00 0A" << QByteArray() << commas;
    QTest::newRow("split by a tab after good items") << hex << "01,03,10\t0A" << QByteArray() << commas;
    QTest::newRow("split number, then junk") << hex << "12,FF F,zz" << QByteArray() << commas;
    QTest::newRow("blank before junk is no split") << hex << "1FF x1" << QByteArray() << "Invalid output value";
    QTest::newRow("only the refused item counts") << hex << "0 1,1FF" << QByteArray() << "Invalid output value";
    QTest::newRow("blanks that join into a byte") << hex << "0 1,0 3" << QByteArray("\x01\x03", 2) << "";
    QTest::newRow("too many items with blanks") << hex << "1 2," + items(300) << QByteArray() << "Cannot send data.";

    QTest::newRow("Txt sends the text") << "Txt" << "AT" << QByteArray("AT") << "";
    QTest::newRow("Txt is never parsed") << "Txt" << "12,34" << QByteArray("12,34") << "";
    QTest::newRow("Txt with many commas") << "Txt" << QString(300, u',') << QByteArray(300, ',')
                                          << "";
    QTest::newRow("Txt through the code page")
        << "Txt" << QStringLiteral("\u00E9\u20AC\r\n") << QByteArray("\xE9?\r\n", 4) << "";
    QTest::newRow("Txt empty") << "Txt" << "" << QByteArray() << "";
    QTest::newRow("lower-case txt is hex") << "txt" << "41" << QByteArray("\x41", 1) << "";
    QTest::newRow("empty type is hex") << "" << "41,54" << QByteArray("\x41\x54", 2) << "";
    QTest::newRow("TXT is hex") << "TXT" << "AT" << QByteArray("\x0A", 1) << "";
}

void TestHexItems::rowBytes()
{
    QFETCH(QString, type);
    QFETCH(QString, data);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    const console::HexItems out = console::bytesForRow(type, data);
    QCOMPARE(out.bytes, bytes);
    QStringList told{console::hexItemsMessage(out.error), console::hexItemsDetails(data, out.error)};
    told.removeAll(QString());
    QCOMPARE(told.join(u'\n'), message);
    QCOMPARE(out.error == HexItemsError::None, message.isEmpty());
}

QTEST_GUILESS_MAIN(TestHexItems)
#include "tst_hex_items.moc"
