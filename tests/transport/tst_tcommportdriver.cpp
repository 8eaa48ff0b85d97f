#include "fakes/fakeserialbackend.h"
#include "transport/tcommportdriver.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

Q_DECLARE_METATYPE(TComPortBaudRate)
Q_DECLARE_METATYPE(TComPortDataBits)
Q_DECLARE_METATYPE(TComPortStopBits)
Q_DECLARE_METATYPE(TComPortParity)
Q_DECLARE_METATYPE(TComPortHwHandshaking)
Q_DECLARE_METATYPE(TComPortSwHandshaking)
Q_DECLARE_METATYPE(TComPortNumber)

namespace {

// A driver on a fake port that collects every delivered batch.
struct Rig
{
    Rig()
    {
        auto backend = std::make_unique<FakeSerialBackend>();
        fake = backend.get();
        driver = std::make_unique<TCommPortDriver>(std::move(backend));
        driver->setOnReceiveData([this](TCommPortDriver *sender, const std::uint8_t *data, int size) {
            QCOMPARE(sender, driver.get());
            batches << QByteArray(reinterpret_cast<const char *>(data), size);
        });
    }
    QTimer *pollTimer() const { return driver->findChild<QTimer *>(QStringLiteral("pollTimer")); }

    FakeSerialBackend *fake = nullptr;   // owned by the driver
    std::unique_ptr<TCommPortDriver> driver;
    QList<QByteArray> batches;
};

const QStringList ApplyCalls = {QStringLiteral("state"), QStringLiteral("purge 15"), QStringLiteral("queues 2048 2048")};

// Each property the tests write, with a value that differs from its default.
void writeNewValue(TCommPortDriver &d, const QString &property)
{
    if (property == QLatin1String("ComPort")) d.setComPort(pnCOM3);
    else if (property == QLatin1String("ComPortDevice")) d.setComPortDevice(QStringLiteral("/dev/ttyUSB7"));
    else if (property == QLatin1String("ComPortSpeed")) d.setComPortSpeed(br2400);
    else if (property == QLatin1String("ComPortDataBits")) d.setComPortDataBits(db7BITS);
    else if (property == QLatin1String("ComPortStopBits")) d.setComPortStopBits(sb2BITS);
    else if (property == QLatin1String("ComPortParity")) d.setComPortParity(ptEVEN);
    else if (property == QLatin1String("ComPortHwHandshaking")) d.setComPortHwHandshaking(hhRTSCTS);
    else if (property == QLatin1String("ComPortSwHandshaking")) d.setComPortSwHandshaking(shXONXOFF);
    else if (property == QLatin1String("ComPortInBufSize")) d.setComPortInBufSize(512);
    else if (property == QLatin1String("ComPortOutBufSize")) d.setComPortOutBufSize(512);
    else if (property == QLatin1String("ComPortPollingDelay")) d.setComPortPollingDelay(250);
    else if (property == QLatin1String("EnableDTROnOpen")) d.setEnableDTROnOpen(false);
    else if (property == QLatin1String("OutputTimeout")) d.setOutputTimeout(100);
    else QFAIL(qPrintable(property));
}

bool holdsNewValue(const TCommPortDriver &d, const QString &property)
{
    if (property == QLatin1String("ComPort")) return d.ComPort() == pnCOM3;
    if (property == QLatin1String("ComPortDevice")) return d.ComPortDevice() == QLatin1String("/dev/ttyUSB7");
    if (property == QLatin1String("ComPortSpeed")) return d.ComPortSpeed() == br2400;
    if (property == QLatin1String("ComPortDataBits")) return d.ComPortDataBits() == db7BITS;
    if (property == QLatin1String("ComPortStopBits")) return d.ComPortStopBits() == sb2BITS;
    if (property == QLatin1String("ComPortParity")) return d.ComPortParity() == ptEVEN;
    if (property == QLatin1String("ComPortHwHandshaking")) return d.ComPortHwHandshaking() == hhRTSCTS;
    if (property == QLatin1String("ComPortSwHandshaking")) return d.ComPortSwHandshaking() == shXONXOFF;
    if (property == QLatin1String("ComPortInBufSize")) return d.ComPortInBufSize() == 512;
    if (property == QLatin1String("ComPortOutBufSize")) return d.ComPortOutBufSize() == 512;
    if (property == QLatin1String("ComPortPollingDelay")) return d.ComPortPollingDelay() == 250;
    if (property == QLatin1String("EnableDTROnOpen")) return !d.EnableDTROnOpen();
    if (property == QLatin1String("OutputTimeout")) return d.OutputTimeout() == 100;
    return false;
}

} // namespace

