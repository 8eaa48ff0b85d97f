// The journal file on Windows: a file handle, kept as a C runtime descriptor
// (what the class holds), open for reading and writing and shared with other
// programs for reading, writing and renaming: a spreadsheet may read a journal
// while a run writes it, and the run renames or removes the journal it holds.
//
// The lock. Windows' byte-range locks are mandatory: nobody else may read a
// locked byte. So the locks lie far beyond any end of file:
//   - the gate, one byte at GateOffset, which the run that holds the journal
//     locks exclusively; a run that cannot lock it finds the journal held;
//   - the holder's record, one byte at HolderBase + its process id, also
//     locked exclusively, so that such a run can name the holder: it looks
//     for the locked byte with shared locks, which fail over the holder's
//     byte and never over another searcher's.
// The system drops both when the handle closes, however the process ends.
//
// Privacy. On Linux the folder is 0700 and each file 0600. Windows keeps the
// journals in the user's profile, %LOCALAPPDATA%\qm320, and every folder and
// file made there inherits the profile's permissions: the user, the system
// and the administrators, nobody else, which is what 0700 gives on Linux.
// Windows has no umask that could open them up, and no earlier version made
// the folder for others, so nothing is changed on a folder that exists.

#include "log/journalfile.h"

#include "transport/processclaim_win.h"
#include "transport/systemerror_win.h"

#include <QDir>
#include <QStandardPaths>
#include <QStringList>

#include <fcntl.h>
#include <io.h>

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

// 2^62: beyond any file, and with every record below 2^63, the end of the
// range that Wine (and the C runtime's 64-bit offsets) still take.
constexpr ULONGLONG HolderBase = 0x4000000000000000ull;
constexpr ULONGLONG GateOffset = HolderBase - 1;
constexpr ULONGLONG HolderRange = 0x100000000ull; // every process id

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Reads and writes take at most this much at once; DWORD counts the bytes.
constexpr qint64 LargestTransfer = qint64(1) << 30;

std::wstring nativeName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName).toStdWString();
}

bool isNameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

HANDLE handleOf(int fd)
{
    return HANDLE(_get_osfhandle(fd));
}

OVERLAPPED atOffset(ULONGLONG offset)
{
    OVERLAPPED where{};
    where.Offset = DWORD(offset);
    where.OffsetHigh = DWORD(offset >> 32);
    return where;
}

// --- the system calls ---

