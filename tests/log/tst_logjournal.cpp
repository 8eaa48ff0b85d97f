#include "log/abandonedjournal.h"
#include "log/journalcheck.h"
#include "log/journalfile.h"
#include "log/logjournal.h"
#include "log/logtable.h"
#include "log/logtextwriter.h"
#include "log/tablefiles.h"
#include "logfixtures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringConverter>
#include <QTemporaryDir>
#include <QTest>

// The journal: every logged row on disk as it is logged, in the program's own
// table format, in a folder only its user reads; told apart from the
// journals of running programs by its lock; and, when a run left it, read
// through before anything is offered, so that only readings are recovered and
// exactly those counted.
class TestLogJournal : public QObject
{
    Q_OBJECT
private slots:
    void rowsReachTheFileAsATable();
    void journalsInUseAreNotTaken();
    void check_data();
    void check();
    void whatTheJournalWritesIsReadings();
    void isTimeText_data();
    void isTimeText();
    void datesOfTheReadings_data();
    void datesOfTheReadings();
    void carriedOnAfterItsLastReading();
    void newJournalStartsWithTheReadings();
    void setAsideNeverReplacesAFile();
    void fullDiskFailsOnce();
};

namespace {

const LogRows Rows{
    loggedRow(1, "10:00:01", "DC", "1.234", "V", "pass"),
    loggedRow(2, "10:00:02", "AC", "-0.50", "mV", "Fail"),
    loggedRow(3, "10:15:03 PM", "OHM", "0.L", "M*", "Fail"),
};

const QByteArray Header("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
const QByteArray Nul(1, '\0');

QByteArray line(int no, const QByteArray &time = "10:00:01")
{
    return QByteArray::number(no) + '\t' + time + "\tDC\t1.234\tV\tpass\r\n";
}

QByteArray contents(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `bytes`, then lets the file run on to `size` with a hole: a large
// file that costs neither time nor disk, and reads as NUL bytes.
void writeFile(const QString &fileName, const QByteArray &bytes, qint64 size = 0)
{
    QFile f(fileName);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
    if (size > bytes.size())
        QVERIFY(f.resize(size));
}

std::unique_ptr<AbandonedJournal> take(const QString &fileName)
{
    JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
    QString why;
    std::unique_ptr<AbandonedJournal> journal = AbandonedJournal::claim(fileName, &failure, &why);
    if (!journal)
        qWarning("%s", qPrintable(why));
    return journal;
}

} // namespace

Q_DECLARE_METATYPE(AbandonedJournal::Kind)

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
    std::unique_ptr<AbandonedJournal> left = take(name);
    QVERIFY(left);
    QString why;
    QVERIFY(journal.adopt(left->takeForAppending(&why)));
    journal.close(true);
    QVERIFY(!QFile::exists(name));
}

void TestLogJournal::journalsInUseAreNotTaken()
{
    QTemporaryDir dir;
    LogTable table;
    auto running = std::make_unique<LogJournal>(table);
    QVERIFY(running->create(dir.path()));
    const QString name = running->fileName();
    QCOMPARE(AbandonedJournal::candidates(dir.path()), QStringList{name});

    // Held by a running program, which the reason names.
    JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
    QString why;
    QVERIFY(!AbandonedJournal::claim(name, &failure, &why));
    QCOMPARE(failure, JournalFile::ClaimFailure::HeldByAnother);
    const QString holder = QStringLiteral("(process %1)").arg(QCoreApplication::applicationPid());
    QVERIFY2(why.contains(name) && why.contains(holder), qPrintable(why));

    // A run that ended without removing it: nobody holds it any more. Once
    // one window has taken it, a second cannot, even in the same process.
    running.reset();
    std::unique_ptr<AbandonedJournal> first = take(name);
    QVERIFY(first);
    QVERIFY(!AbandonedJournal::claim(name, &failure, &why));
    QCOMPARE(failure, JournalFile::ClaimFailure::HeldByAnother);

    // Removed while it was held: whoever waited finds it gone.
    QVERIFY(first->remove(&why));
    QVERIFY(!AbandonedJournal::claim(name, &failure, &why));
    QCOMPARE(failure, JournalFile::ClaimFailure::Gone);
    QCOMPARE(AbandonedJournal::candidates(dir.path()), QStringList());
}

void TestLogJournal::check_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<qint64>("holeTo");   // the file runs on as a hole to this size
    QTest::addColumn<AbandonedJournal::Kind>("kind");
    QTest::addColumn<qint64>("readings");
    QTest::addColumn<QString>("lastTime");
    QTest::addColumn<QString>("problem");

