#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// qm320-cli report: a table file in, the Data Report as PDF out.
class TestReportCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void help();
    void report_data();
    void report();

private:
    QTemporaryDir m_dir;
};

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runCli(const QStringList &args)
{
    QProcess cli;
    cli.start(QStringLiteral(QM320_BINARY_DIR "/tools/qm320-cli"), args);
    Run run;
    if (!cli.waitForFinished(60000))
        return run;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

QStringList pdfLines(const QString &pdf)
{
    QProcess tool;
    tool.start("pdftotext", {"-layout", pdf, "-"});
    tool.waitForFinished(60000);
    QStringList lines;
    for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split(QRegularExpression("[\\n\\f]"))) {
        if (!line.trimmed().isEmpty())
            lines.append(line.simplified());
    }
    return lines;
}

} // namespace

void TestReportCli::initTestCase()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the reports back");
    QVERIFY(m_dir.isValid());
}

void TestReportCli::help()
{
    const Run run = runCli({"report", "--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("qm320-cli report FILE --pdf OUT.pdf"), qPrintable(run.out));
}

void TestReportCli::report_data()
{
    QTest::addColumn<QString>("table");  // in tests/data; empty for none
    QTest::addColumn<QString>("pdf");    // in a temporary folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // on standard error
    QTest::addColumn<QStringList>("lines");

    const QStringList head{"Data Report", "No Time DC|AC Value Unit AUTO"};
    const QString foot = "The Data Print Foot";
    QTest::newRow("text file") << "report-rows.txt" << "text.pdf" << 0 << ""
                               << head + QStringList{"1 10:15:03 DC -1.234 mV pass", "2 10:15:04 AC 0.567 µA Fail",
                                                     "3 10:15:05 TMP 25 °F pass", "4 10:15:06", foot};
    QTest::newRow("XML file, absent values print nothing")
        << "report-rows.xml" << "xml.pdf" << 0 << ""
        << head + QStringList{"1 10:15:03 OHM 1.234 kΩ pass", "2 10:15:04 <0.1 °C Fail", "10:15:05", foot};
    QTest::newRow("a line the reader rejects") << "report-bad.txt" << "bad.pdf" << 2 << "Failed to Load File!"
                                               << QStringList();
    QTest::newRow("file missing") << "report-missing.txt" << "missing.pdf" << 2 << "Failed to Load File!"
                                  << QStringList();
    QTest::newRow("empty table, no report") << "report-empty.txt" << "empty.pdf" << 2 << "holds no rows"
                                            << QStringList();
    QTest::newRow("output folder missing") << "report-rows.txt" << "missing/out.pdf" << 2 << "Could not write"
                                           << QStringList();
    QTest::newRow("no output named") << "report-rows.txt" << "" << 2 << "--pdf" << QStringList();
}

void TestReportCli::report()
{
    QFETCH(QString, table);
    QFETCH(QString, pdf);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QStringList, lines);

    QStringList args{"report", QStringLiteral(QM320_TEST_DATA "/") + table};
    const QString out = m_dir.filePath(pdf);
    if (!pdf.isEmpty())
        args << "--pdf" << out;
    const Run run = runCli(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    if (exitCode != 0) {
        QVERIFY(pdf.isEmpty() || !QFile::exists(out));
        return;
    }
    QCOMPARE(pdfLines(out), lines);
}

QTEST_GUILESS_MAIN(TestReportCli)
#include "tst_reportcli.moc"
