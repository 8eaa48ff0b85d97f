// The mapping of the serial settings to a Windows device control block and
// the reading of port names and system errors, without a port: the same
// cases as the Linux termios mapping.

#include "transport/comportnames.h"
#include "transport/serialdcb_win.h"

#include <QTest>

Q_DECLARE_METATYPE(SerialSettings)
Q_DECLARE_METATYPE(SerialError)

namespace {

// What a port holds before the program sets it: 9600 8N1 with flow control
// and the driver's own characters, as a modem left it.
DCB portAsFound()
{
    DCB d{};
    d.DCBlength = sizeof d;
    d.BaudRate = 9600;
    d.ByteSize = 8;
    d.fOutxCtsFlow = TRUE;
    d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    d.fAbortOnError = TRUE;
    d.fNull = TRUE;
    d.fErrorChar = TRUE;
    d.ErrorChar = '?';
    d.EofChar = 0x1A;
    return d;
}

SerialSettings meterWith(qint32 baudRate, int dataBits, SerialParity parity = SerialParity::None,
                         SerialStopBits stopBits = SerialStopBits::One,
                         SerialFlowControl flowControl = SerialFlowControl::None, bool dtr = true)
{
    return SerialSettings{baudRate, dataBits, parity, stopBits, flowControl, dtr};
}

} // namespace

class TestSerialDcbWin : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void refusals_data();
    void refusals();
    void deviceMustTakeWhatWasAsked_data();
    void deviceMustTakeWhatWasAsked();
    void readsReturnAtOnce();
    void portNames_data();
    void portNames();
    void systemErrors_data();
    void systemErrors();
};

void TestSerialDcbWin::mapping_data()
{
    QTest::addColumn<SerialSettings>("settings");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("ctsFlow");
    QTest::addColumn<int>("rtsControl");
    QTest::addColumn<bool>("xonXoff");

    QTest::newRow("the meter: 2400 8N1") << MeterLineSettings << 8 << int(NOPARITY) << int(ONESTOPBIT) << false
                                         << int(RTS_CONTROL_ENABLE) << false;
    for (qint32 rate : {110, 300, 1200, 2400, 9600, 14400, 19200, 56000, 115200, 250000})
        QTest::addRow("%d bit/s", rate) << meterWith(rate, 8) << 8 << int(NOPARITY) << int(ONESTOPBIT) << false
                                        << int(RTS_CONTROL_ENABLE) << false;
    QTest::newRow("5 data bits") << meterWith(2400, 5) << 5 << int(NOPARITY) << int(ONESTOPBIT) << false
                                 << int(RTS_CONTROL_ENABLE) << false;
    QTest::newRow("7 data bits, even parity") << meterWith(2400, 7, SerialParity::Even) << 7 << int(EVENPARITY)
                                              << int(ONESTOPBIT) << false << int(RTS_CONTROL_ENABLE) << false;
    QTest::newRow("odd parity") << meterWith(2400, 8, SerialParity::Odd) << 8 << int(ODDPARITY) << int(ONESTOPBIT)
                                << false << int(RTS_CONTROL_ENABLE) << false;
    QTest::newRow("mark parity") << meterWith(2400, 8, SerialParity::Mark) << 8 << int(MARKPARITY)
                                 << int(ONESTOPBIT) << false << int(RTS_CONTROL_ENABLE) << false;
    QTest::newRow("space parity") << meterWith(2400, 8, SerialParity::Space) << 8 << int(SPACEPARITY)
                                  << int(ONESTOPBIT) << false << int(RTS_CONTROL_ENABLE) << false;
    QTest::newRow("two stop bits") << meterWith(2400, 8, SerialParity::None, SerialStopBits::Two) << 8
                                   << int(NOPARITY) << int(TWOSTOPBITS) << false << int(RTS_CONTROL_ENABLE) << false;
    QTest::newRow("RTS/CTS") << meterWith(2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl::Hardware)
                             << 8 << int(NOPARITY) << int(ONESTOPBIT) << true << int(RTS_CONTROL_HANDSHAKE) << false;
    QTest::newRow("XON/XOFF") << meterWith(2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl::Software)
                              << 8 << int(NOPARITY) << int(ONESTOPBIT) << false << int(RTS_CONTROL_ENABLE) << true;
    QTest::newRow("everything at once: 19200 7O2, XON/XOFF")
        << meterWith(19200, 7, SerialParity::Odd, SerialStopBits::Two, SerialFlowControl::Software) << 7
        << int(ODDPARITY) << int(TWOSTOPBITS) << false << int(RTS_CONTROL_ENABLE) << true;
}

