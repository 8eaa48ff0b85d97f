#pragma once

#include <QString>

#include <memory>

// A journal file as the system holds it: open, and locked against every other
// run (another window, or the same window's second session) for as long as
// this object lives. The system drops the lock however a run ends, which is
// how a journal left by a run that did not end normally is told apart from
// one in use. One implementation per system, chosen by CMake.
//
// Every failure is told as the file or folder and the system's reason:
// "/home/u/.local/share/qm320 cannot be made: Read-only file system".
class JournalFile
{
public:
    // Why an existing journal could not be taken.
    enum class ClaimFailure {
        None,
        HeldByAnother, // a running program holds it
        Gone,          // the name no longer leads to it: another run took it away
        Unusable,      // it cannot be opened or locked
    };

    // Makes `folder` and every missing parent readable by this user only,
    // and closes an existing folder of this user's to others: journals hold
    // the user's measurements.
    static bool makePrivateFolder(const QString &folder, QString *why);
    // Makes a new file, readable and writable by this user only, and locks
    // it. Null when the name is taken (`exists` set) or the file cannot be
    // made.
    static std::unique_ptr<JournalFile> create(const QString &fileName, bool *exists, QString *why);
    // Opens an existing journal and takes its lock, for reading and, where
    // the system allows, appending. Null with the failure and `why` ("… is
    // held by qm320 (process 1234)") when it cannot be taken.
    static std::unique_ptr<JournalFile> claim(const QString &fileName, ClaimFailure *failure, QString *why);
    // Renames a file, never over another: false with `exists` set when
    // `newName` is taken.
    static bool rename(const QString &fileName, const QString &newName, bool *exists, QString *why);
    // The folder this system keeps a user's journals in, made or not.
    static QString defaultFolder();

    ~JournalFile();
    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;

    const QString &fileName() const { return m_fileName; }
    // False for a journal claimed from a file this user may only read.
    bool isWritable() const { return m_writable; }
    // Its size; -1 when the system cannot tell.
    qint64 size(QString *why) const;
    // Up to `length` bytes from `offset` on: 0 at the end, -1 on failure.
    qint64 read(qint64 offset, char *data, qint64 length, QString *why) const;
    // Appends all of `data`; a short write is a failure.
    bool append(const char *data, qint64 length, QString *why);
    // Asks the system to put what was appended on the disk.
    bool sync(QString *why);
    // Cuts the file to `length` bytes.
    bool truncate(qint64 length, QString *why);
    // The file goes by the new name, and this object follows it.
    bool moveTo(const QString &newName, bool *exists, QString *why)
    {
        if (!rename(m_fileName, newName, exists, why))
            return false;
        m_fileName = newName;
        return true;
    }
    bool remove(QString *why);

private:
    JournalFile(int fd, QString fileName, bool writable);

    const int m_fd;
    QString m_fileName;
    const bool m_writable;
};
