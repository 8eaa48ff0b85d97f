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
    void pages_data();
    void pages();
    void everyPageTells();
    void limitRefusals_data();
    void limitRefusals();

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
    cli.start(QStringLiteral(QM320_BINARY_DIR "/cli/qm320-cli"), args);
    Run run;
    if (!cli.waitForFinished(60000))
        return run;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

// The number of the first row on each page.
QList<int> firstRowOfEachPage(const QString &pdf)
{
    QProcess tool;
    tool.start("pdftotext", {"-layout", pdf, "-"});
    tool.waitForFinished(60000);
    QStringList pages = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\f'));
    pages.removeLast();
    QList<int> firsts;
    for (const QString &page : pages) {
        const QStringList lines = page.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        firsts.append(lines.size() > 2 ? lines.at(2).simplified().section(' ', 0, 0).toInt() : 0);
    }
    return firsts;
}

QStringList pdfLines(const QString &pdf)
{
    QProcess tool;
    tool.start("pdftotext", {"-layout", pdf, "-"});
    tool.waitForFinished(60000);
    // The time of printing is now.
    static const QRegularExpression printed(QStringLiteral("Printed \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d"));
    QStringList lines;
    for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split(QRegularExpression("[\\n\\f]"))) {
        if (!line.trimmed().isEmpty())
            lines.append(line.simplified().replace(printed, QStringLiteral("Printed T")));
    }
    return lines;
}

} // namespace

void TestReportCli::initTestCase()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the reports back");
    QVERIFY(m_dir.isValid());

    // Four pages: they start with rows 1, 38, 75 and 112.
    QByteArray table("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
    for (int n = 1; n <= 120; ++n)
        table += QByteArray::number(n) + "\t10:00:00\tDC\t1.000\tV\tpass\r\n";
    QFile file(m_dir.filePath("rows-120.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(table);
}

void TestReportCli::help()
{
    const Run run = runCli({"report", "--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("qm320-cli report FILE --pdf OUT.pdf [--pages FROM-TO]"), qPrintable(run.out));
}

void TestReportCli::report_data()
{
    QTest::addColumn<QString>("table");  // in tests/data; empty for none
    QTest::addColumn<QString>("pdf");    // in a temporary folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // on standard error
    QTest::addColumn<QStringList>("lines");

    const QString columns = "No Time DC|AC Value Unit AUTO";
    const QString foot = "The Data Print Foot Printed T Page 1 of 1";
    // The file keeps no limits; the statistics are the last mode's, the
    // Pass and Fail counts the whole log's, as the window's line counts them.
    QTest::newRow("text file")
        << "report-rows.txt" << "text.pdf" << 0 << ""
        << QStringList{"Limits not known Pass 2 Fail 1 Data Report TMP °F n 1 min 25 max 25 mean 25", columns,
                       "1 10:15:03 DC -1.234 mV pass", "2 10:15:04 AC 0.567 µA Fail", "3 10:15:05 TMP 25 °F pass",
                       "4 10:15:06", foot};
    QTest::newRow("XML file, absent values print nothing")
        << "report-rows.xml" << "xml.pdf" << 0 << ""
        << QStringList{"Limits not known Pass 1 Fail 1 Data Report °C n 0", columns, "1 10:15:03 OHM 1.234 kΩ pass",
                       "2 10:15:04 <0.1 °C Fail", "10:15:05", foot};
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

void TestReportCli::pages_data()
{
    QTest::addColumn<QStringList>("pages"); // what follows --pages
    QTest::addColumn<QList<int>>("firstRows");
    QTest::addColumn<QString>("message");   // the one line on standard error when it fails

    QTest::newRow("pages 2 to 3") << QStringList{"2-3"} << QList<int>{38, 75} << "";
    QTest::newRow("one page") << QStringList{"4-4"} << QList<int>{112} << "";
    QTest::newRow("range past the end") << QStringList{"3-99"} << QList<int>{75, 112} << "";
    QTest::newRow("range beyond the report") << QStringList{"5-6"} << QList<int>{}
                                             << "The range 5-6 holds no page of the report, which has 4 pages.";
    const QString malformed = "is not a page range FROM-TO";
    QTest::newRow("one number") << QStringList{"2"} << QList<int>{} << malformed;
    QTest::newRow("backwards") << QStringList{"3-2"} << QList<int>{} << malformed;
    QTest::newRow("page 0") << QStringList{"0-2"} << QList<int>{} << malformed;
    QTest::newRow("no end") << QStringList{"2-"} << QList<int>{} << malformed;
    QTest::newRow("negative") << QStringList{"-2-3"} << QList<int>{} << malformed;
    QTest::newRow("three parts") << QStringList{"1-2-3"} << QList<int>{} << malformed;
    QTest::newRow("letters") << QStringList{"a-b"} << QList<int>{} << malformed;
    QTest::newRow("blanks") << QStringList{" 1-2"} << QList<int>{} << malformed;
    QTest::newRow("beyond 32 bits") << QStringList{"1-99999999999"} << QList<int>{} << malformed;
    QTest::newRow("empty") << QStringList{""} << QList<int>{} << malformed;
    QTest::newRow("no range given") << QStringList{} << QList<int>{} << "--pages needs a page range";
}

void TestReportCli::pages()
{
    QFETCH(QStringList, pages);
    QFETCH(QList<int>, firstRows);
    QFETCH(QString, message);

    const QString out = m_dir.filePath(QStringLiteral("pages-%1.pdf").arg(QTest::currentDataTag()));
    const Run run = runCli(QStringList{"report", m_dir.filePath("rows-120.txt"), "--pdf", out, "--pages"} + pages);
    if (message.isEmpty()) {
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString());
        QCOMPARE(firstRowOfEachPage(out), firstRows);
    } else {
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith("qm320-cli: ") && run.err.contains(message), qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        QVERIFY(!QFile::exists(out));
    }
}

void TestReportCli::everyPageTells()
{
    // The limits given and the statistics head the first page, every foot
    // names its page; each page holds the rows it always held.
    const QString out = m_dir.filePath(QStringLiteral("tells.pdf"));
    const Run run = runCli({"report", m_dir.filePath("rows-120.txt"), "--pdf", out, "--low", "-0.5", "--high", "2"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    QCOMPARE(firstRowOfEachPage(out), QList<int>({1, 38, 75, 112}));
    const QStringList lines = pdfLines(out);
    QCOMPARE(lines.first(), QStringLiteral("Low -0.5 High 2 Pass 120 Fail 0 Data Report DC V n 120 min 1 max 1 mean 1 sd 0"));
    QCOMPARE(lines.count(QStringLiteral("Data Report")), 3);
    for (int page = 1; page <= 4; ++page)
        QVERIFY(lines.contains(QStringLiteral("The Data Print Foot Printed T Page %1 of 4").arg(page)));
}

void TestReportCli::limitRefusals_data()
{
    QTest::addColumn<QStringList>("limits");
    QTest::addColumn<QString>("message");
    QTest::newRow("one of two") << QStringList{"--low", "1"} << "give both or neither";
    QTest::newRow("not a number") << QStringList{"--low", "one", "--high", "2"} << "'one' is not a limit";
}

void TestReportCli::limitRefusals()
{
    QFETCH(QStringList, limits);
    QFETCH(QString, message);
    const QString out = m_dir.filePath(QStringLiteral("refused.pdf"));
    const Run run = runCli(QStringList{"report", m_dir.filePath("rows-120.txt"), "--pdf", out} + limits);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFile::exists(out));
}

QTEST_GUILESS_MAIN(TestReportCli)
#include "tst_reportcli.moc"
