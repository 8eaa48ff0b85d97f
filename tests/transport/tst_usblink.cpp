#include "fakes/fakehidbackend.h"
#include "transport/usblink.h"

#include <QSignalSpy>
#include <QtTest>

// The link to the meter's cable against a fake HID system: which device it
// takes for the cable, what it sends it, how it holds and reads it, and what
// it reports when the cable goes or cannot be read. What the program makes of
// the reports is the session's business (tst_metersession).

namespace {

const QString CablePath = QStringLiteral("/dev/hidraw-cable");
const QByteArray SetupReport = QByteArray::fromHex("00600900000300000000");

// A link on a fake system, and what it announced.
struct Rig
{
    explicit Rig(const std::vector<FakeHidDevice> &devices = {fakeHidDevice(QStringLiteral("cable"))})
    {
        for (const FakeHidDevice &d : devices)
            system->add(d);
        link = std::make_unique<UsbLink>(system->backend());
        UsbLink *l = link.get();
        QObject::connect(l, &UsbLink::reportReceived, l, [this](std::uint8_t id, QByteArrayView data) {
            reports << QByteArray(1, char(id)) + data.toByteArray();
        });
        QObject::connect(l, &UsbLink::readFailed, l, [this](const QString &reason) { events << "read failed: " + reason; });
        QObject::connect(l, &UsbLink::lost, l, [this](const QString &reason) { events << "lost: " + reason; });
        QObject::connect(l, &UsbLink::deviceArrived, l,
                         [this](const QString &name, const QString &path) { events << "arrival " + name + " " + path; });
        QObject::connect(l, &UsbLink::deviceRemoved, l,
                         [this](const QString &name, const QString &path) { events << "removal " + name + " " + path; });
        QObject::connect(l, &UsbLink::setupReportSent, l, [this](QByteArrayView report, bool accepted) {
            QCOMPARE(report.toByteArray(), SetupReport);
            events << (accepted ? QStringLiteral("set up") : QStringLiteral("set-up refused"));
        });
        QObject::connect(l, &UsbLink::cableReset, l, [this](const QString &name) { events << "reset " + name; });
        QObject::connect(l, &UsbLink::cableSilent, l, [this] { events << QStringLiteral("silent"); });
        QObject::connect(l, &UsbLink::deviceListChanged, l, [this] { events << QStringLiteral("list"); });
        link->start();
        events.clear();
    }
    QStringList takeEvents() { return std::exchange(events, {}); }

    std::shared_ptr<FakeHidSystem> system = std::make_shared<FakeHidSystem>();
    std::unique_ptr<UsbLink> link;
    QStringList events;
    QList<QByteArray> reports;
};

// How the cable stands when the link connects to it.
enum class Cable { Plugged, RefusesSetup, NotReadable, HeldElsewhere, GoneSinceListed, None };

} // namespace

class TestUsbLink : public QObject
{
    Q_OBJECT
private slots:
    void deviceList_data();
    void deviceList();
    void withoutHidServices();
    void selectByPath();
    void selectReturnedCable_data();
    void selectReturnedCable();
    void setupReport();
    void connect_data();
    void connect();
    void reportsReachTheLink();
    void aCableIsReadByOneLinkAtATime();
    void claimLetGo_data();
    void claimLetGo();
    void deviceChange_data();
    void deviceChange();
    void readFailures_data();
    void readFailures();
    void silentCable_data();
    void silentCable();
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
    QTest::newRow("no product string, a serial number")
        << QStringList({"|77"}) << QStringList({"Device VID=04D9 PID=A0CD (Serial=77)"}) << -1 << QList<int>();
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
        d.serial = entry.section(QLatin1Char('|'), 1);
        d.attributes = {0x04d9, 0xa0cd};
        system->add(d);
    }
    UsbLink link(system->backend());
    QVERIFY(link.deviceNames().isEmpty());   // listed at start
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