void TestSerialDcbWin::mapping()
{
    QFETCH(SerialSettings, settings);
    QFETCH(int, byteSize);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(bool, ctsFlow);
    QFETCH(int, rtsControl);
    QFETCH(bool, xonXoff);

    for (bool dtr : {true, false}) {
        settings.dtr = dtr;
        DCB d{};
        QString reason;
        QVERIFY2(dcbForSettings(settings, portAsFound(), d, reason), qPrintable(reason));
        QCOMPARE(d.DCBlength, DWORD(sizeof(DCB)));
        QCOMPARE(d.BaudRate, DWORD(settings.baudRate));
        QCOMPARE(int(d.ByteSize), byteSize);
        QCOMPARE(int(d.Parity), parity);
        QCOMPARE(int(d.StopBits), stopBits);
        QCOMPARE(bool(d.fOutxCtsFlow), ctsFlow);
        QCOMPARE(int(d.fRtsControl), rtsControl);
        QCOMPARE(bool(d.fOutX), xonXoff);
        QCOMPARE(bool(d.fInX), xonXoff);
        QCOMPARE(int(d.fDtrControl), dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
        // Every byte as the meter sent it, and no line error stops the reads:
        // whatever the port held before.
        QVERIFY(d.fBinary);
        QVERIFY(!d.fParity);
        QVERIFY(!d.fOutxDsrFlow);
        QVERIFY(!d.fDsrSensitivity);
        QVERIFY(!d.fErrorChar);
        QVERIFY(!d.fNull);
        QVERIFY(!d.fAbortOnError);
        QCOMPARE(int(d.EofChar), 0);
        if (xonXoff) {
            QCOMPARE(int(d.XonChar), 0x11);
            QCOMPARE(int(d.XoffChar), 0x13);
        }
    }
}

void TestSerialDcbWin::refusals_data()
{
    QTest::addColumn<SerialSettings>("settings");
    QTest::addColumn<QString>("reason");

    QTest::newRow("rate 0") << meterWith(0, 8) << QStringLiteral("0 bit/s is not a line speed.");
    QTest::newRow("negative rate") << meterWith(-2400, 8) << QStringLiteral("-2400 bit/s is not a line speed.");
    QTest::newRow("4 data bits") << meterWith(2400, 4) << QStringLiteral("4 data bits are not possible; use 5 to 8.");
    QTest::newRow("9 data bits") << meterWith(2400, 9) << QStringLiteral("9 data bits are not possible; use 5 to 8.");
    QTest::newRow("unknown parity") << meterWith(2400, 8, SerialParity(5)) << QStringLiteral("parity 5 is unknown.");
    QTest::newRow("unknown stop bits") << meterWith(2400, 8, SerialParity::None, SerialStopBits(2))
                                       << QStringLiteral("stop bits 2 are unknown.");
    QTest::newRow("unknown flow control")
        << meterWith(2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl(-1))
        << QStringLiteral("flow control -1 is unknown.");
}

void TestSerialDcbWin::refusals()
{
    QFETCH(SerialSettings, settings);
    QFETCH(QString, reason);
    DCB d = portAsFound();
    QString why;
    QVERIFY(!dcbForSettings(settings, portAsFound(), d, why));
    QCOMPARE(why, reason);
    // The result is written only when every setting could be honoured.
    QCOMPARE(d.BaudRate, portAsFound().BaudRate);
    QVERIFY(d.fAbortOnError);
}

void TestSerialDcbWin::deviceMustTakeWhatWasAsked_data()
{
    QTest::addColumn<qint32>("askedRate");
    QTest::addColumn<bool>("sevenEven");   // else 8N1
    QTest::addColumn<uint>("takenRate");
    QTest::addColumn<QString>("reason");   // empty: taken

    QTest::newRow("exactly") << 14400 << false << 14400u << QString();
    QTest::newRow("rounded by 2 %") << 14400 << false << 14688u << QString();
    QTest::newRow("rounded by 3 %") << 2400 << false << 2472u << QString();
    QTest::newRow("rounded by 4 %") << 14400 << false << 15000u
                                    << QStringLiteral("the device cannot run at 14400 bit/s (it offers 15000 bit/s).");
    QTest::newRow("rounded down by 4 %") << 2400 << false << 2300u
                                         << QStringLiteral("the device cannot run at 2400 bit/s (it offers 2300 bit/s).");
    QTest::newRow("7E1 forced to 8N1") << 2400 << true << 2400u
                                       << QStringLiteral("the device does not take this character format or flow control.");
}

void TestSerialDcbWin::deviceMustTakeWhatWasAsked()
{
    QFETCH(qint32, askedRate);
    QFETCH(bool, sevenEven);
    QFETCH(uint, takenRate);
    QFETCH(QString, reason);

    const SerialSettings settings = sevenEven ? meterWith(askedRate, 7, SerialParity::Even) : meterWith(askedRate, 8);
    DCB asked{};
    QString why;
    QVERIFY(dcbForSettings(settings, portAsFound(), asked, why));
    // What a driver that knows only 8N1 and rounds its rate gives back.
    DCB taken = asked;
    taken.ByteSize = 8;
    taken.Parity = NOPARITY;
    taken.BaudRate = takenRate;
    why.clear();
    QCOMPARE(dcbTaken(asked, taken, why), reason.isEmpty());
    QCOMPARE(why, reason);
}

void TestSerialDcbWin::readsReturnAtOnce()
{
    // The documented pair that makes ReadFile return at once, with what the
    // driver holds or nothing: a poll never blocks the window.
    const COMMTIMEOUTS t = immediateReadTimeouts();
    QCOMPARE(t.ReadIntervalTimeout, DWORD(MAXDWORD));
    QCOMPARE(t.ReadTotalTimeoutMultiplier, DWORD(0));
    QCOMPARE(t.ReadTotalTimeoutConstant, DWORD(0));
}

void TestSerialDcbWin::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device");   // empty: not a port
    QTest::addColumn<int>("windowPort");   // the window's COM1..COM4 button, 0 for none

    QTest::newRow("COM1") << "COM1" << "\\\\.\\COM1" << 1;
    QTest::newRow("any letter case") << "com4" << "\\\\.\\COM4" << 4;
    QTest::newRow("beyond the window's four") << "COM7" << "\\\\.\\COM7" << 0;
    QTest::newRow("two digits need the device form") << "COM12" << "\\\\.\\COM12" << 0;
    QTest::newRow("the highest") << "COM255" << "\\\\.\\COM255" << 0;
    QTest::newRow("past the highest") << "COM256" << "" << 0;
    QTest::newRow("COM0") << "COM0" << "" << 0;
    QTest::newRow("a leading zero") << "COM01" << "" << 0;
    QTest::newRow("a sign") << "COM+1" << "" << 0;
    QTest::newRow("no number") << "COM" << "" << 0;
    QTest::newRow("a device path as it is") << "\\\\.\\COM12" << "\\\\.\\COM12" << 0;
    QTest::newRow("a Linux device") << "/dev/ttyUSB0" << "" << 0;
    QTest::newRow("a printer port") << "LPT1" << "" << 0;
}

