#include "fakes/fakehidbackend.h"
#include "transport/hiddevicecontroller.h"

#include <QtTest>

namespace {

// Writes down every event of the controller, in order, as "arrival A",
// "removal B", "unplug B", "enumerate 2 C", "change".
class EventLog
{
public:
    void bind(HidDeviceController &c)
    {
        c.setArrivalHandler(HidPlugHandler(this, &EventLog::arrival));
        c.setRemovalHandler(HidPlugHandler(this, &EventLog::removal));
        c.setUnplugHandler(HidPlugHandler(this, &EventLog::unplug));
        c.setDeviceChangeHandler(HidChangeHandler(this, &EventLog::change));
    }
    void arrival(HidDevice *d) { note(QStringLiteral("arrival "), d); }
    void removal(HidDevice *d) { note(QStringLiteral("removal "), d); }
    void unplug(HidDevice *d) { events << QStringLiteral("unplug ") + d->interfaceInfo().instanceKey; }
    void change(HidDeviceController *) { events << QStringLiteral("change"); }

    void note(const QString &what, HidDevice *d)
    {
        // Events hand out devices that may be used meanwhile.
        events << what + d->interfaceInfo().instanceKey
                      + (d->isInEvent() ? QString() : QStringLiteral(" (not in event)"));
        if (onEvent)
            onEvent(d);
    }

    QStringList events;
    std::function<void(HidDevice *)> onEvent;
};

QStringList keysOf(const HidDeviceController &c)
{
    QStringList keys;
    for (const HidDevice *d : c.devices())
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

// How the device is held when a feature report is sent and a reset is asked.
enum class Hold { Claimed, Listed, Offered, Unplugged };

} // namespace

class TestHidDeviceController : public QObject
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
    void readThreadSleepTime_data();
    void readThreadSleepTime();
    void oneController();
    void serialNumber_data();
    void serialNumber();
    void readingNeedsHandlerClaimAndAccess();
    void controlRequests_data();
    void controlRequests();
    void noticeDuringPass();
    void destructionOrphansClaimedDevices();
    void destructionWhileClaimantReturnsDevices();
};

void TestHidDeviceController::listBuilding()
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

    HidDeviceController c(system->backend());
    QCOMPARE(keysOf(c), QStringList({"A", "B", "E"}));
    const std::vector<HidDevice *> &list = c.devices();
    QVERIFY(list[0]->hasReadWriteAccess());
    QVERIFY(!list[1]->hasReadWriteAccess());
    QCOMPARE(list[1]->controlOpenError(), std::uint32_t(EACCES));
    QCOMPARE(list[0]->vendorId(), std::uint16_t(0x1234));
    for (const HidDevice *d : list) {
        QVERIFY(d->isPlugged());
        QVERIFY(!d->isClaimed());
        QCOMPARE(d->controller(), &c);
    }
    QVERIFY(system->notice);
}

void TestHidDeviceController::noHidServices()
{
    auto system = systemWith({"A"});
    system->available = false;
    HidDeviceController c(system->backend());
    QVERIFY(!c.isAvailable());
    QCOMPARE(c.errorString(), QStringLiteral("the system's HID devices cannot be listed"));
    EventLog log;
    log.bind(c);
    QVERIFY(c.devices().empty());
    QVERIFY(!system->notice);
    QCOMPARE(log.events, QStringList({"change"}));
}

void TestHidDeviceController::changePass()
{
    auto system = systemWith({"A", "B", "C"});
    HidDeviceController c(system->backend());
    EventLog log;
    log.bind(c);
    log.events.clear();

    system->remove("A");
    system->remove("C");
    system->add(fakeHidDevice("D"));
    system->add(fakeHidDevice("E"));
    c.runDeviceChangePass();

    QCOMPARE(log.events, QStringList({"unplug C", "removal C", "unplug A", "removal A", "arrival D", "arrival E",
                                      "change"}));
    QCOMPARE(keysOf(c), QStringList({"B", "D", "E"}));
}

void TestHidDeviceController::changeReported()
{
    auto system = systemWith({"A"});
    HidDeviceController c(system->backend());
    EventLog log;
    const HidChangeHandler handler(&log, &EventLog::change);

    c.setDeviceChangeHandler(handler);
    QCOMPARE(log.events, QStringList({"change"}));   // the first pass is reported even without a change

    const int listings = system->listings;
    c.setDeviceChangeHandler(handler);
    QCOMPARE(system->listings, listings);   // the same handler again runs no pass

    c.runDeviceChangePass();
    QCOMPARE(log.events, QStringList({"change"}));   // nothing changed, nothing reported

    system->add(fakeHidDevice("B"));
    c.runDeviceChangePass();
    QCOMPARE(log.events, QStringList({"change", "change"}));
}