void TestUsbLink::withoutHidServices()
{
    // A command-line run that reads a file makes its link without a backend.
    UsbLink link(nullptr);
    QSignalSpy listChanged(&link, &UsbLink::deviceListChanged);
    link.start();
    QVERIFY(!link.isAvailable());
    QCOMPARE(link.errorString(), QStringLiteral("the system's HID devices cannot be listed"));
    QCOMPARE(listChanged.size(), 1);
    QCOMPARE(link.connectCable(), UsbLink::Result::NoCable);
    QCOMPARE(link.disconnectCable(), UsbLink::Result::NoCable);
}

void TestUsbLink::selectByPath()
{
    Rig rig({fakeHidDevice(QStringLiteral("a")), fakeHidDevice(QStringLiteral("b"))});
    UsbLink &link = *rig.link;
    QCOMPARE(link.selectedRow(), 1);
    QVERIFY(link.selectDevicePath(QStringLiteral("/dev/hidraw-a")));
    QCOMPARE(link.selectedRow(), 0);
    QCOMPARE(link.selectedPath(), QStringLiteral("/dev/hidraw-a"));
    QVERIFY(!link.selectDevicePath(QStringLiteral("/dev/hidraw-c")));
    QCOMPARE(link.selectedRow(), 0);
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    QCOMPARE(rig.system->features().front().path, QStringLiteral("/dev/hidraw-a"));
    QCOMPARE(link.cablePath(), QStringLiteral("/dev/hidraw-a"));
    QCOMPARE(link.cableName(), QStringLiteral("USB to Serial"));
}

void TestUsbLink::selectReturnedCable_data()
{
    QTest::addColumn<QString>("path");     // where the lost cable was
    QTest::addColumn<QString>("name");     // its display text
    QTest::addColumn<int>("selected");     // -1: not back
    QTest::newRow("back at its path") << "/dev/hidraw-b" << "USB to Serial (Serial=1)" << 1;
    QTest::newRow("at another path, with its product and serial number")
        << "/dev/hidraw-x" << "USB to Serial (Serial=2)" << 2;
    QTest::newRow("only another cable is there") << "/dev/hidraw-x" << "USB to Serial (Serial=9)" << -1;
}

void TestUsbLink::selectReturnedCable()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(int, selected);
    FakeHidDevice a = fakeHidDevice(QStringLiteral("a"));
    FakeHidDevice b = fakeHidDevice(QStringLiteral("b"));
    b.serial = QStringLiteral("1");
    FakeHidDevice c = fakeHidDevice(QStringLiteral("c"));
    c.serial = QStringLiteral("2");
    Rig rig({a, b, c});
    QCOMPARE(rig.link->selectedRow(), 0);
    QCOMPARE(rig.link->selectReturnedCable(path, name), selected >= 0);
    QCOMPARE(rig.link->selectedRow(), selected >= 0 ? selected : 0);
}

void TestUsbLink::setupReport()
{
    // 2400 bit/s, least significant byte first, 8N1, after report ID 0.
    const std::array<std::uint8_t, 10> report = UsbLink::cableSetupReport();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(report.data()), 10), SetupReport);

    // Sent at every change of the link: at the connect and at the disconnect.
    Rig rig;
    QCOMPARE(rig.link->connectCable(), UsbLink::Result::Done);
    QCOMPARE(rig.link->disconnectCable(), UsbLink::Result::Done);
    QCOMPARE(rig.takeEvents(), QStringList({"set up", "set up"}));
    QCOMPARE(rig.system->features().size(), std::size_t(2));
    QCOMPARE(rig.system->features()[1].path, CablePath);
    QCOMPARE(rig.system->features()[1].bytes, SetupReport);
    QVERIFY(!rig.link->isReading());
}

