#include "log/logjournal.h"

#include "log/journalfile.h"
#include "log/logtextwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

const QString JournalPrefix = QStringLiteral("journal-");
const QString JournalSuffix = QStringLiteral(".xls");

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// The thread that writes the journal. The main thread appends to `pending`
// under the mutex and never waits for the disk; the thread takes what is
// pending, writes it and now and then syncs. Neither holds the mutex while it
// writes, so a slow disk never holds up a reading.
class LogJournal::Writer
{
public:
    Writer(int fd, QString fileName)
        : m_fd(fd)
        , m_fileName(std::move(fileName))
        , m_thread([this] { run(); })
    {
    }
    ~Writer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
        ::close(m_fd);
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
        bool unsynced = false;
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
            if (!batch.isEmpty() && !writeAll(batch, error))
                unsynced = false;
            else if (!batch.isEmpty())
                unsynced = true;
            // A sync at most SyncMs after a write, and before the file closes.
            if (error.isEmpty() && unsynced && (stopping || Clock::now() - lastSync >= std::chrono::milliseconds(SyncMs))) {
                QString reason;
                if (!syncJournal(m_fd, reason))
                    error = QStringLiteral("%1 cannot be written to the disk: %2").arg(m_fileName, reason);
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

    bool writeAll(const QByteArray &bytes, QString &error)
    {
        const char *p = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(m_fd, p, std::size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = QStringLiteral("%1 cannot be written: %2").arg(m_fileName, systemText(n < 0 ? errno : ENOSPC));
                return false;
            }
            p += n;
            left -= n;
        }
        return true;
    }

    const int m_fd;
    const QString m_fileName;
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
{
}

LogJournal::~LogJournal()
{
    close(false);
}

bool LogJournal::start(int fd, const QString &fileName)
{
    m_fileName = fileName;
    m_writer = std::make_unique<Writer>(fd, fileName);
    return true;
}

bool LogJournal::create(const QString &folder)
{
    close(false);
    m_openError.clear();
    if (!QDir().mkpath(folder)) {
        m_openError = QStringLiteral("the folder %1 cannot be made").arg(folder);
        return false;
    }
    // A name no other run uses: the time and this process.
    const QString name = QDir(folder).filePath(
        QStringLiteral("%1%2-%3%4")
            .arg(JournalPrefix, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
            .arg(QCoreApplication::applicationPid())
            .arg(JournalSuffix));
    QString reason;
    const int fd = openLockedJournal(name, JournalOpen::Create, reason);
    if (fd < 0) {
        m_openError = QStringLiteral("%1 cannot be written: %2").arg(name, reason);
        return false;
    }
    start(fd, name);
    QByteArray header;
    LogTextWriter::appendHeader(header);
    m_writer->append(header);
    return true;
}

bool LogJournal::adopt(const QString &fileName)
{
    close(false);
    m_openError.clear();
    QString reason;
    const int fd = openLockedJournal(fileName, JournalOpen::Append, reason);
    if (fd < 0) {
        m_openError = QStringLiteral("%1 cannot be written: %2").arg(fileName, reason);
        return false;
    }
    return start(fd, fileName);
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
    if (removeFile && !m_fileName.isEmpty())
        QFile::remove(m_fileName);
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

QStringList LogJournal::abandoned(const QString &folder)
{
    QStringList found;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({JournalPrefix + QLatin1Char('*') + JournalSuffix}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        if (isAbandonedJournal(path))
            found << path;
    }
    return found;
}

namespace {

// The Time cell of a journal line, unquoted.
QString timeCell(const QByteArray &line)
{
    const QList<QByteArray> cells = line.trimmed().split('\t');
    if (cells.size() < 2)
        return {};
    QByteArray cell = cells.at(1);
    if (cell.size() >= 2 && cell.startsWith('"') && cell.endsWith('"'))
        cell = cell.mid(1, cell.size() - 2).replace("\"\"", "\"");
    return QString::fromLocal8Bit(cell);
}

} // namespace

LogJournal::Summary LogJournal::summarize(const QString &fileName)
{
    Summary summary;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return summary;
    // Counts the lines in large pieces: a month's journal is some hundred
    // megabytes, and only the first and the last row are read as text.
    QByteArray first;
    QByteArray last;
    QByteArray carry;
    int lines = 0;
    while (!file.atEnd()) {
        QByteArray chunk = carry + file.read(1 << 20);
        qsizetype start = 0;
        qsizetype lastStart = -1;
        qsizetype lastEnd = -1;
        for (qsizetype at = chunk.indexOf('\n'); at >= 0; at = chunk.indexOf('\n', start)) {
            ++lines;
            if (lines == 2)
                first = chunk.mid(start, at - start);
            if (lines >= 2) {
                lastStart = start;
                lastEnd = at;
            }
            start = at + 1;
        }
        if (lastStart >= 0)
            last = chunk.mid(lastStart, lastEnd - lastStart);
        // Only what follows the last line end is carried over, and the last
        // complete line is all that is kept of the rest.
        carry = chunk.mid(start);
    }
    summary.rows = std::max(0, lines - 1);   // the header line
    summary.firstTime = timeCell(first);
    summary.lastTime = timeCell(last);
    return summary;
}

QString LogJournal::setAside(const QString &fileName)
{
    const QFileInfo info(fileName);
    const QString aside = info.dir().filePath(QStringLiteral("kept-") + info.fileName());
    return QFile::rename(fileName, aside) ? aside : fileName;
}

bool LogJournal::dropPartialLine(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    // Looks back for the last line end; a journal's lines are short.
    qint64 end = size;
    constexpr qint64 Window = 4096;
    while (end > 0) {
        const qint64 from = std::max<qint64>(0, end - Window);
        file.seek(from);
        const QByteArray tail = file.read(end - from);
        const qsizetype newline = tail.lastIndexOf('\n');
        if (newline >= 0) {
            end = from + newline + 1;
            break;
        }
        end = from;
    }
    if (end == size)
        return true;
    if (!file.resize(end)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString LogJournal::defaultFolder()
{
    return journalDataFolder();
}
