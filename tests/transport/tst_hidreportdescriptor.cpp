#include "transport/hidreportdescriptor.h"

#include <QtTest>

class TestHidReportDescriptor : public QObject
{
    Q_OBJECT
private slots:
    void lengths_data();
    void lengths();
};

void TestHidReportDescriptor::lengths_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("feature");
    QTest::addColumn<bool>("numbered");
    QTest::addColumn<int>("usagePage");
    QTest::addColumn<int>("usage");

    // Vendor page FFA0, usage 1: 8-byte input and output reports, a 9-byte
    // feature report, no report IDs.
    const QByteArray bridge = QByteArray::fromHex("06a0ff0901a101" "150026ff00" "75089508" "0901" "8102"
                                                  "0902" "9102" "9509" "0903" "b102" "c0");
    QTest::newRow("a bridge without report IDs: the ID byte still counts")
        << bridge << 9 << 9 << 10 << false << 0xFFA0 << 0x0001;

    // Two input reports, ID 1 of 3 bytes and ID 2 of 20 bytes.
    QTest::newRow("numbered reports: the longest one")
        << QByteArray::fromHex("05010902a101" "8501750895038102" "85029514" "8102" "c0")
        << 21 << 0 << 0 << true << 0x0001 << 0x0002;

    // 12 bits then 4 bits: whole bytes are rounded up per report.
    QTest::newRow("bit fields add up to whole bytes")
        << QByteArray::fromHex("0600ff0901a101" "750c95018102" "750495018102" "750195018102" "c0")
        << 4 << 0 << 0 << false << 0xFF00 << 0x0001;

    // Push saves report size and count, Pop brings them back.
    QTest::newRow("push and pop")
        << QByteArray::fromHex("0600ff0901a101" "75089502" "a4" "75109504" "8102" "b4" "8102" "c0")
        << 11 << 0 << 0 << false << 0xFF00 << 0x0001;

    QTest::newRow("a long item is passed over")
        << QByteArray::fromHex("06a0ff0901a101" "fe02aa0102" "75089508" "8102" "c0") << 9 << 0 << 0 << false
        << 0xFFA0 << 0x0001;
    QTest::newRow("a descriptor cut inside an item is read up to it")
        << QByteArray::fromHex("06a0ff0901a101" "75089508" "8102" "9702") << 9 << 0 << 0 << false << 0xFFA0
        << 0x0001;
    QTest::newRow("empty") << QByteArray() << 0 << 0 << 0 << false << 0 << 0;
    QTest::newRow("a huge count is capped")
        << QByteArray::fromHex("7520" "97ffffffff" "8102") << 0xFFFF << 0 << 0 << false << 0 << 0;
}

void TestHidReportDescriptor::lengths()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(int, input);
    QFETCH(int, output);
    QFETCH(int, feature);
    QFETCH(bool, numbered);
    QFETCH(int, usagePage);
    QFETCH(int, usage);

    const HidReportLayout layout = parseHidReportDescriptor(descriptor);
    QCOMPARE(int(layout.caps.inputReportLength), input);
    QCOMPARE(int(layout.caps.outputReportLength), output);
    QCOMPARE(int(layout.caps.featureReportLength), feature);
    QCOMPARE(layout.numberedReports, numbered);
    QCOMPARE(int(layout.caps.usagePage), usagePage);
    QCOMPARE(int(layout.caps.usage), usage);
}

QTEST_GUILESS_MAIN(TestHidReportDescriptor)
#include "tst_hidreportdescriptor.moc"
