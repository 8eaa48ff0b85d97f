// The serial backend on Linux, on the kernel's termios2 interface. The
// mapping of the line settings is in serialtermios_linux.cpp; here:
//
//   open          O_NONBLOCK (no wait for a carrier), an exclusive flock on
//                 the device and TIOCEXCL: another program that holds the
//                 port, or takes it after us, is refused either way.
//   purge         TCFLSH on the queues asked for; reads never wait, so
//                 there is nothing to abort.
//   queue sizes   accepted: the kernel buffers up to 64 KiB per tty.
//   timeouts      a read returns at once with what is queued; settings that
//                 ask a read to wait longer than 10 ms are refused, as the
//                 driver reads on the window's thread.
//   read          a hung-up line (an adapter pulled, the other end of a
//                 pseudo-terminal closed) reads as 0 bytes like an empty
//                 queue; poll tells them apart.

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

QString systemText(int error) { return QString::fromLocal8Bit(std::strerror(error)).toLower(); }

class LinuxSerialBackend : public SerialBackend
{
public:
    ~LinuxSerialBackend() override { close(); }

    bool open(const QString &name) override;
    void close() override;
    bool setLineState(const SerialLineState &state) override;
    bool purge(std::uint32_t flags) override;
    bool setQueueSizes(std::uint32_t inSize, std::uint32_t outSize) override;
    bool setTimeouts(const SerialTimeouts &timeouts) override;
    SerialRead read(std::uint8_t *buffer, int capacity) override;

private:
    bool fail(SerialError error, const QString &text);
    QString openFailure(int error, const QString &device, const QString &portName) const;
    void failRead(int error, const QString &what);
    bool setModemLine(int line, bool on);

    int m_fd = -1;
    QString m_label;        // "COM1 (/dev/ttyUSB0)" or the device path
    int m_readError = 0;    // errno of the failure errorString() describes
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
                                                   "device to use.").arg(n)
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
        struct stat st{};
        QString group;
        if (::stat(QFile::encodeName(device).constData(), &st) == 0) {
            if (const struct group *g = ::getgrgid(st.st_gid))
                group = QString::fromLocal8Bit(g->gr_name);
        }
        if (group.isEmpty() || group == QLatin1String("root"))
            group = QStringLiteral("dialout");
        return head + QStringLiteral("permission denied; add your user to the group '%1' that may use serial "
                                     "ports (sudo adduser $USER %1) and log in again.").arg(group);
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

bool LinuxSerialBackend::open(const QString &name)
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
    auto refuse = [&](int error) {
        ::close(fd);
        return fail(openErrorKind(error), openFailure(error, device, name));
    };
    // TIOCEXCL keeps other users out but not root, and not a program that
    // opened the port before us; a lock on the open device covers both among
    // programs that lock (as we do).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return refuse(errno == EWOULDBLOCK ? EBUSY : errno);
    struct termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return refuse(errno == EINVAL ? ENOTTY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return refuse(errno);
    m_fd = fd;
    m_readError = 0;
    clearError();
    return true;
}

void LinuxSerialBackend::close()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
}

bool LinuxSerialBackend::setModemLine(int line, bool on)
{
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    // Pseudo-terminals and some adapters have no modem lines.
    if (errno == ENOTTY || errno == EINVAL || errno == ENOTSUP)
        return true;
    return fail(SerialError::Io, QStringLiteral("%1: cannot %2 %3: %4")
                                     .arg(m_label, on ? QStringLiteral("raise") : QStringLiteral("drop"),
                                          line == TIOCM_DTR ? QStringLiteral("DTR") : QStringLiteral("RTS"),
                                          systemText(errno)));
}

