#include "session/readingrecorder.h"

#include "log/abandonedjournal.h"
#include "log/journalfile.h"
#include "log/tablefiles.h"
#include "meter/reading.h"

ReadingRecorder::ReadingRecorder(const LocaleInfo &locale, QObject *parent)
    : QObject(parent)
    , m_logger(m_log, locale)
{
    m_journalTimer.setInterval(LogJournal::HandOverMs);
    connect(&m_journalTimer, &QTimer::timeout, this, &ReadingRecorder::checkJournal);
}

ReadingRecorder::~ReadingRecorder()
{
    m_journal.close(m_unsavedRows == 0);
}

void ReadingRecorder::recordFrame(const Reading &reading)
{
    if (m_logger.takesFrames())
        logRow(m_logger.logFrame(reading, m_clock.stamp()));
}

void ReadingRecorder::recordSample(const Reading &reading)
{
    logRow(m_logger.logSample(reading, m_clock.stamp()));
}

void ReadingRecorder::logRow(const std::optional<LoggedRow> &row)
{
    if (!row)
        return;
    m_journal.append(row->row);
    ++m_unsavedRows;
    emit rowLogged(row->row, row->numericValue);
    checkLogFull();
}

void ReadingRecorder::checkLogFull()
{
    if (m_logger.isFull() == m_logFull)
        return;
    m_logFull = m_logger.isFull();
    emit logFullChanged(m_logFull);
}

void ReadingRecorder::setRecordLimit(qint32 limit)
{
    m_logger.setRecordLimit(limit);
    checkLogFull();
}

void ReadingRecorder::checkJournal()
{
    if (!m_journal.failed() || m_journalFailureReported)
        return;
    m_journalFailureReported = true;
    emit journalFailed(m_journal.errorString());
}

bool ReadingRecorder::startJournal(const QString &folder)
{
    m_journalFolder = folder;
    m_journalFailureReported = false;
    if (!m_journal.create(folder)) {
        m_journalFailureReported = true;
        emit journalFailed(m_journal.errorString());
        return false;
    }
    m_journalTimer.start();
    return true;
}

bool ReadingRecorder::recoverJournal(AbandonedJournal &journal, QString *error)
{
    const int before = m_log.rowCount();
    // Readings that arrive meanwhile are logged after the recovered rows,
    // into the journal that goes on with them.
    holdReadings();
    const TableFileResult loaded = journal.load(m_log);
    if (!loaded) {
        // Nothing of a failed recovery stays: the journal keeps it all.
        if (before == 0)
            m_log.clear();
        releaseReadings();
        if (error)
            *error = loaded.reason;
        return false;
    }
    const int recovered = m_log.rowCount() - before;
    if (recovered > 0) {
        const int last = m_log.rowCount() - 1;
        m_logger.continueAfter(m_log.integer(last, int(LogField::No)).value_or(0), recovered);
    }
    m_unsavedRows += recovered;
    // The new rows follow the recovered ones on disk: in the journal they
    // came from when all of it was read, else in a new one that starts
    // with them, while the old one, with what could not be read, is kept
    // aside by the caller. The fresh journal this run started holds nothing
    // yet.
    m_journal.close(true);
    QString why;
    std::unique_ptr<JournalFile> file = journal.takeForAppending(&why);
    const bool carriedOn = file ? m_journal.adopt(std::move(file)) : m_journal.create(m_journalFolder, &journal);
    if (!carriedOn) {
        m_journalFailureReported = true;
        emit journalFailed(m_journal.errorString());
    } else {
        m_journalTimer.start();
    }
    releaseReadings();
    checkLogFull();
    return true;
}

void ReadingRecorder::noteLogOpened(bool replaced)
{
    if (!replaced)
        return;
    m_unsavedRows = 0;
    // The journal's rows left the log with it (the user was asked): a new
    // journal starts, as after Clear, so that a crash does not offer them.
    if (m_journal.isOpen()) {
        m_journal.close(true);
        startJournal(m_journalFolder);
    }
}

void ReadingRecorder::clearLog()
{
    m_logger.emptyLog();
    m_unsavedRows = 0;
    // The rows were saved or given up: their journal goes, a new one starts.
    if (m_journal.isOpen()) {
        m_journal.close(true);
        startJournal(m_journalFolder);
    }
    emit logCleared();
    checkLogFull();
}

void ReadingRecorder::holdReadings()
{
    if (m_holds++ == 0)
        m_logger.holdReadings();
}

void ReadingRecorder::releaseReadings()
{
    if (m_holds == 0 || --m_holds > 0)
        return;
    // Logged as they would have been on arrival: into the journal, and
    // counted among the unsaved rows.
    for (const LoggedRow &row : m_logger.releaseReadings())
        logRow(row);
}
