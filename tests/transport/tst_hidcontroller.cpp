#include "fakes/fakehidbackend.h"
#include "transport/tjvhiddevicecontroller.h"

#include <QtTest>

namespace {

// Writes down every event of the controller, in order, as "arrival A",
// "removal B", "unplug B", "enumerate 2 C", "change".
class EventLog
{
public:
    void bind(TJvHidDeviceController &c)
    {
        c.SetOnArrival(TJvHidPlugEvent(this, &EventLog::arrival));
        c.SetOnRemoval(TJvHidPlugEvent(this, &EventLog::removal));
        c.SetOnDeviceUnplug(TJvHidPlugEvent(this, &EventLog::unplug));
        c.SetOnDeviceChange(TNotifyEvent(this, &EventLog::change));
    }
    void arrival(TJvHidDevice *d) { note(QStringLiteral("arrival "), d); }
    void removal(TJvHidDevice *d) { note(QStringLiteral("removal "), d); }
    void unplug(TJvHidDevice *d) { events << QStringLiteral("unplug ") + d->interfaceInfo().instanceKey; }
    void change(TJvHidDeviceController *) { events << QStringLiteral("change"); }

    void note(const QString &what, TJvHidDevice *d)
    {
        // Events hand out devices that may be used meanwhile.
        events << what + d->interfaceInfo().instanceKey + (d->InEvent() ? QString() : QStringLiteral(" (not InEvent)"));
        if (onEvent)
            onEvent(d);
    }

    QStringList events;
    std::function<void(TJvHidDevice *)> onEvent;
};

QStringList keysOf(const TJvHidDeviceController &c)
{
    QStringList keys;
    for (const TJvHidDevice *d : c.DeviceList())
        keys << d->interfaceInfo().instanceKey;
    return keys;
}

std::shared_ptr<FakeHidSystem> systemWith(const QStringList &keys)
{
    auto system = std::make_shared<FakeHidSystem>();
    for (const QString &key : keys)
        system->add(fakeHidDevice(key));
    return system;
}

} // namespace

class TestHidController : public QObject
{
    Q_OBJECT
private slots:
    void listBuilding();
    void noHidServices();
    void changePass();
    void changeReported();
    void noticeCodes();
    void claimedDeviceUnplugged();
    void listDevices_data();
    void listDevices();
    void claimBounds_data();
    void claimBounds();
    void returnWithReplacement();
    void returnWhenReplacementFails();
    void handlerPropagation();
    void sleepTime_data();
    void sleepTime();
    void devThreadSleepTime();
    void oneController();
    void serialNumber_data();
    void serialNumber();
    void readingNeedsHandlerClaimAndAccess();
    void noticeDuringPass();
    void destructionOrphansClaimedDevices();
};

void TestHidController::listBuilding()
{
    auto system = std::make_shared<FakeHidSystem>();
    system->add(fakeHidDevice("A"));
    FakeHidDevice queryOnly = fakeHidDevice("B", "Keyboard");
    queryOnly.readWrite = false;
    system->add(queryOnly);
    FakeHidDevice closed = fakeHidDevice("C");
    closed.readWrite = false;
    closed.queryOnly = false;
    system->add(closed);
    FakeHidDevice anonymous = fakeHidDevice("D");
    anonymous.identifiable = false;
    system->add(anonymous);
    system->add(fakeHidDevice("E"));

    TJvHidDeviceController c(system->backend());
    QCOMPARE(keysOf(c), QStringList({"A", "B", "E"}));
    const std::vector<TJvHidDevice *> &list = c.DeviceList();
    QVERIFY(list[0]->ReadWriteAccess());
    QVERIFY(!list[1]->ReadWriteAccess());
    QCOMPARE(list[1]->ControlOpenError(), std::uint32_t(EACCES));
    QCOMPARE(list[0]->VendorID(), std::uint16_t(0x1234));
    for (const TJvHidDevice *d : list) {
        QVERIFY(d->Plugged());
        QVERIFY(!d->Claimed());
        QCOMPARE(d->OwnerController(), &c);
    }
    QVERIFY(system->notice);
}

