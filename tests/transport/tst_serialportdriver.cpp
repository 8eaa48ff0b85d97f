#include "fakes/fakeserialbackend.h"
#include "transport/serialportdriver.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

Q_DECLARE_METATYPE(SerialSettings)
Q_DECLARE_METATYPE(SerialError)

// For readable failures of the comparisons of settings.
char *toString(const SerialSettings &s)
{
    return QTest::toString(QStringLiteral("%1 bit/s, %2 data bits, parity %3, stop bits %4, flow control %5, DTR %6")
                               .arg(s.baudRate)
                               .arg(s.dataBits)
                               .arg(int(s.parity))
                               .arg(int(s.stopBits))
                               .arg(int(s.flowControl))
                               .arg(s.dtr ? QStringLiteral("raised") : QStringLiteral("dropped")));
}

namespace {

// A driver on a fake port that collects every delivered batch.
struct Rig
{
    Rig()
    {
        auto backend = std::make_unique<FakeSerialBackend>();
        fake = backend.get();
        driver = std::make_unique<SerialPortDriver>(std::move(backend));
        QObject::connect(driver.get(), &SerialPortDriver::dataReceived, driver.get(),
                         [this](QByteArrayView bytes) { batches << bytes.toByteArray(); });
    }
    QTimer *pollTimer() const { return driver->findChild<QTimer *>(QStringLiteral("pollTimer")); }

    FakeSerialBackend *fake = nullptr;   // owned by the driver
    std::unique_ptr<SerialPortDriver> driver;
    QList<QByteArray> batches;
};

} // namespace

class TestSerialPortDriver : public QObject
{
    Q_OBJECT

private slots:
    void openPassesNameAndSettingsThenFlushes_data();
    void openPassesNameAndSettingsThenFlushes();
    void failedOpenLeavesDriverClosed_data();
    void failedOpenLeavesDriverClosed();
    void openOnOpenDriverDoesNothing();
    void openDiscardsStaleInput();
    void pollDeliversAtMostOneBuffer_data();
    void pollDeliversAtMostOneBuffer();
    void emptyAndFailedReadsDeliverNothing();
    void timerDeliversOnCreatingThread();
    void closeStopsPollingAndClosesOnce();
};

void TestSerialPortDriver::openPassesNameAndSettingsThenFlushes_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<SerialSettings>("settings");

    QTest::newRow("the meter on COM1") << QStringLiteral("COM1") << MeterLineSettings;
    QTest::newRow("COM4 with the defaults") << QStringLiteral("COM4") << SerialSettings{};
    QTest::newRow("a device path, 7E2, RTS/CTS, DTR low")
        << QStringLiteral("/dev/pts/7")
        << SerialSettings{19200, 7, SerialParity::Even, SerialStopBits::Two, SerialFlowControl::Hardware, false};
    QTest::newRow("14400 bit/s, 5 data bits, mark parity, XON/XOFF")
        << QStringLiteral("COM2")
        << SerialSettings{14400, 5, SerialParity::Mark, SerialStopBits::One, SerialFlowControl::Software, true};
}

void TestSerialPortDriver::openPassesNameAndSettingsThenFlushes()
{
    QFETCH(QString, port);
    QFETCH(SerialSettings, settings);

    Rig rig;
    QVERIFY(rig.driver->open(port, settings));
    QVERIFY(rig.driver->isOpen());
    QVERIFY(rig.fake->isOpen);
    QCOMPARE(rig.fake->calls, QStringList({QStringLiteral("open ") + port, QStringLiteral("flush")}));
    QCOMPARE(rig.fake->openedWith, QList<SerialSettings>{settings});
    QCOMPARE(rig.driver->portName(), port);
    QCOMPARE(rig.driver->settings(), settings);
    QVERIFY(rig.pollTimer()->isActive());
    QCOMPARE(rig.pollTimer()->interval(), SerialPortDriver::PollIntervalMs);
    QVERIFY(rig.driver->lastError().isEmpty());
    QCOMPARE(rig.driver->lastErrorKind(), SerialError::None);
}

