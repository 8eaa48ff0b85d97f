#include "fakes/fakehidbackend.h"
#include "transport/hiddevicecontroller.h"

#include <QtTest>

namespace {

// Writes down what the controller reports, in order: "arrival B",
// "removal A", "change".
class EventLog
{
public:
    explicit EventLog(HidDeviceController &c)
    {
        QObject::connect(&c, &HidDeviceController::deviceArrived, &c,
                         [this](const HidDevice &d) { note(QStringLiteral("arrival "), d); });
        QObject::connect(&c, &HidDeviceController::deviceRemoved, &c,
                         [this](const HidDevice &d) { note(QStringLiteral("removal "), d); });
        QObject::connect(&c, &HidDeviceController::devicesChanged, &c, [this] { events << QStringLiteral("change"); });
    }
    void note(const QString &what, const HidDevice &d)
    {
        events << what + d.instanceKey;
        devices << d;
        if (onEvent)
            onEvent(d);
    }

    QStringList events;
    QList<HidDevice> devices;
    std::function<void(const HidDevice &)> onEvent;
};

QStringList keysOf(const HidDeviceController &c)
{
    QStringList keys;
    for (const HidDevice &d : c.devices())
        keys << d.instanceKey;
    return keys;
}

std::shared_ptr<FakeHidSystem> systemWith(const QStringList &keys)
{
    auto system = std::make_shared<FakeHidSystem>();
    for (const QString &key : keys)
        system->add(fakeHidDevice(key));
    return system;
}

// Applies one change of the system: "+K" plugs K in, "-K" pulls it, "!K"
// makes K refuse every opening, "?K" lets it open again, "=K>L" plugs K in
// again as L (same path, a new instance).
void change(FakeHidSystem &system, const QString &step)
{
    const QString key = step.mid(1);
    switch (step.at(0).toLatin1()) {
    case '+':
        system.add(fakeHidDevice(key));
        break;
    case '-':
        system.remove(key);
        break;
    case '!':
    case '?': {
        const bool opens = step.at(0) == QLatin1Char('?');
        system.edit(key, [opens](FakeHidDevice &d) { d.readWrite = d.queryOnly = opens; });
        break;
    }
    case '=': {
        const QString from = key.section(QLatin1Char('>'), 0, 0);
        FakeHidDevice again = fakeHidDevice(from);
        again.key = key.section(QLatin1Char('>'), 1);
        system.remove(from);
        system.add(again);
        break;
    }
    default:
        QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
}

} // namespace

class TestHidDeviceController : public QObject
{
    Q_OBJECT
private slots:
    void listing_data();
    void listing();
    void changePass_data();
    void changePass();
    void identityOutlivesTheDevice();
    void noHidServices();
    void noticesRunPasses();
    void noticeDuringPass();
};

void TestHidDeviceController::listing_data()
{
    QTest::addColumn<bool>("readWrite");
    QTest::addColumn<bool>("queryOnly");
    QTest::addColumn<bool>("identifiable");
    QTest::addColumn<bool>("listed");

    QTest::newRow("opens for reading and writing") << true << false << true << true;
    QTest::newRow("only says what it is: this user may not read it") << false << true << true << true;
    QTest::newRow("does not open at all") << false << false << true << false;
    QTest::newRow("does not say what it is") << true << true << false << false;
}

void TestHidDeviceController::listing()
{
    QFETCH(bool, readWrite);
    QFETCH(bool, queryOnly);
    QFETCH(bool, identifiable);
    QFETCH(bool, listed);

    auto system = systemWith({"A"});
    FakeHidDevice b = fakeHidDevice("B", "Keyboard");
    b.readWrite = readWrite;
    b.queryOnly = queryOnly;
    b.identifiable = identifiable;
    b.serial = QStringLiteral("K-77");
    b.attributes = {0x04d9, 0xa0cd};
    system->add(b);
    system->add(fakeHidDevice("C"));

    const std::unique_ptr<HidBackend> backend = system->backend();
    HidDeviceController c(*backend);
    QVERIFY(keysOf(c).isEmpty());   // nothing before start
    c.start();
    QCOMPARE(keysOf(c), listed ? QStringList({"A", "B", "C"}) : QStringList({"A", "C"}));
    if (listed) {
        const HidDevice &d = c.devices()[1];
        QCOMPARE(d.path, QStringLiteral("/dev/hidraw-B"));
        QCOMPARE(d.productString, QStringLiteral("Keyboard"));
        QCOMPARE(d.serialNumber, QStringLiteral("K-77"));
        QCOMPARE(d.vendorId, std::uint16_t(0x04d9));
        QCOMPARE(d.productId, std::uint16_t(0xa0cd));
    }
    // Listing reads nothing: no device is opened for its reports.
    QCOMPARE(system->readOpens(), 0);
}

void TestHidDeviceController::changePass_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("nothing changed: nothing reported")
        << QStringList({"A"}) << QStringList() << QStringList() << QStringList({"A"});
    QTest::newRow("removals from the last to the first, then arrivals in the system's order")
        << QStringList({"A", "B", "C"}) << QStringList({"-A", "-C", "+D", "+E"})
        << QStringList({"removal C", "removal A", "arrival D", "arrival E", "change"}) << QStringList({"B", "D", "E"});
    QTest::newRow("plugged in again at the same path: gone, and new at the end")
        << QStringList({"A", "B"}) << QStringList({"=A>A2"}) << QStringList({"removal A", "arrival A2", "change"})
        << QStringList({"B", "A2"});
    QTest::newRow("a listed interface that no longer opens counts as gone, and comes back when it opens")
        << QStringList({"A", "B"}) << QStringList({"!A", ".", "?A"})
        << QStringList({"removal A", "change", "arrival A", "change"}) << QStringList({"B", "A"});
    QTest::newRow("one that does not open yet is not listed, and is tried again at the next pass")
        << QStringList({"A"}) << QStringList({"+B", "!B", ".", "?B"}) << QStringList({"arrival B", "change"})
        << QStringList({"A", "B"});
}