void TestHidDeviceController::noticeCodes()
{
    auto system = systemWith({"A"});
    HidDeviceController c(system->backend());
    system->add(fakeHidDevice("B"));

    system->notify(0x8000);   // a device arrival of an interface class: not ours to act on
    QCOMPARE(keysOf(c), QStringList({"A"}));
    system->notify(HidBackend::DeviceNodesChanged);
    QCOMPARE(keysOf(c), QStringList({"A", "B"}));
}

void TestHidDeviceController::claimedDeviceUnplugged()
{
    auto system = systemWith({"A", "B"});
    HidDeviceController c(system->backend());
    EventLog log;
    log.bind(c);
    std::unique_ptr<HidDevice> a = c.claimDeviceAt(0);
    QVERIFY(a);
    log.events.clear();

    system->remove("A");
    c.runDeviceChangePass();
    QCOMPARE(log.events, QStringList({"unplug A", "removal A", "change"}));
    QCOMPARE(keysOf(c), QStringList({"A", "B"}));   // it stays for its claimant
    QVERIFY(!a->isPlugged());
    QVERIFY(a->isClaimed());
    QVERIFY(!a->unplugHandler());

    // Reported again at each later pass, unplug handler and all cleared.
    c.runDeviceChangePass();
    QCOMPARE(log.events, QStringList({"unplug A", "removal A", "change", "removal A", "change"}));

    // Coming back under the same name makes a new device, the old one stays unplugged.
    system->add(fakeHidDevice("A"));
    c.runDeviceChangePass();
    QCOMPARE(keysOf(c), QStringList({"A", "B", "A"}));
    QVERIFY(!a->isPlugged());

    a.reset();   // returned: an unplugged device's position goes
    QCOMPARE(keysOf(c), QStringList({"B", "A"}));
}

void TestHidDeviceController::listDevices_data()
{
    QTest::addColumn<bool>("withHandler");
    QTest::addColumn<int>("stopAfter");   // the offer that answers false; -1: none
    QTest::addColumn<bool>("unplugFirst");
    QTest::addColumn<int>("expectedCount");
    QTest::addColumn<QStringList>("expectedOffers");

    QTest::newRow("without an enumerate handler only the first plugged device counts")
        << false << -1 << false << 1 << QStringList();
    QTest::newRow("each plugged device offered with its list position")
        << true << -1 << false << 3 << QStringList({"0 A", "1 B", "2 C"});
    QTest::newRow("an answer false stops the listing")
        << true << 1 << false << 2 << QStringList({"0 A", "1 B"});
    QTest::newRow("an unplugged device is passed over, positions stay")
        << true << -1 << true << 2 << QStringList({"1 B", "2 C"});
}

void TestHidDeviceController::listDevices()
{
    QFETCH(bool, withHandler);
    QFETCH(int, stopAfter);
    QFETCH(bool, unplugFirst);
    QFETCH(int, expectedCount);
    QFETCH(QStringList, expectedOffers);

    auto system = systemWith({"A", "B", "C"});
    HidDeviceController c(system->backend());
    std::unique_ptr<HidDevice> first;
    if (unplugFirst) {
        first = c.claimDeviceAt(0);
        system->remove("A");
        c.runDeviceChangePass();
    }
    QStringList offers;
    if (withHandler) {
        c.setEnumerateHandler([&](HidDevice *d, int idx) {
            offers << QString::number(idx) + QLatin1Char(' ') + d->interfaceInfo().instanceKey;
            return offers.size() - 1 != stopAfter;
        });
    }
    QCOMPARE(c.listDevices(), expectedCount);
    QCOMPARE(offers, expectedOffers);
}

void TestHidDeviceController::claimBounds_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("-1") << -1;
    QTest::newRow("the list's count") << 2;
    QTest::newRow("a claimed device") << 0;
}

void TestHidDeviceController::claimBounds()
{
    QFETCH(int, index);
    auto system = systemWith({"A", "B"});
    HidDeviceController c(system->backend());
    std::unique_ptr<HidDevice> a = c.claimDeviceAt(0);
    QVERIFY(a);
    QCOMPARE(a.get(), c.devices()[0]);
    QVERIFY(a->isClaimed());

    QVERIFY(!c.claimDeviceAt(index));
    QVERIFY(!c.devices()[1]->isClaimed());
}