class TestTCommPortDriver : public QObject
{
    Q_OBJECT

private slots:
    void openAppliesStatePurgeQueuesTimeoutsThenPolls();
    void portNames_data();
    void portNames();
    void lineSettings_data();
    void lineSettings();
    void openOnOpenPortDoesNothing();
    void failedOpenLeavesDriverClosedAndRetries();
    void propertyWrites_data();
    void propertyWrites();
    void lineSettingWhileOpenDiscardsUnreadInput();
    void refusedLineStateIsRecordedAndPortStaysOpen();
    void pollingDelayRestartRule();
    void tickDeliversAtMostInBufSize_data();
    void tickDeliversAtMostInBufSize();
    void emptyAndFailedReadsDeliverNothing();
    void timerDeliversOnCreatingThread();
    void closeStopsPollingAndClosesOnce();
};

void TestTCommPortDriver::openAppliesStatePurgeQueuesTimeoutsThenPolls()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    QVERIFY(rig.driver->IsOpen());
    QCOMPARE(rig.fake->calls, QStringList({QStringLiteral("open COM2")}) + ApplyCalls + QStringList({QStringLiteral("timeouts")}));

    // The defaults of a new driver: COM2, 9600 8N1, DTR, 2048-byte queues.
    SerialLineState expected;
    expected.BaudRate = 9600;
    expected.Flags = 0x11;
    expected.XonLim = 512;
    expected.XoffLim = 1;
    expected.ByteSize = 8;
    QCOMPARE(rig.fake->lineStates.value(0), expected);

    SerialTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutConstant = 1;
    QCOMPARE(rig.fake->timeouts.value(0), timeouts);

    QVERIFY(rig.pollTimer()->isActive());
    QCOMPARE(rig.pollTimer()->interval(), 50);
    QVERIFY(rig.driver->lastOpenError().isEmpty());
}

void TestTCommPortDriver::portNames_data()
{
    QTest::addColumn<TComPortNumber>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("opened");
    QTest::newRow("COM1") << pnCOM1 << QString() << QStringLiteral("open COM1");
    QTest::newRow("COM4") << pnCOM4 << QString() << QStringLiteral("open COM4");
    QTest::newRow("a device path wins over the port") << pnCOM1 << QStringLiteral("/dev/pts/7")
                                                      << QStringLiteral("open /dev/pts/7");
}

void TestTCommPortDriver::portNames()
{
    QFETCH(TComPortNumber, port);
    QFETCH(QString, device);
    QFETCH(QString, opened);
    Rig rig;
    rig.driver->setComPort(port);
    rig.driver->setComPortDevice(device);
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.fake->calls.value(0), opened);
}

