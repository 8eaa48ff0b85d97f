// The journal's files on Linux: the modes that keep them the user's, and
// failures in the system's words.

#include "log/logjournal.h"
#include "log/logtable.h"
#include "logfixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestJournalFileLinux : public QObject
{
    Q_OBJECT
private slots:
    void folderAndFilesAreTheUsers();
    void failuresSayWhereAndWhy();
};

namespace {

const LogRow Row = loggedRow(1, "10:00:01", "DC", "1.234", "V", "pass");

void writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile f(fileName);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

mode_t modeOf(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

void TestJournalFileLinux::folderAndFilesAreTheUsers()
{
    // Only this user reads the measurements, whatever the process's umask.
    QTemporaryDir dir;
    const mode_t umask = ::umask(0);
    LogTable table;
    LogJournal journal(table);
    const QString folder = dir.filePath(QStringLiteral("share/qm320"));
    const bool created = journal.create(folder);
    ::umask(umask);
    QVERIFY2(created, qPrintable(journal.errorString()));
    QCOMPARE(modeOf(folder), mode_t(0700));
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("share"))), mode_t(0700));
    QCOMPARE(modeOf(journal.fileName()), mode_t(0600));
    journal.close(true);

    // A folder an earlier version made for everyone to read is closed.
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    QVERIFY(journal.create(folder));
    QCOMPARE(modeOf(folder), mode_t(0700));
}

void TestJournalFileLinux::failuresSayWhereAndWhy()
{
    QTemporaryDir dir;
    LogTable table;
    LogJournal journal(table);

    // A folder where a file is.
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    const QString underFile = dir.filePath(QStringLiteral("file/qm320"));
    QVERIFY(!journal.create(underFile));
    QVERIFY(!journal.isOpen());
    QCOMPARE(journal.errorString(), QStringLiteral("the folder %1 cannot be made: Not a directory").arg(underFile));
    appendRow(table, Row);
    journal.append(0);   // nothing to write to: nothing happens

    if (::geteuid() == 0)
        QSKIP("the superuser may write anywhere: no folder is read-only to it");
    // A folder this user may not write, whether it must be made or exists.
    const QString locked = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0500) == 0);
    QVERIFY(!journal.create(locked + QStringLiteral("/qm320")));
    QCOMPARE(journal.errorString(),
             QStringLiteral("the folder %1/qm320 cannot be made: Permission denied").arg(locked));
    QVERIFY(!journal.create(locked));
    QVERIFY2(journal.errorString().startsWith(locked + QStringLiteral("/journal-"))
                 && journal.errorString().endsWith(QLatin1String("cannot be written: Permission denied")),
             qPrintable(journal.errorString()));
    ::chmod(QFile::encodeName(locked).constData(), 0700);
}

QTEST_GUILESS_MAIN(TestJournalFileLinux)
#include "tst_journalfile_linux.moc"