void TestHidDeviceController::returnWithReplacement()
{
    auto system = systemWith({"A", "B"});
    HidDeviceController c(system->backend());
    std::unique_ptr<HidDevice> b = c.claimDeviceAt(1);
    int reports = 0;
    const HidDataHandler data = [&reports](HidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {
        ++reports;
    };
    const HidDataErrorHandler error = [](HidDevice *, std::uint32_t) {};
    const HidPlugHandler unplug = [](HidDevice *) {};
    b->setDataHandler(data);
    b->setDataErrorHandler(error);
    b->setUnplugHandler(unplug);
    b->setSleepTime(250);
    QVERIFY(b->readThread());
    const HidDevice *old = b.get();

    b.reset();
    QCOMPARE(keysOf(c), QStringList({"A", "B"}));
    HidDevice *replacement = c.devices()[1];
    QVERIFY(replacement != old);
    QVERIFY(!replacement->isClaimed());
    QVERIFY(replacement->isPlugged());
    QVERIFY(replacement->dataHandler() == data);
    QVERIFY(replacement->dataErrorHandler() == error);
    QVERIFY(replacement->unplugHandler() == unplug);
    QCOMPARE(replacement->sleepTime(), 250);
    QVERIFY(!replacement->readThread());

    // Claimed again, it reads at once with the handler it kept.
    b = c.claimDeviceAt(1);
    QCOMPARE(b.get(), replacement);
    QVERIFY(b->readThread());
    system->queueReport(b->interfaceInfo().path, QByteArray::fromHex("00f0"));
    QTRY_COMPARE(reports, 1);
}

void TestHidDeviceController::returnWhenReplacementFails()
{
    auto system = systemWith({"A", "B", "C"});
    HidDeviceController c(system->backend());
    std::unique_ptr<HidDevice> b = c.claimDeviceAt(1);
    system->edit("B", [](FakeHidDevice &d) { d.readWrite = d.queryOnly = false; });

    b.reset();
    QCOMPARE(keysOf(c), QStringList({"A", "C"}));

    // Once it opens again, the next pass lists it anew.
    EventLog log;
    log.bind(c);
    log.events.clear();
    system->edit("B", [](FakeHidDevice &d) { d.readWrite = d.queryOnly = true; });
    c.runDeviceChangePass();
    QCOMPARE(log.events, QStringList({"arrival B", "change"}));
}

void TestHidDeviceController::handlerPropagation()
{
    auto system = systemWith({"A", "B"});
    HidDeviceController c(system->backend());
    HidDevice *a = c.devices()[0];
    HidDevice *b = c.devices()[1];
    const auto dataHandler = [] {
        return HidDataHandler([](HidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {});
    };
    const HidDataHandler h1 = dataHandler(), h2 = dataHandler(), h3 = dataHandler();

    c.setDataHandler(h1);
    QVERIFY(a->dataHandler() == h1 && b->dataHandler() == h1);
    b->setDataHandler(h2);
    c.setDataHandler(h3);   // only a device that still has the old one follows
    QVERIFY(a->dataHandler() == h3);
    QVERIFY(b->dataHandler() == h2);

    const HidDataErrorHandler e1 = [](HidDevice *, std::uint32_t) {};
    const HidDataErrorHandler e2 = [](HidDevice *, std::uint32_t) {};
    c.setDataErrorHandler(e1);
    b->setDataErrorHandler(e2);
    c.setDataErrorHandler(nullptr);
    QVERIFY(!a->dataErrorHandler());
    QVERIFY(b->dataErrorHandler() == e2);

    const HidPlugHandler u1 = [](HidDevice *) {};
    c.setUnplugHandler(u1);
    QVERIFY(a->unplugHandler() == u1 && b->unplugHandler() == u1);

    // A device listed later starts with the controller's handlers.
    system->add(fakeHidDevice("C"));
    c.runDeviceChangePass();
    HidDevice *d = c.devices()[2];
    QVERIFY(d->dataHandler() == h3);
    QVERIFY(!d->dataErrorHandler());
    QVERIFY(d->unplugHandler() == u1);
}

void TestHidDeviceController::sleepTime_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("9 is ignored") << 9 << 100;
    QTest::newRow("10 is taken") << 10 << 10;
    QTest::newRow("10000 is taken") << 10000 << 10000;
    QTest::newRow("10001 is ignored") << 10001 << 100;
}

void TestHidDeviceController::sleepTime()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    auto system = systemWith({"A"});
    HidDeviceController c(system->backend());
    HidDevice *a = c.devices()[0];
    QCOMPARE(a->sleepTime(), 100);
    a->setSleepTime(value);
    QCOMPARE(a->sleepTime(), expected);
}