void TestTCommPortDriver::lineSettings_data()
{
    QTest::addColumn<TComPortBaudRate>("speed");
    QTest::addColumn<TComPortDataBits>("dataBits");
    QTest::addColumn<TComPortStopBits>("stopBits");
    QTest::addColumn<TComPortParity>("parity");
    QTest::addColumn<TComPortHwHandshaking>("hw");
    QTest::addColumn<TComPortSwHandshaking>("sw");
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<int>("inBufSize");
    QTest::addColumn<uint>("baud");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<int>("xonLim");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("parityCode");
    QTest::addColumn<int>("stopCode");

    QTest::newRow("the main window's settings") << br2400 << db8BITS << sb1BITS << ptNONE << hhNONE << shNONE << true
                                                << 2048 << 2400u << 0x11u << 512 << 8 << 0 << 0;

    const uint rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    for (int i = br110; i <= br115200; ++i) {
        QTest::addRow("rate %u", rates[i]) << TComPortBaudRate(i) << db8BITS << sb1BITS << ptNONE << hhNONE << shNONE
                                           << true << 2048 << rates[i] << 0x11u << 512 << 8 << 0 << 0;
    }
    for (int i = db5BITS; i <= db7BITS; ++i) {
        QTest::addRow("%d data bits", i + 5) << br2400 << TComPortDataBits(i) << sb1BITS << ptNONE << hhNONE << shNONE
                                             << true << 2048 << 2400u << 0x11u << 512 << i + 5 << 0 << 0;
    }
    QTest::newRow("one and a half stop bits") << br2400 << db5BITS << sb1HALFBITS << ptNONE << hhNONE << shNONE << true
                                              << 2048 << 2400u << 0x11u << 512 << 5 << 0 << 1;
    QTest::newRow("two stop bits") << br2400 << db8BITS << sb2BITS << ptNONE << hhNONE << shNONE << true
                                   << 2048 << 2400u << 0x11u << 512 << 8 << 0 << 2;
    const char *parities[] = {"none", "odd", "even", "mark", "space"};
    for (int i = ptODD; i <= ptSPACE; ++i) {
        QTest::addRow("%s parity", parities[i]) << br2400 << db8BITS << sb1BITS << TComPortParity(i) << hhNONE
                                                << shNONE << true << 2048 << 2400u << 0x11u << 512 << 8 << i << 0;
    }
    QTest::newRow("RTS/CTS") << br2400 << db8BITS << sb1BITS << ptNONE << hhRTSCTS << shNONE << true
                             << 2048 << 2400u << 0x2015u << 512 << 8 << 0 << 0;
    QTest::newRow("XON/XOFF") << br2400 << db8BITS << sb1BITS << ptNONE << hhNONE << shXONXOFF << true
                              << 2048 << 2400u << 0x311u << 512 << 8 << 0 << 0;
    QTest::newRow("DTR left low") << br2400 << db8BITS << sb1BITS << ptNONE << hhNONE << shNONE << false
                                  << 2048 << 2400u << 0x1u << 512 << 8 << 0 << 0;
    QTest::newRow("XON limit follows the receive size") << br2400 << db8BITS << sb1BITS << ptNONE << hhNONE << shNONE
                                                        << true << 103 << 2400u << 0x11u << 25 << 8 << 0 << 0;
}

