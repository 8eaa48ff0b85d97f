// The serial backend on Windows, for real: the test script plays a meter
// with qm320-cli's simulator on a Linux pseudo-terminal, makes it Wine's
// COM1 and names it in QM320_TEST_COM. The failures need no meter.

#include "transport/serialbackend.h"
#include "transport/serialportdriver.h"

#include <QCoreApplication>
#include <QTest>

Q_DECLARE_METATYPE(SerialError)

namespace {

// The port the simulator plays on, or empty.
QString meterPort()
{
    return qEnvironmentVariable("QM320_TEST_COM");
}

} // namespace

class TestSerialBackendWin : public QObject
{
    Q_OBJECT

private slots:
    void meterArrivesIntact();
    void secondOpenNamesTheHolder();
    void openFailuresSayWhy_data();
    void openFailuresSayWhy();
};

void TestSerialBackendWin::meterArrivesIntact()
{
    if (meterPort().isEmpty())
        QSKIP("no simulated meter (QM320_TEST_COM names its COM port)");
    SerialPortDriver driver;
    QByteArray received;
    int batches = 0;
    connect(&driver, &SerialPortDriver::dataReceived, &driver, [&](QByteArrayView bytes) {
        received += bytes;
        ++batches;
    });
    QVERIFY2(driver.open(meterPort(), MeterLineSettings), qPrintable(driver.lastError()));
    QCOMPARE(driver.lastErrorKind(), SerialError::None);
    // A frame every 400 ms: six frames' worth, each 14 bytes ending in CR LF.
    QTRY_VERIFY_WITH_TIMEOUT(received.count("\r\n") >= 6, 10000);
    driver.close();
    QVERIFY(batches >= 2);   // polled, not one blocking read
    const qsizetype first = received.indexOf("\r\n");
    for (qsizetype at = first, next; (next = received.indexOf("\r\n", at + 2)) >= 0; at = next)
        QCOMPARE(next - at, 14);
    // The sign byte of each frame is '+' or '-', as the meter sends it.
    const QByteArray frame = received.mid(first + 2, 14);
    QVERIFY2(frame.startsWith('+') || frame.startsWith('-'), frame.toHex(' ').constData());
}

void TestSerialBackendWin::secondOpenNamesTheHolder()
{
    if (meterPort().isEmpty())
        QSKIP("no simulated meter (QM320_TEST_COM names its COM port)");
    const std::unique_ptr<SerialBackend> first = createSerialBackend();
    QVERIFY2(first->open(meterPort(), MeterLineSettings), qPrintable(first->errorString()));
    const std::unique_ptr<SerialBackend> second = createSerialBackend();
    QVERIFY(!second->open(meterPort(), MeterLineSettings));
    QCOMPARE(second->error(), SerialError::InUse);
    QCOMPARE(second->errorString(),
             QStringLiteral("%1 cannot be opened: it is in use by another program (%2 (process %3) holds it).")
                 .arg(meterPort().toUpper(), QCoreApplication::applicationName())
                 .arg(QCoreApplication::applicationPid()));
    // Let go, it opens again, and purges on the way.
    first->close();
    QVERIFY2(second->open(meterPort(), MeterLineSettings), qPrintable(second->errorString()));
    QVERIFY(second->flush());
    std::uint8_t buffer[64];
    QVERIFY(second->read(buffer, sizeof buffer).status != SerialRead::Status::Failed);
    second->close();
    QCOMPARE(second->read(buffer, sizeof buffer).status, SerialRead::Status::Failed);
    QCOMPARE(second->errorString(), QStringLiteral("%1: the port is not open").arg(meterPort().toUpper()));
}

void TestSerialBackendWin::openFailuresSayWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<SerialError>("error");
    QTest::addColumn<QString>("start");   // of the message

    QTest::newRow("no such port") << "COM200" << SerialError::NoSuchPort
                                  << "COM200 cannot be opened: there is no such port (";
    QTest::newRow("not a port name") << "LPT1" << SerialError::NoSuchPort
                                     << "'LPT1' is not a port: name COM1 to COM4 or another COM port.";
    QTest::newRow("a device that is no serial port") << "\\\\.\\NUL" << SerialError::NotASerialPort
                                                     << "\\\\.\\NUL cannot be opened: it is not a serial port";
}

void TestSerialBackendWin::openFailuresSayWhy()
{
    QFETCH(QString, name);
    QFETCH(SerialError, error);
    QFETCH(QString, start);
    const std::unique_ptr<SerialBackend> backend = createSerialBackend();
    QVERIFY(!backend->open(name, MeterLineSettings));
    QCOMPARE(backend->error(), error);
    QVERIFY2(backend->errorString().startsWith(start), qPrintable(backend->errorString()));
    // Closed and clean: a read fails, a close does nothing.
    backend->close();
    std::uint8_t byte;
    QCOMPARE(backend->read(&byte, 1).status, SerialRead::Status::Failed);
}

QTEST_GUILESS_MAIN(TestSerialBackendWin)
#include "tst_serialbackend_win.moc"
