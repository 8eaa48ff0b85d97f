#pragma once

#include <QString>

#include <memory>

class AbandonedJournal;
class JournalFile;
class LogTable;
class LogTextWriter;

// The journal of a run: every logged row appended, as it is logged, to a
// table file in the user's data folder, in the program's own tab-separated
// form, so that the program and spreadsheets open it. A crash, a power cut or
// a kill loses at most the rows of the last moments, and the next start
// offers to recover the rest (AbandonedJournal).
//
// The main thread only formats the row into a buffer; a writer thread hands
// the buffer to the system at least once a second (and at once on flush()),
// and syncs the file to the disk at most SyncMs after a write. A journal that
// cannot be written (a full disk, a folder this user may not write) fails
// once: errorString() says why, naming the file and the system's reason, and
// the rows stay in memory only.
//
// The folder and the files are this user's alone: they hold the user's
// measurements. While a run holds its journal it holds an exclusive lock on
// it; a journal that nobody holds was left by a run that did not end
// normally.
class LogJournal
{
public:
    // Writing to the disk costs a disk flush; five seconds bound what a power
    // cut can take while keeping the disk from working for every reading.
    static constexpr int HandOverMs = 1000;
    static constexpr int SyncMs = 5000;

    explicit LogJournal(const LogTable &table);
    // Hands what is buffered to the system and closes the file, which stays.
    ~LogJournal();

    LogJournal(const LogJournal &) = delete;
    LogJournal &operator=(const LogJournal &) = delete;

    // Starts a new journal in `folder` (made if need be), under a name no
    // other run uses; it starts with the readings of `recovered` when
    // given. False, with errorString(), when it cannot be written.
    bool create(const QString &folder, const AbandonedJournal *recovered = nullptr);
    // Carries on with a journal a recovery took: new rows are appended to
    // it. Its last line must be complete.
    bool adopt(std::unique_ptr<JournalFile> file);

    // Queues the line of the table's `row`.
    void append(int row);
    // Hands what is queued to the system now, and waits until it has.
    void flush();
    // Closes the journal; removes its file when asked.
    void close(bool removeFile);

    bool isOpen() const;
    QString fileName() const;
    // Set once, when writing failed; the journal writes nothing after that.
    bool failed() const;
    // Why writing failed, or why the last create() or adopt() did.
    QString errorString() const;

    // The folder the program keeps its journals in: $XDG_DATA_HOME/qm320,
    // by default ~/.local/share/qm320; on Windows %LOCALAPPDATA%\qm320.
    static QString defaultFolder();

private:
    class Writer;
    void start(std::unique_ptr<JournalFile> file, bool unsynced);

    const LogTable &m_table;
    std::unique_ptr<LogTextWriter> m_format;
    std::unique_ptr<JournalFile> m_file;
    std::unique_ptr<Writer> m_writer;
    QString m_fileName;
    QString m_openError;
};
