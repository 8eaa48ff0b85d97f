#include "transport/devicelock.h"

#include <QFile>
#include <QList>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

namespace {

// "qm320 (process 1234)", or the process number alone when its name is
// hidden from us.
QString describeProcess(std::int64_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    QString name;
    if (comm.open(QIODevice::ReadOnly))
        name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    return name.isEmpty() ? QStringLiteral("process %1").arg(pid)
                          : QStringLiteral("%1 (process %2)").arg(name).arg(pid);
}

} // namespace

std::unique_ptr<DeviceLock> DeviceLock::take(const QString &path, QString &why)
{
    // Read access is enough for a lock, and the program may read a device
    // it claims.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        why = QStringLiteral("it cannot be opened: %1").arg(qt_error_string(errno));
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return std::unique_ptr<DeviceLock>(new DeviceLock(fd));
    const int error = errno;
    struct stat status = {};
    const bool known = ::fstat(fd, &status) == 0;
    ::close(fd);
    if (error != EWOULDBLOCK) {
        why = QStringLiteral("it cannot be locked: %1").arg(qt_error_string(error));
        return nullptr;
    }
    QFile locks(QStringLiteral("/proc/locks"));
    std::optional<std::int64_t> pid;
    if (known && locks.open(QIODevice::ReadOnly))
        pid = flockHolder(locks.readAll(), status.st_dev, status.st_ino);
    why = (pid ? describeProcess(*pid) : QStringLiteral("another program")) + QStringLiteral(" holds it");
    return nullptr;
}

DeviceLock::~DeviceLock()
{
    ::close(m_fd);
}

std::optional<std::int64_t> flockHolder(QByteArrayView lockTable, std::uint64_t device, std::uint64_t inode)
{
    // Each line: "1: FLOCK  ADVISORY  WRITE 1234 00:05:321 0 EOF"; a waiter's
    // line starts "1: -> FLOCK ...". The device is "major:minor" in hex.
    const QByteArray wanted = QByteArray::number(major(device), 16).rightJustified(2, '0') + ':'
                              + QByteArray::number(minor(device), 16).rightJustified(2, '0') + ':'
                              + QByteArray::number(quint64(inode));
    for (const QByteArray &line : lockTable.toByteArray().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const qsizetype at = fields.indexOf("FLOCK");
        if (at < 1 || fields.at(at - 1) == "->" || fields.size() < at + 5)
            continue;
        if (fields.at(at + 4) != wanted)
            continue;
        bool ok = false;
        const qint64 pid = fields.at(at + 3).toLongLong(&ok);
        if (ok)
            return pid;
    }
    return std::nullopt;
}
