// The mapping of the serial settings to Linux termios, without a device:
// pseudo-terminals cannot carry every character format.

#include "transport/serialtermios_linux.h"

#include <QTest>

Q_DECLARE_METATYPE(SerialSettings)

namespace {

// What a freshly opened tty holds: cooked, 9600 bit/s, HUPCL.
struct termios2 cookedTerminal()
{
    struct termios2 t{};
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = B9600 | CS8 | CREAD | HUPCL;
    t.c_cc[VMIN] = 1;
    return t;
}

SerialSettings meterWith(qint32 baudRate, int dataBits, SerialParity parity = SerialParity::None,
                         SerialStopBits stopBits = SerialStopBits::One,
                         SerialFlowControl flowControl = SerialFlowControl::None)
{
    return SerialSettings{baudRate, dataBits, parity, stopBits, flowControl, true};
}

constexpr unsigned FormatBits = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;

} // namespace

class TestSerialTermiosLinux : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void refusals_data();
    void refusals();
    void deviceMustTakeWhatWasAsked_data();
    void deviceMustTakeWhatWasAsked();
};

void TestSerialTermiosLinux::mapping_data()
{
    QTest::addColumn<SerialSettings>("settings");
    QTest::addColumn<uint>("speedCode");
    QTest::addColumn<uint>("format");   // CSIZE, CSTOPB, parity and CRTSCTS bits
    QTest::addColumn<uint>("iflag");

    QTest::newRow("the meter: 2400 8N1") << MeterLineSettings << uint(B2400) << uint(CS8) << uint(IGNBRK);
    QTest::newRow("DTR dropped is no terminal flag")
        << SerialSettings{2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl::None, false}
        << uint(B2400) << uint(CS8) << uint(IGNBRK);

    const uint standard[][2] = {{50, B50},       {110, B110},       {300, B300},       {600, B600},
                                {1200, B1200},   {4800, B4800},     {9600, B9600},     {19200, B19200},
                                {38400, B38400}, {57600, B57600},   {115200, B115200}, {230400, B230400}};
    for (const auto &r : standard)
        QTest::addRow("%u bit/s", r[0]) << meterWith(qint32(r[0]), 8) << r[1] << uint(CS8) << uint(IGNBRK);
    for (qint32 rate : {14400, 56000, 250000, 1000000})
        QTest::addRow("%d bit/s as an arbitrary rate", rate) << meterWith(rate, 8) << uint(BOTHER) << uint(CS8) << uint(IGNBRK);

    QTest::newRow("5 data bits") << meterWith(2400, 5) << uint(B2400) << uint(CS5) << uint(IGNBRK);
    QTest::newRow("6 data bits") << meterWith(2400, 6) << uint(B2400) << uint(CS6) << uint(IGNBRK);
    QTest::newRow("7 data bits") << meterWith(2400, 7) << uint(B2400) << uint(CS7) << uint(IGNBRK);

    QTest::newRow("odd parity") << meterWith(2400, 8, SerialParity::Odd) << uint(B2400)
                                << uint(CS8 | PARENB | PARODD) << uint(IGNBRK);
    QTest::newRow("even parity") << meterWith(2400, 7, SerialParity::Even) << uint(B2400) << uint(CS7 | PARENB)
                                 << uint(IGNBRK);
    QTest::newRow("mark parity") << meterWith(2400, 8, SerialParity::Mark) << uint(B2400)
                                 << uint(CS8 | PARENB | CMSPAR | PARODD) << uint(IGNBRK);
    QTest::newRow("space parity") << meterWith(2400, 8, SerialParity::Space) << uint(B2400)
                                  << uint(CS8 | PARENB | CMSPAR) << uint(IGNBRK);

    QTest::newRow("two stop bits") << meterWith(2400, 8, SerialParity::None, SerialStopBits::Two) << uint(B2400)
                                   << uint(CS8 | CSTOPB) << uint(IGNBRK);
    QTest::newRow("5 data bits, two stop bits")
        << meterWith(2400, 5, SerialParity::None, SerialStopBits::Two) << uint(B2400) << uint(CS5 | CSTOPB)
        << uint(IGNBRK);

    QTest::newRow("RTS/CTS")
        << meterWith(2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl::Hardware) << uint(B2400)
        << uint(CS8 | CRTSCTS) << uint(IGNBRK);
    QTest::newRow("XON/XOFF")
        << meterWith(2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl::Software) << uint(B2400)
        << uint(CS8) << uint(IGNBRK | IXON | IXOFF);
    QTest::newRow("everything at once: 19200 7O2, XON/XOFF")
        << meterWith(19200, 7, SerialParity::Odd, SerialStopBits::Two, SerialFlowControl::Software) << uint(B19200)
        << uint(CS7 | PARENB | PARODD | CSTOPB) << uint(IGNBRK | IXON | IXOFF);
}