void TestHidController::noHidServices()
{
    auto system = systemWith({"A"});
    system->available = false;
    TJvHidDeviceController c(system->backend());
    QVERIFY(!c.isAvailable());
    QCOMPARE(c.errorString(), QStringLiteral("the system's HID devices cannot be listed"));
    EventLog log;
    log.bind(c);
    QVERIFY(c.DeviceList().empty());
    QVERIFY(!system->notice);
    QCOMPARE(log.events, QStringList({"change"}));
}

void TestHidController::changePass()
{
    auto system = systemWith({"A", "B", "C"});
    TJvHidDeviceController c(system->backend());
    EventLog log;
    log.bind(c);
    log.events.clear();

    system->remove("A");
    system->remove("C");
    system->add(fakeHidDevice("D"));
    system->add(fakeHidDevice("E"));
    c.DeviceChange();

    QCOMPARE(log.events, QStringList({"unplug C", "removal C", "unplug A", "removal A", "arrival D", "arrival E",
                                      "change"}));
    QCOMPARE(keysOf(c), QStringList({"B", "D", "E"}));
}

void TestHidController::changeReported()
{
    auto system = systemWith({"A"});
    TJvHidDeviceController c(system->backend());
    EventLog log;
    const TNotifyEvent handler(&log, &EventLog::change);

    c.SetOnDeviceChange(handler);
    QCOMPARE(log.events, QStringList({"change"}));   // the first pass is reported even without a change

    const int listings = system->listings;
    c.SetOnDeviceChange(handler);
    QCOMPARE(system->listings, listings);   // the same handler again runs no pass

    c.DeviceChange();
    QCOMPARE(log.events, QStringList({"change"}));   // nothing changed, nothing reported

    system->add(fakeHidDevice("B"));
    c.DeviceChange();
    QCOMPARE(log.events, QStringList({"change", "change"}));
}

void TestHidController::noticeCodes()
{
    auto system = systemWith({"A"});
    TJvHidDeviceController c(system->backend());
    system->add(fakeHidDevice("B"));

    system->notify(0x8000);   // a device arrival of an interface class: not ours to act on
    QCOMPARE(keysOf(c), QStringList({"A"}));
    system->notify(HidBackend::DevNodesChanged);
    QCOMPARE(keysOf(c), QStringList({"A", "B"}));
}

void TestHidController::claimedDeviceUnplugged()
{
    auto system = systemWith({"A", "B"});
    TJvHidDeviceController c(system->backend());
    EventLog log;
    log.bind(c);
    std::unique_ptr<TJvHidDevice> a = c.ClaimDeviceAt(0);
    QVERIFY(a);
    log.events.clear();

    system->remove("A");
    c.DeviceChange();
    QCOMPARE(log.events, QStringList({"unplug A", "removal A", "change"}));
    QCOMPARE(keysOf(c), QStringList({"A", "B"}));   // it stays for its claimant
    QVERIFY(!a->Plugged());
    QVERIFY(a->Claimed());
    QVERIFY(!a->UnplugHandler());

    // Reported again at each later pass, unplug handler and all cleared.
    c.DeviceChange();
    QCOMPARE(log.events, QStringList({"unplug A", "removal A", "change", "removal A", "change"}));

    // Coming back under the same name makes a new device, the old one stays unplugged.
    system->add(fakeHidDevice("A"));
    c.DeviceChange();
    QCOMPARE(keysOf(c), QStringList({"A", "B", "A"}));
    QVERIFY(!a->Plugged());

    a.reset();   // returned: an unplugged device's position goes
    QCOMPARE(keysOf(c), QStringList({"B", "A"}));
}

void TestHidController::listDevices_data()
{
    QTest::addColumn<bool>("withHandler");
    QTest::addColumn<int>("stopAfter");   // the offer that answers false; -1: none
    QTest::addColumn<bool>("unplugFirst");
    QTest::addColumn<int>("expectedCount");
    QTest::addColumn<QStringList>("expectedOffers");

    QTest::newRow("without OnEnumerate only the first plugged device counts")
        << false << -1 << false << 1 << QStringList();
    QTest::newRow("each plugged device offered with its list position")
        << true << -1 << false << 3 << QStringList({"0 A", "1 B", "2 C"});
    QTest::newRow("an answer false stops the listing")
        << true << 1 << false << 2 << QStringList({"0 A", "1 B"});
    QTest::newRow("an unplugged device is passed over, positions stay")
        << true << -1 << true << 2 << QStringList({"1 B", "2 C"});
}