    using Kind = AbandonedJournal::Kind;
    const QByteArray good = Header + line(1, "10:00:01") + line(2, "10:00:02") + line(3, "\"10:15:03 PM\"");
    // A picture: its signature, then bytes of every value.
    QByteArray binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QRandomGenerator random(320);
    for (int i = 0; i < 100 * 1024; ++i)
        binary += char(random.bounded(256));
    const qint64 bigFile = 200LL << 20;

    QTest::newRow("readings") << good << 0LL << Kind::Recoverable << 3LL << "10:15:03 PM" << "";
    QTest::newRow("a row cut short by the end")
        << good + "4\t10:00:0" << 0LL << Kind::Recoverable << 3LL << "10:15:03 PM" << "";
    QTest::newRow("cut between CR and LF")
        << good + "4\t10:00:04\tDC\t1.2\tV\tpass\r" << 0LL << Kind::Recoverable << 3LL << "10:15:03 PM" << "";
    QTest::newRow("header only") << Header << 0LL << Kind::Empty << 0LL << "" << "";
    QTest::newRow("header cut short") << QByteArray("No\tTi") << 0LL << Kind::Empty << 0LL << "" << "";
    QTest::newRow("nothing") << QByteArray() << 0LL << Kind::Empty << 0LL << "" << "";
    QTest::newRow("header and a row cut short")
        << Header + "1\t10:0" << 0LL << Kind::Empty << 0LL << "" << "";

    // Not a journal of this program.
    QTest::newRow("binary") << binary << 0LL << Kind::Unrecoverable << 0LL << "" << "line 1: not the header of a journal";
    QTest::newRow("NUL bytes") << QByteArray(4096, '\0') << 0LL << Kind::Unrecoverable << 0LL << "" << "line 1: a NUL byte";
    QTest::newRow("another program's table")
        << QByteArray("Date\tTemperature\r\n2024-01-01\t21.5\r\n") << 0LL << Kind::Unrecoverable << 0LL << ""
        << "line 1: not the header of a journal";
    QTest::newRow("our header over another program's rows")
        << Header + "2024-01-01\t21.5\t%\r\n" << 0LL << Kind::Unrecoverable << 0LL << ""
        << "line 2: \"2024-01-01\" is no reading number";
    QTest::newRow("a 200 MB line for a header")
        << QByteArray(1 << 20, 'x') << bigFile << Kind::Unrecoverable << 0LL << "" << "line 1: not the header of a journal";
    QTest::newRow("a header with a byte-order mark")
        << "\xEF\xBB\xBF" + good << 0LL << Kind::Unrecoverable << 0LL << "" << "line 1: not the header of a journal";