void TestSerialPortDriver::failedOpenLeavesDriverClosed_data()
{
    QTest::addColumn<bool>("failOpen");
    QTest::addColumn<bool>("failFlush");
    QTest::addColumn<SerialError>("kind");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("the port is refused")
        << true << false << SerialError::PermissionDenied
        << QStringLiteral("COM1 (/dev/ttyS0) cannot be opened: permission denied; ...")
        << QStringList{QStringLiteral("open COM1")};
    QTest::newRow("a setting is refused")
        << true << false << SerialError::Unsupported
        << QStringLiteral("COM1 (/dev/ttyS0) cannot be opened: the device cannot run at 2400 bit/s (it offers 2500 bit/s).")
        << QStringList{QStringLiteral("open COM1")};
    // The port did open, so it is closed again.
    QTest::newRow("the stale input cannot be discarded")
        << false << true << SerialError::Io
        << QStringLiteral("COM1 (/dev/ttyS0): cannot discard the received bytes: input/output error.")
        << QStringList{QStringLiteral("open COM1"), QStringLiteral("flush"), QStringLiteral("close")};
}

void TestSerialPortDriver::failedOpenLeavesDriverClosed()
{
    QFETCH(bool, failOpen);
    QFETCH(bool, failFlush);
    QFETCH(SerialError, kind);
    QFETCH(QString, error);
    QFETCH(QStringList, calls);

    Rig rig;
    rig.fake->failOpen = failOpen;
    rig.fake->openError = kind;
    rig.fake->openErrorText = error;
    rig.fake->failFlush = failFlush;
    QVERIFY(!rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    QVERIFY(!rig.driver->isOpen());
    QVERIFY(!rig.fake->isOpen);
    QCOMPARE(rig.fake->calls, calls);
    QCOMPARE(rig.driver->lastErrorKind(), kind);
    QCOMPARE(rig.driver->lastError(), error);
    QVERIFY(!rig.pollTimer()->isActive());
    QVERIFY(rig.driver->portName().isEmpty());

    // Nothing to close, nothing to poll.
    rig.driver->close();
    rig.driver->poll();
    QCOMPARE(rig.fake->calls, calls);
    QVERIFY(rig.fake->readCapacities.isEmpty());

    rig.fake->failOpen = false;
    rig.fake->failFlush = false;
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    QVERIFY(rig.driver->isOpen());
    QCOMPARE(rig.fake->calls.mid(calls.size()), QStringList({QStringLiteral("open COM1"), QStringLiteral("flush")}));
    QVERIFY(rig.driver->lastError().isEmpty());
    QCOMPARE(rig.driver->lastErrorKind(), SerialError::None);
    QVERIFY(rig.pollTimer()->isActive());
}

void TestSerialPortDriver::openOnOpenDriverDoesNothing()
{
    Rig rig;
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    const QStringList calls = rig.fake->calls;
    QVERIFY(rig.driver->open(QStringLiteral("COM2"), SerialSettings{}));
    QCOMPARE(rig.fake->calls, calls);
    QCOMPARE(rig.driver->portName(), QStringLiteral("COM1"));
    QCOMPARE(rig.driver->settings(), MeterLineSettings);
}

void TestSerialPortDriver::openDiscardsStaleInput()
{
    Rig rig;
    rig.fake->input = "+0123 4";
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    rig.driver->poll();
    QVERIFY(rig.batches.isEmpty());
    rig.fake->input = "+0567 8";
    rig.driver->poll();
    QCOMPARE(rig.batches, QList<QByteArray>{"+0567 8"});

    // Again at a reopen: what came while the port was closed is old too.
    rig.driver->close();
    rig.fake->input = "+0999 9";
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    rig.driver->poll();
    QCOMPARE(rig.batches.size(), 1);
}

void TestSerialPortDriver::pollDeliversAtMostOneBuffer_data()
{
    QTest::addColumn<int>("queued");
    QTest::addColumn<QList<int>>("batches");
    QTest::newRow("more than two buffers") << 5000 << QList<int>{2048, 2048, 904};
    QTest::newRow("one byte more than a buffer") << 2049 << QList<int>{2048, 1};
    QTest::newRow("exactly one buffer") << 2048 << QList<int>{2048};
    QTest::newRow("one frame") << 14 << QList<int>{14};
    QTest::newRow("nothing") << 0 << QList<int>{};
}

void TestSerialPortDriver::pollDeliversAtMostOneBuffer()
{
    QFETCH(int, queued);
    QFETCH(QList<int>, batches);

    Rig rig;
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    QByteArray input(queued, Qt::Uninitialized);
    for (int i = 0; i < queued; ++i)
        input[i] = char(i * 7);
    rig.fake->input = input;

    for (qsizetype poll = 0; poll <= batches.size(); ++poll)
        rig.driver->poll();

    QList<int> sizes;
    QByteArray delivered;
    for (const QByteArray &b : std::as_const(rig.batches)) {
        sizes << int(b.size());
        delivered += b;
    }
    QCOMPARE(sizes, batches);
    QCOMPARE(delivered, input);
    for (int capacity : std::as_const(rig.fake->readCapacities))
        QCOMPARE(capacity, SerialPortDriver::ReceiveBufferSize);
}

void TestSerialPortDriver::emptyAndFailedReadsDeliverNothing()
{
    Rig rig;
    QSignalSpy failures(rig.driver.get(), &SerialPortDriver::readFailed);
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));

    rig.driver->poll();
    QCOMPARE(rig.fake->readCapacities.size(), 1);
    QVERIFY(rig.batches.isEmpty());

    // A run of failed reads: nothing delivered, one signal, the port stays open.
    rig.fake->failReads = true;
    rig.fake->input = "+0123";
    for (int i = 0; i < 3; ++i)
        rig.driver->poll();
    QVERIFY(rig.batches.isEmpty());
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().value(0).toString(), QStringLiteral("COM1 (/dev/ttyS0): the device hung up"));
    QVERIFY(rig.driver->isOpen());
    QCOMPARE(rig.fake->readCapacities.size(), 4);

    // A good read ends the run; the next failure starts another.
    rig.fake->failReads = false;
    rig.driver->poll();
    QCOMPARE(rig.batches, QList<QByteArray>{"+0123"});
    rig.fake->failReads = true;
    rig.driver->poll();
    QCOMPARE(failures.size(), 2);

    // An empty read ends it too.
    rig.fake->failReads = false;
    rig.driver->poll();
    rig.fake->failReads = true;
    rig.driver->poll();
    QCOMPARE(failures.size(), 3);

    // So does reopening the port.
    rig.driver->close();
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    rig.driver->poll();
    QCOMPARE(failures.size(), 4);
    QCOMPARE(rig.batches.size(), 1);
}