void TestSerialTermiosLinux::mapping()
{
    QFETCH(SerialSettings, settings);
    QFETCH(uint, speedCode);
    QFETCH(uint, format);
    QFETCH(uint, iflag);

    struct termios2 t{};
    QString reason;
    QVERIFY2(termiosForSettings(settings, cookedTerminal(), t, reason), qPrintable(reason));

    QCOMPARE(uint(t.c_cflag & CBAUD), speedCode);
    QCOMPARE(uint(t.c_cflag & CIBAUD), 0u);   // input at the output speed
    QCOMPARE(uint(t.c_ospeed), uint(settings.baudRate));
    QCOMPARE(uint(t.c_ispeed), uint(settings.baudRate));
    QCOMPARE(termiosRate(t), std::uint32_t(settings.baudRate));
    QCOMPARE(uint(t.c_cflag & FormatBits), format);
    QCOMPARE(uint(t.c_cflag & (CREAD | CLOCAL | HUPCL)), uint(CREAD | CLOCAL | HUPCL));
    // Raw: no CR/LF translation, no line editing, a read never waits.
    QCOMPARE(uint(t.c_iflag), iflag);
    QCOMPARE(uint(t.c_oflag), 0u);
    QCOMPARE(uint(t.c_lflag), 0u);
    QCOMPARE(int(t.c_cc[VMIN]), 0);
    QCOMPARE(int(t.c_cc[VTIME]), 0);
    if (iflag & IXON) {
        QCOMPARE(int(t.c_cc[VSTART]), 0x11);
        QCOMPARE(int(t.c_cc[VSTOP]), 0x13);
    }

    // HUPCL is the device's choice: not added where it was off.
    struct termios2 withoutHangUp = cookedTerminal();
    withoutHangUp.c_cflag &= ~HUPCL;
    QVERIFY(termiosForSettings(settings, withoutHangUp, t, reason));
    QCOMPARE(uint(t.c_cflag & HUPCL), 0u);
}

void TestSerialTermiosLinux::refusals_data()
{
    QTest::addColumn<SerialSettings>("settings");
    QTest::addColumn<QString>("reason");

    QTest::newRow("rate 0") << meterWith(0, 8) << QStringLiteral("0 bit/s is not a line speed.");
    QTest::newRow("negative rate") << meterWith(-2400, 8) << QStringLiteral("-2400 bit/s is not a line speed.");
    QTest::newRow("4 data bits") << meterWith(2400, 4) << QStringLiteral("4 data bits are not possible; use 5 to 8.");
    QTest::newRow("9 data bits") << meterWith(2400, 9) << QStringLiteral("9 data bits are not possible; use 5 to 8.");
    // Values cast from a number that no enumerator has.
    QTest::newRow("unknown parity") << meterWith(2400, 8, SerialParity(5)) << QStringLiteral("parity 5 is unknown.");
    QTest::newRow("unknown stop bits") << meterWith(2400, 8, SerialParity::None, SerialStopBits(2))
                                       << QStringLiteral("stop bits 2 are unknown.");
    QTest::newRow("unknown flow control")
        << meterWith(2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl(-1))
        << QStringLiteral("flow control -1 is unknown.");
}

void TestSerialTermiosLinux::refusals()
{
    QFETCH(SerialSettings, settings);
    QFETCH(QString, reason);
    struct termios2 t = cookedTerminal();
    QString why;
    QVERIFY(!termiosForSettings(settings, cookedTerminal(), t, why));
    QCOMPARE(why, reason);
    // The result is written only when every setting could be honoured.
    QCOMPARE(t.c_cflag, cookedTerminal().c_cflag);
    QCOMPARE(t.c_lflag, cookedTerminal().c_lflag);
}

void TestSerialTermiosLinux::deviceMustTakeWhatWasAsked_data()
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
    QTest::newRow("a standard rate given back as BOTHER") << 2400 << false << 2400u << QString();
    QTest::newRow("7E1 forced to 8N1") << 2400 << true << 2400u
                                       << QStringLiteral("the device does not take this character format or flow control.");
}

void TestSerialTermiosLinux::deviceMustTakeWhatWasAsked()
{
    QFETCH(qint32, askedRate);
    QFETCH(bool, sevenEven);
    QFETCH(uint, takenRate);
    QFETCH(QString, reason);

    const SerialSettings settings = sevenEven ? meterWith(askedRate, 7, SerialParity::Even) : meterWith(askedRate, 8);
    struct termios2 asked{};
    QString why;
    QVERIFY(termiosForSettings(settings, cookedTerminal(), asked, why));
    // What a device that knows only 8N1 and rounds its rate gives back.
    struct termios2 taken = asked;
    taken.c_cflag &= ~(CBAUD | CSIZE | PARENB);
    taken.c_cflag |= BOTHER | CS8;
    taken.c_ospeed = takenRate;
    taken.c_ispeed = takenRate;

    QCOMPARE(termiosTaken(asked, taken, why), reason.isEmpty());
    if (!reason.isEmpty())
        QCOMPARE(why, reason);
}

QTEST_GUILESS_MAIN(TestSerialTermiosLinux)
#include "tst_serialtermios_linux.moc"