    // Readings, then a line that is none: what is before it is recovered.
    QTest::newRow("a NUL byte in a row")
        << Header + line(1) + "2\t10:00:02\tDC" + Nul + "\t1.2\tV\tpass\r\n" + line(3) << 0LL << Kind::Recoverable << 1LL
        << "10:00:01" << "line 3: a NUL byte";
    QTest::newRow("NUL bytes after a power cut")
        << good << qint64(good.size() + 4096) << Kind::Recoverable << 3LL << "10:15:03 PM" << "line 5: a NUL byte";
    QTest::newRow("a 200 MB line")
        << Header + line(1) + QByteArray(1 << 20, 'x') << bigFile << Kind::Recoverable << 1LL << "10:00:01"
        << "line 3: longer than any reading (more than 1024 bytes)";
    QTest::newRow("a 200 MB line cut short")
        << Header + line(1) + QByteArray(2000, 'x') << 0LL << Kind::Recoverable << 1LL << "10:00:01"
        << "line 3: longer than any reading (more than 1024 bytes)";
    QTest::newRow("garbage after readings, readings after it")
        << Header + line(1) + line(2) + "garbage\r\n" + line(4) << 0LL << Kind::Recoverable << 2LL << "10:00:01"
        << "line 4: \"garbage\" is no reading number";
    QTest::newRow("a time out of the day")
        << Header + line(1) + line(2, "25:61:00") << 0LL << Kind::Recoverable << 1LL << "10:00:01"
        << "line 3: \"25:61:00\" is not a time";
    QTest::newRow("a time that is no time")
        << Header + line(1, "noon") << 0LL << Kind::Unrecoverable << 0LL << "" << "line 2: \"noon\" is not a time";
    QTest::newRow("a time of two numbers")
        << Header + line(1, "10:00") << 0LL << Kind::Unrecoverable << 0LL << "" << "line 2: \"10:00\" is not a time";
    QTest::newRow("a cell too many")
        << Header + line(1) + "2\t10:00:02\tDC\t1.2\tV\tpass\t7\r\n" << 0LL << Kind::Recoverable << 1LL << "10:00:01"
        << "line 3: more cells than a reading has";
    QTest::newRow("a cell missing")
        << Header + line(1) + "2\t10:00:02\tDC\t1.2\tV\r\n" << 0LL << Kind::Recoverable << 1LL << "10:00:01"
        << "line 3: 5 cells where a reading has 6";
    QTest::newRow("an empty cell")
        << Header + "1\t10:00:01\t\t1.2\tV\tpass\r\n" << 0LL << Kind::Unrecoverable << 0LL << ""
        << "line 2: an empty cell";
    QTest::newRow("LF alone")
        << Header + line(1) + "2\t10:00:02\tDC\t1.2\tV\tpass\n" << 0LL << Kind::Recoverable << 1LL << "10:00:01"
        << "line 3: a line end the journal does not write";
    QTest::newRow("a CR inside a row, which the reader takes for a line end")
        << Header + line(1) + "2\t10:00:02\tDC\t\"1\r2\"\tV\tpass\r\n" << 0LL << Kind::Recoverable << 1LL << "10:00:01"
        << "line 3: a line end the journal does not write";
    QTest::newRow("a blank outside quotes")
        << Header + "1\t10:00:01 PM\tDC\t1.2\tV\tpass\r\n" << 0LL << Kind::Unrecoverable << 0LL << ""
        << "line 2: not a reading as the journal writes it";
    QTest::newRow("a quote that is not closed")
        << Header + "1\t10:00:01\tDC\t\"1.2\tV\tpass\r\n" << 0LL << Kind::Unrecoverable << 0LL << ""
        << "line 2: a quote that is not closed";
}

void TestLogJournal::check()
{
    QFETCH(QByteArray, written);
    QFETCH(qint64, holeTo);
    QFETCH(AbandonedJournal::Kind, kind);
    QFETCH(qint64, readings);
    QFETCH(QString, lastTime);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("journal-x.xls"));
    writeFile(name, written, holeTo);

    const std::unique_ptr<AbandonedJournal> journal = take(name);
    QVERIFY(journal);
    QCOMPARE(journal->kind(), kind);
    QCOMPARE(journal->readings(), readings);
    QCOMPARE(journal->problem(), problem);
    QCOMPARE(journal->lastTime(), lastTime);
    if (readings > 0)
        QCOMPARE(journal->firstTime(), QStringLiteral("10:00:01"));

    // What is recovered is what was counted, however the file goes on.
    if (readings > 0) {
        LogTable table;
        QVERIFY(journal->load(table));
        QCOMPARE(table.rowCount(), int(readings));
        QCOMPARE(table.text(0, int(LogField::Time)), QStringLiteral("10:00:01"));
        QCOMPARE(table.text(table.rowCount() - 1, int(LogField::Time)), lastTime);
    }
}

void TestLogJournal::whatTheJournalWritesIsReadings()
{
    // Every row the journal can write is a reading: texts with tabs,
    // quotes, blanks, line breaks and NULs, empty cells, a missing number,
    // times as locales write them.
    const LogRows written{
        loggedRow(1, "10:00:01", "DC", "1.234", "V", "pass"),
        loggedRow(2, "22.15.03", "AC\tDC", "say \"hi\"", "m V", "Fail"),
        loggedRow(-7, "10:15:03 PM", QStringLiteral("a\r\nb"), QStringLiteral("x") + QChar(0) + QStringLiteral("y"), "", "pass"),
        LogRow{std::nullopt, QStringLiteral("22時15分03秒"), "DC", "  ", "\"", "\"\"", std::nullopt},
        loggedRow(2147483647, QStringLiteral("오후 10시 15분 03초"), "Ω", "ü", "°C", "pass"),
        loggedRow(6, QStringLiteral("۱۰:۱۵:۰۳"), "DC", "1", "V", "pass"),
    };
    // Text as the files' encoding carries it. Times whose digits it cannot
    // carry are left out: on Windows, whose table files are in the ANSI code
    // page, the system writes every time with ASCII digits.
    const auto carried = [](const QString &text) {
        QStringEncoder encode(QStringConverter::System);
        QStringDecoder decode(QStringConverter::System);
        return QString(decode(QByteArray(encode(text))));
    };
    LogRows rows;
    for (const LogRow &r : written) {
        QString digits;
        for (QChar c : r.time.value_or(QString())) {
            if (c.isDigit())
                digits += c;
        }
        if (carried(digits) == digits)
            rows.append(r);
    }
    LogTable table;
    fillTable(table, rows);
    QByteArray bytes;
    LogTextWriter::appendHeader(bytes);
    LogTextWriter writer(table);
    for (int row = 0; row < table.rowCount(); ++row)
        writer.appendRow(bytes, row);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("journal-x.xls"));
    writeFile(name, bytes);

    const std::unique_ptr<AbandonedJournal> journal = take(name);
    QVERIFY(journal);
    QCOMPARE(journal->problem(), QString());
    QCOMPARE(journal->readings(), qint64(rows.size()));
    QCOMPARE(journal->lastTime(), carried(rows.last().time.value()));
    LogTable reread;
    QVERIFY(journal->load(reread));
    QCOMPARE(reread.rowCount(), rows.size());
}