void TestHidController::listDevices()
{
    QFETCH(bool, withHandler);
    QFETCH(int, stopAfter);
    QFETCH(bool, unplugFirst);
    QFETCH(int, expectedCount);
    QFETCH(QStringList, expectedOffers);

    auto system = systemWith({"A", "B", "C"});
    TJvHidDeviceController c(system->backend());
    std::unique_ptr<TJvHidDevice> first;
    if (unplugFirst) {
        first = c.ClaimDeviceAt(0);
        system->remove("A");
        c.DeviceChange();
    }
    QStringList offers;
    if (withHandler) {
        c.SetOnEnumerate([&](TJvHidDevice *d, int idx) {
            offers << QString::number(idx) + QLatin1Char(' ') + d->interfaceInfo().instanceKey;
            return offers.size() - 1 != stopAfter;
        });
    }
    QCOMPARE(c.ListDevices(), expectedCount);
    QCOMPARE(offers, expectedOffers);
}

void TestHidController::claimBounds_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("-1") << -1;
    QTest::newRow("the list's count") << 2;
    QTest::newRow("a claimed device") << 0;
}

void TestHidController::claimBounds()
{
    QFETCH(int, index);
    auto system = systemWith({"A", "B"});
    TJvHidDeviceController c(system->backend());
    std::unique_ptr<TJvHidDevice> a = c.ClaimDeviceAt(0);
    QVERIFY(a);
    QCOMPARE(a.get(), c.DeviceList()[0]);
    QVERIFY(a->Claimed());

    QVERIFY(!c.ClaimDeviceAt(index));
    QVERIFY(!c.DeviceList()[1]->Claimed());
}

void TestHidController::returnWithReplacement()
{
    auto system = systemWith({"A", "B"});
    TJvHidDeviceController c(system->backend());
    std::unique_ptr<TJvHidDevice> b = c.ClaimDeviceAt(1);
    int reports = 0;
    const TJvHidDataEvent data = [&reports](TJvHidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {
        ++reports;
    };
    const TJvHidDataErrorEvent error = [](TJvHidDevice *, std::uint32_t) {};
    const TJvHidPlugEvent unplug = [](TJvHidDevice *) {};
    b->SetDataHandler(data);
    b->SetDataErrorHandler(error);
    b->SetUnplugHandler(unplug);
    b->SetSleepTime(250);
    QVERIFY(b->ReadThread());
    const TJvHidDevice *old = b.get();

    b.reset();
    QCOMPARE(keysOf(c), QStringList({"A", "B"}));
    TJvHidDevice *replacement = c.DeviceList()[1];
    QVERIFY(replacement != old);
    QVERIFY(!replacement->Claimed());
    QVERIFY(replacement->Plugged());
    QVERIFY(replacement->DataHandler() == data);
    QVERIFY(replacement->DataErrorHandler() == error);
    QVERIFY(replacement->UnplugHandler() == unplug);
    QCOMPARE(replacement->SleepTime(), 250);
    QVERIFY(!replacement->ReadThread());

    // Claimed again, it reads at once with the handler it kept.
    b = c.ClaimDeviceAt(1);
    QCOMPARE(b.get(), replacement);
    QVERIFY(b->ReadThread());
    system->queueReport(b->interfaceInfo().path, QByteArray::fromHex("00f0"));
    QTRY_COMPARE(reports, 1);
}

void TestHidController::returnWhenReplacementFails()
{
    auto system = systemWith({"A", "B", "C"});
    TJvHidDeviceController c(system->backend());
    std::unique_ptr<TJvHidDevice> b = c.ClaimDeviceAt(1);
    system->edit("B", [](FakeHidDevice &d) { d.readWrite = d.queryOnly = false; });

    b.reset();
    QCOMPARE(keysOf(c), QStringList({"A", "C"}));

    // Once it opens again, the next pass lists it anew.
    EventLog log;
    log.bind(c);
    log.events.clear();
    system->edit("B", [](FakeHidDevice &d) { d.readWrite = d.queryOnly = true; });
    c.DeviceChange();
    QCOMPARE(log.events, QStringList({"arrival B", "change"}));
}

void TestHidController::handlerPropagation()
{
    auto system = systemWith({"A", "B"});
    TJvHidDeviceController c(system->backend());
    TJvHidDevice *a = c.DeviceList()[0];
    TJvHidDevice *b = c.DeviceList()[1];
    const auto dataHandler = [] {
        return TJvHidDataEvent([](TJvHidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {});
    };
    const TJvHidDataEvent h1 = dataHandler(), h2 = dataHandler(), h3 = dataHandler();

    c.SetOnDeviceData(h1);
    QVERIFY(a->DataHandler() == h1 && b->DataHandler() == h1);
    b->SetDataHandler(h2);
    c.SetOnDeviceData(h3);   // only a device that still has the old one follows
    QVERIFY(a->DataHandler() == h3);
    QVERIFY(b->DataHandler() == h2);

    const TJvHidDataErrorEvent e1 = [](TJvHidDevice *, std::uint32_t) {};
    const TJvHidDataErrorEvent e2 = [](TJvHidDevice *, std::uint32_t) {};
    c.SetOnDeviceDataError(e1);
    b->SetDataErrorHandler(e2);
    c.SetOnDeviceDataError(nullptr);
    QVERIFY(!a->DataErrorHandler());
    QVERIFY(b->DataErrorHandler() == e2);

    const TJvHidPlugEvent u1 = [](TJvHidDevice *) {};
    c.SetOnDeviceUnplug(u1);
    QVERIFY(a->UnplugHandler() == u1 && b->UnplugHandler() == u1);

    // A device listed later starts with the controller's handlers.
    system->add(fakeHidDevice("C"));
    c.DeviceChange();
    TJvHidDevice *d = c.DeviceList()[2];
    QVERIFY(d->DataHandler() == h3);
    QVERIFY(!d->DataErrorHandler());
    QVERIFY(d->UnplugHandler() == u1);
}

void TestHidController::sleepTime_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("9 is ignored") << 9 << 100;
    QTest::newRow("10 is taken") << 10 << 10;
    QTest::newRow("10000 is taken") << 10000 << 10000;
    QTest::newRow("10001 is ignored") << 10001 << 100;
}

void TestHidController::sleepTime()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    auto system = systemWith({"A"});
    TJvHidDeviceController c(system->backend());
    TJvHidDevice *a = c.DeviceList()[0];
    QCOMPARE(a->SleepTime(), 100);
    a->SetSleepTime(value);
    QCOMPARE(a->SleepTime(), expected);
}

