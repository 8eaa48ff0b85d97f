#include "fakes/fakehidbackend.h"
#include "transport/usblink.h"

#include <QSignalSpy>
#include <QtTest>

// The link to the meter's cable against a fake HID system: which device it
// takes for the cable, what it sends it, and what it reports. What the
// program makes of the reports is the session's business (tst_metersession).
class TestUsbLink : public QObject
{
    Q_OBJECT
private slots:
    void deviceList_data();
    void deviceList();
    void selectByPath();
    void setupReport();
    void readFailuresAreReported();
    void aCableIsReadByOneLinkAtATime();
};

void TestUsbLink::deviceList_data()
{
    QTest::addColumn<QStringList>("devices");   // "product|serial", no serial without "|"
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QList<int>>("cables");   // what the user may choose from

    QTest::newRow("the cable is selected")
        << QStringList({"Optical Mouse", "USB to Serial"}) << QStringList({"Optical Mouse", "USB to Serial"}) << 1
        << QList<int>{1};
    QTest::newRow("a device with a serial number is not selected, but may be chosen")
        << QStringList({"USB to Serial|0042"}) << QStringList({"USB to Serial (Serial=0042)"}) << -1 << QList<int>{0};
    QTest::newRow("no product string: vendor and product id")
        << QStringList({""}) << QStringList({"Device VID=04D9 PID=A0CD"}) << -1 << QList<int>();
    QTest::newRow("of two cables the later one")
        << QStringList({"USB to Serial", "Keyboard", "USB to Serial"})
        << QStringList({"USB to Serial", "Keyboard", "USB to Serial"}) << 2 << QList<int>{0, 2};
    QTest::newRow("a product that only starts alike")
        << QStringList({"USB to Serial Bridge"}) << QStringList({"USB to Serial Bridge"}) << -1 << QList<int>();
    QTest::newRow("nothing listed") << QStringList() << QStringList() << -1 << QList<int>();
}

void TestUsbLink::deviceList()
{
    QFETCH(QStringList, devices);
    QFETCH(QStringList, names);
    QFETCH(int, selected);

    auto system = std::make_shared<FakeHidSystem>();
    for (const QString &entry : devices) {
        FakeHidDevice d = fakeHidDevice(QString::number(system->devices.size()), entry.section(QLatin1Char('|'), 0, 0));
        if (entry.contains(QLatin1Char('|')))
            d.serial = entry.section(QLatin1Char('|'), 1);
        d.attributes.vendorId = 0x04d9;
        d.attributes.productId = 0xa0cd;
        system->add(d);
    }
    UsbLink link(system->backend());
    QSignalSpy listChanged(&link, &UsbLink::deviceListChanged);
    link.start();
    QCOMPARE(link.deviceNames(), names);
    QCOMPARE(link.selectedRow(), selected);
    QTEST(link.cableRows(), "cables");
    QCOMPARE(listChanged.size(), 1);
    // Nothing is read before the link is connected.
    QVERIFY(!link.isReading());
    QCOMPARE(system->readOpens(), 0);
}

void TestUsbLink::selectByPath()
{
    auto system = std::make_shared<FakeHidSystem>();
    system->add(fakeHidDevice(QStringLiteral("a")));
    system->add(fakeHidDevice(QStringLiteral("b")));
    UsbLink link(system->backend());
    link.start();
    QCOMPARE(link.selectedRow(), 1);
    QVERIFY(link.selectDevicePath(QStringLiteral("/dev/hidraw-a")));
    QCOMPARE(link.selectedRow(), 0);
    QCOMPARE(link.selectedPath(), QStringLiteral("/dev/hidraw-a"));
    QVERIFY(!link.selectDevicePath(QStringLiteral("/dev/hidraw-c")));
    QCOMPARE(link.selectedRow(), 0);
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    QCOMPARE(system->features().front().path, QStringLiteral("/dev/hidraw-a"));
}

void TestUsbLink::setupReport()
{
    // 2400 bit/s, least significant byte first, 8N1, after report ID 0.
    const std::array<std::uint8_t, 10> report = UsbLink::cableSetupReport();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(report.data()), 10).toHex(' '),
             QByteArray("00 60 09 00 00 03 00 00 00 00"));

    auto system = std::make_shared<FakeHidSystem>();
    FakeHidDevice refusing = fakeHidDevice(QStringLiteral("cable"));
    refusing.acceptsFeature = false;
    system->add(refusing);
    UsbLink link(system->backend());
    QSignalSpy sent(&link, &UsbLink::setupReportSent);
    link.start();
    // A cable that refuses the report is read all the same.
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.at(0).at(1).toBool(), false);
    QVERIFY(link.isReading());
    QCOMPARE(link.disconnectCable(), UsbLink::Result::Done);
    QCOMPARE(sent.size(), 2);
    QVERIFY(!link.isReading());
}

void TestUsbLink::readFailuresAreReported()
{
    auto system = std::make_shared<FakeHidSystem>();
    FakeHidDevice cable = fakeHidDevice(QStringLiteral("cable"));
    cable.readOpenError = EACCES;
    system->add(cable);
    UsbLink link(system->backend());
    QSignalSpy failed(&link, &UsbLink::readFailed);
    link.start();
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    QTRY_VERIFY(!failed.isEmpty());
    QCOMPARE(failed.at(0).at(0).toUInt(), quint32(EACCES));
    link.stopReading();
}

void TestUsbLink::aCableIsReadByOneLinkAtATime()
{
    // Another copy of the program reads cable a.
    auto system = std::make_shared<FakeHidSystem>();
    system->add(fakeHidDevice(QStringLiteral("a")));
    system->add(fakeHidDevice(QStringLiteral("b")));
    system->claimed.insert(QStringLiteral("/dev/hidraw-a"));
    UsbLink link(system->backend());
    link.start();

    // That cable is neither set up nor read here.
    QVERIFY(link.selectDevicePath(QStringLiteral("/dev/hidraw-a")));
    QCOMPARE(link.connectCable(), UsbLink::Result::InUse);
    QCOMPARE(link.claimError(), QStringLiteral("qm320 (process 4242) holds it"));
    QVERIFY(system->features().empty());
    QVERIFY(!link.isReading());

    // The other one is free, and held while it is read.
    QVERIFY(link.selectDevicePath(QStringLiteral("/dev/hidraw-b")));
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    QCOMPARE(system->claimed, (std::set<QString>{"/dev/hidraw-a", "/dev/hidraw-b"}));

    // Let go by a disconnect, a stop and an unplug alike.
    system->claimed.erase(QStringLiteral("/dev/hidraw-a"));
    QCOMPARE(link.disconnectCable(), UsbLink::Result::Done);
    QVERIFY(system->claimed.empty());
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    link.stopReading();
    QVERIFY(system->claimed.empty());
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    system->remove(QStringLiteral("b"));
    system->notify();
    QVERIFY(system->claimed.empty());
}

QTEST_GUILESS_MAIN(TestUsbLink)
#include "tst_usblink.moc"
