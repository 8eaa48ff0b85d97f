// The journal file on Windows: a C runtime descriptor in binary mode (the
// journal's lines end in LF, as the table files do), locked with LockFileEx
// on one byte far beyond any end of file, so that the lock keeps other runs
// away while spreadsheets and the next start's recovery may still read every
// byte of it.

#include "log/journalfile.h"

#include <QStandardPaths>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <windows.h>

namespace {

// The byte the lock covers: no journal grows this far.
constexpr DWORD LockOffsetLow = 0xFFFFFFFE;
constexpr DWORD LockOffsetHigh = 0x7FFFFFFF;

bool lockExclusively(int fd)
{
    const HANDLE file = HANDLE(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE)
        return false;
    OVERLAPPED at{};
    at.Offset = LockOffsetLow;
    at.OffsetHigh = LockOffsetHigh;
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
}

} // namespace

int openLockedJournal(const QString &path, JournalOpen mode, QString &error)
{
    const std::wstring name = path.toStdWString();
    const int flags = mode == JournalOpen::Create ? _O_WRONLY | _O_CREAT | _O_TRUNC | _O_APPEND | _O_BINARY | _O_NOINHERIT
                                                  : _O_WRONLY | _O_APPEND | _O_BINARY | _O_NOINHERIT;
    _doserrno = 0;
    const int fd = _wsopen(name.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        // The system's own reason where the runtime kept it.
        error = _doserrno ? qt_error_string(int(_doserrno)) : qt_error_string(errno);
        return -1;
    }
    if (!lockExclusively(fd)) {
        error = qt_error_string(int(GetLastError()));
        _close(fd);
        return -1;
    }
    return fd;
}

bool isAbandonedJournal(const QString &path)
{
    const std::wstring name = path.toStdWString();
    const int fd = _wsopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO);
    if (fd < 0)
        return false;
    // A running program holds the lock on its journal.
    const bool free = lockExclusively(fd);
    _close(fd);   // and with it the lock just taken
    return free;
}

bool syncJournal(int fd, QString &error)
{
    const HANDLE file = HANDLE(_get_osfhandle(fd));
    if (file != INVALID_HANDLE_VALUE && FlushFileBuffers(file))
        return true;
    error = qt_error_string(int(GetLastError()));
    return false;
}

QString journalDataFolder()
{
    // %LOCALAPPDATA%\qm320: the user's own data on this computer, beside the
    // settings, and not carried along with a roaming profile.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/qm320");
}