void TestHidController::devThreadSleepTime()
{
    auto system = systemWith({"A", "B"});
    TJvHidDeviceController c(system->backend());
    c.DeviceList()[1]->SetSleepTime(300);
    c.SetDevThreadSleepTime(50);
    QCOMPARE(c.DevThreadSleepTime(), 50);
    QCOMPARE(c.DeviceList()[0]->SleepTime(), 50);
    QCOMPARE(c.DeviceList()[1]->SleepTime(), 300);   // set on its own, it keeps its time
}

void TestHidController::oneController()
{
    auto system = systemWith({"A"});
    auto first = std::make_unique<TJvHidDeviceController>(system->backend());
    QVERIFY(first->isAvailable());
    QCOMPARE(first->errorString(), QString());
    QCOMPARE(TJvHidDeviceController::ControllerCount(), 1);
    {
        const int listings = system->listings;
        TJvHidDeviceController second(system->backend());
        QVERIFY(!second.isAvailable());
        QCOMPARE(second.errorString(), QStringLiteral("only one HID device controller is allowed per program"));
        QVERIFY(second.DeviceList().empty());
        QCOMPARE(system->listings, listings);
        QCOMPARE(TJvHidDeviceController::ControllerCount(), 1);
    }
    QCOMPARE(TJvHidDeviceController::ControllerCount(), 1);
    // The first one still works, notices included.
    system->add(fakeHidDevice("B"));
    system->notify();
    QCOMPARE(keysOf(*first), QStringList({"A", "B"}));

    first.reset();
    QCOMPARE(TJvHidDeviceController::ControllerCount(), 0);
    TJvHidDeviceController again(system->backend());
    QVERIFY(again.isAvailable());
    QCOMPARE(keysOf(again), QStringList({"A", "B"}));
}

