// What a start does with the journals earlier runs left: readings are
// offered and recovered exactly as counted; what is no journal of ours, or
// cannot be recovered, is put aside with one notice and never offered again;
// only one of two windows started together offers a journal, and each keeps
// a journal of its own. And end to end: a run that is killed loses at most
// its last moments - a window logging from a simulated meter is killed with
// SIGKILL, and the next start recovers the rows it had shown, row for row.

#include "app/mainwindow.h"
#include "fakemessages.h"
#include "fakes/fakehidbackend.h"
#include "fakes/fakeserialbackend.h"
#include "fakes/simulatorprocess.h"
#include "log/abandonedjournal.h"
#include "log/logtable.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>

namespace {

const QString Cli = QStringLiteral(QM320_BINARY_DIR "/cli/qm320-cli");
const QString Child = QStringLiteral(QM320_BINARY_DIR "/tests/app/journalchild");

const QByteArray Header("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
const QByteArray Nul(1, '\0');

QByteArray line(int no, const QByteArray &time)
{
    return QByteArray::number(no) + '\t' + time + "\tDC\t1.234\tV\tpass\r\n";
}

const QByteArray Readings = Header + line(1, "10:00:01") + line(2, "10:00:02") + line(3, "\"10:15:03 PM\"");

QList<QByteArray> completeLines(const QByteArray &out)
{
    QList<QByteArray> lines = out.split('\n');
    lines.removeLast();   // what follows the last line end
    return lines;
}

// Writes `bytes`, then lets the file run on to `size` with a hole: a large
// file that costs neither time nor disk.
bool writeFile(const QString &fileName, const QByteArray &bytes, qint64 size = 0)
{
    QFile f(fileName);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && (size <= bytes.size() || f.resize(size));
}

QByteArray contents(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A window as a start builds it, with its journals in `folder`.
struct StartedWindow
{
    StartedWindow(const QString &folder, bool answerYes)
    {
        WindowServices services;
        services.locale = std::make_unique<FixedLocaleInfo>();
        auto answering = std::make_unique<FakeMessages>();
        messages = answering.get();
        messages->answerYes = answerYes;
        services.messages = std::move(answering);
        services.serialBackend = std::make_unique<FakeSerialBackend>();
        services.hidBackend = hid->backend();
        services.machine = QStringLiteral("x86_64");
        services.dataFolder = folder;
        window = std::make_unique<MainWindow>(std::move(services));
    }
    MeterSession &session() { return window->session(); }

    FakeMessages *messages = nullptr;
    std::shared_ptr<FakeHidSystem> hid = std::make_shared<FakeHidSystem>();
    std::unique_ptr<MainWindow> window;
};

} // namespace

class TestJournalRecovery : public QObject
{
    Q_OBJECT
private slots:
    void start_data();
    void start();
    void severalJournals();
    void failedRecoveryIsPutAside();
    void twoWindowsStartedTogether();
    void killedRunIsRecovered();
};

void TestJournalRecovery::start_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<qint64>("holeTo");   // the file runs on as a hole to this size
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<QString>("said");    // {journal} and {kept} stand for the files' names
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("keptAside");
    QTest::addColumn<bool>("carriedOn");  // new rows go on in the same file

    const QString offer = QStringLiteral("question Recover readings?: Recover 3 readings logged from 10:00:01 to 10:15:03 PM?");
    const QString notice
        = QStringLiteral("information: {journal} cannot be recovered (%1). It is kept in the same folder as {kept}.");
    const QString stopped = QStringLiteral("\n\nThe rest of the journal {journal} cannot be read (%1); "
                                           "the whole file is kept in the same folder as {kept}.");

    QTest::newRow("readings, recovered") << Readings << 0LL << true << offer << 3 << false << true;
    QTest::newRow("readings, not recovered") << Readings << 0LL << false << offer << 0 << true << false;
    QTest::newRow("a row cut short by a kill")
        << Readings + "4\t10:1" << 0LL << true << offer << 3 << false << true;
    QTest::newRow("a header and nothing else") << Header << 0LL << true << QString() << 0 << false << false;

    QTest::newRow("another program's table")
        << QByteArray("Date\tTemperature\r\n2024-01-01\t21.5\r\n") << 0LL << true
        << notice.arg(QLatin1String("line 1: not the header of a journal")) << 0 << true << false;
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\x00\x01", 19) << 0LL << true
                            << notice.arg(QLatin1String("line 1: not the header of a journal")) << 0 << true << false;
    QTest::newRow("no reading before a bad time")
        << Header + line(1, "99:99:99") + line(2, "10:00:02") << 0LL << true
        << notice.arg(QLatin1String("line 2: \"99:99:99\" is not a time")) << 0 << true << false;

    QTest::newRow("a NUL byte after two readings")
        << Header + line(1, "10:00:01") + line(2, "10:00:02") + "3\t10:00:03\tDC" + Nul + "\t1.2\tV\tpass\r\n"
               + line(4, "10:00:04")
        << 0LL << true
        << QStringLiteral("question Recover readings?: Recover 2 readings logged from 10:00:01 to 10:00:02?")
               + stopped.arg(QLatin1String("line 4: a NUL byte"))
        << 2 << true << false;
    QTest::newRow("a 200 MB line after a reading")
        << Header + line(1, "10:00:01") + QByteArray(1 << 20, 'x') << (200LL << 20) << true
        << QStringLiteral("question Recover readings?: Recover 1 readings logged from 10:00:01 to 10:00:01?")
               + stopped.arg(QLatin1String("line 3: longer than any reading (more than 1024 bytes)"))
        << 1 << true << false;
}

void TestJournalRecovery::start()
{
    QFETCH(QByteArray, written);
    QFETCH(qint64, holeTo);
    QFETCH(bool, answerYes);
    QFETCH(QString, said);
    QFETCH(int, rows);
    QFETCH(bool, keptAside);
    QFETCH(bool, carriedOn);

    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("journal-20240101-100000-1.xls"));
    const QString kept = dir.filePath(QStringLiteral("kept-journal-20240101-100000-1.xls"));
    QVERIFY(writeFile(journal, written, holeTo));

