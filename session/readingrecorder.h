#pragma once

#include "log/logjournal.h"
#include "log/logtable.h"
#include "log/readinglogger.h"
#include "session/timeofdayclock.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class AbandonedJournal;
class LocaleInfo;
struct Reading;

// What becomes of the judged readings: rows of the log table as the logging
// rules decide, each row in the journal as well, the count of rows nobody has
// saved, and readings held while the log may change under them.
class ReadingRecorder : public QObject
{
    Q_OBJECT
public:
    // The locale must outlive the recorder.
    explicit ReadingRecorder(const LocaleInfo &locale, QObject *parent = nullptr);
    // A normal end: the journal goes unless it holds rows nobody saved.
    ~ReadingRecorder() override;

    LogTable &log() { return m_log; }
    const ReadingLogger &logger() const { return m_logger; }
    void setRepeat(bool repeat) { m_logger.setRepeat(repeat); }
    void setSampling(bool sampling) { m_logger.setSampling(sampling); }
    bool sampling() const { return m_logger.sampling(); }
    void setRecordLimit(qint32 limit);
    // The record limit is reached: logging has stopped.
    bool isLogFull() const { return m_logger.isFull(); }
    // Empties the log and starts a new journal.
    void clearLog();

    // A reading was decoded: the next sampling tick has a fresh one.
    void markFresh() { m_logger.markFresh(); }
    // A decoded reading, logged as the rules say; the clock is read only for
    // a frame that may become a row.
    void recordFrame(const Reading &reading);
    // The reading at a sampling tick.
    void recordSample(const Reading &reading);

    // While a table file is being opened, or the user answers a question
    // that may end the log (quit, empty it), readings wait; at release they
    // are logged, after the file's rows, into the journal and among the
    // unsaved rows, with the times they arrived. Holds nest: the readings
    // are logged when the last one is released.
    void holdReadings();
    void releaseReadings();
    // A table file was opened into the log; one that replaced the log took
    // the unsaved rows with it (the user was asked first), and their journal.
    void noteLogOpened(bool replaced);

    // Rows logged since the log was last saved, cleared or opened anew.
    int unsavedRows() const { return m_unsavedRows; }
    // The log was saved to a file, but for the rows logged while it was
    // being written.
    void markSaved(int rowsNotInFile = 0) { m_unsavedRows = rowsNotInFile; }
    // The user chose not to keep the unsaved rows: at the end, the journal
    // goes with them.
    void discardUnsaved() { m_unsavedRows = 0; }

    // The journal: every logged row goes to a file in `folder` as well, so
    // that a crash loses nothing; it is removed at the end when nothing in
    // it is unsaved. False when it cannot be written (journalFailed says why).
    bool startJournal(const QString &folder);
    // Takes up the readings of a journal an earlier run left, exactly those
    // counted when it was taken, with the counters going on after them and
    // new rows following them on disk. False (`error` says why) leaves the
    // log as it was and the journal whole.
    bool recoverJournal(AbandonedJournal &journal, QString *error = nullptr);
    QString journalFile() const { return m_journal.fileName(); }
    // What was logged goes to the system now: a link stopped.
    void flushJournal() { m_journal.flush(); }

    // The clock whose local time of day each logged row carries.
    void setClock(std::unique_ptr<LocalClock> clock) { m_clock = TimeOfDayClock(std::move(clock)); }

signals:
    void rowLogged(int row, double numericValue);
    void logCleared();
    // The record limit was reached (logging stopped) or is no longer.
    void logFullChanged(bool full);
    // The journal cannot be written; said once. Logging goes on in memory.
    void journalFailed(const QString &reason);

private:
    void logRow(const std::optional<LoggedRow> &row);
    void checkLogFull();
    void checkJournal();

    LogTable m_log;
    ReadingLogger m_logger;
    LogJournal m_journal{m_log};
    QString m_journalFolder;
    bool m_journalFailureReported = false;
    QTimer m_journalTimer;
    int m_unsavedRows = 0;
    int m_holds = 0;
    bool m_logFull = false;
    TimeOfDayClock m_clock;
};
