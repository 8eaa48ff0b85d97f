#include "fakes/fakehidbackend.h"
#include "transport/hidreadthread.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <thread>

namespace {

const QString Path = QStringLiteral("/dev/hidraw-A");

struct Delivery
{
    std::uint8_t reportId;
    QByteArray data;
    bool onMainThread;
};

// A read thread on device A of a fake system, and what its handlers received.
class Rig
{
public:
    Rig() { system->add(fakeHidDevice("A")); }

    // Starts reading A; `onReport` runs after each delivery is written down.
    void start(std::function<void()> onReport = {})
    {
        HidFailure why;
        std::unique_ptr<HidHandle> handle = backend->open(Path, HidAccess::Read, why);
        QVERIFY(handle);
        reader = std::make_unique<HidReadThread>(
            std::move(handle),
            [this, onReport](std::uint8_t id, QByteArrayView data) {
                deliveries.append({id, data.toByteArray(), QThread::currentThread() == qApp->thread()});
                if (onReport)
                    onReport();
            },
            [this](const HidFailure &failure) { failures.append(failure); });
    }
    void queue(const QByteArray &report) { system->queueReport(Path, report); }

    // Waits for the read thread's hand-off without running the event loop,
    // which would deliver it.
    bool waitForHandOff()
    {
        QElapsedTimer clock;
        clock.start();
        while (!reader->handOverWaiting()) {
            if (clock.elapsed() > 10000)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::shared_ptr<FakeHidSystem> system = std::make_shared<FakeHidSystem>();
    std::unique_ptr<HidBackend> backend = system->backend();
    std::unique_ptr<HidReadThread> reader;
    QList<Delivery> deliveries;
    QList<HidFailure> failures;
};

} // namespace

class TestHidReadThread : public QObject
{
    Q_OBJECT
private slots:
    void delivery_data();
    void delivery();
    void deliveryInOrder();
    void failedRead_data();
    void failedRead();
    void stopWhileHandedOver();
    void stopFromInsideHandler_data();
    void stopFromInsideHandler();
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
    rig.start();
    rig.queue(report);
    QTRY_COMPARE(rig.deliveries.size(), 1);
    QCOMPARE(int(rig.deliveries[0].reportId), expectedId);
    QCOMPARE(rig.deliveries[0].data, expectedData);   // the size is the bytes read less the ID
    QVERIFY(rig.deliveries[0].onMainThread);
    QVERIFY(rig.failures.isEmpty());
}

void TestHidReadThread::deliveryInOrder()
{
    Rig rig;
    rig.start();
    for (int i = 0; i < 200; ++i)
        rig.queue(QByteArray(1, '\0') + QByteArray(1, char(i)) + QByteArray(7, 'x'));
    QTRY_COMPARE(rig.deliveries.size(), 200);
    for (int i = 0; i < 200; ++i) {
        QCOMPARE(rig.deliveries[i].data.at(0), char(i));
        QCOMPARE(rig.deliveries[i].data.size(), 8);
        QVERIFY(rig.deliveries[i].onMainThread);
    }
    QCOMPARE(rig.system->readOpens(), 1);
}

void TestHidReadThread::failedRead_data()
{
    QTest::addColumn<bool>("unplugged");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a read fails") << false << "Input/output error";
    QTest::newRow("the device went away") << true << "No such device";
}

void TestHidReadThread::failedRead()
{
    QFETCH(bool, unplugged);
    QFETCH(QString, reason);
    Rig rig;
    rig.start();
    rig.queue(QByteArray::fromHex("0001"));
    QTRY_COMPARE(rig.deliveries.size(), 1);

    if (unplugged)
        rig.system->remove("A");
    else
        rig.system->failNextRead(Path, HidError::Io);
    QTRY_COMPARE(rig.failures.size(), 1);
    QCOMPARE(rig.failures[0].reason, reason);

    // The thread has ended: it hands over nothing more, and opens nothing
    // afresh (hidapi's opens touch its global state; the main thread opens).
    rig.queue(QByteArray::fromHex("0002"));
    QTest::qWait(3 * HidReadThread::ReadWaitMs);
    QCOMPARE(rig.failures.size(), 1);
    QCOMPARE(rig.deliveries.size(), 1);
    QCOMPARE(rig.system->readOpens(), 1);
    QCOMPARE(rig.system->opensOffMainThread(), 0);
    // Its handle closes with the reader.
    QCOMPARE(rig.system->openReadHandles(), 1);
    rig.reader.reset();
    QCOMPARE(rig.system->openReadHandles(), 0);
}

void TestHidReadThread::stopWhileHandedOver()
{
    Rig rig;
    rig.start();
    rig.queue(QByteArray::fromHex("0011"));
    rig.queue(QByteArray::fromHex("0022"));
    QVERIFY(rig.waitForHandOff());

    // The thread waits for the main thread to take the report; the stop does
    // not wait for that, and the report is dropped.
    rig.reader->stop();
    QVERIFY(!rig.reader->handOverWaiting());
    QCOMPARE(rig.system->openReadHandles(), 1);

    // Its wake-up, still queued, delivers nothing.
    QTest::qWait(50);
    QVERIFY(rig.deliveries.isEmpty());
    QCOMPARE(rig.system->queuedReports(Path), std::size_t(1));
    rig.reader.reset();
    QCOMPARE(rig.system->openReadHandles(), 0);
}

void TestHidReadThread::stopFromInsideHandler_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("the handler stops the reader") << false;
    QTest::newRow("the handler destroys the reader") << true;
}

void TestHidReadThread::stopFromInsideHandler()
{
    // The main thread is inside the delivery the read thread waits for.
    QFETCH(bool, destroy);
    Rig rig;
    rig.start([&] {
        if (destroy)
            rig.reader.reset();
        else
            rig.reader->stop();
    });
    rig.queue(QByteArray::fromHex("0011"));
    rig.queue(QByteArray::fromHex("0022"));
    QTRY_COMPARE(rig.deliveries.size(), 1);
    QCOMPARE(rig.deliveries[0].data, QByteArray::fromHex("11"));
    QCOMPARE(bool(rig.reader), !destroy);
    QTest::qWait(50);
    QCOMPARE(rig.deliveries.size(), 1);
    QVERIFY(rig.failures.isEmpty());
}

void TestHidReadThread::startAndStopRepeatedly()
{
    Rig rig;
    for (int i = 0; i < 20; ++i) {
        rig.start();
        rig.queue(QByteArray(1, '\0') + QByteArray(1, char(i)));
        QTRY_COMPARE(rig.deliveries.size(), i + 1);
        if (i % 2)
            rig.queue(QByteArray::fromHex("00ff"));   // may be handed over while stopping
        rig.reader.reset();
        QCOMPARE(rig.system->openReadHandles(), 0);
        QCOMPARE(rig.deliveries.size(), i + 1);
        std::lock_guard lock(rig.system->mutex);
        rig.system->reports.clear();
    }
    QVERIFY(rig.failures.isEmpty());
    QCOMPARE(rig.system->opensOffMainThread(), 0);
}

QTEST_GUILESS_MAIN(TestHidReadThread)
#include "tst_hidreadthread.moc"