void TestHidDeviceController::changePass()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);
    QFETCH(QStringList, after);

    auto system = systemWith(before);
    const std::unique_ptr<HidBackend> backend = system->backend();
    HidDeviceController c(*backend);
    EventLog log(c);
    c.start();
    // The first pass is reported although nothing changed, and lists what
    // was there before without arrivals.
    QCOMPARE(log.events, QStringList({"change"}));
    log.events.clear();

    // "." runs a pass between the steps; one runs after the last.
    for (const QString &step : steps) {
        if (step == QLatin1String("."))
            c.refresh();
        else
            change(*system, step);
    }
    c.refresh();
    QCOMPARE(log.events, events);
    QCOMPARE(keysOf(c), after);
}

void TestHidDeviceController::identityOutlivesTheDevice()
{
    // What a device said of itself when it was listed is what its removal
    // reports: it cannot be asked any more.
    auto system = std::make_shared<FakeHidSystem>();
    FakeHidDevice cable = fakeHidDevice("A");
    cable.serial = QStringLiteral("0042");
    system->add(cable);
    const std::unique_ptr<HidBackend> backend = system->backend();
    HidDeviceController c(*backend);
    EventLog log(c);
    c.start();
    system->remove("A");
    system->notify();
    QCOMPARE(log.events, QStringList({"change", "removal A", "change"}));
    QCOMPARE(log.devices.size(), 1);
    QCOMPARE(log.devices[0].productString, QStringLiteral("USB to Serial"));
    QCOMPARE(log.devices[0].serialNumber, QStringLiteral("0042"));
    QCOMPARE(log.devices[0].path, QStringLiteral("/dev/hidraw-A"));
}

void TestHidDeviceController::noHidServices()
{
    auto system = systemWith({"A"});
    system->available = false;
    const std::unique_ptr<HidBackend> backend = system->backend();
    HidDeviceController c(*backend);
    EventLog log(c);
    c.start();
    QVERIFY(!c.isAvailable());
    QCOMPARE(c.errorString(), QStringLiteral("the system's HID devices cannot be listed"));
    QVERIFY(c.devices().empty());
    QVERIFY(!system->notice);
    QCOMPARE(system->listings, 0);
    // The only report is the first one.
    QCOMPARE(log.events, QStringList({"change"}));
    c.refresh();
    QCOMPARE(log.events, QStringList({"change"}));
}

void TestHidDeviceController::noticesRunPasses()
{
    auto system = systemWith({"A"});
    const std::unique_ptr<HidBackend> backend = system->backend();
    {
        HidDeviceController c(*backend);
        EventLog log(c);
        QVERIFY(!system->notice);   // nothing is watched before start
        c.start();
        QVERIFY(system->notice);
        system->add(fakeHidDevice("B"));
        system->notify();
        QCOMPARE(log.events, QStringList({"change", "arrival B", "change"}));
        QCOMPARE(c.errorString(), QString());
    }
    // Gone with its controller.
    QVERIFY(!system->notice);
}

void TestHidDeviceController::noticeDuringPass()
{
    // A slot that opens a dialog lets the next notice in while the pass
    // still walks the list; that notice waits for the pass to end.
    auto system = systemWith({"A"});
    const std::unique_ptr<HidBackend> backend = system->backend();
    HidDeviceController c(*backend);
    EventLog log(c);
    c.start();
    log.events.clear();
    log.onEvent = [&](const HidDevice &d) {
        if (d.instanceKey == QLatin1String("B")) {
            system->add(fakeHidDevice("C"));
            system->notify();
        }
    };
    system->add(fakeHidDevice("B"));
    system->notify();
    QCOMPARE(log.events, QStringList({"arrival B", "change", "arrival C", "change"}));
    QCOMPARE(keysOf(c), QStringList({"A", "B", "C"}));
}

QTEST_GUILESS_MAIN(TestHidDeviceController)
#include "tst_hiddevicecontroller.moc"