void TestUsbLink::connect_data()
{
    QTest::addColumn<Cable>("cable");
    QTest::addColumn<UsbLink::Result>("result");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("error");   // accessError() or claimError()

    QTest::newRow("no cable") << Cable::None << UsbLink::Result::NoCable << QStringList() << "";
    QTest::newRow("the cable: set up, held and read") << Cable::Plugged << UsbLink::Result::Done
                                                      << QStringList({"set up"}) << "";
    QTest::newRow("a cable that refuses the set-up report is read all the same")
        << Cable::RefusesSetup << UsbLink::Result::Done << QStringList({"set-up refused"}) << "";
    QTest::newRow("a cable this user may not read: the set-up is tried, nothing read")
        << Cable::NotReadable << UsbLink::Result::NoAccess << QStringList({"set-up refused"}) << "Permission denied";
    QTest::newRow("a cable another program reads is not touched")
        << Cable::HeldElsewhere << UsbLink::Result::InUse << QStringList() << "qm320 (process 4242) holds it";
    QTest::newRow("a cable gone since it was listed") << Cable::GoneSinceListed << UsbLink::Result::NoCable
                                                      << QStringList() << "";
}

void TestUsbLink::connect()
{
    QFETCH(Cable, cable);
    QFETCH(UsbLink::Result, result);
    QFETCH(QStringList, events);
    QFETCH(QString, error);

    FakeHidDevice device = fakeHidDevice(QStringLiteral("cable"));
    device.acceptsFeature = cable != Cable::RefusesSetup;
    device.readWrite = cable != Cable::NotReadable;
    Rig rig(cable == Cable::None ? std::vector<FakeHidDevice>() : std::vector<FakeHidDevice>{device});
    if (cable == Cable::HeldElsewhere)
        rig.system->claimed.insert(CablePath);
    if (cable == Cable::GoneSinceListed)
        rig.system->remove(QStringLiteral("cable"));

    QCOMPARE(rig.link->connectCable(), result);
    QCOMPARE(rig.takeEvents(), events);
    const bool done = result == UsbLink::Result::Done;
    QCOMPARE(rig.link->isReading(), done);
    QCOMPARE(rig.system->readOpens(), done ? 1 : 0);
    QCOMPARE(rig.system->claimed.count(CablePath) == 1, done || cable == Cable::HeldElsewhere);
    QCOMPARE(result == UsbLink::Result::InUse ? rig.link->claimError() : rig.link->accessError(), error);
    QCOMPARE(rig.system->features().size(), std::size_t(events.contains("set up") ? 1 : 0));
}

void TestUsbLink::reportsReachTheLink()
{
    Rig rig;
    QCOMPARE(rig.link->connectCable(), UsbLink::Result::Done);
    rig.system->queueReport(CablePath, QByteArray::fromHex("00f22b31"));
    rig.system->queueReport(CablePath, QByteArray::fromHex("00f0"));
    QTRY_COMPARE(rig.reports.size(), 2);
    QCOMPARE(rig.reports, QList<QByteArray>({QByteArray::fromHex("00f22b31"), QByteArray::fromHex("00f0")}));

    // Stopped, the link reads nothing more.
    rig.link->stopReading();
    QVERIFY(!rig.link->isReading());
    QCOMPARE(rig.system->openReadHandles(), 0);
    rig.system->queueReport(CablePath, QByteArray::fromHex("00f1"));
    QTest::qWait(50);
    QCOMPARE(rig.reports.size(), 2);
}

void TestUsbLink::aCableIsReadByOneLinkAtATime()
{
    // Another copy of the program reads cable a.
    Rig rig({fakeHidDevice(QStringLiteral("a")), fakeHidDevice(QStringLiteral("b"))});
    rig.system->claimed.insert(QStringLiteral("/dev/hidraw-a"));
    UsbLink &link = *rig.link;

    // That cable is neither set up nor read here.
    QVERIFY(link.selectDevicePath(QStringLiteral("/dev/hidraw-a")));
    QCOMPARE(link.connectCable(), UsbLink::Result::InUse);
    QCOMPARE(link.claimError(), QStringLiteral("qm320 (process 4242) holds it"));
    QVERIFY(rig.system->features().empty());
    QVERIFY(!link.isReading());

    // The other one is free, and held while it is read; a second link in
    // this program is refused it too.
    QVERIFY(link.selectDevicePath(QStringLiteral("/dev/hidraw-b")));
    QCOMPARE(link.connectCable(), UsbLink::Result::Done);
    QCOMPARE(rig.system->claimed, (std::set<QString>{"/dev/hidraw-a", "/dev/hidraw-b"}));
    UsbLink second(rig.system->backend());
    second.start();
    QCOMPARE(second.connectCable(), UsbLink::Result::InUse);
    QCOMPARE(rig.system->features().size(), std::size_t(1));
}