void TestTCommPortDriver::lineSettings()
{
    QFETCH(TComPortBaudRate, speed);
    QFETCH(TComPortDataBits, dataBits);
    QFETCH(TComPortStopBits, stopBits);
    QFETCH(TComPortParity, parity);
    QFETCH(TComPortHwHandshaking, hw);
    QFETCH(TComPortSwHandshaking, sw);
    QFETCH(bool, dtr);
    QFETCH(int, inBufSize);
    QFETCH(uint, baud);
    QFETCH(uint, flags);
    QFETCH(int, xonLim);
    QFETCH(int, byteSize);
    QFETCH(int, parityCode);
    QFETCH(int, stopCode);

    Rig rig;
    TCommPortDriver &d = *rig.driver;
    d.setComPortSpeed(speed);
    d.setComPortDataBits(dataBits);
    d.setComPortStopBits(stopBits);
    d.setComPortParity(parity);
    d.setComPortHwHandshaking(hw);
    d.setComPortSwHandshaking(sw);
    d.setEnableDTROnOpen(dtr);
    d.setComPortInBufSize(quint16(inBufSize));
    QVERIFY(rig.fake->calls.isEmpty());
    QVERIFY(d.OpenPort());

    QCOMPARE(rig.fake->lineStates.size(), 1);
    const SerialLineState &s = rig.fake->lineStates.first();
    QCOMPARE(s.BaudRate, baud);
    QCOMPARE(s.Flags, flags);
    QCOMPARE(int(s.XonLim), xonLim);
    QCOMPARE(int(s.XoffLim), 1);
    QCOMPARE(int(s.ByteSize), byteSize);
    QCOMPARE(int(s.Parity), parityCode);
    QCOMPARE(int(s.StopBits), stopCode);
    // XON/XOFF needs two different characters; otherwise they stay 0.
    QCOMPARE(int(s.XonChar), sw == shXONXOFF ? 0x11 : 0);
    QCOMPARE(int(s.XoffChar), sw == shXONXOFF ? 0x13 : 0);
    QCOMPARE(rig.fake->calls.value(3), QStringLiteral("queues %1 2048").arg(inBufSize));
}

void TestTCommPortDriver::openOnOpenPortDoesNothing()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    const QStringList calls = rig.fake->calls;
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.fake->calls, calls);
}

void TestTCommPortDriver::failedOpenLeavesDriverClosedAndRetries()
{
    Rig rig;
    rig.fake->failOpen = true;
    rig.fake->openError = SerialError::PermissionDenied;
    rig.fake->openErrorText = QStringLiteral("COM2 (/dev/ttyS1) cannot be opened: permission denied; ...");
    QVERIFY(!rig.driver->OpenPort());
    QVERIFY(!rig.driver->IsOpen());
    QCOMPARE(rig.driver->lastOpenError(), rig.fake->openErrorText);
    QCOMPARE(rig.driver->lastOpenErrorKind(), SerialError::PermissionDenied);
    QVERIFY(!rig.pollTimer()->isActive());

    // Nothing to close, nothing to poll, nothing to apply.
    rig.driver->ClosePort();
    rig.driver->PollTick();
    rig.driver->ApplySettings();
    rig.driver->PurgeBuffers(true, true);
    QCOMPARE(rig.fake->calls, QStringList({QStringLiteral("open COM2")}));
    QVERIFY(rig.fake->readCapacities.isEmpty());

    rig.fake->failOpen = false;
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.fake->calls.mid(1, 2), QStringList({QStringLiteral("open COM2"), QStringLiteral("state")}));
    QVERIFY(rig.driver->lastOpenError().isEmpty());
    QCOMPARE(rig.driver->lastOpenErrorKind(), SerialError::None);
    QVERIFY(rig.pollTimer()->isActive());
}

void TestTCommPortDriver::propertyWrites_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<bool>("whileOpen");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QStringList>("calls");

    const QStringList lineSettings = {
        QStringLiteral("ComPortSpeed"), QStringLiteral("ComPortDataBits"), QStringLiteral("ComPortStopBits"),
        QStringLiteral("ComPortParity"), QStringLiteral("ComPortHwHandshaking"), QStringLiteral("ComPortSwHandshaking"),
    };
    for (const QString &p : lineSettings)
        QTest::addRow("%s while open re-applies", qPrintable(p)) << p << true << true << ApplyCalls;
    const QStringList fixedWhileOpen = {
        QStringLiteral("ComPort"), QStringLiteral("ComPortDevice"), QStringLiteral("ComPortInBufSize"),
        QStringLiteral("ComPortOutBufSize"),
    };
    for (const QString &p : fixedWhileOpen)
        QTest::addRow("%s while open is ignored", qPrintable(p)) << p << true << false << QStringList();
    const QStringList storedOnly = {
        QStringLiteral("EnableDTROnOpen"), QStringLiteral("OutputTimeout"), QStringLiteral("ComPortPollingDelay"),
    };
    for (const QString &p : storedOnly)
        QTest::addRow("%s while open is only stored", qPrintable(p)) << p << true << true << QStringList();
    for (const QString &p : lineSettings + fixedWhileOpen + storedOnly)
        QTest::addRow("%s while closed is stored", qPrintable(p)) << p << false << true << QStringList();
}

