// The journal's files on Windows: folders made on the way, a held journal that
// other programs still read whole (Windows' locks keep others from the bytes
// they cover), a journal this user may only read, and failures in the
// system's words.

#include "log/abandonedjournal.h"
#include "log/journalfile.h"
#include "log/logjournal.h"
#include "log/logfixtures.h"
#include "log/logtable.h"
#include "log/tablefiles.h"
#include "transport/systemerror_win.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

class TestJournalFileWin : public QObject
{
    Q_OBJECT
private slots:
    void foldersAreMadeOnTheWay();
    void heldJournalIsReadWhole();
    void readOnlyJournalIsRecoveredNotAppended();
    void failuresSayWhereAndWhy();
};

namespace {

const LogRows Rows{
    loggedRow(1, "10:00:01", "DC", "1.234", "V", "pass"),
    loggedRow(2, "10:00:02", "AC", "-0.50", "mV", "Fail"),
};

QByteArray contents(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile f(fileName);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

bool setReadOnly(const QString &fileName, bool readOnly)
{
    return SetFileAttributesW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(fileName).utf16()),
                              readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

} // namespace

void TestJournalFileWin::foldersAreMadeOnTheWay()
{
    QTemporaryDir dir;
    LogTable table;
    LogJournal journal(table);
    const QString folder = dir.filePath(QStringLiteral("Local/some/qm320"));
    QVERIFY2(journal.create(folder), qPrintable(journal.errorString()));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(QFileInfo(journal.fileName()).absolutePath(), QFileInfo(folder).absoluteFilePath());
    // An existing folder is taken as it is.
    journal.close(true);
    QVERIFY2(journal.create(folder), qPrintable(journal.errorString()));
    journal.close(true);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
}

void TestJournalFileWin::heldJournalIsReadWhole()
{
    QTemporaryDir dir;
    LogTable table;
    LogJournal journal(table);
    QVERIFY(journal.create(dir.path()));
    for (const LogRow &r : Rows) {
        appendRow(table, r);
        journal.append(table.rowCount() - 1);
    }
    journal.flush();
    // A spreadsheet opening the file meanwhile reads every byte: the lock
    // lies beyond the end.
    const QByteArray held = contents(journal.fileName());
    QVERIFY(held.endsWith("\tAC\t-0.50\tmV\tFail\r\n"));
    QCOMPARE(QFileInfo(journal.fileName()).size(), held.size());
    LogTable reread;
    QVERIFY(loadTableFile(journal.fileName(), reread));
    QCOMPARE(rowsOf(reread), Rows);
    // Held, it is no abandoned journal.
    JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
    QString why;
    QVERIFY(!AbandonedJournal::claim(journal.fileName(), &failure, &why));
    QCOMPARE(failure, JournalFile::ClaimFailure::HeldByAnother);
}

void TestJournalFileWin::readOnlyJournalIsRecoveredNotAppended()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("journal-x.xls"));
    writeFile(name, QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n1\t10:00:01\tDC\t1.234\tV\tpass\r\n"));
    QVERIFY(setReadOnly(name, true));
    if (QFile file(name); file.open(QIODevice::Append)) {
        setReadOnly(name, false);
        QSKIP("this user may write a read-only file (Wine run by the superuser)");
    }
    JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
    QString why;
    std::unique_ptr<AbandonedJournal> left = AbandonedJournal::claim(name, &failure, &why);
    QVERIFY2(left, qPrintable(why));
    QCOMPARE(left->kind(), AbandonedJournal::Kind::Recoverable);
    QCOMPARE(left->readings(), qint64(1));
    // Its readings are recovered into a new journal; it is not written.
    QVERIFY(!left->takeForAppending(&why));
    QVERIFY(left->holdsFile());
    left.reset();
    QVERIFY(setReadOnly(name, false));
}

void TestJournalFileWin::failuresSayWhereAndWhy()
{
    QTemporaryDir dir;
    LogTable table;
    LogJournal journal(table);

    // A folder where a file is.
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    const QString underFile = dir.filePath(QStringLiteral("file/qm320"));
    QVERIFY(!journal.create(underFile));
    QVERIFY(!journal.isOpen());
    QCOMPARE(journal.errorString(),
             QStringLiteral("the folder %1 cannot be made: %2").arg(underFile, windowsErrorText(ERROR_DIRECTORY)));

    // A journal name that is a folder cannot be claimed.
    const QString folder = dir.filePath(QStringLiteral("journal-folder.xls"));
    QVERIFY(QDir().mkdir(folder));
    JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
    QString why;
    QVERIFY(!JournalFile::claim(folder, &failure, &why));
    QCOMPARE(failure, JournalFile::ClaimFailure::Unusable);
    QVERIFY2(why.startsWith(folder), qPrintable(why));

    // One that is gone.
    QVERIFY(!JournalFile::claim(dir.filePath(QStringLiteral("journal-gone.xls")), &failure, &why));
    QCOMPARE(failure, JournalFile::ClaimFailure::Gone);
    QCOMPARE(why, QStringLiteral("%1 cannot be opened: %2")
                      .arg(dir.filePath(QStringLiteral("journal-gone.xls")), windowsErrorText(ERROR_FILE_NOT_FOUND)));
}

QTEST_GUILESS_MAIN(TestJournalFileWin)
#include "tst_journalfile_win.moc"