void TestUsbLink::claimLetGo_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("disconnected") << "disconnect";
    QTest::newRow("stopped") << "stop";
    QTest::newRow("unplugged") << "unplug";
    QTest::newRow("reads cannot be issued") << "unreadable";
    QTest::newRow("the link destroyed") << "destroy";
}

void TestUsbLink::claimLetGo()
{
    QFETCH(QString, how);
    Rig rig;
    QCOMPARE(rig.link->connectCable(), UsbLink::Result::Done);
    QCOMPARE(rig.system->claimed.size(), std::size_t(1));
    QCOMPARE(rig.system->openReadHandles(), 1);

    if (how == QLatin1String("disconnect")) {
        rig.link->disconnectCable();
    } else if (how == QLatin1String("stop")) {
        rig.link->stopReading();
    } else if (how == QLatin1String("unplug")) {
        rig.system->remove(QStringLiteral("cable"));
        rig.system->notify();
    } else if (how == QLatin1String("unreadable")) {
        rig.system->edit(QStringLiteral("cable"), [](FakeHidDevice &d) { d.readOpenError = HidError::Io; });
        rig.system->failNextRead(CablePath, HidError::Io);
        QTRY_VERIFY(!rig.link->isReading());
    } else {
        rig.link.reset();
    }
    QVERIFY(!rig.link || !rig.link->isReading());
    QVERIFY(rig.system->claimed.empty());
    QCOMPARE(rig.system->openReadHandles(), 0);
}

void TestUsbLink::deviceChange_data()
{
    QTest::addColumn<QStringList>("plugged");      // keys beside the cable, plugged in at the start
    QTest::addColumn<QString>("step");             // "+K" plugs K in, "-K" pulls it
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<int>("selected");

    QTest::newRow("another device comes: the link stays with its cable")
        << QStringList() << "+mouse" << QStringList({"arrival Optical Mouse /dev/hidraw-mouse", "list"}) << true << 0;
    QTest::newRow("another device goes: the link stays with its cable")
        << QStringList({"mouse"}) << "-mouse" << QStringList({"removal Optical Mouse /dev/hidraw-mouse", "list"})
        << true << 0;
    QTest::newRow("the cable goes: the link ends")
        << QStringList() << "-cable"
        << QStringList({"removal USB to Serial /dev/hidraw-cable", "list", "lost: the cable was unplugged"}) << false
        << -1;
    QTest::newRow("the cable goes, another stays: that one is selected, not read")
        << QStringList({"other"}) << "-cable"
        << QStringList({"removal USB to Serial /dev/hidraw-cable", "list", "lost: the cable was unplugged"}) << false
        << 0;
}

void TestUsbLink::deviceChange()
{
    QFETCH(QStringList, plugged);
    QFETCH(QString, step);
    QFETCH(QStringList, events);
    QFETCH(bool, reading);
    QFETCH(int, selected);

    const auto device = [](const QString &key) {
        return fakeHidDevice(key, key == QLatin1String("mouse") ? QStringLiteral("Optical Mouse")
                                                                : QStringLiteral("USB to Serial"));
    };
    std::vector<FakeHidDevice> devices;
    for (const QString &key : plugged)
        devices.push_back(device(key));
    devices.push_back(fakeHidDevice(QStringLiteral("cable")));
    Rig rig(devices);
    rig.link->selectDevicePath(CablePath);
    QCOMPARE(rig.link->connectCable(), UsbLink::Result::Done);
    rig.takeEvents();

    const QString key = step.mid(1);
    if (step.startsWith(QLatin1Char('+')))
        rig.system->add(device(key));
    else
        rig.system->remove(key);
    rig.system->notify();
    QCOMPARE(rig.takeEvents(), events);
    QCOMPARE(rig.link->isReading(), reading);
    QCOMPARE(rig.link->selectedRow(), selected);
    QCOMPARE(rig.link->cablePath(), CablePath);
    if (reading) {
        // Read on, on the same handle: nothing is lost to a reopening.
        QCOMPARE(rig.link->selectedPath(), CablePath);
        rig.system->queueReport(CablePath, QByteArray::fromHex("00f1"));
        QTRY_COMPARE(rig.reports.size(), 1);
        QCOMPARE(rig.system->readOpens(), 1);
    } else {
        QVERIFY(rig.system->claimed.empty());
        QCOMPARE(rig.system->openReadHandles(), 0);
    }
}

