// The serial backend and the port driver on Linux, for real: pseudo-terminals
// stand in for the serial line, the test writes the meter's side on the
// master.

#include "simulator/metersimulator.h"
#include "transport/comportnames.h"
#include "transport/serialbackend.h"
#include "transport/serialportdriver.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <asm/termbits.h>
#include <array>
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
Q_DECLARE_METATYPE(SerialSettings)

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
    QByteArray encodedDevice() const { return QFile::encodeName(m_device); }
    bool write(QByteArrayView bytes) const
    {
        return ::write(m_fd, bytes.data(), std::size_t(bytes.size())) == bytes.size();
    }
    // The terminal side's settings, as the backend left them.
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

QByteArray bytesOf(const std::array<std::uint8_t, 14> &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
}

QByteArray frameBytes(int count) { return bytesOf(encodeFrame(MeterDisplay::fromCount(count, 1, {}))); }

// The driver on COM1 with the meter's settings, collecting what it delivers.
struct Link
{
    Link()
    {
        QObject::connect(&driver, &SerialPortDriver::dataReceived, &driver, [this](QByteArrayView bytes) {
            received += bytes;
            ++batches;
        });
    }
    bool open() { return driver.open(QStringLiteral("COM1"), MeterLineSettings); }

    SerialPortDriver driver;
    QByteArray received;
    int batches = 0;
};

int queuedBytes(int fd)
{
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

bool sameLine(const termios2 &a, const termios2 &b)
{
    return a.c_cflag == b.c_cflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag
           && a.c_ospeed == b.c_ospeed;
}

// What an open of COM1 with the meter's settings answered in another process.
struct OpenAnswer
{
    bool ran = false;   // the child ran and answered
    bool opened = false;
    SerialError error = SerialError::None;
    QString message;
};

// Opens COM1 in a child process as an ordinary user: as "nobody" when the
// test runs as root, who may open anything.
OpenAnswer openAsOrdinaryUser()
{
    OpenAnswer result;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return result;
    const pid_t child = ::fork();
    if (child < 0)
        return result;
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::unique_ptr<SerialBackend> backend = createSerialBackend();
        const bool opened = backend->open(QStringLiteral("COM1"), MeterLineSettings);
        const QByteArray answer = QByteArray::number(int(opened)) + '\n' + QByteArray::number(int(backend->error()))
                                  + '\n' + backend->errorString().toUtf8();
        backend->close();
        const bool written = ::write(pipeFds[1], answer.constData(), std::size_t(answer.size())) == answer.size();
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeFds[1]);
    QByteArray answer;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    const QList<QByteArray> lines = answer.split('\n');
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || lines.size() < 3)
        return result;
    result.ran = true;
    result.opened = lines.at(0) == "1";
    result.error = SerialError(lines.at(1).toInt());
    result.message = QString::fromUtf8(answer.mid(lines.at(0).size() + lines.at(1).size() + 2));
    return result;
}

} // namespace

class TestSerialBackendLinux : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void simulatedMeterArrivesIntact();
    void hungUpLineFailsOnceAndPortReopens();
    void openDiscardsWhatCameBefore();
    void heldPortFailsToOpen();
    void closedPortOpensForOrdinaryUsers();
    void settingsReachTheTerminal_data();
    void settingsReachTheTerminal();
    void refusedSettingsFailTheOpen_data();
    void refusedSettingsFailTheOpen();
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
        qputenv("QM320_COM1", m_pty->encodedDevice());
    return m_pty.get();
}

void TestSerialBackendLinux::init()
{
    if (!newTerminal()->isValid())
        QSKIP("no pseudo-terminal available (/dev/ptmx)");
}