HANDLE openFile(const QString &fileName, DWORD access, DWORD disposition)
{
    return CreateFileW(nativeName(fileName).c_str(), access, ShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool lockRange(HANDLE file, ULONGLONG offset, ULONGLONG length, bool exclusive)
{
    OVERLAPPED where = atOffset(offset);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(file, flags, 0, DWORD(length), DWORD(length >> 32), &where);
}

void unlockRange(HANDLE file, ULONGLONG offset, ULONGLONG length)
{
    OVERLAPPED where = atOffset(offset);
    UnlockFileEx(file, 0, DWORD(length), DWORD(length >> 32), &where);
}

// The volume and the file's number on it, which stay through a rename.
bool fileIdentity(HANDLE file, BY_HANDLE_FILE_INFORMATION &info)
{
    return GetFileInformationByHandle(file, &info);
}

// --- the lock ---

// Locks the gate and leaves this process's record; the system's error, or 0.
DWORD takeLock(HANDLE file)
{
    if (!lockRange(file, GateOffset, 1, true))
        return GetLastError();
    // The record only names the holder; the gate alone keeps others out.
    lockRange(file, HolderBase + GetCurrentProcessId(), 1, true);
    return 0;
}

// The run that holds the gate, found by halving the range of records.
QString lockHolder(HANDLE file)
{
    const auto recordIn = [file](ULONGLONG first, ULONGLONG length) {
        if (!lockRange(file, HolderBase + first, length, false))
            return true;
        unlockRange(file, HolderBase + first, length);
        return false;
    };
    ULONGLONG first = 0;
    ULONGLONG length = HolderRange;
    if (!recordIn(first, length))
        return QStringLiteral("another program"); // it has the gate and not yet its record
    while (length > 1) {
        const ULONGLONG half = length / 2;
        if (recordIn(first, half)) {
            length = half;
        } else {
            first += half;
            length -= half;
        }
    }
    // A holder that ended meanwhile leaves no record to name.
    return recordIn(first, 1) ? describeProcess(DWORD(first)) : QStringLiteral("another program");
}

// Hands the handle to a C runtime descriptor, which then owns it; -1, with
// the handle closed, when the runtime has no descriptor left.
int descriptorFor(HANDLE file)
{
    const int fd = _open_osfhandle(intptr_t(file), _O_BINARY);
    if (fd < 0)
        CloseHandle(file);
    return fd;
}

} // namespace

JournalFile::JournalFile(int fd, QString fileName, bool writable)
    : m_fd(fd)
    , m_fileName(std::move(fileName))
    , m_writable(writable)
{ }

JournalFile::~JournalFile()
{
    _close(m_fd); // closes the handle, and with it the locks
}

bool JournalFile::makePrivateFolder(const QString &folder, QString *why)
{
    const auto failed = [&](DWORD error) {
        *why = QStringLiteral("the folder %1 cannot be made: %2").arg(folder, windowsErrorText(error));
        return false;
    };
    // The nearest folder on the way that exists, then each missing one below
    // it. A drive or share root always exists, so it is never made.
    const QString path = QDir::cleanPath(folder);
    QStringList missing;
    QString existing = path;
    for (;;) {
        const DWORD attributes = GetFileAttributesW(nativeName(existing).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return failed(ERROR_DIRECTORY);
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return failed(error);
        missing.prepend(existing);
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break;
        existing.truncate(slash);
    }
    for (const QString &part : std::as_const(missing)) {
        if (!CreateDirectoryW(nativeName(part).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return failed(GetLastError());
    }
    return true;
}

std::unique_ptr<JournalFile> JournalFile::create(const QString &fileName, bool *exists, QString *why)
{
    *exists = false;
    // Made and locked under a name no run looks for, then given its own
    // name: another window never sees the journal unlocked, and so never
    // takes a brand-new journal for an abandoned one.
    const QString unnamed = fileName + QStringLiteral(".new");
    const HANDLE file = openFile(unnamed, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *exists = isNameTaken(error);
        *why = QStringLiteral("%1 cannot be written: %2").arg(fileName, windowsErrorText(error));
        return nullptr;
    }
    DWORD error = takeLock(file);
    // Never over another file: no MOVEFILE_REPLACE_EXISTING.
    if (error == 0 && !MoveFileExW(nativeName(unnamed).c_str(), nativeName(fileName).c_str(), 0)) {
        error = GetLastError();
        *exists = isNameTaken(error);
    }
    if (error != 0) {
        *why = QStringLiteral("%1 cannot be written: %2").arg(fileName, windowsErrorText(error));
        CloseHandle(file);
        DeleteFileW(nativeName(unnamed).c_str());
        return nullptr;
    }
    const int fd = descriptorFor(file);
    if (fd < 0) {
        *why = QStringLiteral("%1 cannot be written: %2").arg(fileName, windowsErrorText(ERROR_TOO_MANY_OPEN_FILES));
        DeleteFileW(nativeName(fileName).c_str());
        return nullptr;
    }
    return std::unique_ptr<JournalFile>(new JournalFile(fd, fileName, true));
}

std::unique_ptr<JournalFile> JournalFile::claim(const QString &fileName, ClaimFailure *failure, QString *why)
{
    const auto fail = [&](ClaimFailure kind, const QString &text) {
        *failure = kind;
        *why = text;
        return nullptr;
    };
    bool writable = true;
    HANDLE file = openFile(fileName, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        writable = false;
        file = openFile(fileName, GENERIC_READ, OPEN_EXISTING);
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return fail(gone ? ClaimFailure::Gone : ClaimFailure::Unusable,
                    QStringLiteral("%1 cannot be opened: %2").arg(fileName, windowsErrorText(error)));
    }
    // The folder's listing holds only files on a disk, not devices or pipes.
    BY_HANDLE_FILE_INFORMATION opened{};
    if (GetFileType(file) != FILE_TYPE_DISK || !fileIdentity(file, opened)
        || (opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(file);
        return fail(ClaimFailure::Unusable, QStringLiteral("%1 is not a file").arg(fileName));
    }
    if (const DWORD error = takeLock(file)) {
        const bool held = error == ERROR_LOCK_VIOLATION;
        const QString text = held ? QStringLiteral("%1 is held by %2").arg(fileName, lockHolder(file))
                                  : QStringLiteral("%1 cannot be locked: %2").arg(fileName, windowsErrorText(error));
        CloseHandle(file);
        return fail(held ? ClaimFailure::HeldByAnother : ClaimFailure::Unusable, text);
    }
    // The run that held it may have removed or renamed it before letting
    // go: the lock is then on a file no longer under that name.
    const HANDLE named = openFile(fileName, 0, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION found{};
    const bool same = named != INVALID_HANDLE_VALUE && fileIdentity(named, found)
                      && found.dwVolumeSerialNumber == opened.dwVolumeSerialNumber
                      && found.nFileIndexHigh == opened.nFileIndexHigh && found.nFileIndexLow == opened.nFileIndexLow;
    if (named != INVALID_HANDLE_VALUE)
        CloseHandle(named);
    if (!same) {
        CloseHandle(file);
        return fail(ClaimFailure::Gone, QStringLiteral("%1 was taken away by another run").arg(fileName));
    }
    const int fd = descriptorFor(file);
    if (fd < 0) {
        return fail(
            ClaimFailure::Unusable,
            QStringLiteral("%1 cannot be opened: %2").arg(fileName, windowsErrorText(ERROR_TOO_MANY_OPEN_FILES)));
    }
    *failure = ClaimFailure::None;
    return std::unique_ptr<JournalFile>(new JournalFile(fd, fileName, writable));
}

bool JournalFile::rename(const QString &fileName, const QString &newName, bool *exists, QString *why)
{
    *exists = false;
    if (MoveFileExW(nativeName(fileName).c_str(), nativeName(newName).c_str(), 0))
        return true;
    const DWORD error = GetLastError();
    *exists = isNameTaken(error);
    *why = QStringLiteral("%1 cannot be renamed %2: %3").arg(fileName, newName, windowsErrorText(error));
    return false;
}

QString JournalFile::defaultFolder()
{
    // %LOCALAPPDATA%\qm320: the user's own data on this computer, beside the
    // settings, and not carried along with a roaming profile.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/qm320");
}

qint64 JournalFile::size(QString *why) const
{
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handleOf(m_fd), &size))
        return size.QuadPart;
    *why = QStringLiteral("%1 cannot be read: %2").arg(m_fileName, windowsErrorText(GetLastError()));
    return -1;
}

qint64 JournalFile::read(qint64 offset, char *data, qint64 length, QString *why) const
{
    // At the offset given, whatever the handle's own position.
    OVERLAPPED where = atOffset(ULONGLONG(offset));
    DWORD n = 0;
    if (ReadFile(handleOf(m_fd), data, DWORD(std::min(length, LargestTransfer)), &n, &where))
        return n;
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF)
        return 0;
    *why = QStringLiteral("%1 cannot be read: %2").arg(m_fileName, windowsErrorText(error));
    return -1;
}

bool JournalFile::append(const char *data, qint64 length, QString *why)
{
    while (length > 0) {
        // Both offsets all ones: at the end of the file, wherever that is.
        OVERLAPPED end = atOffset(~0ull);
        DWORD n = 0;
        DWORD error = 0;
        if (!WriteFile(handleOf(m_fd), data, DWORD(std::min(length, LargestTransfer)), &n, &end))
            error = GetLastError();
        else if (n == 0)
            error = ERROR_DISK_FULL; // a write that takes nothing is a full disk
        if (error != 0) {
            *why = QStringLiteral("%1 cannot be written: %2").arg(m_fileName, windowsErrorText(error));
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

bool JournalFile::sync(QString *why)
{
    if (FlushFileBuffers(handleOf(m_fd)))
        return true;
    *why = QStringLiteral("%1 cannot be written to the disk: %2").arg(m_fileName, windowsErrorText(GetLastError()));
    return false;
}

bool JournalFile::truncate(qint64 length, QString *why)
{
    // The handle's position matters to nothing else: reads and appends say
    // where they go.
    const HANDLE file = handleOf(m_fd);
    LARGE_INTEGER at{};
    at.QuadPart = length;
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file))
        return true;
    *why = QStringLiteral("%1 cannot be shortened: %2").arg(m_fileName, windowsErrorText(GetLastError()));
    return false;
}

bool JournalFile::remove(QString *why)
{
    // The name goes when the last handle on the file closes, this one
    // included.
    if (DeleteFileW(nativeName(m_fileName).c_str()))
        return true;
    *why = QStringLiteral("%1 cannot be removed: %2").arg(m_fileName, windowsErrorText(GetLastError()));
    return false;
}