void TestSerialPortDriver::timerDeliversOnCreatingThread()
{
    Rig rig;
    QThread *deliveredOn = nullptr;
    QByteArray received;
    QObject::connect(rig.driver.get(), &SerialPortDriver::dataReceived, rig.driver.get(), [&](QByteArrayView bytes) {
        deliveredOn = QThread::currentThread();
        received += bytes;
    });
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    rig.fake->input = "+0123 4";
    QTRY_COMPARE(received, QByteArray("+0123 4"));
    QCOMPARE(deliveredOn, QThread::currentThread());
}

void TestSerialPortDriver::closeStopsPollingAndClosesOnce()
{
    Rig rig;
    QVERIFY(rig.driver->open(QStringLiteral("COM1"), MeterLineSettings));
    rig.driver->close();
    QVERIFY(!rig.driver->isOpen());
    QVERIFY(!rig.fake->isOpen);
    QVERIFY(!rig.pollTimer()->isActive());
    QCOMPARE(rig.fake->calls.last(), QStringLiteral("close"));
    rig.driver->close();
    QCOMPARE(rig.fake->calls.count(QStringLiteral("close")), 1);

    // A closed driver reads nothing, even when ticked by hand.
    rig.fake->input = "+0123 4";
    rig.driver->poll();
    QVERIFY(rig.fake->readCapacities.isEmpty());
    QVERIFY(rig.batches.isEmpty());

    // Reopening takes the new name and settings.
    const SerialSettings other{9600, 7, SerialParity::Odd, SerialStopBits::Two, SerialFlowControl::None, false};
    QVERIFY(rig.driver->open(QStringLiteral("COM3"), other));
    QCOMPARE(rig.fake->calls.mid(3), QStringList({QStringLiteral("open COM3"), QStringLiteral("flush")}));
    QCOMPARE(rig.fake->openedWith.last(), other);
    QCOMPARE(rig.driver->portName(), QStringLiteral("COM3"));
    QCOMPARE(rig.driver->settings(), other);
}

QTEST_GUILESS_MAIN(TestSerialPortDriver)
#include "tst_serialportdriver.moc"
