// The serial backend on Linux, on the kernel's termios2 interface. The
// mapping of the settings is in serialtermios_linux.cpp; here:
//
//   open   O_NONBLOCK (no wait for a carrier), an exclusive flock on the
//          device and TIOCEXCL: another program that holds the port, or
//          takes it after us, is refused either way. Then the settings,
//          read back to see that the device took them, and the modem lines.
//   flush  TCFLSH on the receive queue.
//   read   a hung-up line (an adapter pulled, the other end of a
//          pseudo-terminal closed) reads as 0 bytes like an empty queue;
//          poll tells them apart.

#include "transport/serialbackend.h"

#include "transport/comportnames.h"
#include "transport/serialtermios_linux.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error)).toLower();
}

class LinuxSerialBackend : public SerialBackend
{
public:
    ~LinuxSerialBackend() override { close(); }

    bool open(const QString &name, const SerialSettings &settings) override;
    SerialRead read(std::uint8_t *buffer, int capacity) override;
    bool flush() override;
    void close() override;

private:
    bool fail(SerialError error, const QString &text);
    QString openFailure(int error, const QString &device, const QString &portName) const;
    bool configure(int fd, const struct termios2 &found, const SerialSettings &settings, SerialError &error,
                   QString &reason) const;
    // An errno, or one of these for the read failures without one.
    static constexpr int HungUp = -1;
    static constexpr int NotOpen = -2;
    void failRead(int error);

    int m_fd = -1;
    QString m_label;     // "COM1 (/dev/ttyUSB0)" or the device path
    int m_readError = 0; // the read failure errorString() describes
};

bool LinuxSerialBackend::fail(SerialError error, const QString &text)
{
    m_readError = 0;
    setError(error, text);
    return false;
}

QString LinuxSerialBackend::openFailure(int error, const QString &device, const QString &portName) const
{
    const QString head = QStringLiteral("%1 cannot be opened: ").arg(m_label);
    // COMn fell back to a device that is not there or has no UART behind it.
    const int n = comPortNumber(portName);
    const QString adapterHint = n ? QStringLiteral("; plug in the USB-to-RS-232 adapter, or set QM320_COM%1 to the "
                                                   "device to use.")
                                        .arg(n)
                                  : QStringLiteral(".");
    switch (error) {
    case ENOENT:
        return head + QStringLiteral("there is no such device") + adapterHint;
    case ENXIO:
    case ENODEV:
    case EIO:
        return head + QStringLiteral("no serial hardware answers behind it") + adapterHint;
    case EACCES:
    case EPERM: {
        struct stat st
        { };
        QString group;
        if (::stat(QFile::encodeName(device).constData(), &st) == 0) {
            if (const struct group *g = ::getgrgid(st.st_gid))
                group = QString::fromLocal8Bit(g->gr_name);
        }
        if (group.isEmpty() || group == QLatin1String("root"))
            group = QStringLiteral("dialout");
        return head
               + QStringLiteral("permission denied; add your user to the group '%1' that may use serial "
                                "ports (sudo adduser $USER %1) and log in again.")
                     .arg(group);
    }
    case EBUSY:
    case EWOULDBLOCK:
        return head + QStringLiteral("it is in use by another program.");
    case ENOTTY:
    case EINVAL:
        return head + QStringLiteral("it is not a serial port.");
    default:
        return head + systemText(error) + QLatin1Char('.');
    }
}

SerialError openErrorKind(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case EIO:
        return SerialError::NoSuchPort;
    case EACCES:
    case EPERM:
        return SerialError::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return SerialError::InUse;
    case ENOTTY:
    case EINVAL:
    case EISDIR:
        return SerialError::NotASerialPort;
    default:
        return SerialError::Io;
    }
}

// 0, or the errno of a failure that matters: pseudo-terminals and some
// adapters have no modem lines.
int setModemLine(int fd, int line, bool on)
{
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return 0;
    if (errno == ENOTTY || errno == EINVAL || errno == ENOTSUP)
        return 0;
    return errno;
}

