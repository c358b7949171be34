#include "console/sfrmtransmit.h"
#include <QTest>
class TestTransmitWindow : public QObject {
    Q_OBJECT
private slots:
    void placeholder() {}
};
QTEST_MAIN(TestTransmitWindow)
#include "tst_transmit_window.moc"
