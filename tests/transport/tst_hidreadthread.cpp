#include "fakes/fakehidbackend.h"
#include "transport/hiddevicecontroller.h"
#include "transport/hidreadthread.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <thread>

namespace {

struct Delivery
{
    std::uint8_t reportId;
    QByteArray data;
    bool onMainThread;
};

// A claimed device of a fake system and what its handlers received.
class Rig
{
public:
    Rig()
    {
        system->add(fakeHidDevice("A"));
        controller = std::make_unique<HidDeviceController>(system->backend());
        device = controller->claimDeviceAt(0);
        device->setDataErrorHandler([this](HidDevice *, std::uint32_t error) { errors.append(error); });
    }

    HidDataHandler recorder()
    {
        return [this](HidDevice *, std::uint8_t id, const std::uint8_t *data, std::uint16_t size) {
            deliveries.append({id, QByteArray(reinterpret_cast<const char *>(data), size),
                               QThread::currentThread() == qApp->thread()});
        };
    }
    void queue(const QByteArray &report) { system->queueReport(path(), report); }
    QString path() const { return QStringLiteral("/dev/hidraw-A"); }

    // Waits for the read thread's hand-off without running the event loop,
    // which would deliver it.
    bool waitForHandOff()
    {
        QElapsedTimer clock;
        clock.start();
        while (!device->readThread()->reportWaiting()) {
            if (clock.elapsed() > 10000)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::shared_ptr<FakeHidSystem> system = std::make_shared<FakeHidSystem>();
    std::unique_ptr<HidDeviceController> controller;
    std::unique_ptr<HidDevice> device;
    QList<Delivery> deliveries;
    QList<std::uint32_t> errors;
};

} // namespace

class TestHidReadThread : public QObject
{
    Q_OBJECT
private slots:
    void delivery_data();
    void delivery();
    void deliveryInOrder();
    void handlerChangeKeepsThread();
    void stopWhileHandedOver();
    void stopFromInsideHandler();
    void returnFromInsideHandler();
    void returnWhileStopping();
    void controllerHandlerClearedWhileDeviceReturned();
    void failedReadIsNotDelivered();
    void readCannotBeIssued();
    void unplugWhileReading();
    void orphanedWhileReading();
    void startAndStopRepeatedly();
};

void TestHidReadThread::delivery_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("expectedId");
    QTest::addColumn<QByteArray>("expectedData");

