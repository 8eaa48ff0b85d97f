#pragma once

#include "log/journalfile.h"
#include "log/logdating.h"
#include "log/tablefiles.h"

#include <QString>
#include <QStringList>

#include <memory>

class LogTable;

// A journal left by a run that did not end normally, taken by this run. Its
// lock is held from the moment it is taken, before anything is offered,
// until it is recovered, put aside or removed: of two windows started
// together only one offers it, and no other run takes it meanwhile.
//
// Taking it reads it through once (JournalCheck): what it holds is known
// before the user is asked, and what is recovered is exactly what was
// counted - the header and the readings up to the first line that is not one.
class AbandonedJournal
{
public:
    // What can be done with it.
    enum class Kind {
        Empty,         // no reading, nothing else: it may go
        Unrecoverable, // not a journal, or no reading before its first bad line
        Recoverable,   // readings, maybe followed by what is not one
    };

    // The names of the journals in `folder`, newest first.
    static QStringList candidates(const QString &folder);
    // Takes and reads the journal. Null when it cannot be taken: `failure`
    // says whether another run has it (nothing to do) or it cannot be used
    // (`why` names the file and the reason).
    static std::unique_ptr<AbandonedJournal> claim(const QString &fileName, JournalFile::ClaimFailure *failure,
                                                   QString *why);
    // Puts a journal that cannot even be taken out of the way, by its name:
    // `keptName` is the name it goes by now.
    static bool setAside(const QString &fileName, QString *keptName, QString *why);

    const QString &fileName() const { return m_fileName; }
    Kind kind() const { return m_kind; }
    qint64 readings() const { return m_readings; }
    const QString &firstTime() const { return m_firstTime; }
    const QString &lastTime() const { return m_lastTime; }
    // The dates of the first and the last reading, as far as known: the
    // journal's name holds the time its run started it, and the file was
    // last written no earlier than its last reading (LogDating).
    QDate firstDate() const { return m_dating.firstDate(); }
    QDate lastDate() const { return m_dating.lastDate(); }
    // When the first and the last reading were logged, for the recovery
    // question: the times as the journal holds them, each with its date
    // ("2024-05-01 22:15:03") when the readings span more than one day.
    QString firstLoggedText() const;
    QString lastLoggedText() const;
    // Where the readings stop, and why ("line 12: a NUL byte"); empty when
    // every line is a reading.
    const QString &problem() const { return m_problem; }
    // The name it is put aside as: "kept-" before its own.
    QString keptName() const;

    // Appends the readings to `table`: as many rows as readings(), or a
    // failure. The rows get the dates the question named.
    TableFileResult load(LogTable &table) const;
    // Copies the header and the readings to `target`, so that a new journal
    // starts with what was recovered.
    bool copyReadingsTo(JournalFile &target, QString *why) const;
    // The file itself, cut after its last reading, for new rows to follow
    // them; null when something other than a line cut short follows them,
    // or it may not be written. Once handed over, this object holds no
    // file.
    std::unique_ptr<JournalFile> takeForAppending(QString *why);
    bool holdsFile() const { return bool(m_file); }

    // Renames it "kept-…" (another free name when that is taken), still
    // locked, so that no start offers it again.
    bool setAside(QString *keptName, QString *why);
    bool remove(QString *why);

private:
    explicit AbandonedJournal(std::unique_ptr<JournalFile> file);
    bool check(QString *why);

    std::unique_ptr<JournalFile> m_file;
    QString m_fileName;
    Kind m_kind = Kind::Empty;
    qint64 m_readings = 0;
    qint64 m_usableBytes = 0;
    qint64 m_size = 0;
    QString m_firstTime;
    QString m_lastTime;
    QString m_problem;
    LogDating::Evidence m_evidence;
    LogDating m_dating;
};
