// The port driver on the Linux backend, for real: pseudo-terminals stand in
// for the serial line, the test writes the meter's side on the master.

#include "meter/localeinfo.h"
#include "tools/decodesession.h"
#include "tools/metersimulator.h"
#include "transport/comportnames.h"
#include "transport/serialbackend.h"
#include "transport/tcommportdriver.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SerialError)

namespace {

// The meter's end of a pseudo-terminal; device() is the end the driver opens.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (m_fd >= 0 && ::grantpt(m_fd) == 0 && ::unlockpt(m_fd) == 0 && ::ptsname_r(m_fd, name, sizeof name) == 0)
            m_device = QString::fromLocal8Bit(name);
    }
    ~PseudoTerminal() { close(); }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return !m_device.isEmpty(); }
    QString device() const { return m_device; }
    int fd() const { return m_fd; }
    bool write(QByteArrayView bytes) const
    {
        return ::write(m_fd, bytes.data(), std::size_t(bytes.size())) == bytes.size();
    }
    // The terminal side's settings, as the driver left them.
    termios2 lineSettings() const
    {
        termios2 t{};
        ::ioctl(m_fd, TCGETS2, &t);
        return t;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    QString m_device;
};

QByteArray bytesOf(const MeterFrame &f) { return QByteArray(reinterpret_cast<const char *>(f.data()), qsizetype(f.size())); }

// The driver with the main window's settings on COM1, its bytes going into
// the program's frame assembly and decoder.
struct Link
{
    Link()
        : session(locale, QStringLiteral("-4000"), QStringLiteral("4000"))
    {
        driver.setComPort(pnCOM1);
        driver.setComPortSpeed(br2400);
        driver.setComPortPollingDelay(100);
        driver.setOnReceiveData([this](TCommPortDriver *, const std::uint8_t *data, int size) {
            received.append(reinterpret_cast<const char *>(data), size);
            ++batches;
            session.assembler.RECEIVE_COM_Data(data, size);
        });
        session.frameDecoded = [this](const ReadingDecoder &d) {
            values << d.reading.ValueText + QLatin1Char(' ') + d.reading.UnitText;
        };
    }

    FixedLocaleInfo locale;
    DecodeSession session;
    TCommPortDriver driver;
    QByteArray received;
    int batches = 0;
    QStringList values;
};

QStringList decodeOffline(const QByteArray &stream)
{
    FixedLocaleInfo locale;
    DecodeSession session(locale, QStringLiteral("-4000"), QStringLiteral("4000"));
    QStringList values;
    session.frameDecoded = [&](const ReadingDecoder &d) {
        values << d.reading.ValueText + QLatin1Char(' ') + d.reading.UnitText;
    };
    session.assembler.RECEIVE_COM_Data(reinterpret_cast<const std::uint8_t *>(stream.constData()), int(stream.size()));
    return values;
}

int queuedBytes(int fd)
{
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

} // namespace

class TestSerialBackendLinux : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void simulatedMeterDecodesThroughThePort();
    void frameSplitAcrossTicksDecodesOnce();
    void writerClosingMidStreamLeavesDriverQuietAndReopens();
    void heldPortFailsToOpen();
    void lineSettingsReachTheTerminal_data();
    void lineSettingsReachTheTerminal();
    void refusedSettingLeavesTheLineAlone_data();
    void refusedSettingLeavesTheLineAlone();
    void lineSettingWhileOpenDiscardsQueuedInput();
    void openFailuresSayWhy_data();
    void openFailuresSayWhy();
    void permissionDeniedNamesTheGroup();

private:
    PseudoTerminal *newTerminal();
    std::unique_ptr<PseudoTerminal> m_pty;
};

PseudoTerminal *TestSerialBackendLinux::newTerminal()
{
    m_pty = std::make_unique<PseudoTerminal>();
    if (m_pty->isValid())
        qputenv("QM320_COM1", QFile::encodeName(m_pty->device()));
    return m_pty.get();
}

void TestSerialBackendLinux::init()
{
    if (!newTerminal()->isValid())
        QSKIP("no pseudo-terminal available (/dev/ptmx)");
}

void TestSerialBackendLinux::simulatedMeterDecodesThroughThePort()
{
    Link link;
    QVERIFY2(link.driver.OpenPort(), qPrintable(link.driver.lastOpenError()));
    QVERIFY(link.driver.lastSettingsError().isEmpty());

    // Two passes' worth of the meter's stream, as one write and byte by byte.
    MeterSimulator meter;
    QByteArray stream;
    for (int i = 0; i < 40; ++i)
        stream += bytesOf(meter.nextFrame());
    QVERIFY(m_pty->write(stream.left(20 * 14)));
    for (qsizetype i = 20 * 14; i < stream.size(); ++i)
        QVERIFY(m_pty->write(stream.mid(i, 1)));

    // The first frame has no byte before its sign and is dropped, as always.
    const QStringList expected = decodeOffline(stream);
    QCOMPARE(expected.size(), 39);
    QTRY_COMPARE(link.received.size(), stream.size());
    QCOMPARE(link.received, stream);
    QCOMPARE(link.values, expected);
}

