#include "log/abandonedjournal.h"

#include "log/journalcheck.h"
#include "log/logtable.h"
#include "log/logtextreader.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>

#include <functional>

namespace {

// Read in pieces of this size: memory stays the same whatever the file.
constexpr qint64 PieceBytes = 1 << 20;

// "kept-journal-x.xls", then "kept-journal-x-2.xls", … in the same folder.
QString keptNameFor(const QString &fileName, int attempt)
{
    const QFileInfo info(fileName);
    QString name = QStringLiteral("kept-") + info.fileName();
    if (attempt > 1) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        name.insert(dot > 0 ? dot : name.size(), QStringLiteral("-%1").arg(attempt));
    }
    return info.dir().filePath(name);
}

// Tries kept names until one is free.
bool renameAside(const std::function<bool(const QString &, bool *, QString *)> &rename, const QString &fileName,
                 QString *keptName, QString *why)
{
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        bool exists = false;
        const QString name = keptNameFor(fileName, attempt);
        if (rename(name, &exists, why)) {
            *keptName = name;
            return true;
        }
        if (!exists)
            return false;
    }
    return false;
}

// The first bytes of a journal file, as a device the table reader reads.
class JournalPrefix : public QIODevice
{
public:
    JournalPrefix(const JournalFile &file, qint64 length)
        : m_file(file)
        , m_length(length)
    { }

    qint64 size() const override { return m_length; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 at = pos();
        const qint64 wanted = std::min(maxSize, m_length - at);
        if (wanted <= 0)
            return 0;
        QString why;
        const qint64 n = m_file.read(at, data, wanted, &why);
        if (n < 0)
            setErrorString(why);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const JournalFile &m_file;
    const qint64 m_length;
};

// What the file tells of when its readings were logged: a journal is named
// after the local time its run started it ("journal-20240501-221503-4711.xls"),
// and was last written no earlier than its last reading.
LogDating::Evidence evidenceOf(const QString &fileName)
{
    LogDating::Evidence evidence;
    const QFileInfo info(fileName);
    static const QRegularExpression started(QStringLiteral("^journal-(\\d{8}-\\d{6})-"));
    const QRegularExpressionMatch match = started.match(info.fileName());
    if (match.hasMatch()) {
        const QDateTime time = QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
        if (time.isValid())
            evidence.notBefore = time.toMSecsSinceEpoch();
    }
    const QDateTime written = info.lastModified();
    if (written.isValid())
        evidence.notAfter = written.toMSecsSinceEpoch();
    return evidence;
}

QString withDate(const QString &time, QDate date, bool spansDays)
{
    if (!spansDays || !date.isValid())
        return time;
    return date.toString(Qt::ISODate) + QLatin1Char(' ') + time;
}

} // namespace

AbandonedJournal::AbandonedJournal(std::unique_ptr<JournalFile> file)
    : m_file(std::move(file))
    , m_fileName(m_file->fileName())
{ }

QStringList AbandonedJournal::candidates(const QString &folder)
{
    // The name begins with the time the run started.
    const QDir dir(folder);
    QStringList names = dir.entryList({QStringLiteral("journal-*.xls")}, QDir::Files, QDir::Name | QDir::Reversed);
    for (QString &name : names)
        name = dir.filePath(name);
    return names;
}

std::unique_ptr<AbandonedJournal> AbandonedJournal::claim(const QString &fileName, JournalFile::ClaimFailure *failure,
                                                          QString *why)
{
    std::unique_ptr<JournalFile> file = JournalFile::claim(fileName, failure, why);
    if (!file)
        return nullptr;
    std::unique_ptr<AbandonedJournal> journal(new AbandonedJournal(std::move(file)));
    journal->check(why);
    return journal;
}