void TestLogJournal::datesOfTheReadings_data()
{
    // The journal's name holds when it was started; the file was last
    // written at `written`.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("times");   // one per reading, blank-separated
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("from");      // what the recovery question names
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("lastMoment");

    QTest::newRow("one day: times only")
        << "journal-20240501-095900-4711.xls" << QByteArray("10:00:01 10:00:02 17:30:00") << "2024-05-01 17:30:01"
        << "10:00:01" << "17:30:00" << "2024-05-01 17:30:00";
    QTest::newRow("over midnight: dates")
        << "journal-20240501-215900-4711.xls" << QByteArray("22:00:00 23:59:59 00:00:01 08:15:00")
        << "2024-05-02 08:15:01" << "2024-05-01 22:00:00" << "2024-05-02 08:15:00" << "2024-05-02 08:15:00";
    QTest::newRow("no start in the name: the days the times show")
        << "journal-x.xls" << QByteArray("10:00:00 11:00:00 09:00:00") << "2024-05-06 09:00:05"
        << "2024-05-05 10:00:00" << "2024-05-06 09:00:00" << "2024-05-06 09:00:00";
    QTest::newRow("carried on by a later run days after: the start known")
        << "journal-20240501-095900-4711-2.xls" << QByteArray("10:00:00 11:00:00 09:00:00") << "2024-05-06 09:00:05"
        << "2024-05-01 10:00:00" << "2024-05-06 09:00:00" << "2024-05-06 09:00:00";
}

void TestLogJournal::datesOfTheReadings()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, times);
    QFETCH(QString, written);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, lastMoment);
    qputenv("TZ", "Europe/Berlin");
    tzset();

    QByteArray bytes = Header;
    int no = 0;
    for (const QByteArray &time : times.split(' '))
        bytes += line(++no, time);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    writeFile(path, bytes);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::fromString(written, QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                 QFileDevice::FileModificationTime));
    }
    const std::unique_ptr<AbandonedJournal> journal = take(path);
    QVERIFY(journal);
    QCOMPARE(journal->firstLoggedText(), from);
    QCOMPARE(journal->lastLoggedText(), to);
    // The rows get the dates the question named.
    LogTable table;
    QVERIFY(journal->load(table));
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(table.loggedAt(table.rowCount() - 1).value_or(-1))
                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             lastMoment);
    QCOMPARE(table.loggedAt(0).has_value(), true);
}

void TestLogJournal::isTimeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isTime");
    QTest::newRow("24-hour") << QStringLiteral("23:59:59") << true;
    QTest::newRow("12-hour") << QStringLiteral("9:05:07 PM") << true;
    QTest::newRow("dots") << QStringLiteral("22.15.03") << true;
    QTest::newRow("Chinese") << QStringLiteral("22时15分03秒") << true;
    QTest::newRow("Persian digits") << QStringLiteral("۲۳:۵۹:۵۹") << true;
    QTest::newRow("hour 24") << QStringLiteral("24:00:00") << false;
    QTest::newRow("minute 60") << QStringLiteral("10:60:00") << false;
    QTest::newRow("three digits") << QStringLiteral("100:00:00") << false;
    QTest::newRow("a date and a time") << QStringLiteral("2024-01-01 10:00:00") << false;
    QTest::newRow("two numbers") << QStringLiteral("10:00") << false;
    QTest::newRow("no text") << QStringLiteral("\uFFFD10:00:00") << false;
    QTest::newRow("a control character") << QStringLiteral("10:00:00\u0007") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("longer than the field") << QStringLiteral("10 hours 00 minutes 00 s") << false;
}

