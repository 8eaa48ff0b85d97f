#include "log/logjournal.h"
#include "log/logtable.h"
#include "log/tablefiles.h"
#include "logfixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The journal: every logged row on disk as it is logged, in the program's own
// table format, told apart from the journals of running programs by its
// lock, and cut after its last complete line for recovery.
class TestLogJournal : public QObject
{
    Q_OBJECT
private slots:
    void rowsReachTheFileAsATable();
    void liveJournalsAreNotAbandoned();
    void dropPartialLine_data();
    void dropPartialLine();
    void summary();
    void unwritableFolderFails();
    void fullDiskFailsOnce();
    void adoptedJournalGoesOn();
};

namespace {

const LogRows Rows{
    loggedRow(1, "10:00:01", "DC", "1.234", "V", "pass"),
    loggedRow(2, "10:00:02", "AC", "-0.50", "mV", "Fail"),
    loggedRow(3, "10:15:03 PM", "OHM", "0.L", "M*", "Fail"),
};

QByteArray contents(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void TestLogJournal::rowsReachTheFileAsATable()
{
    QTemporaryDir dir;
    LogTable table;
    LogJournal journal(table);
    QVERIFY(journal.create(dir.filePath(QStringLiteral("qm320"))));
    QVERIFY(journal.fileName().endsWith(QLatin1String(".xls")));
    for (const LogRow &r : Rows) {
        appendRow(table, r);
        journal.append(table.rowCount() - 1);
    }
    journal.flush();

    // What a save writes, row for row: a table file the program opens.
    const QString saved = dir.filePath(QStringLiteral("saved.xls"));
    QVERIFY(saveTableFile(table, saved));
    QCOMPARE(contents(journal.fileName()), contents(saved));
    LogTable reread;
    QVERIFY(loadTableFile(journal.fileName(), reread));
    QCOMPARE(rowsOf(reread), Rows);

    // Closing keeps the file unless it is to go.
    const QString name = journal.fileName();
    journal.close(false);
    QVERIFY(QFile::exists(name));
    QVERIFY(journal.adopt(name));
    journal.close(true);
    QVERIFY(!QFile::exists(name));
}

void TestLogJournal::liveJournalsAreNotAbandoned()
{
    QTemporaryDir dir;
    LogTable table;
    auto running = std::make_unique<LogJournal>(table);
    QVERIFY(running->create(dir.path()));
    QCOMPARE(LogJournal::abandoned(dir.path()), QStringList());
    // A run that ended without removing it: nobody holds it any more.
    const QString name = running->fileName();
    running.reset();
    QCOMPARE(LogJournal::abandoned(dir.path()), QStringList{name});
    // Set aside, it is not offered again.
    QVERIFY(LogJournal::setAside(name) != name);
    QCOMPARE(LogJournal::abandoned(dir.path()), QStringList());
}

void TestLogJournal::dropPartialLine_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("kept");
    const QByteArray header("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
    const QByteArray row("1\t10:00:01\tDC\t1.234\tV\tpass\r\n");
    QTest::newRow("complete") << header + row << header + row;
    QTest::newRow("a row cut short") << header + row + "2\t10:00:0" << header + row;
    QTest::newRow("cut between CR and LF") << header + row + "2\t10:00:02\tDC\t1.2\tV\tpass\r" << header + row;
    QTest::newRow("header only") << header << header;
    QTest::newRow("nothing but a piece") << QByteArray("No\tTi") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestLogJournal::dropPartialLine()
{
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, kept);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("journal-x.xls"));
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(written);
    f.close();
    QVERIFY(LogJournal::dropPartialLine(name));
    QCOMPARE(contents(name), kept);
}

void TestLogJournal::summary()
{
    QTemporaryDir dir;
    LogTable table;
    fillTable(table, Rows);
    const QString name = dir.filePath(QStringLiteral("journal-x.xls"));
    QVERIFY(saveTableFile(table, name));
    const LogJournal::Summary s = LogJournal::summarize(name);
    QCOMPARE(s.rows, 3);
    QCOMPARE(s.firstTime, QStringLiteral("10:00:01"));
    QCOMPARE(s.lastTime, QStringLiteral("10:15:03 PM"));   // written in quotes, read without
}

void TestLogJournal::unwritableFolderFails()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    LogTable table;
    LogJournal journal(table);
    QVERIFY(!journal.create(dir.filePath(QStringLiteral("file/qm320"))));
    QVERIFY(!journal.errorString().isEmpty());
    QVERIFY(!journal.isOpen());
    appendRow(table, Rows[0]);
    journal.append(0);   // nothing to write to: nothing happens
}

void TestLogJournal::fullDiskFailsOnce()
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    LogTable table;
    LogJournal journal(table);
    QVERIFY(journal.adopt(QStringLiteral("/dev/full")));
    for (const LogRow &r : Rows) {
        appendRow(table, r);
        journal.append(table.rowCount() - 1);
    }
    journal.flush();
    QVERIFY(journal.failed());
    QVERIFY2(journal.errorString().contains(QLatin1String("/dev/full")), qPrintable(journal.errorString()));
    // Later rows are dropped quietly; logging goes on in memory.
    journal.append(0);
    journal.flush();
    QVERIFY(journal.failed());
}

void TestLogJournal::adoptedJournalGoesOn()
{
    QTemporaryDir dir;
    LogTable table;
    const QString name = dir.filePath(QStringLiteral("journal-old.xls"));
    fillTable(table, LogRows{Rows[0], Rows[1]});
    QVERIFY(saveTableFile(table, name));
    LogJournal journal(table);
    QVERIFY(journal.adopt(name));
    appendRow(table, Rows[2]);
    journal.append(2);
    journal.flush();
    LogTable reread;
    QVERIFY(loadTableFile(name, reread));
    QCOMPARE(rowsOf(reread), Rows);
}

QTEST_GUILESS_MAIN(TestLogJournal)
#include "tst_logjournal.moc"