bool AbandonedJournal::check(QString *why)
{
    JournalCheck check;
    QByteArray piece(PieceBytes, Qt::Uninitialized);
    QString readError;
    m_size = m_file->size(&readError);
    for (qint64 offset = 0; m_size >= 0;) {
        const qint64 n = m_file->read(offset, piece.data(), PieceBytes, &readError);
        if (n < 0)
            break;
        if (n == 0) {
            check.finish();
            break;
        }
        offset += n;
        if (!check.feed(QByteArrayView(piece.constData(), n)))
            break;
    }
    m_readings = check.readings();
    m_usableBytes = check.usableBytes();
    m_firstTime = check.firstTime();
    m_lastTime = check.lastTime();
    m_problem = readError.isEmpty() ? check.problem() : readError;
    m_evidence = evidenceOf(m_fileName);
    m_dating = check.dating();
    m_dating.resolve(m_evidence);
    if (!readError.isEmpty())
        *why = readError;
    if (m_readings > 0)
        m_kind = Kind::Recoverable;
    else if (m_problem.isEmpty())
        m_kind = Kind::Empty;
    else
        m_kind = Kind::Unrecoverable;
    return readError.isEmpty();
}

QString AbandonedJournal::firstLoggedText() const
{
    return withDate(m_firstTime, firstDate(), firstDate() != lastDate());
}

QString AbandonedJournal::lastLoggedText() const
{
    return withDate(m_lastTime, lastDate(), firstDate() != lastDate());
}

QString AbandonedJournal::keptName() const
{
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const QString name = keptNameFor(m_fileName, attempt);
        if (!QFileInfo::exists(name))
            return name;
    }
    return keptNameFor(m_fileName, 1);
}

TableFileResult AbandonedJournal::load(LogTable &table) const
{
    if (!m_file)
        return TableFileResult::failed(QStringLiteral("the journal was let go"));
    JournalPrefix readings(*m_file, m_usableBytes);
    readings.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const int before = table.rowCount();
    LogTextReader reader(table);
    const TableFileResult result = reader.read(readings);
    if (!result)
        return result;
    // The lock keeps other runs of this program away; anything else that
    // changed the file meanwhile shows here.
    if (reader.rowsAppended() != m_readings)
        return TableFileResult::failed(QStringLiteral("%1 readings read where %2 were counted: the file changed")
                                           .arg(reader.rowsAppended())
                                           .arg(m_readings));
    LogDating::dateRows(table, before, m_evidence);
    return {};
}

bool AbandonedJournal::copyReadingsTo(JournalFile &target, QString *why) const
{
    if (!m_file)
        return false;
    QByteArray piece(std::min(PieceBytes, std::max<qint64>(m_usableBytes, 1)), Qt::Uninitialized);
    for (qint64 offset = 0; offset < m_usableBytes;) {
        const qint64 n =
            m_file->read(offset, piece.data(), std::min<qint64>(piece.size(), m_usableBytes - offset), why);
        if (n < 0)
            return false;
        if (n == 0) {
            *why = QStringLiteral("%1 ended early: the file changed").arg(m_fileName);
            return false;
        }
        if (!target.append(piece.constData(), n, why))
            return false;
        offset += n;
    }
    return true;
}

std::unique_ptr<JournalFile> AbandonedJournal::takeForAppending(QString *why)
{
    if (!m_file || !m_problem.isEmpty() || !m_file->isWritable())
        return nullptr;
    // A row the system had not finished writing goes; the new rows follow
    // the last complete one.
    if (m_size > m_usableBytes && !m_file->truncate(m_usableBytes, why))
        return nullptr;
    return std::move(m_file);
}

bool AbandonedJournal::setAside(QString *keptName, QString *why)
{
    if (!m_file)
        return false;
    const bool done = renameAside(
        [this](const QString &name, bool *exists, QString *error) { return m_file->moveTo(name, exists, error); },
        m_fileName, keptName, why);
    if (done)
        m_file.reset();
    return done;
}

bool AbandonedJournal::setAside(const QString &fileName, QString *keptName, QString *why)
{
    return renameAside([&fileName](const QString &name, bool *exists,
                                   QString *error) { return JournalFile::rename(fileName, name, exists, error); },
                       fileName, keptName, why);
}

bool AbandonedJournal::remove(QString *why)
{
    if (!m_file || !m_file->remove(why))
        return false;
    m_file.reset();
    return true;
}