void TestLogJournal::isTimeText()
{
    QFETCH(QString, text);
    QFETCH(bool, isTime);
    QCOMPARE(JournalCheck::isTimeText(text), isTime);
}

void TestLogJournal::carriedOnAfterItsLastReading()
{
    // A run killed in the middle of a row: the row is dropped and the new
    // rows follow the last complete one.
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("journal-old.xls"));
    LogTable table;
    fillTable(table, LogRows{Rows[0], Rows[1]});
    QVERIFY(saveTableFile(table, name));
    {
        QFile f(name);
        QVERIFY(f.open(QIODevice::Append));
        f.write("3\t10:00:0");
    }
    std::unique_ptr<AbandonedJournal> left = take(name);
    QVERIFY(left);
    QCOMPARE(left->readings(), 2LL);
    LogJournal journal(table);
    QString why;
    QVERIFY(journal.adopt(left->takeForAppending(&why)));
    QVERIFY(!left->holdsFile());
    appendRow(table, Rows[2]);
    journal.append(2);
    journal.flush();
    LogTable reread;
    QVERIFY(loadTableFile(name, reread));
    QCOMPARE(rowsOf(reread), Rows);

    // A journal that goes on with what is not a reading is not carried on.
    journal.close(false);
    QFile f(name);
    QVERIFY(f.open(QIODevice::Append));
    f.write("garbage\r\n");
    f.close();
    left = take(name);
    QVERIFY(left);
    QVERIFY(!left->takeForAppending(&why));
    QVERIFY(left->holdsFile());
}

void TestLogJournal::newJournalStartsWithTheReadings()
{
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("journal-old.xls"));
    const QByteArray readings = Header + line(1) + line(2);
    writeFile(old, readings + "2\t10:00:02\tDC" + Nul + "garbage\r\n" + line(4));
    std::unique_ptr<AbandonedJournal> left = take(old);
    QVERIFY(left);
    QCOMPARE(left->readings(), 2LL);

    // The readings, then what is logged after them; the old file as it was.
    LogTable table;
    QVERIFY(left->load(table));
    LogJournal journal(table);
    QVERIFY(journal.create(dir.path(), left.get()));
    QVERIFY(journal.fileName() != old);
    appendRow(table, loggedRow(3, "10:00:03", "DC", "1.234", "V", "pass"));
    journal.append(2);
    journal.flush();
    QCOMPARE(contents(journal.fileName()), readings + line(3, "10:00:03"));
    QVERIFY(contents(old).endsWith(line(4)));
}

void TestLogJournal::setAsideNeverReplacesAFile()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("journal-x.xls"));
    const QString earlier = dir.filePath(QStringLiteral("kept-journal-x.xls"));
    writeFile(earlier, "kept before");
    writeFile(name, "garbage");
    std::unique_ptr<AbandonedJournal> left = take(name);
    QVERIFY(left);
    QCOMPARE(left->kind(), AbandonedJournal::Kind::Unrecoverable);
    QCOMPARE(left->keptName(), dir.filePath(QStringLiteral("kept-journal-x-2.xls")));
    QString kept;
    QString why;
    QVERIFY(left->setAside(&kept, &why));
    QCOMPARE(kept, dir.filePath(QStringLiteral("kept-journal-x-2.xls")));
    QCOMPARE(contents(earlier), QByteArray("kept before"));
    QCOMPARE(contents(kept), QByteArray("garbage"));
    // A kept journal is never offered again.
    QCOMPARE(AbandonedJournal::candidates(dir.path()), QStringList());
}

void TestLogJournal::fullDiskFailsOnce()
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    LogTable table;
    LogJournal journal(table);
    JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
    QString why;
    QVERIFY(journal.adopt(JournalFile::claim(QStringLiteral("/dev/full"), &failure, &why)));
    for (const LogRow &r : Rows) {
        appendRow(table, r);
        journal.append(table.rowCount() - 1);
    }
    journal.flush();
    QVERIFY(journal.failed());
    QCOMPARE(journal.errorString(), QStringLiteral("/dev/full cannot be written: No space left on device"));
    // Later rows are dropped quietly; logging goes on in memory.
    journal.append(0);
    journal.flush();
    QVERIFY(journal.failed());
}

QTEST_GUILESS_MAIN(TestLogJournal)
#include "tst_logjournal.moc"
