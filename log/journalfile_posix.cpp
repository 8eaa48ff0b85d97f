#include "log/journalfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int openLockedJournal(const QString &path, JournalOpen mode, QString &error)
{
    const int flags = mode == JournalOpen::Create ? O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC
                                                  : O_WRONLY | O_APPEND | O_CLOEXEC;
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0644);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

bool isAbandonedJournal(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A running program holds the lock on its journal.
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

bool syncJournal(int fd, QString &error)
{
    if (::fdatasync(fd) == 0)
        return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

QString journalDataFolder()
{
    // $XDG_DATA_HOME/qm320, by default ~/.local/share/qm320.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/qm320");
}