void TestHidController::serialNumber_data()
{
    using Units = std::optional<std::u16string>;
    QTest::addColumn<QString>("serial");   // "-": the query fails
    QTest::addColumn<Units>("index0");
    QTest::addColumn<QString>("expected");

    const Units english = std::u16string(1, char16_t(0x0409));
    QTest::newRow("a serial number next to the language ID is kept") << "A1B2C3" << english << "A1B2C3";
    QTest::newRow("a serial number equal to the string at index 0 is none")
        << "0409" << Units(u"0409") << "";
    QTest::newRow("an index-0 string ending in a zero compares up to it")
        << "0409X" << Units(std::u16string(u"0409") + char16_t(0)) << "";
    QTest::newRow("an index-0 query that leaves the buffer untouched means none") << "A1B2C3" << Units() << "";
    QTest::newRow("no serial number query, no serial number") << "-" << english << "";
}

void TestHidController::serialNumber()
{
    using Units = std::optional<std::u16string>;
    QFETCH(QString, serial);
    QFETCH(Units, index0);
    QFETCH(QString, expected);

    auto system = std::make_shared<FakeHidSystem>();
    FakeHidDevice d = fakeHidDevice("A");
    if (serial != QLatin1String("-"))
        d.serial = serial;
    d.index0 = index0;
    system->add(d);
    TJvHidDeviceController c(system->backend());
    std::unique_ptr<TJvHidDevice> device = c.ClaimDeviceAt(0);
    QCOMPARE(device->SerialText(), expected);
    QCOMPARE(device->ProductText(), QStringLiteral("USB to Serial"));

    // The cached strings remain once the device is gone.
    system->remove("A");
    c.DeviceChange();
    QCOMPARE(device->ProductText(), QStringLiteral("USB to Serial"));
    QCOMPARE(device->SerialText(), expected);
}

void TestHidController::readingNeedsHandlerClaimAndAccess()
{
    auto system = systemWith({"A"});
    FakeHidDevice queryOnly = fakeHidDevice("B");
    queryOnly.readWrite = false;
    system->add(queryOnly);
    TJvHidDeviceController c(system->backend());
    const TJvHidDataEvent handler = [](TJvHidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {};

    c.DeviceList()[0]->SetDataHandler(handler);
    QVERIFY(!c.DeviceList()[0]->ReadThread());   // listed, not claimed
    std::unique_ptr<TJvHidDevice> a = c.ClaimDeviceAt(0);
    QVERIFY(a->ReadThread());

    std::unique_ptr<TJvHidDevice> b = c.ClaimDeviceAt(1);
    QVERIFY(!b->ReadThread());
    b->SetDataHandler(handler);
    QVERIFY(!b->ReadThread());   // no read/write access

    a->SetDataHandler(nullptr);
    QVERIFY(!a->ReadThread());
}

void TestHidController::noticeDuringPass()
{
    // A handler that opens a dialog lets the next notice in while the pass
    // still walks the list; that notice waits for the pass to end.
    auto system = systemWith({"A"});
    TJvHidDeviceController c(system->backend());
    EventLog log;
    log.bind(c);
    log.events.clear();
    log.onEvent = [&](TJvHidDevice *d) {
        if (d->interfaceInfo().instanceKey == QLatin1String("B")) {
            system->add(fakeHidDevice("C"));
            system->notify();
        }
    };
    system->add(fakeHidDevice("B"));
    system->notify();
    QCOMPARE(log.events, QStringList({"arrival B", "change", "arrival C", "change"}));
    QCOMPARE(keysOf(c), QStringList({"A", "B", "C"}));
}

void TestHidController::destructionOrphansClaimedDevices()
{
    auto system = systemWith({"A", "B"});
    auto c = std::make_unique<TJvHidDeviceController>(system->backend());
    std::unique_ptr<TJvHidDevice> a = c->ClaimDeviceAt(0);
    int unplugs = 0;
    a->SetUnplugHandler([&unplugs](TJvHidDevice *) { ++unplugs; });

    c.reset();
    QVERIFY(!a->OwnerController());
    QVERIFY(!a->Plugged());
    QCOMPARE(unplugs, 1);
    QCOMPARE(a->ProductText(), QString());   // never read while it was accessible
    a.reset();
    QVERIFY(!system->notice);
}

QTEST_GUILESS_MAIN(TestHidController)
#include "tst_hidcontroller.moc"