void TestHidDeviceController::readThreadSleepTime_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("50 is handed on") << 50 << 50;
    QTest::newRow("10 is handed on") << 10 << 10;
    QTest::newRow("9 is ignored") << 9 << 100;
    QTest::newRow("10001 is ignored") << 10001 << 100;
}

void TestHidDeviceController::readThreadSleepTime()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    auto system = systemWith({"A", "B"});
    HidDeviceController c(system->backend());
    c.devices()[1]->setSleepTime(300);
    c.setReadThreadSleepTime(value);
    QCOMPARE(c.readThreadSleepTime(), expected);
    QCOMPARE(c.devices()[0]->sleepTime(), expected);
    QCOMPARE(c.devices()[1]->sleepTime(), 300);   // set on its own, it keeps its time

    // A device listed later starts with the controller's time and follows it.
    system->add(fakeHidDevice("C"));
    c.runDeviceChangePass();
    QCOMPARE(c.devices()[2]->sleepTime(), expected);
    c.setReadThreadSleepTime(250);
    QCOMPARE(c.devices()[0]->sleepTime(), 250);
    QCOMPARE(c.devices()[1]->sleepTime(), 300);
    QCOMPARE(c.devices()[2]->sleepTime(), 250);
}

void TestHidDeviceController::oneController()
{
    auto system = systemWith({"A"});
    auto first = std::make_unique<HidDeviceController>(system->backend());
    QVERIFY(first->isAvailable());
    QCOMPARE(first->errorString(), QString());
    QCOMPARE(HidDeviceController::liveCount(), 1);
    {
        const int listings = system->listings;
        HidDeviceController second(system->backend());
        QVERIFY(!second.isAvailable());
        QCOMPARE(second.errorString(), QStringLiteral("only one HID device controller is allowed per program"));
        QVERIFY(second.devices().empty());
        QCOMPARE(system->listings, listings);
        QCOMPARE(HidDeviceController::liveCount(), 1);
    }
    QCOMPARE(HidDeviceController::liveCount(), 1);
    // The first one still works, notices included.
    system->add(fakeHidDevice("B"));
    system->notify();
    QCOMPARE(keysOf(*first), QStringList({"A", "B"}));

    first.reset();
    QCOMPARE(HidDeviceController::liveCount(), 0);
    HidDeviceController again(system->backend());
    QVERIFY(again.isAvailable());
    QCOMPARE(keysOf(again), QStringList({"A", "B"}));
}

void TestHidDeviceController::serialNumber_data()
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

void TestHidDeviceController::serialNumber()
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
    HidDeviceController c(system->backend());
    std::unique_ptr<HidDevice> device = c.claimDeviceAt(0);
    QCOMPARE(device->serialNumber(), expected);
    QCOMPARE(device->productString(), QStringLiteral("USB to Serial"));

    // The cached strings remain once the device is gone.
    system->remove("A");
    c.runDeviceChangePass();
    QCOMPARE(device->productString(), QStringLiteral("USB to Serial"));
    QCOMPARE(device->serialNumber(), expected);
}