void TestTCommPortDriver::propertyWrites()
{
    QFETCH(QString, property);
    QFETCH(bool, whileOpen);
    QFETCH(bool, stored);
    QFETCH(QStringList, calls);

    Rig rig;
    if (whileOpen)
        QVERIFY(rig.driver->OpenPort());
    const qsizetype before = rig.fake->calls.size();
    writeNewValue(*rig.driver, property);
    QCOMPARE(rig.fake->calls.mid(before), calls);
    QCOMPARE(holdsNewValue(*rig.driver, property), stored);

    // What was refused while open stays refused after closing.
    rig.driver->ClosePort();
    QCOMPARE(holdsNewValue(*rig.driver, property), stored);
}

void TestTCommPortDriver::lineSettingWhileOpenDiscardsUnreadInput()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    rig.fake->input = "+0123 4";
    rig.driver->setComPortSpeed(br2400);
    rig.driver->PollTick();
    QVERIFY(rig.batches.isEmpty());
}

void TestTCommPortDriver::refusedLineStateIsRecordedAndPortStaysOpen()
{
    Rig rig;
    rig.fake->failLineState = true;
    rig.driver->setComPortStopBits(sb1HALFBITS);
    QVERIFY(rig.driver->OpenPort());
    QVERIFY(rig.driver->IsOpen());
    QVERIFY(rig.driver->lastSettingsError().contains(QLatin1String("stop bits")));
    // The purge and the queue sizes still follow the refused state.
    QCOMPARE(rig.fake->calls.mid(1, 3), ApplyCalls);

    rig.fake->failLineState = false;
    rig.driver->setComPortStopBits(sb1BITS);
    QVERIFY(rig.driver->lastSettingsError().isEmpty());
}

void TestTCommPortDriver::pollingDelayRestartRule()
{
    Rig rig;
    QTimer *timer = rig.pollTimer();
    rig.driver->setComPortPollingDelay(10000);
    QVERIFY(!timer->isActive());
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(timer->interval(), 10000);

    // A coarse timer may move its first timeout by up to 5 % (500 ms here);
    // after 1.5 s an untouched timer has at most 9000 ms left, a restarted
    // one at least 9500 ms.
    QTest::qWait(1500);
    rig.driver->setComPortPollingDelay(10000);
    QVERIFY2(timer->remainingTime() < 9250, "the same delay restarted the timer");
    rig.driver->setComPortPollingDelay(10001);
    QCOMPARE(timer->interval(), 10001);
    QVERIFY2(timer->remainingTime() > 9250, "a new delay did not restart the timer");

    // Closed: only stored, and used at the next open.
    rig.driver->ClosePort();
    rig.driver->setComPortPollingDelay(100);
    QVERIFY(!timer->isActive());
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(timer->interval(), 100);

    // A delay of 0 polls at the system's fastest timer, not in a busy loop.
    rig.driver->setComPortPollingDelay(0);
    QCOMPARE(rig.driver->ComPortPollingDelay(), quint16(0));
    QCOMPARE(timer->interval(), 10);
}

void TestTCommPortDriver::tickDeliversAtMostInBufSize_data()
{
    QTest::addColumn<int>("inBufSize");
    QTest::addColumn<int>("queued");
    QTest::addColumn<QList<int>>("batches");
    QTest::newRow("2048-byte buffer") << 2048 << 5000 << QList<int>{2048, 2048, 904};
    QTest::newRow("16-byte buffer") << 16 << 40 << QList<int>{16, 16, 8};
    QTest::newRow("exactly one buffer") << 14 << 14 << QList<int>{14};
    QTest::newRow("no buffer delivers nothing") << 0 << 10 << QList<int>{};
}

