#include "log/journalfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString systemText(int error)
{
    return qt_error_string(error);
}

QByteArray encoded(const QString &fileName)
{
    return QFile::encodeName(fileName);
}

// "qm320 (process 1234)", or the number alone when the name is hidden.
QString describeProcess(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    QString name;
    if (comm.open(QIODevice::ReadOnly))
        name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    return name.isEmpty() ? QStringLiteral("process %1").arg(pid)
                          : QStringLiteral("%1 (process %2)").arg(name).arg(pid);
}

// Who holds the whole-file lock on the file `fd` leads to, as the system's
// lock table lists it: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF",
// the device as hexadecimal "major:minor". A waiter's line reads "1: -> FLOCK".
QString lockHolder(int fd)
{
    struct stat status = {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::fstat(fd, &status) != 0 || !locks.open(QIODevice::ReadOnly))
        return QStringLiteral("another program");
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:", major(status.st_dev), minor(status.st_dev));
    const QByteArray wanted = QByteArray(device) + QByteArray::number(quint64(status.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const qsizetype at = fields.indexOf("FLOCK");
        if (at < 1 || fields.at(at - 1) == "->" || fields.size() < at + 5 || fields.at(at + 4) != wanted)
            continue;
        bool ok = false;
        const qint64 pid = fields.at(at + 3).toLongLong(&ok);
        if (ok)
            return describeProcess(pid);
    }
    return QStringLiteral("another program");
}

bool renameNoReplace(const QByteArray &from, const QByteArray &to, int *error)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    *error = errno;
    if (*error != EINVAL && *error != ENOSYS)
        return false;
    // A file system without that kind of rename: a second link, then the
    // first goes; link() never replaces.
    if (::link(from.constData(), to.constData()) != 0) {
        *error = errno;
        return false;
    }
    ::unlink(from.constData());
    return true;
}

} // namespace

JournalFile::JournalFile(int fd, QString fileName, bool writable)
    : m_fd(fd)
    , m_fileName(std::move(fileName))
    , m_writable(writable)
{ }

JournalFile::~JournalFile()
{
    ::close(m_fd);
}

bool JournalFile::makePrivateFolder(const QString &folder, QString *why)
{
    const QByteArray path = encoded(folder);
    // Each missing folder on the way, as the user's data folders are made.
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (!part.isEmpty() && ::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            *why = QStringLiteral("the folder %1 cannot be made: %2").arg(folder, systemText(errno));
            return false;
        }
        if (slash < 0)
            break;
    }
    struct stat status = {};
    const int error = ::stat(path.constData(), &status) != 0 ? errno : S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    if (error != 0) {
        *why = QStringLiteral("the folder %1 cannot be made: %2").arg(folder, systemText(error));
        return false;
    }
    // A folder of ours that others may look into (made by an earlier
    // version) is closed; one of another user's is left as it is.
    if (status.st_uid == ::geteuid() && (status.st_mode & 077) != 0)
        ::chmod(path.constData(), status.st_mode & 0700);
    return true;
}

