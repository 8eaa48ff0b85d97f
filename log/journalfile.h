#pragma once

#include <QString>

// The system side of the journal file (see LogJournal): a file descriptor
// open for appending and locked while a run holds it. The lock is advisory
// on every system and goes with the process however it ends; other
// programs may read the file meanwhile.

enum class JournalOpen {
    Create,   // made, or emptied when it exists
    Append,   // must exist
};

// Opens `path` for writing at its end and locks it. -1 on failure, with the
// system's reason in `error`.
int openLockedJournal(const QString &path, JournalOpen mode, QString &error);

// Whether the journal at `path` can be read and no running program holds it.
bool isAbandonedJournal(const QString &path);

// Writes what the system holds of `fd` through to the disk. False, with the
// system's reason, when it cannot.
bool syncJournal(int fd, QString &error);

// The folder the program keeps its journals in, made or not.
QString journalDataFolder();