void TestSerialBackendLinux::frameSplitAcrossTicksDecodesOnce()
{
    Link link;
    QVERIFY2(link.driver.OpenPort(), qPrintable(link.driver.lastOpenError()));
    const QByteArray frame = "\n" + bytesOf(encodeFrame(MeterDisplay::fromCount(1234, 1, {})));
    QVERIFY(m_pty->write(frame.left(8)));
    QTRY_COMPARE(link.received.size(), 8);
    QVERIFY(link.values.isEmpty());
    QVERIFY(m_pty->write(frame.mid(8)));
    QTRY_COMPARE(link.values, QStringList{QStringLiteral("1.234 ")});
    QVERIFY(link.batches >= 2);
    QTest::qWait(300);
    QCOMPARE(link.values.size(), 1);
}

void TestSerialBackendLinux::writerClosingMidStreamLeavesDriverQuietAndReopens()
{
    Link link;
    QSignalSpy failures(&link.driver, &TCommPortDriver::readFailed);
    QVERIFY2(link.driver.OpenPort(), qPrintable(link.driver.lastOpenError()));
    const QByteArray frame = bytesOf(encodeFrame(MeterDisplay::fromCount(1234, 1, {})));
    QVERIFY(m_pty->write("\n" + frame + frame.left(7)));
    QTRY_COMPARE(link.received.size(), 1 + 14 + 7);
    QCOMPARE(link.values.size(), 1);

    m_pty->close();
    QTRY_COMPARE(failures.size(), 1);
    QVERIFY(failures.first().value(0).toString().contains(QLatin1String("COM1")));
    // Quiet from now on: nothing delivered, no second report, still open.
    QTest::qWait(350);
    QCOMPARE(link.received.size(), 1 + 14 + 7);
    QCOMPARE(failures.size(), 1);
    QVERIFY(link.driver.IsOpen());

    // The meter comes back on another terminal.
    link.driver.ClosePort();
    QVERIFY(newTerminal()->isValid());
    QVERIFY2(link.driver.OpenPort(), qPrintable(link.driver.lastOpenError()));
    QVERIFY(m_pty->write(frame + frame + frame));
    // The half frame left from before spoils the first buffer.
    QTRY_COMPARE(link.values.size(), 3);
    QCOMPARE(failures.size(), 1);
}

