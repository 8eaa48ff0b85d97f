#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class LogTable;
class LogTextWriter;

// The journal of a run: every logged row appended, as it is logged, to a
// table file in the user's data folder, in the program's own tab-separated
// form, so that the program and spreadsheets open it. A crash, a power cut or
// a kill loses at most the rows of the last moments, and the next start
// offers to recover the rest.
//
// The main thread only formats the row into a buffer; a writer thread hands
// the buffer to the system at least once a second (and at once on flush()),
// and syncs the file to the disk at most SyncMs after a write. A journal that
// cannot be written (a full disk, a folder this user may not write) fails
// once: errorString() says why, and the rows stay in memory only.
//
// While a run holds its journal it holds an exclusive lock on it; a journal
// that nobody holds was left by a run that did not end normally.
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

    // Starts a new journal in `folder` (made if need be). False, with
    // errorString(), when it cannot be written.
    bool create(const QString &folder);
    // Carries on with a journal that a recovery read: new rows are appended
    // to it. Its last line must be complete.
    bool adopt(const QString &fileName);

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

    // The journals in `folder` that no running program holds, newest first.
    static QStringList abandoned(const QString &folder);
    // What a journal holds: its rows and the times of its first and last.
    struct Summary
    {
        int rows = 0;
        QString firstTime;
        QString lastTime;
    };
    static Summary summarize(const QString &fileName);
    // Puts a journal the user did not recover aside, out of the way of the
    // next start's question; returns its new name.
    static QString setAside(const QString &fileName);
    // Cuts a journal after its last complete line: a line the system had
    // not finished writing when the run ended is dropped.
    static bool dropPartialLine(const QString &fileName, QString *error = nullptr);
    // The folder the program keeps its journals in: $XDG_DATA_HOME/qm320,
    // by default ~/.local/share/qm320; on Windows %LOCALAPPDATA%\qm320.
    static QString defaultFolder();

private:
    class Writer;
    bool start(int fd, const QString &fileName);

    const LogTable &m_table;
    std::unique_ptr<LogTextWriter> m_format;
    std::unique_ptr<Writer> m_writer;
    QString m_fileName;
    QString m_openError;
};