    auto first = std::make_unique<StartedWindow>(dir.path(), answerYes);
    first->window->offerRecovery();
    said.replace(QLatin1String("{journal}"), journal).replace(QLatin1String("{kept}"), QFileInfo(kept).fileName());
    QCOMPARE(first->messages->shown, said.isEmpty() ? QStringList() : QStringList{said});
    QCOMPARE(first->session().log().rowCount(), rows);
    QCOMPARE(QFile::exists(kept), keptAside);
    if (keptAside) {
        // Whole, as it was.
        QFile f(kept);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.size(), std::max<qint64>(written.size(), holeTo));
        QCOMPARE(f.read(written.size()), written);
    }
    if (rows > 0) {
        // The recovered readings go on in one journal: the same file, cut
        // after its last complete row, or a new one that starts with them.
        const QString carrying = first->session().journalFile();
        QCOMPARE(carrying == journal, carriedOn);
        const QByteArray expected = carriedOn ? written.left(written.lastIndexOf("\r\n") + 2)
                                              : Header + line(1, "10:00:01") + (rows > 1 ? line(2, "10:00:02") : QByteArray());
        QTRY_COMPARE(contents(carrying), expected);
    } else {
        QVERIFY(!QFile::exists(journal));
        first.reset();
    }

    // Whatever was done, the next start offers nothing and says nothing.
    StartedWindow next(dir.path(), true);
    next.window->offerRecovery();
    QCOMPARE(next.messages->shown, QStringList());
    QCOMPARE(next.session().log().rowCount(), 0);
}

void TestJournalRecovery::severalJournals()
{
    QTemporaryDir dir;
    const QString newest = dir.filePath(QStringLiteral("journal-20240103-100000-1.xls"));
    const QString other = dir.filePath(QStringLiteral("journal-20240102-100000-1.xls"));
    const QString older = dir.filePath(QStringLiteral("journal-20240101-100000-1.xls"));
    const QString empty = dir.filePath(QStringLiteral("journal-20231231-100000-1.xls"));
    QVERIFY(writeFile(newest, Readings));
    QVERIFY(writeFile(other, "Date\tTemperature\r\n"));
    QVERIFY(writeFile(older, Header + line(1, "09:00:00")));
    QVERIFY(writeFile(empty, Header));

    // The newest is offered and recovered; all the others are looked at
    // too, and what is no journal is told in one notice.
    StartedWindow first(dir.path(), true);
    first.window->offerRecovery();
    QCOMPARE(first.messages->shown,
             (QStringList{QStringLiteral("question Recover readings?: Recover 3 readings logged from 10:00:01 to 10:15:03 PM?"),
                          QStringLiteral("information: %1 cannot be recovered (line 1: not the header of a journal). "
                                         "It is kept in the same folder as kept-journal-20240102-100000-1.xls.")
                              .arg(other)}));
    QCOMPARE(first.session().journalFile(), newest);
    QVERIFY(!QFile::exists(empty));

    // The older one waits for the next start, where it is offered.
    StartedWindow next(dir.path(), false);
    next.window->offerRecovery();
    QCOMPARE(next.messages->shown,
             QStringList{QStringLiteral("question Recover readings?: Recover 1 readings logged from 09:00:00 to 09:00:00?")});
    QVERIFY(!QFile::exists(older));
}