std::unique_ptr<JournalFile> JournalFile::create(const QString &fileName, bool *exists, QString *why)
{
    *exists = false;
    // Made and locked under a name no run looks for, then given its own
    // name: another window never sees the journal unlocked, and so never
    // takes a brand-new journal for an abandoned one.
    const QByteArray name = encoded(fileName);
    const QByteArray unnamed = name + ".new";
    const int fd = ::open(unnamed.constData(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        *exists = errno == EEXIST;
        *why = QStringLiteral("%1 cannot be written: %2").arg(fileName, systemText(errno));
        return nullptr;
    }
    int error = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno;
    else if (!renameNoReplace(unnamed, name, &error))
        *exists = error == EEXIST;
    if (error != 0) {
        *why = QStringLiteral("%1 cannot be written: %2").arg(fileName, systemText(error));
        ::unlink(unnamed.constData());
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<JournalFile>(new JournalFile(fd, fileName, true));
}

std::unique_ptr<JournalFile> JournalFile::claim(const QString &fileName, ClaimFailure *failure, QString *why)
{
    const QByteArray name = encoded(fileName);
    const auto fail = [&](ClaimFailure kind, const QString &text) {
        *failure = kind;
        *why = text;
        return nullptr;
    };
    // Not blocking: a fifo under a journal's name must not hang the start.
    bool writable = true;
    int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    }
    if (fd < 0) {
        const int error = errno;
        return fail(error == ENOENT ? ClaimFailure::Gone : ClaimFailure::Unusable,
                    QStringLiteral("%1 cannot be opened: %2").arg(fileName, systemText(error)));
    }
    // A device is taken as it is (a full disk is tried on /dev/full); the
    // folder's listing holds only plain files.
    struct stat opened = {};
    if (::fstat(fd, &opened) != 0 || !(S_ISREG(opened.st_mode) || S_ISCHR(opened.st_mode))) {
        ::close(fd);
        return fail(ClaimFailure::Unusable, QStringLiteral("%1 is not a file").arg(fileName));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const QString text = error == EWOULDBLOCK
                                 ? QStringLiteral("%1 is held by %2").arg(fileName, lockHolder(fd))
                                 : QStringLiteral("%1 cannot be locked: %2").arg(fileName, systemText(error));
        ::close(fd);
        return fail(error == EWOULDBLOCK ? ClaimFailure::HeldByAnother : ClaimFailure::Unusable, text);
    }
    // The run that held it may have removed or renamed it before letting
    // go: the lock is then on a file no longer under that name.
    struct stat named = {};
    if (::stat(name.constData(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
        ::close(fd);
        return fail(ClaimFailure::Gone, QStringLiteral("%1 was taken away by another run").arg(fileName));
    }
    *failure = ClaimFailure::None;
    return std::unique_ptr<JournalFile>(new JournalFile(fd, fileName, writable));
}

bool JournalFile::rename(const QString &fileName, const QString &newName, bool *exists, QString *why)
{
    int error = 0;
    *exists = false;
    if (renameNoReplace(encoded(fileName), encoded(newName), &error))
        return true;
    *exists = error == EEXIST;
    *why = QStringLiteral("%1 cannot be renamed %2: %3").arg(fileName, newName, systemText(error));
    return false;
}

QString JournalFile::defaultFolder()
{
    // $XDG_DATA_HOME/qm320, by default ~/.local/share/qm320.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/qm320");
}

qint64 JournalFile::size(QString *why) const
{
    struct stat status = {};
    if (::fstat(m_fd, &status) == 0)
        return status.st_size;
    *why = QStringLiteral("%1 cannot be read: %2").arg(m_fileName, systemText(errno));
    return -1;
}

qint64 JournalFile::read(qint64 offset, char *data, qint64 length, QString *why) const
{
    for (;;) {
        const ssize_t n = ::pread(m_fd, data, std::size_t(length), off_t(offset));
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            *why = QStringLiteral("%1 cannot be read: %2").arg(m_fileName, systemText(errno));
            return -1;
        }
    }
}

bool JournalFile::append(const char *data, qint64 length, QString *why)
{
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, std::size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write that takes nothing is a full disk.
            *why = QStringLiteral("%1 cannot be written: %2").arg(m_fileName, systemText(n < 0 ? errno : ENOSPC));
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

bool JournalFile::sync(QString *why)
{
    if (::fdatasync(m_fd) == 0)
        return true;
    *why = QStringLiteral("%1 cannot be written to the disk: %2").arg(m_fileName, systemText(errno));
    return false;
}

bool JournalFile::truncate(qint64 length, QString *why)
{
    if (::ftruncate(m_fd, off_t(length)) == 0)
        return true;
    *why = QStringLiteral("%1 cannot be shortened: %2").arg(m_fileName, systemText(errno));
    return false;
}

bool JournalFile::remove(QString *why)
{
    if (::unlink(encoded(m_fileName).constData()) == 0)
        return true;
    *why = QStringLiteral("%1 cannot be removed: %2").arg(m_fileName, systemText(errno));
    return false;
}