void TestSerialBackendLinux::simulatedMeterArrivesIntact()
{
    Link link;
    QVERIFY2(link.open(), qPrintable(link.driver.lastError()));

    // Two passes' worth of the meter's stream, as one write and byte by byte,
    // then every byte value once: a line left cooking its input would turn
    // the frames' CR into LF, or swallow control characters.
    MeterSimulator meter;
    QByteArray stream;
    for (int i = 0; i < 40; ++i)
        stream += bytesOf(meter.nextFrame());
    QByteArray everyByte(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        everyByte[i] = char(i);
    QVERIFY(m_pty->write(stream.left(20 * 14)));
    for (qsizetype i = 20 * 14; i < stream.size(); ++i)
        QVERIFY(m_pty->write(stream.mid(i, 1)));
    QVERIFY(m_pty->write(everyByte));
    stream += everyByte;

    QTRY_COMPARE(link.received.size(), stream.size());
    QCOMPARE(link.received, stream);

    // A frame split across two polls arrives whole, in order.
    const QByteArray frame = bytesOf(meter.nextFrame());
    const int batches = link.batches;
    QVERIFY(m_pty->write(frame.left(8)));
    QTRY_COMPARE(link.received.size(), stream.size() + 8);
    QVERIFY(m_pty->write(frame.mid(8)));
    QTRY_COMPARE(link.received, stream + frame);
    QVERIFY(link.batches >= batches + 2);
}

void TestSerialBackendLinux::hungUpLineFailsOnceAndPortReopens()
{
    Link link;
    QSignalSpy failures(&link.driver, &SerialPortDriver::readFailed);
    QVERIFY2(link.open(), qPrintable(link.driver.lastError()));
    const QByteArray written = frameBytes(1234) + frameBytes(1234).left(7);
    QVERIFY(m_pty->write(written));
    QTRY_COMPARE(link.received, written);

    m_pty->close();
    QTRY_COMPARE(failures.size(), 1);
    QCOMPARE(failures.first().value(0).toString(),
             QStringLiteral("COM1 (%1): the device hung up (unplugged, or the other end closed)").arg(m_pty->device()));
    // Quiet from now on: nothing delivered, no second report, still open.
    for (int i = 0; i < 3; ++i)
        link.driver.poll();
    QCOMPARE(link.received, written);
    QCOMPARE(failures.size(), 1);
    QVERIFY(link.driver.isOpen());

    // The meter comes back on another terminal.
    link.driver.close();
    QVERIFY(newTerminal()->isValid());
    QVERIFY2(link.open(), qPrintable(link.driver.lastError()));
    const QByteArray frames = frameBytes(1) + frameBytes(2) + frameBytes(3);
    QVERIFY(m_pty->write(frames));
    QTRY_COMPARE(link.received, written + frames);
    QCOMPARE(failures.size(), 1);
}

void TestSerialBackendLinux::openDiscardsWhatCameBefore()
{
    // A second reader of the terminal, opened before the driver takes it,
    // shows what the system holds without taking it away.
    // A fresh terminal is canonical and counts only whole lines as queued.
    const int observer = ::open(m_pty->encodedDevice().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(observer >= 0);
    termios2 raw = m_pty->lineSettings();
    raw.c_lflag &= ~(ICANON | ECHO);
    QCOMPARE(::ioctl(observer, TCSETS2, &raw), 0);
    QVERIFY(m_pty->write("+0123"));
    QTRY_COMPARE(queuedBytes(observer), 5);

    Link link;
    QVERIFY2(link.open(), qPrintable(link.driver.lastError()));
    QCOMPARE(queuedBytes(observer), 0);

    QVERIFY(m_pty->write("+4567"));
    QTRY_COMPARE(link.received, QByteArray("+4567"));
    ::close(observer);
}

void TestSerialBackendLinux::heldPortFailsToOpen()
{
    SerialPortDriver first;
    QVERIFY2(first.open(QStringLiteral("COM1"), MeterLineSettings), qPrintable(first.lastError()));

    SerialPortDriver second;
    QVERIFY(!second.open(QStringLiteral("COM1"), MeterLineSettings));
    QVERIFY(!second.isOpen());
    QCOMPARE(second.lastErrorKind(), SerialError::InUse);
    QCOMPARE(second.lastError(),
             QStringLiteral("COM1 (%1) cannot be opened: it is in use by another program.").arg(m_pty->device()));
    // By its device path too.
    QVERIFY(!second.open(m_pty->device(), MeterLineSettings));
    QCOMPARE(second.lastError(), QStringLiteral("%1 cannot be opened: it is in use by another program.").arg(m_pty->device()));

    // A closed (or destroyed) driver lets go of the port.
    first.close();
    QVERIFY(second.open(QStringLiteral("COM1"), MeterLineSettings));
    second.close();
    {
        SerialPortDriver third;
        QVERIFY(third.open(m_pty->device(), MeterLineSettings));
    }

    // Another program that locks the device.
    const int other = ::open(m_pty->encodedDevice().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(other >= 0);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    QVERIFY(!second.open(QStringLiteral("COM1"), MeterLineSettings));
    QCOMPARE(second.lastErrorKind(), SerialError::InUse);
    ::close(other);
    QVERIFY(second.open(QStringLiteral("COM1"), MeterLineSettings));
}

void TestSerialBackendLinux::closedPortOpensForOrdinaryUsers()
{
    // The terminal stays while its master is open, and with it the exclusive
    // flag the port was held with, which refuses every user but root.
    if (::geteuid() == 0)
        QCOMPARE(::chmod(m_pty->encodedDevice().constData(), 0666), 0);
    {
        SerialPortDriver driver;
        QVERIFY2(driver.open(QStringLiteral("COM1"), MeterLineSettings), qPrintable(driver.lastError()));
        const OpenAnswer whileHeld = openAsOrdinaryUser();
        QVERIFY(whileHeld.ran);
        QCOMPARE(whileHeld.error, SerialError::InUse);

        driver.close();
        const OpenAnswer afterClose = openAsOrdinaryUser();
        QVERIFY(afterClose.ran);
        QVERIFY2(afterClose.opened, qPrintable(afterClose.message));

        QVERIFY(driver.open(QStringLiteral("COM1"), MeterLineSettings));
    }
    const OpenAnswer afterDestruction = openAsOrdinaryUser();
    QVERIFY(afterDestruction.ran);
    QVERIFY2(afterDestruction.opened, qPrintable(afterDestruction.message));
}

void TestSerialBackendLinux::settingsReachTheTerminal_data()
{
    QTest::addColumn<SerialSettings>("settings");
    QTest::addColumn<uint>("cflag");   // character format and flow control
    QTest::addColumn<uint>("iflag");
    QTest::addColumn<uint>("speedCode");

    // A pseudo-terminal carries 8 data bits without parity only; the full
    // mapping is tested without a device. It has no modem lines either, so
    // DTR comes to nothing here but must not fail the open.
    const auto with = [](qint32 rate, SerialStopBits stopBits, SerialFlowControl flow, bool dtr = true) {
        return SerialSettings{rate, 8, SerialParity::None, stopBits, flow, dtr};
    };
    QTest::newRow("the meter: 2400 8N1") << MeterLineSettings << uint(CS8) << uint(IGNBRK) << uint(B2400);
    QTest::newRow("DTR dropped") << with(2400, SerialStopBits::One, SerialFlowControl::None, false) << uint(CS8)
                                 << uint(IGNBRK) << uint(B2400);
    QTest::newRow("115200") << with(115200, SerialStopBits::One, SerialFlowControl::None) << uint(CS8) << uint(IGNBRK)
                            << uint(B115200);
    QTest::newRow("14400 as an arbitrary rate") << with(14400, SerialStopBits::One, SerialFlowControl::None)
                                                << uint(CS8) << uint(IGNBRK) << uint(BOTHER);
    QTest::newRow("56000 as an arbitrary rate") << with(56000, SerialStopBits::One, SerialFlowControl::None)
                                                << uint(CS8) << uint(IGNBRK) << uint(BOTHER);
    QTest::newRow("two stop bits") << with(2400, SerialStopBits::Two, SerialFlowControl::None) << uint(CS8 | CSTOPB)
                                   << uint(IGNBRK) << uint(B2400);
    QTest::newRow("RTS/CTS") << with(2400, SerialStopBits::One, SerialFlowControl::Hardware) << uint(CS8 | CRTSCTS)
                             << uint(IGNBRK) << uint(B2400);
    QTest::newRow("XON/XOFF") << with(2400, SerialStopBits::One, SerialFlowControl::Software) << uint(CS8)
                              << uint(IGNBRK | IXON | IXOFF) << uint(B2400);
}

void TestSerialBackendLinux::settingsReachTheTerminal()
{
    QFETCH(SerialSettings, settings);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    QFETCH(uint, speedCode);

    const std::unique_ptr<SerialBackend> backend = createSerialBackend();
    QVERIFY2(backend->open(QStringLiteral("COM1"), settings), qPrintable(backend->errorString()));
    QCOMPARE(backend->error(), SerialError::None);

    const termios2 t = m_pty->lineSettings();
    const uint format = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    QCOMPARE(uint(t.c_cflag & format), cflag);
    QCOMPARE(uint(t.c_cflag & (CREAD | CLOCAL)), uint(CREAD | CLOCAL));
    QCOMPARE(uint(t.c_iflag), iflag);
    QCOMPARE(uint(t.c_cflag & CBAUD), speedCode);
    QCOMPARE(uint(t.c_ospeed), uint(settings.baudRate));
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

void TestSerialBackendLinux::refusedSettingsFailTheOpen_data()
{
    QTest::addColumn<SerialSettings>("settings");
    QTest::addColumn<QString>("reason");   // empty: the kernel's words, which vary

    QTest::newRow("9 data bits")
        << SerialSettings{2400, 9, SerialParity::None, SerialStopBits::One, SerialFlowControl::None, true}
        << QStringLiteral("9 data bits are not possible; use 5 to 8.");
    QTest::newRow("no line speed")
        << SerialSettings{0, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl::None, true}
        << QStringLiteral("0 bit/s is not a line speed.");
    // Refused by the terminal, or taken as 8N1 instead.
    QTest::newRow("7E1, which the terminal cannot carry")
        << SerialSettings{2400, 7, SerialParity::Even, SerialStopBits::One, SerialFlowControl::None, true} << QString();
}

void TestSerialBackendLinux::refusedSettingsFailTheOpen()
{
    QFETCH(SerialSettings, settings);
    QFETCH(QString, reason);

    const termios2 before = m_pty->lineSettings();
    const std::unique_ptr<SerialBackend> backend = createSerialBackend();
    QVERIFY(!backend->open(QStringLiteral("COM1"), settings));
    QCOMPARE(backend->error(), SerialError::Unsupported);
    const QString head = QStringLiteral("COM1 (%1) cannot be opened: ").arg(m_pty->device());
    if (reason.isEmpty())
        QVERIFY2(backend->errorString().startsWith(head), qPrintable(backend->errorString()));
    else
        QCOMPARE(backend->errorString(), head + reason);

    // Closed: nothing read, the line as it was, the port free for others.
    std::uint8_t buffer[16];
    QCOMPARE(backend->read(buffer, int(sizeof buffer)).status, SerialRead::Status::Failed);
    QVERIFY(sameLine(m_pty->lineSettings(), before));
    if (::geteuid() == 0)
        QCOMPARE(::chmod(m_pty->encodedDevice().constData(), 0666), 0);
    const OpenAnswer ordinary = openAsOrdinaryUser();
    QVERIFY(ordinary.ran);
    QVERIFY2(ordinary.opened, qPrintable(ordinary.message));
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
    SerialPortDriver driver;
    QVERIFY(!driver.open(port, MeterLineSettings));
    QVERIFY(!driver.isOpen());
    QCOMPARE(driver.lastErrorKind(), kind);
    QCOMPARE(driver.lastError(), message);
    qunsetenv("QM320_COM3");
}

void TestSerialBackendLinux::permissionDeniedNamesTheGroup()
{
    const QByteArray device = m_pty->encodedDevice();
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

    const OpenAnswer answer = openAsOrdinaryUser();
    QVERIFY(answer.ran);
    QVERIFY(!answer.opened);
    QCOMPARE(answer.error, SerialError::PermissionDenied);
    QVERIFY2(answer.message.startsWith(QStringLiteral("COM1 (%1) cannot be opened: permission denied").arg(m_pty->device())),
             qPrintable(answer.message));
    if (root)
        QVERIFY2(answer.message.contains(QLatin1String("sudo adduser $USER dialout")), qPrintable(answer.message));
}

QTEST_GUILESS_MAIN(TestSerialBackendLinux)
#include "tst_serialbackend_linux.moc"