void TestJournalRecovery::failedRecoveryIsPutAside()
{
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("journal-20240101-100000-1.xls"));
    const QString kept = dir.filePath(QStringLiteral("kept-journal-20240101-100000-1.xls"));
    QVERIFY(writeFile(journal, Readings));
    {
        // Something other than this program cuts the journal short while
        // the question is open: the recovery fails.
        StartedWindow first(dir.path(), true);
        first.messages->whileAsking = [&] { QVERIFY(QFile::resize(journal, Header.size() + line(1, "10:00:01").size())); };
        first.window->offerRecovery();
        QCOMPARE(first.messages->shown.size(), 2);
        QCOMPARE(first.messages->shown.at(1),
                 QStringLiteral("error: Failed to Load File!\n\n%1: 1 readings read where 3 were counted: the file "
                                "changed\n\nThe journal is kept in the same folder as %2.")
                     .arg(journal, QFileInfo(kept).fileName()));
        QCOMPARE(first.session().log().rowCount(), 0);
        QVERIFY(QFile::exists(kept));
    }
    // It does not come back at every start.
    StartedWindow next(dir.path(), true);
    next.window->offerRecovery();
    QCOMPARE(next.messages->shown, QStringList());
}

void TestJournalRecovery::twoWindowsStartedTogether()
{
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("journal-20240101-100000-1.xls"));
    QVERIFY(writeFile(journal, Readings));
    // Two windows of one process within the same second: each has a journal
    // of its own from the start.
    StartedWindow first(dir.path(), true);
    StartedWindow second(dir.path(), true);
    const QString firstOwn = first.session().journalFile();
    const QString secondOwn = second.session().journalFile();
    QVERIFY(!firstOwn.isEmpty() && !secondOwn.isEmpty());
    QVERIFY(firstOwn != secondOwn);

    // The second starts while the first asks: it passes over the journal.
    first.messages->whileAsking = [&] { second.window->offerRecovery(); };
    first.window->offerRecovery();
    QCOMPARE(first.messages->shown.size(), 1);
    QCOMPARE(first.session().log().rowCount(), 3);
    QCOMPARE(first.session().journalFile(), journal);
    QCOMPARE(second.messages->shown, QStringList());
    QCOMPARE(second.session().log().rowCount(), 0);

    // And it keeps its own journal, held, which nobody else takes.
    QCOMPARE(second.session().journalFile(), secondOwn);
    JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
    QString why;
    QVERIFY(!AbandonedJournal::claim(secondOwn, &failure, &why));
    QCOMPARE(failure, JournalFile::ClaimFailure::HeldByAnother);
    QTRY_COMPARE(contents(secondOwn), Header);
}

void TestJournalRecovery::killedRunIsRecovered()
{
    QTemporaryDir dir;
    QProcess simulator;
    // A frame every 20 ms: fifty rows a second.
    const QString device = startSimulator(simulator, {QStringLiteral("--interval"), QStringLiteral("20")});
    QVERIFY(!device.isEmpty());

    QProcess logging;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QM320_COM1"), device);
    logging.setProcessEnvironment(env);
    logging.start(Child, {QStringLiteral("log"), dir.path()});
    QVERIFY(logging.waitForStarted());
    constexpr int Shown = 150;
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += logging.readAllStandardOutput()).count('\n') >= Shown, 30000);
    ::kill(pid_t(logging.processId()), SIGKILL);
    QVERIFY(logging.waitForFinished(5000));
    out += logging.readAllStandardOutput();
    simulator.terminate();
    simulator.waitForFinished(5000);
    const QList<QByteArray> shown = completeLines(out);
    QVERIFY(shown.size() >= Shown);

    // The system may have been handed a row only in part: a partial last
    // line is dropped at recovery.
    const QStringList journals = QDir(dir.path()).entryList({QStringLiteral("journal-*.xls")}, QDir::Files);
    QCOMPARE(journals.size(), 1);
    {
        QFile journal(QDir(dir.path()).filePath(journals.first()));
        QVERIFY(journal.open(QIODevice::Append));
        journal.write("99999\t23:59:5");
    }

    QProcess recovering;
    recovering.start(Child, {QStringLiteral("recover"), dir.path()});
    QVERIFY(recovering.waitForFinished(30000));
    QCOMPARE(recovering.exitCode(), 0);
    const QList<QByteArray> recovered = completeLines(recovering.readAllStandardOutput());

    // At least what was shown up to the last second before the kill, and
    // exactly those rows.
    const int lastSecond = 50;
    QVERIFY2(recovered.size() >= shown.size() - lastSecond,
             qPrintable(QStringLiteral("%1 of %2 rows recovered").arg(recovered.size()).arg(shown.size())));
    QVERIFY(recovered.size() <= shown.size());
    for (int i = 0; i < recovered.size(); ++i)
        QCOMPARE(recovered.at(i), shown.at(i));
}

QTEST_MAIN(TestJournalRecovery)
#include "tst_journalrecovery.moc"
