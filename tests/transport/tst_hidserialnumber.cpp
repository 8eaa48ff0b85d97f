#include "transport/hidserialnumber.h"

#include <QtTest>

#include <algorithm>
#include <optional>
#include <string>

// Telling a serial number from the string at index 0 that some HID stacks
// give for a device without one.
class TestHidSerialNumber : public QObject
{
    Q_OBJECT
private slots:
    void serialNumber_data();
    void serialNumber();
};

using Units = std::optional<std::u16string>;

void TestHidSerialNumber::serialNumber_data()
{
    QTest::addColumn<QString>("serial");   // the answer to the serial-number query
    QTest::addColumn<Units>("index0");     // none: the query left the buffer untouched
    QTest::addColumn<QString>("expected");

    const Units english = std::u16string(1, char16_t(0x0409));
    QTest::newRow("a serial number next to the language ID is kept") << "A1B2C3" << english << "A1B2C3";
    QTest::newRow("a serial number equal to the string at index 0 is none") << "0409" << Units(u"0409") << "";
    QTest::newRow("an index-0 string ending in a zero compares up to it")
        << "0409X" << Units(std::u16string(u"0409") + char16_t(0)) << "";
    QTest::newRow("an index-0 query that leaves the buffer untouched means none") << "A1B2C3" << Units() << "";
    QTest::newRow("an empty answer is none") << "" << english << "";
}

void TestHidSerialNumber::serialNumber()
{
    QFETCH(QString, serial);
    QFETCH(Units, index0);
    QFETCH(QString, expected);

    // The buffers of the queries, 254 units each.
    constexpr int units = 254;
    char16_t serialUnits[units] = {};
    std::copy_n(serial.utf16(), std::min(int(serial.size()), units), serialUnits);
    char16_t index0Units[units];
    std::fill(std::begin(index0Units), std::end(index0Units), char16_t(0xFFFF));
    if (index0)
        std::copy_n(index0->begin(), std::min(int(index0->size()), units), index0Units);

    QCOMPARE(serialNumberBesideIndex0(serialUnits, index0Units, units), expected);
}

QTEST_APPLESS_MAIN(TestHidSerialNumber)
#include "tst_hidserialnumber.moc"