void TestUsbLink::readFailures_data()
{
    QTest::addColumn<bool>("opensAgain");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("reading");

    QTest::newRow("a failed read is opened afresh and read on, silently") << true << QStringList() << true;
    QTest::newRow("a cable that cannot be opened for reading is lost after three attempts")
        << false
        << QStringList({"read failed: Input/output error", "read failed: Input/output error",
                        "read failed: Input/output error", "lost: its reads fail: Input/output error"})
        << false;
}

void TestUsbLink::readFailures()
{
    QFETCH(bool, opensAgain);
    QFETCH(QStringList, events);
    QFETCH(bool, reading);

    Rig rig;
    QCOMPARE(rig.link->connectCable(), UsbLink::Result::Done);
    rig.takeEvents();
    if (!opensAgain)
        rig.system->edit(QStringLiteral("cable"), [](FakeHidDevice &d) { d.readOpenError = HidError::Io; });
    rig.system->failNextRead(CablePath, HidError::Io);
    rig.system->queueReport(CablePath, QByteArray::fromHex("00f1"));
    if (reading) {
        QTRY_COMPARE(rig.reports.size(), 1);
        QCOMPARE(rig.system->readOpens(), 2);
    } else {
        QTRY_VERIFY(!rig.link->isReading());
        QCOMPARE(rig.system->readOpens(), 1 + UsbLink::LostAfterReadFailures);
    }
    QCOMPARE(rig.takeEvents(), events);
    QCOMPARE(rig.link->isReading(), reading);
    QCOMPARE(rig.system->opensOffMainThread(), 0);
}

void TestUsbLink::silentCable_data()
{
    QTest::addColumn<bool>("reportCame");
    QTest::addColumn<bool>("resetPermitted");
    QTest::addColumn<QStringList>("first");    // what the first check finds
    QTest::addColumn<QStringList>("second");   // and the one after it
    QTest::newRow("a report came: nothing to do") << true << true << QStringList() << QStringList();
    QTest::newRow("silent: reset once and set up again, then reported")
        << false << true << QStringList({"reset USB to Serial", "set up"}) << QStringList({"silent"});
    QTest::newRow("silent, and no reset permitted: reported at once")
        << false << false << QStringList({"silent"}) << QStringList({"silent"});
}

void TestUsbLink::silentCable()
{
    QFETCH(bool, reportCame);
    QFETCH(bool, resetPermitted);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);

    Rig rig;
    rig.system->resetError = resetPermitted ? HidError::None : HidError::PermissionDenied;
    // Not connected: nothing to check.
    rig.link->checkSilentCable();
    QVERIFY(rig.takeEvents().isEmpty());

    QCOMPARE(rig.link->connectCable(), UsbLink::Result::Done);
    rig.takeEvents();
    if (reportCame) {
        rig.system->queueReport(CablePath, QByteArray::fromHex("00f0"));
        QTRY_COMPARE(rig.reports.size(), 1);
    }
    rig.link->checkSilentCable();
    QCOMPARE(rig.takeEvents(), first);
    rig.link->checkSilentCable();
    QCOMPARE(rig.takeEvents(), second);
    // One reset at most, and only of a silent cable, which goes on being read.
    QCOMPARE(rig.system->resets, !reportCame ? QStringList{CablePath} : QStringList());
    QVERIFY(rig.link->isReading());
}

QTEST_GUILESS_MAIN(TestUsbLink)
#include "tst_usblink.moc"
