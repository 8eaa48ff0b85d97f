// The mapping of the port driver's line settings to Linux termios, without a
// device: pseudo-terminals cannot carry every character format.

#include "transport/serialtermios_linux.h"

#include <QTest>

Q_DECLARE_METATYPE(SerialLineState)

namespace {

SerialLineState mainWindowState()
{
    SerialLineState s;
    s.BaudRate = 2400;
    s.Flags = 0x11;
    s.XonLim = 512;
    s.XoffLim = 1;
    s.ByteSize = 8;
    return s;
}

// What a freshly opened tty holds: cooked, 9600 baud, HUPCL.
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
    QTest::addColumn<uint>("baud");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<uint>("speedCode");
    QTest::addColumn<uint>("format");   // CSIZE, CSTOPB, parity and CRTSCTS bits
    QTest::addColumn<uint>("iflag");

    QTest::newRow("main window: 2400 8N1, DTR") << 2400u << 8 << 0 << 0 << 0x11u << uint(B2400) << uint(CS8) << uint(IGNBRK);
    const uint standard[][2] = {{110, B110}, {300, B300}, {600, B600}, {1200, B1200}, {4800, B4800}, {9600, B9600},
                                {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const auto &r : standard)
        QTest::addRow("%u bit/s", r[0]) << r[0] << 8 << 0 << 0 << 0x11u << r[1] << uint(CS8) << uint(IGNBRK);
    QTest::newRow("14400 bit/s, no Bnnn code") << 14400u << 8 << 0 << 0 << 0x11u << uint(BOTHER) << uint(CS8) << uint(IGNBRK);
    QTest::newRow("56000 bit/s, no Bnnn code") << 56000u << 8 << 0 << 0 << 0x11u << uint(BOTHER) << uint(CS8) << uint(IGNBRK);
    QTest::newRow("5 data bits") << 2400u << 5 << 0 << 0 << 0x11u << uint(B2400) << uint(CS5) << uint(IGNBRK);
    QTest::newRow("6 data bits") << 2400u << 6 << 0 << 0 << 0x11u << uint(B2400) << uint(CS6) << uint(IGNBRK);
    QTest::newRow("7 data bits") << 2400u << 7 << 0 << 0 << 0x11u << uint(B2400) << uint(CS7) << uint(IGNBRK);
    QTest::newRow("odd parity") << 2400u << 8 << 1 << 0 << 0x11u << uint(B2400) << uint(CS8 | PARENB | PARODD) << uint(IGNBRK);
    QTest::newRow("even parity") << 2400u << 8 << 2 << 0 << 0x11u << uint(B2400) << uint(CS8 | PARENB) << uint(IGNBRK);
    QTest::newRow("mark parity") << 2400u << 8 << 3 << 0 << 0x11u << uint(B2400) << uint(CS8 | PARENB | CMSPAR | PARODD)
                                 << uint(IGNBRK);
    QTest::newRow("space parity") << 2400u << 8 << 4 << 0 << 0x11u << uint(B2400) << uint(CS8 | PARENB | CMSPAR)
                                  << uint(IGNBRK);
    QTest::newRow("two stop bits") << 2400u << 8 << 0 << 2 << 0x11u << uint(B2400) << uint(CS8 | CSTOPB) << uint(IGNBRK);
    QTest::newRow("1.5 stop bits with 5 data bits") << 2400u << 5 << 0 << 1 << 0x11u << uint(B2400) << uint(CS5 | CSTOPB)
                                                    << uint(IGNBRK);
    QTest::newRow("RTS/CTS") << 2400u << 8 << 0 << 0 << 0x2015u << uint(B2400) << uint(CS8 | CRTSCTS) << uint(IGNBRK);
    QTest::newRow("CTS output flow alone") << 2400u << 8 << 0 << 0 << 0x15u << uint(B2400) << uint(CS8 | CRTSCTS)
                                           << uint(IGNBRK);
    QTest::newRow("XON/XOFF") << 2400u << 8 << 0 << 0 << 0x311u << uint(B2400) << uint(CS8) << uint(IGNBRK | IXON | IXOFF);
    QTest::newRow("XON/XOFF on output only") << 2400u << 8 << 0 << 0 << 0x111u << uint(B2400) << uint(CS8)
                                             << uint(IGNBRK | IXON);
}

void TestSerialTermiosLinux::mapping()
{
    QFETCH(uint, baud);
    QFETCH(int, byteSize);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(uint, flags);
    QFETCH(uint, speedCode);
    QFETCH(uint, format);
    QFETCH(uint, iflag);

    SerialLineState state = mainWindowState();
    state.BaudRate = baud;
    state.ByteSize = std::uint8_t(byteSize);
    state.Parity = std::uint8_t(parity);
    state.StopBits = std::uint8_t(stopBits);
    state.Flags = flags;
    if (flags & (SerialLineState::fOutX | SerialLineState::fInX)) {
        state.XonChar = 0x11;
        state.XoffChar = 0x13;
    }
    struct termios2 t{};
    QString reason;
    QVERIFY2(termiosForLineState(state, cookedTerminal(), t, reason), qPrintable(reason));

    QCOMPARE(uint(t.c_cflag & CBAUD), speedCode);
    QCOMPARE(uint(t.c_cflag & CIBAUD), 0u);   // input at the output speed
    QCOMPARE(uint(t.c_ospeed), baud);
    QCOMPARE(termiosRate(t), std::uint32_t(baud));
    QCOMPARE(uint(t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS)), format);
    QCOMPARE(uint(t.c_cflag & (CREAD | CLOCAL | HUPCL)), uint(CREAD | CLOCAL | HUPCL));
    QCOMPARE(uint(t.c_iflag), iflag);
    QCOMPARE(uint(t.c_oflag), 0u);
    QCOMPARE(uint(t.c_lflag), 0u);
    QCOMPARE(int(t.c_cc[VMIN]), 0);
    QCOMPARE(int(t.c_cc[VTIME]), 0);
    QCOMPARE(int(t.c_cc[VSTART]), int(state.XonChar));
    QCOMPARE(int(t.c_cc[VSTOP]), int(state.XoffChar));
}

