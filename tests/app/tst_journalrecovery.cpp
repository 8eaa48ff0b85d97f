// A run that is killed loses at most its last moments: a window logging from
// a simulated meter is killed with SIGKILL, and the next start recovers the
// rows it had shown, row for row.

#include "fakes/simulatorprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString Cli = QStringLiteral(QM320_BINARY_DIR "/tools/qm320-cli");
const QString Child = QStringLiteral(QM320_BINARY_DIR "/tests/app/journalchild");

QList<QByteArray> completeLines(const QByteArray &out)
{
    QList<QByteArray> lines = out.split('\n');
    lines.removeLast();   // what follows the last line end
    return lines;
}

} // namespace

class TestJournalRecovery : public QObject
{
    Q_OBJECT
private slots:
    void killedRunIsRecovered();
};

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

QTEST_GUILESS_MAIN(TestJournalRecovery)
#include "tst_journalrecovery.moc"