void TestSerialDcbWin::portNames()
{
    QFETCH(QString, name);
    QFETCH(QString, device);
    QFETCH(int, windowPort);
    QCOMPARE(windowsPortDevice(name), device);
    QCOMPARE(deviceForPortName(name), device);
    QCOMPARE(comPortNumber(name), windowPort);
    if (windowPort)
        QCOMPARE(comPortDevice(windowPort), device);
    QCOMPARE(stableDevicePath(device), device);
}

void TestSerialDcbWin::systemErrors_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<SerialError>("kind");

    QTest::newRow("no such port") << uint(ERROR_FILE_NOT_FOUND) << SerialError::NoSuchPort;
    QTest::newRow("adapter pulled") << uint(ERROR_DEVICE_NOT_CONNECTED) << SerialError::NoSuchPort;
    QTest::newRow("held by another program") << uint(ERROR_ACCESS_DENIED) << SerialError::InUse;
    QTest::newRow("shared elsewhere") << uint(ERROR_SHARING_VIOLATION) << SerialError::InUse;
    QTest::newRow("not a serial device") << uint(ERROR_INVALID_FUNCTION) << SerialError::NotASerialPort;
    QTest::newRow("a setting refused") << uint(ERROR_INVALID_PARAMETER) << SerialError::Unsupported;
    QTest::newRow("anything else") << uint(ERROR_GEN_FAILURE) << SerialError::Io;
}

void TestSerialDcbWin::systemErrors()
{
    QFETCH(uint, code);
    QFETCH(SerialError, kind);
    QCOMPARE(serialErrorFor(code), kind);
    // The system's own sentence, fit to stand inside ours.
    const QString sentence = systemSentence(code);
    QVERIFY(!sentence.isEmpty());
    QVERIFY2(!sentence.endsWith(u'.') && !sentence.endsWith(u'\n'), qPrintable(sentence));
    QVERIFY2(!sentence.at(0).isUpper() || sentence.at(1).isUpper(), qPrintable(sentence));
}

QTEST_GUILESS_MAIN(TestSerialDcbWin)
#include "tst_serialdcb_win.moc"