bool LinuxSerialBackend::setLineState(const SerialLineState &state)
{
    if (m_fd < 0)
        return fail(SerialError::Io, QStringLiteral("the port is not open."));
    struct termios2 old{};
    if (::ioctl(m_fd, TCGETS2, &old) != 0)
        return fail(SerialError::Io, QStringLiteral("%1: %2").arg(m_label, systemText(errno)));
    QString reason;
    struct termios2 t{};
    if (!termiosForLineState(state, old, t, reason))
        return fail(SerialError::Unsupported, QStringLiteral("%1: %2").arg(m_label, reason));
    if (::ioctl(m_fd, TCSETS2, &t) != 0) {
        return fail(SerialError::Unsupported,
                    QStringLiteral("%1: the line settings were refused: %2").arg(m_label, systemText(errno)));
    }
    struct termios2 now{};
    if (::ioctl(m_fd, TCGETS2, &now) != 0)
        return fail(SerialError::Io, QStringLiteral("%1: %2").arg(m_label, systemText(errno)));
    if (!termiosTaken(t, now, reason)) {
        ::ioctl(m_fd, TCSETS2, &old);
        return fail(SerialError::Unsupported, QStringLiteral("%1: %2").arg(m_label, reason));
    }

    // Only now: setting a speed from 0 raises both lines by itself.
    const std::uint32_t rts = state.Flags & SerialLineState::RtsControlMask;
    if (!setModemLine(TIOCM_DTR, (state.Flags & SerialLineState::DtrControlMask) == SerialLineState::DtrControlEnable))
        return false;
    if (!(t.c_cflag & CRTSCTS) && !setModemLine(TIOCM_RTS, rts == SerialLineState::RtsControlEnable))
        return false;
    clearError();
    return true;
}

bool LinuxSerialBackend::purge(std::uint32_t flags)
{
    if (m_fd < 0)
        return fail(SerialError::Io, QStringLiteral("the port is not open."));
    // Reads and writes never wait here, so there is nothing to abort.
    const bool in = flags & PurgeRxClear;
    const bool out = flags & PurgeTxClear;
    if (!in && !out)
        return true;
    const int queue = in && out ? TCIOFLUSH : in ? TCIFLUSH : TCOFLUSH;
    if (::ioctl(m_fd, TCFLSH, queue) != 0)
        return fail(SerialError::Io, QStringLiteral("%1: cannot discard the queues: %2").arg(m_label, systemText(errno)));
    return true;
}

bool LinuxSerialBackend::setQueueSizes(std::uint32_t inSize, std::uint32_t outSize)
{
    Q_UNUSED(inSize) Q_UNUSED(outSize)
    return m_fd >= 0 || fail(SerialError::Io, QStringLiteral("the port is not open."));
}

bool LinuxSerialBackend::setTimeouts(const SerialTimeouts &timeouts)
{
    if (m_fd < 0)
        return fail(SerialError::Io, QStringLiteral("the port is not open."));
    // MAXDWORD as the interval with zero totals is "return at once" too.
    const bool immediate = timeouts.ReadIntervalTimeout == 0xFFFFFFFFu && timeouts.ReadTotalTimeoutMultiplier == 0
                           && timeouts.ReadTotalTimeoutConstant == 0;
    const bool brief = timeouts.ReadTotalTimeoutMultiplier == 0 && timeouts.ReadTotalTimeoutConstant <= 10;
    if (immediate || brief)
        return true;
    return fail(SerialError::Unsupported,
                QStringLiteral("%1: reads that wait are not supported; a read returns what is queued.").arg(m_label));
}

void LinuxSerialBackend::failRead(int error, const QString &what)
{
    // The same failure repeats every tick; describe it once.
    if (error == m_readError && this->error() == SerialError::Io)
        return;
    m_readError = error;
    setError(SerialError::Io, QStringLiteral("%1: %2").arg(m_label, what));
}

SerialRead LinuxSerialBackend::read(std::uint8_t *buffer, int capacity)
{
    SerialRead result;
    if (m_fd < 0) {
        result.status = SerialRead::Status::Failed;
        failRead(EBADF, QStringLiteral("the port is not open"));
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
        const int error = errno;
        result.status = SerialRead::Status::Failed;
        failRead(error, systemText(error));
        return result;
    }
    // With VMIN 0 an empty queue and a hung-up line both read as 0 bytes.
    struct pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        result.status = SerialRead::Status::Failed;
        failRead(-1, QStringLiteral("the device hung up (unplugged, or the other end closed)"));
    }
    return result;
}

} // namespace

std::unique_ptr<SerialBackend> createSerialBackend()
{
    return std::make_unique<LinuxSerialBackend>();
}