void TestHidDeviceController::readingNeedsHandlerClaimAndAccess()
{
    auto system = systemWith({"A"});
    FakeHidDevice queryOnly = fakeHidDevice("B");
    queryOnly.readWrite = false;
    system->add(queryOnly);
    HidDeviceController c(system->backend());
    const HidDataHandler handler = [](HidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {};

    c.devices()[0]->setDataHandler(handler);
    QVERIFY(!c.devices()[0]->readThread());   // listed, not claimed
    std::unique_ptr<HidDevice> a = c.claimDeviceAt(0);
    QVERIFY(a->readThread());

    std::unique_ptr<HidDevice> b = c.claimDeviceAt(1);
    QVERIFY(!b->readThread());
    b->setDataHandler(handler);
    QVERIFY(!b->readThread());   // no read/write access

    a->setDataHandler(nullptr);
    QVERIFY(!a->readThread());
}

void TestHidDeviceController::controlRequests_data()
{
    QTest::addColumn<Hold>("hold");
    QTest::addColumn<bool>("readWrite");
    QTest::addColumn<bool>("acceptsFeature");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<bool>("reset");   // the reset reached the system

    QTest::newRow("claimed: both reach the system") << Hold::Claimed << true << true << true << true;
    QTest::newRow("offered by the enumerate handler: both reach the system")
        << Hold::Offered << true << true << true << true;
    QTest::newRow("without read/write access no feature report goes out")
        << Hold::Claimed << false << true << false << true;
    QTest::newRow("a feature report the device refuses is reported as failed")
        << Hold::Claimed << true << false << false << true;
    QTest::newRow("listed, neither claimed nor offered: neither") << Hold::Listed << true << true << false << false;
    QTest::newRow("unplugged: neither") << Hold::Unplugged << true << true << false << false;
}

void TestHidDeviceController::controlRequests()
{
    QFETCH(Hold, hold);
    QFETCH(bool, readWrite);
    QFETCH(bool, acceptsFeature);
    QFETCH(bool, sent);
    QFETCH(bool, reset);

    auto system = std::make_shared<FakeHidSystem>();
    FakeHidDevice d = fakeHidDevice("A");
    d.readWrite = readWrite;
    d.acceptsFeature = acceptsFeature;
    system->add(d);
    system->resetResult = HidBackend::ResetResult::Done;
    HidDeviceController c(system->backend());

    const QByteArray setup = QByteArray::fromHex("00600900000300000000");
    bool sendResult = false;
    HidBackend::ResetResult resetResult = HidBackend::ResetResult::NotPermitted;
    QString detail;
    const auto request = [&](HidDevice *device) {
        sendResult = device->sendFeatureReport(reinterpret_cast<const std::uint8_t *>(setup.constData()),
                                               int(setup.size()));
        resetResult = device->resetUsbDevice(detail);
    };
    std::unique_ptr<HidDevice> claimed;
    switch (hold) {
    case Hold::Claimed:
        claimed = c.claimDeviceAt(0);
        request(claimed.get());
        break;
    case Hold::Listed:
        request(c.devices()[0]);
        break;
    case Hold::Offered:
        c.setEnumerateHandler([&](HidDevice *device, int) {
            request(device);
            return true;
        });
        c.listDevices();
        break;
    case Hold::Unplugged:
        claimed = c.claimDeviceAt(0);
        system->remove("A");
        c.runDeviceChangePass();
        request(claimed.get());
        break;
    }

    QCOMPARE(sendResult, sent);
    QCOMPARE(system->features().size(), std::size_t(sent ? 1 : 0));
    if (sent) {
        QCOMPARE(system->features()[0].path, d.path);
        QCOMPARE(system->features()[0].bytes, setup);
    }
    if (reset) {
        QCOMPARE(resetResult, HidBackend::ResetResult::Done);
        QCOMPARE(system->resets, QStringList({d.path}));
    } else {
        QCOMPARE(resetResult, HidBackend::ResetResult::Failed);
        QCOMPARE(detail, QStringLiteral("the device is no longer accessible"));
        QVERIFY(system->resets.isEmpty());
    }
}

void TestHidDeviceController::noticeDuringPass()
{
    // A handler that opens a dialog lets the next notice in while the pass
    // still walks the list; that notice waits for the pass to end.
    auto system = systemWith({"A"});
    HidDeviceController c(system->backend());
    EventLog log;
    log.bind(c);
    log.events.clear();
    log.onEvent = [&](HidDevice *d) {
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

void TestHidDeviceController::destructionOrphansClaimedDevices()
{
    auto system = systemWith({"A", "B"});
    auto c = std::make_unique<HidDeviceController>(system->backend());
    std::unique_ptr<HidDevice> a = c->claimDeviceAt(0);
    int unplugs = 0;
    a->setUnplugHandler([&unplugs](HidDevice *) { ++unplugs; });

    c.reset();
    QVERIFY(!a->controller());
    QVERIFY(!a->isPlugged());
    QCOMPARE(unplugs, 1);
    QCOMPARE(a->productString(), QString());   // never read while it was accessible
    a.reset();
    QVERIFY(!system->notice);
}

void TestHidDeviceController::destructionWhileClaimantReturnsDevices()
{
    // A claimant that lets all its devices go when the first one is unplugged
    // returns the others while the controller is still orphaning them.
    auto system = systemWith({"A", "B", "C"});
    auto c = std::make_unique<HidDeviceController>(system->backend());
    std::unique_ptr<HidDevice> a = c->claimDeviceAt(0);
    std::unique_ptr<HidDevice> b = c->claimDeviceAt(1);
    QStringList unplugs;
    a->setUnplugHandler([&](HidDevice *d) {
        unplugs << d->interfaceInfo().instanceKey;
        b.reset();
    });
    b->setUnplugHandler([&](HidDevice *d) { unplugs << d->interfaceInfo().instanceKey; });

    c.reset();
    QCOMPARE(unplugs, QStringList({"A"}));
    QVERIFY(!b);
    QVERIFY(!a->controller());
    QVERIFY(!a->isPlugged());
}

QTEST_GUILESS_MAIN(TestHidDeviceController)
#include "tst_hiddevicecontroller.moc"