    QTest::newRow("device without report IDs") << QByteArray::fromHex("00f22b31") << 0 << QByteArray::fromHex("f22b31");
    QTest::newRow("numbered report") << QByteArray::fromHex("05010203") << 5 << QByteArray::fromHex("010203");
    QTest::newRow("report ID alone") << QByteArray::fromHex("07") << 7 << QByteArray();
}

void TestHidReadThread::delivery()
{
    QFETCH(QByteArray, report);
    QFETCH(int, expectedId);
    QFETCH(QByteArray, expectedData);
    Rig rig;
    rig.device->setDataHandler(rig.recorder());
    rig.queue(report);
    QTRY_COMPARE(rig.deliveries.size(), 1);
    QCOMPARE(int(rig.deliveries[0].reportId), expectedId);
    QCOMPARE(rig.deliveries[0].data, expectedData);   // the size is the bytes read less the ID
    QVERIFY(rig.deliveries[0].onMainThread);
    QVERIFY(rig.errors.isEmpty());
}

void TestHidReadThread::deliveryInOrder()
{
    Rig rig;
    rig.device->setDataHandler(rig.recorder());
    for (int i = 0; i < 200; ++i)
        rig.queue(QByteArray(1, '\0') + QByteArray(1, char(i)) + QByteArray(7, 'x'));
    QTRY_COMPARE(rig.deliveries.size(), 200);
    for (int i = 0; i < 200; ++i) {
        QCOMPARE(rig.deliveries[i].data.at(0), char(i));
        QCOMPARE(rig.deliveries[i].data.size(), 8);
        QVERIFY(rig.deliveries[i].onMainThread);
    }
}

void TestHidReadThread::handlerChangeKeepsThread()
{
    Rig rig;
    rig.device->setDataHandler(rig.recorder());
    const HidReadThread *thread = rig.device->readThread();
    rig.queue(QByteArray::fromHex("0001"));
    QTRY_COMPARE(rig.deliveries.size(), 1);

    int second = 0;
    rig.device->setDataHandler([&second](HidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {
        ++second;
    });
    QCOMPARE(rig.device->readThread(), thread);
    rig.queue(QByteArray::fromHex("0002"));
    QTRY_COMPARE(second, 1);
    QCOMPARE(rig.deliveries.size(), 1);
    QCOMPARE(rig.system->readOpens(), 1);
}

void TestHidReadThread::stopWhileHandedOver()
{
    Rig rig;
    rig.device->setDataHandler(rig.recorder());
    rig.queue(QByteArray::fromHex("0011"));
    rig.queue(QByteArray::fromHex("0022"));
    QVERIFY(rig.waitForHandOff());

    // The main thread waits for the thread here; the report it had already
    // handed over still reaches the handler set before the stop.
    rig.device->setDataHandler(nullptr);
    QVERIFY(!rig.device->readThread());
    QCOMPARE(rig.deliveries.size(), 1);
    QCOMPARE(rig.deliveries[0].data, QByteArray::fromHex("11"));
    QVERIFY(rig.deliveries[0].onMainThread);

    // Its wake-up, still queued, delivers nothing more.
    QTest::qWait(50);
    QCOMPARE(rig.deliveries.size(), 1);
    QCOMPARE(rig.system->queuedReports(rig.path()), std::size_t(1));
}

void TestHidReadThread::stopFromInsideHandler()
{
    Rig rig;
    int calls = 0;
    rig.device->setDataHandler([&](HidDevice *device, std::uint8_t, const std::uint8_t *data, std::uint16_t) {
        ++calls;
        device->setDataHandler(nullptr);
        QCOMPARE(data[0], std::uint8_t(0x11));   // the report is still readable after the stop
    });
    rig.queue(QByteArray::fromHex("0011"));
    rig.queue(QByteArray::fromHex("0022"));
    QTRY_COMPARE(calls, 1);
    QVERIFY(!rig.device->readThread());
    QTest::qWait(50);
    QCOMPARE(calls, 1);
}

void TestHidReadThread::returnFromInsideHandler()
{
    Rig rig;
    int calls = 0;
    rig.device->setDataHandler([&](HidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {
        ++calls;
        rig.device.reset();
    });
    rig.queue(QByteArray::fromHex("0011"));
    rig.queue(QByteArray::fromHex("0022"));
    QTRY_VERIFY(!rig.device);
    QTest::qWait(50);
    QCOMPARE(calls, 1);
    // Returned while plugged: an unclaimed replacement holds its place.
    QCOMPARE(rig.controller->devices().size(), std::size_t(1));
    QVERIFY(!rig.controller->devices()[0]->isClaimed());
}

void TestHidReadThread::returnWhileStopping()
{
    // The stop delivers a report handed over before it; that report's
    // handler returns the device whose thread is being stopped.
    Rig rig;
    int calls = 0;
    rig.device->setDataHandler([&](HidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {
        ++calls;
        rig.device.reset();
    });
    rig.queue(QByteArray::fromHex("0011"));
    QVERIFY(rig.waitForHandOff());
    HidDevice *device = rig.device.get();
    device->setDataHandler(nullptr);
    QCOMPARE(calls, 1);
    QVERIFY(!rig.device);
    QCOMPARE(rig.controller->devices().size(), std::size_t(1));
    QVERIFY(!rig.controller->devices()[0]->isClaimed());
}

void TestHidReadThread::controllerHandlerClearedWhileDeviceReturned()
{
    // Clearing the controller's data handler stops the reading of each device
    // that has it. The report delivered during the first stop returns the
    // second device, whose replacement must follow the change all the same.
    Rig rig;
    rig.system->add(fakeHidDevice("B"));
    rig.controller->runDeviceChangePass();
    std::unique_ptr<HidDevice> b = rig.controller->claimDeviceAt(1);
    QVERIFY(b);
    int calls = 0;
    rig.controller->setDataHandler([&](HidDevice *, std::uint8_t, const std::uint8_t *, std::uint16_t) {
        ++calls;
        b.reset();
    });
    QVERIFY(rig.device->readThread());
    QVERIFY(b->readThread());
    rig.queue(QByteArray::fromHex("0011"));
    QVERIFY(rig.waitForHandOff());

    rig.controller->setDataHandler(nullptr);
    QCOMPARE(calls, 1);
    QVERIFY(!b);
    QVERIFY(!rig.device->dataHandler());
    QVERIFY(!rig.device->readThread());
    QCOMPARE(rig.controller->devices().size(), std::size_t(2));
    const HidDevice *replacement = rig.controller->devices()[1];
    QCOMPARE(replacement->interfaceInfo().instanceKey, QStringLiteral("B"));
    QVERIFY(!replacement->isClaimed());
    QVERIFY(!replacement->dataHandler());
}

void TestHidReadThread::failedReadIsNotDelivered()
{
    Rig rig;
    rig.device->setSleepTime(10);
    rig.system->failNextRead(rig.path(), EIO);
    rig.device->setDataHandler(rig.recorder());
    rig.queue(QByteArray::fromHex("0033"));
    QTRY_COMPARE(rig.deliveries.size(), 1);
    QCOMPARE(rig.deliveries[0].data, QByteArray::fromHex("33"));
    QVERIFY(rig.errors.isEmpty());
    QCOMPARE(rig.system->readOpens(), 2);   // the failed handle was closed and opened afresh
    // hidapi's opens touch its global state: the read thread never opens.
    QCOMPARE(rig.system->opensOffMainThread(), 0);
}

void TestHidReadThread::readCannotBeIssued()
{
    Rig rig;
    rig.system->edit("A", [](FakeHidDevice &d) { d.readOpenError = EACCES; });
    rig.device->setSleepTime(10000);
    rig.device->setDataHandler(rig.recorder());
    QTRY_COMPARE(rig.errors.size(), 1);
    QCOMPARE(rig.errors[0], std::uint32_t(EACCES));

    // One error per attempt, and an attempt per sleep time, not a busy loop.
    QTest::qWait(300);
    QCOMPARE(rig.errors.size(), 1);
    QCOMPARE(rig.system->readOpens(), 1);

    // The pause ends at once when the thread is stopped.
    QElapsedTimer clock;
    clock.start();
    rig.device->setDataHandler(nullptr);
    QVERIFY2(clock.elapsed() < 5000, "stopping waited out the pause");
    QVERIFY(rig.deliveries.isEmpty());
    QCOMPARE(rig.system->opensOffMainThread(), 0);
}

void TestHidReadThread::unplugWhileReading()
{
    Rig rig;
    QStringList removals;
    rig.controller->setRemovalHandler([&](HidDevice *d) { removals << d->interfaceInfo().instanceKey; });
    rig.device->setSleepTime(10);
    rig.device->setDataHandler(rig.recorder());
    rig.queue(QByteArray::fromHex("0001"));
    QTRY_COMPARE(rig.deliveries.size(), 1);

    // The pass closes the read handle while the thread waits on it.
    rig.system->remove("A");
    rig.controller->runDeviceChangePass();
    QCOMPARE(removals, QStringList({"A"}));
    QVERIFY(!rig.device->isPlugged());
    QVERIFY(rig.device->readThread());

    QTRY_VERIFY(!rig.errors.isEmpty());
    QCOMPARE(rig.errors[0], hidDeviceGoneError());
    QTest::qWait(200);
    // One a sleep time at most (10 ms here), where a busy loop makes thousands.
    QVERIFY2(rig.errors.size() <= 40, qPrintable(QString::number(rig.errors.size())));
    QCOMPARE(rig.deliveries.size(), 1);

    rig.device.reset();
    QVERIFY(rig.controller->devices().empty());
}

void TestHidReadThread::orphanedWhileReading()
{
    Rig rig;
    rig.device->setSleepTime(10);
    rig.device->setDataHandler(rig.recorder());
    rig.controller.reset();
    QVERIFY(!rig.device->controller());
    QTRY_VERIFY(!rig.errors.isEmpty());
    QCOMPARE(rig.errors[0], hidDeviceGoneError());
    rig.device.reset();
}

void TestHidReadThread::startAndStopRepeatedly()
{
    Rig rig;
    for (int i = 0; i < 20; ++i) {
        rig.device->setDataHandler(rig.recorder());
        rig.queue(QByteArray(1, '\0') + QByteArray(1, char(i)));
        QTRY_COMPARE(rig.deliveries.size(), i + 1);
        if (i % 2)
            rig.queue(QByteArray::fromHex("00ff"));   // may be handed over while stopping
        rig.device->setDataHandler(nullptr);
        QVERIFY(!rig.device->readThread());
        if (rig.deliveries.size() > i + 1)
            rig.deliveries.removeLast();
        std::lock_guard lock(rig.system->mutex);
        rig.system->reports.clear();
    }
    QCOMPARE(rig.system->opensOffMainThread(), 0);
}

QTEST_GUILESS_MAIN(TestHidReadThread)
#include "tst_hidreadthread.moc"