void TestSerialBackendLinux::heldPortFailsToOpen()
{
    TCommPortDriver first;
    first.setComPort(pnCOM1);
    QVERIFY2(first.OpenPort(), qPrintable(first.lastOpenError()));

    TCommPortDriver second;
    second.setComPort(pnCOM1);
    QVERIFY(!second.OpenPort());
    QVERIFY(!second.IsOpen());
    QCOMPARE(second.lastOpenErrorKind(), SerialError::InUse);
    QCOMPARE(second.lastOpenError(),
             QStringLiteral("COM1 (%1) cannot be opened: it is in use by another program.").arg(m_pty->device()));

    // A closed (or destroyed) driver lets go of the port.
    first.ClosePort();
    QVERIFY(second.OpenPort());
    second.ClosePort();
    {
        TCommPortDriver third;
        third.setComPortDevice(m_pty->device());
        QVERIFY(third.OpenPort());
    }

    // Another program that locks the device.
    const int other = ::open(QFile::encodeName(m_pty->device()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(other >= 0);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    QVERIFY(!second.OpenPort());
    QCOMPARE(second.lastOpenErrorKind(), SerialError::InUse);
    ::close(other);
    QVERIFY(second.OpenPort());
}

void TestSerialBackendLinux::lineSettingsReachTheTerminal_data()
{
    QTest::addColumn<uint>("baud");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<uint>("cflag");    // character format and flow control
    QTest::addColumn<uint>("iflag");
    QTest::addColumn<uint>("speedCode");

    // A pseudo-terminal carries 8 data bits without parity (newer kernels
    // force that); the full mapping is tested without a device.
    QTest::newRow("2400 8N1, DTR") << 2400u << 8 << 0 << 0 << 0x11u << uint(CS8) << uint(IGNBRK) << uint(B2400);
    QTest::newRow("115200") << 115200u << 8 << 0 << 0 << 0x11u << uint(CS8) << uint(IGNBRK) << uint(B115200);
    QTest::newRow("14400 as an arbitrary rate") << 14400u << 8 << 0 << 0 << 0x11u << uint(CS8) << uint(IGNBRK) << uint(BOTHER);
    QTest::newRow("56000 as an arbitrary rate") << 56000u << 8 << 0 << 0 << 0x11u << uint(CS8) << uint(IGNBRK) << uint(BOTHER);
    QTest::newRow("two stop bits") << 2400u << 8 << 0 << 2 << 0x11u << uint(CS8 | CSTOPB) << uint(IGNBRK) << uint(B2400);
    QTest::newRow("RTS/CTS") << 2400u << 8 << 0 << 0 << 0x2015u << uint(CS8 | CRTSCTS) << uint(IGNBRK) << uint(B2400);
    QTest::newRow("XON/XOFF") << 2400u << 8 << 0 << 0 << 0x311u << uint(CS8) << uint(IGNBRK | IXON | IXOFF) << uint(B2400);
}

void TestSerialBackendLinux::lineSettingsReachTheTerminal()
{
    QFETCH(uint, baud);
    QFETCH(int, byteSize);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(uint, flags);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    QFETCH(uint, speedCode);

    const std::unique_ptr<SerialBackend> backend = createSerialBackend();
    QVERIFY2(backend->open(QStringLiteral("COM1")), qPrintable(backend->errorString()));
    SerialLineState state;
    state.BaudRate = baud;
    state.Flags = flags;
    state.XonLim = 512;
    state.XoffLim = 1;
    state.ByteSize = std::uint8_t(byteSize);
    state.Parity = std::uint8_t(parity);
    state.StopBits = std::uint8_t(stopBits);
    if (flags & SerialLineState::fOutX) {
        state.XonChar = 0x11;
        state.XoffChar = 0x13;
    }
    QVERIFY2(backend->setLineState(state), qPrintable(backend->errorString()));

    const termios2 t = m_pty->lineSettings();
    const uint format = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    QCOMPARE(uint(t.c_cflag & format), cflag);
    QCOMPARE(uint(t.c_cflag & (CREAD | CLOCAL)), uint(CREAD | CLOCAL));
    QCOMPARE(uint(t.c_iflag), iflag);
    QCOMPARE(uint(t.c_cflag & CBAUD), speedCode);
    QCOMPARE(uint(t.c_ospeed), baud);
    // Raw: bytes reach the reader as they come, a read never waits.
    QCOMPARE(uint(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)), 0u);
    QCOMPARE(uint(t.c_oflag & OPOST), 0u);
    QCOMPARE(int(t.c_cc[VMIN]), 0);
    QCOMPARE(int(t.c_cc[VTIME]), 0);
    if (iflag & IXON) {
        QCOMPARE(int(t.c_cc[VSTART]), 0x11);
        QCOMPARE(int(t.c_cc[VSTOP]), 0x13);
    }
}

void TestSerialBackendLinux::refusedSettingLeavesTheLineAlone_data()
{
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<QString>("reason");
    QTest::newRow("1.5 stop bits with 8 data bits") << 8 << 1 << 0x11u << QStringLiteral("one and a half stop bits");
    QTest::newRow("DTR handshaking") << 8 << 0 << 0x21u << QStringLiteral("DTR handshaking");
}

void TestSerialBackendLinux::refusedSettingLeavesTheLineAlone()
{
    QFETCH(int, byteSize);
    QFETCH(int, stopBits);
    QFETCH(uint, flags);
    QFETCH(QString, reason);

    const std::unique_ptr<SerialBackend> backend = createSerialBackend();
    QVERIFY2(backend->open(QStringLiteral("COM1")), qPrintable(backend->errorString()));
    SerialLineState good;
    good.BaudRate = 2400;
    good.Flags = 0x11;
    good.ByteSize = 8;
    QVERIFY(backend->setLineState(good));
    const termios2 before = m_pty->lineSettings();

    SerialLineState bad = good;
    bad.BaudRate = 9600;
    bad.ByteSize = std::uint8_t(byteSize);
    bad.StopBits = std::uint8_t(stopBits);
    bad.Flags = flags;
    QVERIFY(!backend->setLineState(bad));
    QCOMPARE(backend->error(), SerialError::Unsupported);
    QVERIFY2(backend->errorString().contains(reason), qPrintable(backend->errorString()));
    QVERIFY2(backend->errorString().startsWith(QLatin1String("COM1 (")), qPrintable(backend->errorString()));
    const termios2 after = m_pty->lineSettings();
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(after.c_ospeed, before.c_ospeed);
}

void TestSerialBackendLinux::lineSettingWhileOpenDiscardsQueuedInput()
{
    // A second reader of the terminal, opened before the driver takes it,
    // shows what the system holds without taking it away.
    const int observer = ::open(QFile::encodeName(m_pty->device()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(observer >= 0);
    Link link;
    link.driver.setComPortPollingDelay(60000);
    QVERIFY2(link.driver.OpenPort(), qPrintable(link.driver.lastOpenError()));

    QVERIFY(m_pty->write("+0123"));
    QTRY_COMPARE(queuedBytes(observer), 5);
    link.driver.setComPortSpeed(br4800);
    QCOMPARE(queuedBytes(observer), 0);

    QVERIFY(m_pty->write("+4567"));
    QTRY_COMPARE(queuedBytes(observer), 5);
    link.driver.PollTick();
    QCOMPARE(link.received, QByteArray("+4567"));
    ::close(observer);
}

void TestSerialBackendLinux::openFailuresSayWhy_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArray>("com3");
    QTest::addColumn<SerialError>("kind");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing device") << QStringLiteral("/dev/qm320-missing") << QByteArray() << SerialError::NoSuchPort
                                    << QStringLiteral("/dev/qm320-missing cannot be opened: there is no such device.");
    QTest::newRow("COM3 on a missing device")
        << QStringLiteral("COM3") << QByteArray("/dev/qm320-missing") << SerialError::NoSuchPort
        << QStringLiteral("COM3 (/dev/qm320-missing) cannot be opened: there is no such device; plug in the "
                          "USB-to-RS-232 adapter, or set QM320_COM3 to the device to use.");
    QTest::newRow("not a terminal") << QStringLiteral("/dev/null") << QByteArray() << SerialError::NotASerialPort
                                    << QStringLiteral("/dev/null cannot be opened: it is not a serial port.");
    QTest::newRow("a directory") << QStringLiteral("/tmp") << QByteArray() << SerialError::NotASerialPort
                                 << QStringLiteral("/tmp cannot be opened: is a directory.");
    QTest::newRow("not a port name") << QStringLiteral("COM5") << QByteArray() << SerialError::NoSuchPort
                                     << QStringLiteral("'COM5' is not a port: name COM1 to COM4 or a device path.");
}

void TestSerialBackendLinux::openFailuresSayWhy()
{
    QFETCH(QString, port);
    QFETCH(QByteArray, com3);
    QFETCH(SerialError, kind);
    QFETCH(QString, message);

    qputenv("QM320_COM3", com3);
    TCommPortDriver driver;
    if (const int n = comPortNumber(port))
        driver.setComPort(TComPortNumber(n - 1));
    else
        driver.setComPortDevice(port);
    QVERIFY(!driver.OpenPort());
    QVERIFY(!driver.IsOpen());
    QCOMPARE(driver.lastOpenErrorKind(), kind);
    QCOMPARE(driver.lastOpenError(), message);
    qunsetenv("QM320_COM3");
}

void TestSerialBackendLinux::permissionDeniedNamesTheGroup()
{
    const QByteArray device = QFile::encodeName(m_pty->device());
    const struct group *dialout = ::getgrnam("dialout");
    const bool root = ::geteuid() == 0;
    if (root) {
        if (!dialout)
            QSKIP("no group 'dialout' on this system");
        QCOMPARE(::chown(device.constData(), 0, dialout->gr_gid), 0);
        QCOMPARE(::chmod(device.constData(), 0660), 0);
    } else {
        QCOMPARE(::chmod(device.constData(), 0), 0);
    }

    // Root may open anything: try as an ordinary user in a child process.
    int pipeFds[2];
    QCOMPARE(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::unique_ptr<SerialBackend> backend = createSerialBackend();
        const bool opened = backend->open(QStringLiteral("COM1"));
        const QByteArray answer = QByteArray::number(int(backend->error())) + '\n' + backend->errorString().toUtf8();
        const bool written = ::write(pipeFds[1], answer.constData(), std::size_t(answer.size())) == answer.size();
        ::_exit(opened || !written ? 1 : 0);
    }
    ::close(pipeFds[1]);
    QByteArray answer;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);

    const qsizetype newline = answer.indexOf('\n');
    QCOMPARE(SerialError(answer.left(newline).toInt()), SerialError::PermissionDenied);
    const QString message = QString::fromUtf8(answer.mid(newline + 1));
    QVERIFY2(message.startsWith(QStringLiteral("COM1 (%1) cannot be opened: permission denied").arg(m_pty->device())),
             qPrintable(message));
    if (root)
        QVERIFY2(message.contains(QLatin1String("sudo adduser $USER dialout")), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestSerialBackendLinux)
#include "tst_serialbackend_linux.moc"