void TestTCommPortDriver::tickDeliversAtMostInBufSize()
{
    QFETCH(int, inBufSize);
    QFETCH(int, queued);
    QFETCH(QList<int>, batches);

    Rig rig;
    rig.driver->setComPortInBufSize(quint16(inBufSize));
    QVERIFY(rig.driver->OpenPort());
    QByteArray input(queued, Qt::Uninitialized);
    for (int i = 0; i < queued; ++i)
        input[i] = char(i * 7);
    rig.fake->input = input;

    for (int tick = 0; tick <= batches.size(); ++tick)
        rig.driver->PollTick();

    QList<int> sizes;
    QByteArray delivered;
    for (const QByteArray &b : rig.batches) {
        sizes << int(b.size());
        delivered += b;
    }
    QCOMPARE(sizes, batches);
    QCOMPARE(delivered, input.left(delivered.size()));
    for (int capacity : rig.fake->readCapacities)
        QCOMPARE(capacity, inBufSize);
}

void TestTCommPortDriver::emptyAndFailedReadsDeliverNothing()
{
    Rig rig;
    QSignalSpy failures(rig.driver.get(), &TCommPortDriver::readFailed);
    QVERIFY(rig.driver->OpenPort());

    rig.driver->PollTick();
    QCOMPARE(rig.fake->readCapacities.size(), 1);
    QVERIFY(rig.batches.isEmpty());

    // A run of failed reads: nothing delivered, one signal, the port stays open.
    rig.fake->failReads = true;
    rig.fake->input = "+0123";
    for (int i = 0; i < 3; ++i)
        rig.driver->PollTick();
    QVERIFY(rig.batches.isEmpty());
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures.first().value(0).toString().contains(QLatin1String("hung up")));
    QVERIFY(rig.driver->IsOpen());

    rig.fake->failReads = false;
    rig.driver->PollTick();
    QCOMPARE(rig.batches, QList<QByteArray>{"+0123"});
    rig.fake->failReads = true;
    rig.driver->PollTick();
    QCOMPARE(failures.size(), 2);

    // Without a handler the bytes are read and dropped.
    rig.fake->failReads = false;
    rig.driver->setOnReceiveData(nullptr);
    rig.fake->input = "abc";
    rig.driver->PollTick();
    QVERIFY(rig.fake->input.isEmpty());
    QCOMPARE(rig.batches.size(), 1);
}

void TestTCommPortDriver::timerDeliversOnCreatingThread()
{
    Rig rig;
    QThread *deliveredOn = nullptr;
    QByteArray received;
    rig.driver->setOnReceiveData([&](TCommPortDriver *, const std::uint8_t *data, int size) {
        deliveredOn = QThread::currentThread();
        received.append(reinterpret_cast<const char *>(data), size);
    });
    rig.driver->setComPortPollingDelay(10);
    QVERIFY(rig.driver->OpenPort());
    rig.fake->input = "+0123 4";
    QTRY_COMPARE(received, QByteArray("+0123 4"));
    QCOMPARE(deliveredOn, QThread::currentThread());
}

void TestTCommPortDriver::closeStopsPollingAndClosesOnce()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    rig.driver->ClosePort();
    QVERIFY(!rig.driver->IsOpen());
    QVERIFY(!rig.pollTimer()->isActive());
    QCOMPARE(rig.fake->calls.last(), QStringLiteral("close"));
    rig.driver->ClosePort();
    QCOMPARE(rig.fake->calls.count(QStringLiteral("close")), 1);

    // The settings survive closing and reopening.
    rig.driver->setComPortSpeed(br2400);
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.fake->lineStates.last().BaudRate, 2400u);
}

QTEST_GUILESS_MAIN(TestTCommPortDriver)
#include "tst_tcommportdriver.moc"
