#include "log/logjournal.h"

#include "log/abandonedjournal.h"
#include "log/journalfile.h"
#include "log/logtextwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// The thread that writes the journal. The main thread appends to `pending`
// under the mutex and never waits for the disk; the thread takes what is
// pending, writes it and now and then syncs. Neither holds the mutex while it
// writes, so a slow disk never holds up a reading.
class LogJournal::Writer
{
public:
    Writer(JournalFile &file, bool unsynced)
        : m_file(file)
        , m_unsynced(unsynced)
        , m_thread([this] { run(); })
    { }
    ~Writer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    void append(const QByteArray &line)
    {
        std::lock_guard lock(m_mutex);
        if (!m_failed)
            m_pending += line;
    }

    void flush()
    {
        std::unique_lock lock(m_mutex);
        const std::uint64_t asked = ++m_flushAsked;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_flushDone >= asked || m_failed; });
    }

    bool failed() const
    {
        std::lock_guard lock(m_mutex);
        return m_failed;
    }
    QString errorString() const
    {
        std::lock_guard lock(m_mutex);
        return m_error;
    }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        Clock::time_point lastSync = Clock::now();
        bool unsynced = m_unsynced;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait_for(lock, std::chrono::milliseconds(HandOverMs),
                               [this] { return m_stop || m_flushAsked > m_flushDone; });
            const bool stopping = m_stop;
            const std::uint64_t asked = m_flushAsked;
            QByteArray batch;
            batch.swap(m_pending);
            lock.unlock();

            QString error;
            if (!batch.isEmpty() && !m_file.append(batch.constData(), batch.size(), &error))
                unsynced = false;
            else if (!batch.isEmpty())
                unsynced = true;
            // A sync at most SyncMs after a write, and before the file closes.
            if (error.isEmpty() && unsynced
                && (stopping || Clock::now() - lastSync >= std::chrono::milliseconds(SyncMs))) {
                m_file.sync(&error);
                lastSync = Clock::now();
                unsynced = false;
            }

            lock.lock();
            if (!error.isEmpty() && !m_failed) {
                m_failed = true;
                m_error = error;
                m_pending.clear();
            }
            m_flushDone = asked;
            m_changed.notify_all();
            if (stopping)
                return;
        }
    }

    // Written by the thread alone while it runs.
    JournalFile &m_file;
    // What an earlier run wrote is not yet known to be on the disk.
    const bool m_unsynced;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QByteArray m_pending;
    bool m_stop = false;
    bool m_failed = false;
    QString m_error;
    std::uint64_t m_flushAsked = 0;
    std::uint64_t m_flushDone = 0;
    std::thread m_thread;
};

LogJournal::LogJournal(const LogTable &table)
    : m_table(table)
    , m_format(std::make_unique<LogTextWriter>(table))
{ }

LogJournal::~LogJournal()
{
    close(false);
}

void LogJournal::start(std::unique_ptr<JournalFile> file, bool unsynced)
{
    m_file = std::move(file);
    m_fileName = m_file->fileName();
    m_writer = std::make_unique<Writer>(*m_file, unsynced);
}

bool LogJournal::create(const QString &folder, const AbandonedJournal *recovered)
{
    close(false);
    m_openError.clear();
    if (!JournalFile::makePrivateFolder(folder, &m_openError))
        return false;
    // A name no other run uses: the time and this process, and a number
    // when this process starts two journals within a second.
    const QString stem =
        QDir(folder).filePath(QStringLiteral("journal-%1-%2")
                                  .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                                  .arg(QCoreApplication::applicationPid()));
    std::unique_ptr<JournalFile> file;
    for (int attempt = 1; !file && attempt <= 1000; ++attempt) {
        bool exists = false;
        const QString name =
            attempt == 1 ? stem + QStringLiteral(".xls") : QStringLiteral("%1-%2.xls").arg(stem).arg(attempt);
        file = JournalFile::create(name, &exists, &m_openError);
        if (!file && !exists)
            return false;
    }
    if (!file)
        return false;
    if (recovered) {
        QString ignored;
        if (!recovered->copyReadingsTo(*file, &m_openError)) {
            file->remove(&ignored);
            return false;
        }
        start(std::move(file), true);
        return true;
    }
    start(std::move(file), false);
    QByteArray header;
    LogTextWriter::appendHeader(header);
    m_writer->append(header);
    return true;
}

bool LogJournal::adopt(std::unique_ptr<JournalFile> file)
{
    close(false);
    m_openError.clear();
    if (!file) {
        m_openError = QStringLiteral("no journal to carry on with");
        return false;
    }
    start(std::move(file), false);
    return true;
}

void LogJournal::append(int row)
{
    if (!m_writer)
        return;
    QByteArray line;
    m_format->appendRow(line, row);
    m_writer->append(line);
}

void LogJournal::flush()
{
    if (m_writer)
        m_writer->flush();
}

void LogJournal::close(bool removeFile)
{
    m_writer.reset();
    // Removed while still locked: a window starting meanwhile never takes
    // it for one that was left behind.
    if (removeFile && m_file) {
        QString ignored;
        m_file->remove(&ignored);
    }
    m_file.reset();
    if (removeFile)
        m_fileName.clear();
}

bool LogJournal::isOpen() const
{
    return bool(m_writer);
}

QString LogJournal::fileName() const
{
    return m_fileName;
}

bool LogJournal::failed() const
{
    return m_writer && m_writer->failed();
}

QString LogJournal::errorString() const
{
    return m_writer ? m_writer->errorString() : m_openError;
}

QString LogJournal::defaultFolder()
{
    return JournalFile::defaultFolder();
}