bool LinuxSerialBackend::configure(int fd, const struct termios2 &found, const SerialSettings &settings,
                                   SerialError &error, QString &reason) const
{
    struct termios2 asked
    { };
    if (!termiosForSettings(settings, found, asked, reason)) {
        error = SerialError::Unsupported;
        return false;
    }
    if (::ioctl(fd, TCSETS2, &asked) != 0) {
        error = SerialError::Unsupported;
        reason = QStringLiteral("the line settings were refused: %1.").arg(systemText(errno));
        return false;
    }
    // From here on a failure leaves the line as it was found.
    auto restore = [&](SerialError why, const QString &text) {
        ::ioctl(fd, TCSETS2, &found);
        error = why;
        reason = text;
        return false;
    };
    struct termios2 now
    { };
    if (::ioctl(fd, TCGETS2, &now) != 0)
        return restore(SerialError::Io, systemText(errno) + QLatin1Char('.'));
    QString notTaken;
    if (!termiosTaken(asked, now, notTaken))
        return restore(SerialError::Unsupported, notTaken);

    // Only now: setting a speed from 0 raises both lines by itself.
    if (const int e = setModemLine(fd, TIOCM_DTR, settings.dtr)) {
        return restore(SerialError::Io,
                       QStringLiteral("cannot %1 DTR: %2.")
                           .arg(settings.dtr ? QStringLiteral("raise") : QStringLiteral("drop"), systemText(e)));
    }
    // With hardware flow control the kernel drives RTS itself.
    if (!(asked.c_cflag & CRTSCTS)) {
        if (const int e = setModemLine(fd, TIOCM_RTS, true))
            return restore(SerialError::Io, QStringLiteral("cannot raise RTS: %1.").arg(systemText(e)));
    }
    return true;
}

bool LinuxSerialBackend::open(const QString &name, const SerialSettings &settings)
{
    close();
    const QString device = deviceForPortName(name);
    if (device.isEmpty()) {
        m_label = name;
        return fail(SerialError::NoSuchPort,
                    QStringLiteral("'%1' is not a port: name COM1 to COM4 or a device path.").arg(name));
    }
    m_label = device == name ? device : QStringLiteral("%1 (%2)").arg(name, device);

    // Non-blocking, so that the open does not wait for a carrier.
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return fail(openErrorKind(error), openFailure(error, device, name));
    }
    bool exclusive = false;
    auto refuse = [&](SerialError error, const QString &text) {
        if (exclusive)
            ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return fail(error, text);
    };
    auto refuseWith = [&](int error) { return refuse(openErrorKind(error), openFailure(error, device, name)); };
    // TIOCEXCL keeps other users out but not root, and not a program that
    // opened the port before us; a lock on the open device covers both among
    // programs that lock (as we do).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return refuseWith(errno == EWOULDBLOCK ? EBUSY : errno);
    struct termios2 found
    { };
    if (::ioctl(fd, TCGETS2, &found) != 0)
        return refuseWith(errno == EINVAL ? ENOTTY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return refuseWith(errno);
    exclusive = true;

    SerialError error = SerialError::None;
    QString reason;
    if (!configure(fd, found, settings, error, reason))
        return refuse(error, QStringLiteral("%1 cannot be opened: %2").arg(m_label, reason));
    m_fd = fd;
    m_readError = 0;
    clearError();
    return true;
}

void LinuxSerialBackend::close()
{
    if (m_fd < 0)
        return;
    // The exclusive flag outlives the descriptor where the terminal does (a
    // pseudo-terminal whose other end is still open): without this, no
    // ordinary user could open the port again.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
}

bool LinuxSerialBackend::flush()
{
    if (m_fd < 0)
        return fail(SerialError::Io, QStringLiteral("the port is not open."));
    if (::ioctl(m_fd, TCFLSH, TCIFLUSH) != 0) {
        return fail(SerialError::Io,
                    QStringLiteral("%1: cannot discard the received bytes: %2.").arg(m_label, systemText(errno)));
    }
    return true;
}

void LinuxSerialBackend::failRead(int error)
{
    // The same failure repeats at every poll: describe it once, so that a
    // failing line costs no allocation per poll.
    if (error == m_readError && this->error() == SerialError::Io)
        return;
    m_readError = error;
    QString what;
    if (error == HungUp)
        what = QStringLiteral("the device hung up (unplugged, or the other end closed)");
    else if (error == NotOpen)
        what = QStringLiteral("the port is not open");
    else
        what = systemText(error);
    setError(SerialError::Io, QStringLiteral("%1: %2").arg(m_label, what));
}

SerialRead LinuxSerialBackend::read(std::uint8_t *buffer, int capacity)
{
    SerialRead result;
    if (m_fd < 0) {
        result.status = SerialRead::Status::Failed;
        failRead(NotOpen);
        return result;
    }
    if (capacity <= 0)
        return result;
    const ssize_t n = ::read(m_fd, buffer, std::size_t(capacity));
    if (n > 0) {
        result.status = SerialRead::Status::Data;
        result.count = int(n);
        return result;
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return result;
        result.status = SerialRead::Status::Failed;
        failRead(errno);
        return result;
    }
    // With VMIN 0 an empty queue and a hung-up line both read as 0 bytes.
    struct pollfd p
    {
        m_fd, POLLIN, 0
    };
    if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        result.status = SerialRead::Status::Failed;
        failRead(HungUp);
    }
    return result;
}

} // namespace

std::unique_ptr<SerialBackend> createSerialBackend()
{
    return std::make_unique<LinuxSerialBackend>();
}