void TestSerialTermiosLinux::refusals_data()
{
    QTest::addColumn<SerialLineState>("state");
    QTest::addColumn<QString>("reason");

    SerialLineState s = mainWindowState();
    s.StopBits = 1;
    QTest::newRow("1.5 stop bits with 8 data bits") << s << QStringLiteral("one and a half stop bits go only with 5 data bits.");
    s = mainWindowState();
    s.ByteSize = 4;
    QTest::newRow("4 data bits") << s << QStringLiteral("4 data bits are not possible; use 5 to 8.");
    s.ByteSize = 9;
    QTest::newRow("9 data bits") << s << QStringLiteral("9 data bits are not possible; use 5 to 8.");
    s = mainWindowState();
    s.Parity = 5;
    QTest::newRow("parity code 5") << s << QStringLiteral("parity code 5 is unknown.");
    s = mainWindowState();
    s.StopBits = 3;
    QTest::newRow("stop-bit code 3") << s << QStringLiteral("stop-bit code 3 is unknown.");
    s = mainWindowState();
    s.BaudRate = 0;
    QTest::newRow("rate 0") << s << QStringLiteral("a bit rate of 0 is not a line speed.");
    s = mainWindowState();
    s.Flags = 0x21;
    QTest::newRow("DTR handshaking") << s << QStringLiteral("DTR handshaking is not available on Linux.");
    s.Flags = 0x3011;
    QTest::newRow("RTS toggling") << s << QStringLiteral("RTS toggling is not available on Linux.");
    s.Flags = 0x311;
    QTest::newRow("XON/XOFF with both characters 0") << s << QStringLiteral("the XON and XOFF characters must differ.");
}

void TestSerialTermiosLinux::refusals()
{
    QFETCH(SerialLineState, state);
    QFETCH(QString, reason);
    struct termios2 t{};
    QString why;
    QVERIFY(!termiosForLineState(state, cookedTerminal(), t, why));
    QCOMPARE(why, reason);
}

void TestSerialTermiosLinux::deviceMustTakeWhatWasAsked_data()
{
    QTest::addColumn<uint>("askedRate");
    QTest::addColumn<bool>("sevenEven");   // else 8N1
    QTest::addColumn<uint>("takenRate");
    QTest::addColumn<QString>("reason");   // empty: taken

    QTest::newRow("exactly") << 14400u << false << 14400u << QString();
    QTest::newRow("rounded by 2 %") << 14400u << false << 14688u << QString();
    QTest::newRow("rounded by 4 %") << 14400u << false << 15000u
                                    << QStringLiteral("the device cannot run at 14400 bit/s (it offers 15000 bit/s).");
    QTest::newRow("a standard rate given back as BOTHER") << 2400u << false << 2400u << QString();
    QTest::newRow("7E1 forced to 8N1") << 2400u << true << 2400u
                                       << QStringLiteral("the device does not take this character format or flow control.");
}

void TestSerialTermiosLinux::deviceMustTakeWhatWasAsked()
{
    QFETCH(uint, askedRate);
    QFETCH(bool, sevenEven);
    QFETCH(uint, takenRate);
    QFETCH(QString, reason);

    SerialLineState state = mainWindowState();
    state.BaudRate = askedRate;
    if (sevenEven) {
        state.ByteSize = 7;
        state.Parity = 2;
    }
    struct termios2 asked{};
    QString why;
    QVERIFY(termiosForLineState(state, cookedTerminal(), asked, why));
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
