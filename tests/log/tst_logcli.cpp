#include "meter/meterframes.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QStringList &args, const QString &stdinFile = QString())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    if (!stdinFile.isEmpty())
        process.setStandardInputFile(stdinFile);
    process.start(QStringLiteral(QM320_CLI), args);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QString data(const char *name)
{
    return QStringLiteral(QM320_TEST_DATA "/") + QLatin1String(name);
}

// A row of `show`, with the logging time left out.
QByteArray shown(int no, const char *function, const char *value, const char *unit, const char *judge = "pass")
{
    return QStringLiteral(R"({"No":%1,"Time":"T","DC/AC":"%2","Value":"%3","Unit":"%4","Auto":"%5","NVal":null})")
        .arg(no)
        .arg(QLatin1String(function), QLatin1String(value), QLatin1String(unit), QLatin1String(judge))
        .toUtf8();
}

QList<QByteArray> linesWithoutTimes(const QByteArray &out)
{
    static const QRegularExpression time(QStringLiteral(R"("Time":"\d\d:\d\d:\d\d")"));
    QList<QByteArray> lines;
    for (const QByteArray &line : out.split('\n')) {
        if (!line.isEmpty())
            lines << QString::fromUtf8(line).replace(time, QStringLiteral(R"("Time":"T")")).toUtf8();
    }
    return lines;
}

// The values of one key in JSON lines; "null" for null.
QStringList valuesOf(const QByteArray &out, const QString &key)
{
    QStringList values;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonValue v = QJsonDocument::fromJson(line).object().value(key);
        values << (v.isNull() ? QStringLiteral("null") : v.toString());
    }
    return values;
}

} // namespace

class TestLogCli : public QObject
{
    Q_OBJECT

private slots:
    void logThenShow_data();
    void logThenShow();
    void showPrintsNothingOfAFailingFile();
    void showTextNullCellsAsEmpty();
    void unitOfEveryRange_data();
    void unitOfEveryRange();
    void oldFilesWithHertz_data();
    void oldFilesWithHertz();
    void showEscapesTexts();
    void statistics_data();
    void statistics();
    void exportCsv();
    void refusals_data();
    void refusals();
    void help_data();
    void help();

private:
    QTemporaryDir m_dir;
};

void TestLogCli::logThenShow_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("fromStdin");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QByteArray>("summary");
    QTest::addColumn<QList<QByteArray>>("rows");

    // log-frames: six frames of 01.23 V, then 01.24 V, the same in MANU,
    // 1.000 kOhm and -005.0 mV.
    const QList<QByteArray> every{shown(1, "DC", "01.23", "V"),  shown(2, "DC", "01.23", "V"),
                                  shown(3, "DC", "01.23", "V"),  shown(4, "DC", "01.23", "V"),
                                  shown(5, "DC", "01.23", "V"),  shown(6, "DC", "01.23", "V"),
                                  shown(7, "DC", "01.24", "V"),  shown(8, "DC", "01.24", "V"),
                                  shown(9, "OHM", "1.000", "k*"), shown(10, "DC", "-005.0", "mV")};
    QTest::newRow("every frame, as text") << QStringList{} << data("log-frames.bin") << false << "every.xls"
                                          << QByteArray("10 frames decoded, 10 rows saved to ") << every;
    QTest::newRow("without repeats, USB reports, as XML")
        << QStringList{"--hid", "--no-repeat"} << data("log-frames.hid") << false << "norepeat.xml"
        << QByteArray("10 frames decoded, 5 rows saved to ")
        << QList<QByteArray>{every[0], every[6], every[7], every[8], every[9]};
    QTest::newRow("a limit and judgement limits, from standard input")
        << QStringList{"--limit", "2", "--low", "1.5", "--high", "2"} << data("log-frames.bin") << true << "limit.txt"
        << QByteArray("10 frames decoded, 2 rows saved to ")
        << QList<QByteArray>{shown(1, "DC", "01.23", "V", "Fail"), shown(2, "DC", "01.23", "V", "Fail")};
}

void TestLogCli::logThenShow()
{
    QFETCH(QStringList, options);
    QFETCH(QString, input);
    QFETCH(bool, fromStdin);
    QFETCH(QString, out);
    QFETCH(QByteArray, summary);
    QFETCH(QList<QByteArray>, rows);

    const QString file = m_dir.filePath(out);
    QStringList args = QStringList{"log"} + options + QStringList{"--out", file};
    if (!fromStdin)
        args << input;
    const Run logged = runCli(args, fromStdin ? input : QString());
    QCOMPARE(logged.exitCode, 0);
    QCOMPARE(logged.out, summary + file.toUtf8() + '\n');

    const Run show = runCli({"show", file});
    QCOMPARE(show.exitCode, 0);
    QCOMPARE(show.err, QByteArray());
    QCOMPARE(linesWithoutTimes(show.out), rows);
}

void TestLogCli::showTextNullCellsAsEmpty()
{
    // A text file writes "NULL" for an empty cell: show prints the empty
    // text, as for the same row in XML; No and NVal have no value.
    const QString file = m_dir.filePath(QStringLiteral("nullcells.txt"));
    QFile text(file);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\nNULL\t10:15:03\tNULL\t01.23\tNULL\t\"NULL\"\r\n");
    text.close();
    const Run show = runCli({"show", file});
    QCOMPARE(show.exitCode, 0);
    QCOMPARE(show.out, QByteArray(R"({"No":null,"Time":"10:15:03","DC/AC":"","Value":"01.23","Unit":"","Auto":"NULL","NVal":null})"
                                  "\n"));
}

void TestLogCli::unitOfEveryRange_data()
{
    QTest::addColumn<QString>("out");
    QTest::newRow("text") << "units.xls";
    QTest::newRow("XML") << "units.xml";
}

// The unit as the meter shows it, prefix included, from the decoder through
// the JSON of decode, a saved file and the JSON of show.
void TestLogCli::unitOfEveryRange()
{
    QFETCH(QString, out);
    using namespace MeterBits;
    const struct
    {
        QByteArray frame;
        const char *unit;
    } ranges[] = {
        {meterFrame('+', "1234", '1', {Dc, 0, 0, Volt}), "V"},
        {meterFrame('+', "1234", '2', {Dc, 0, Milli, Volt}), "mV"},
        {meterFrame('+', "1234", '1', {Dc, 0, 0, Ampere}), "A"},
        {meterFrame('+', "1234", '2', {Ac, 0, Milli, Ampere}), "mA"},
        {meterFrame('+', "1234", '4', {Dc, 0, Micro, Ampere}), "uA"},
        {meterFrame('+', "1234", '4', {0, Nano, 0, Farad}), "nF"},
        {meterFrame('+', "1234", '1', {0, 0, Micro, Farad}), "uF"},
        {meterFrame('+', "1234", '4', {0, 0, 0, Ohm}), "*"},
        {meterFrame('+', "1234", '2', {0, 0, Kilo, Ohm}), "k*"},
        {meterFrame('+', "1234", '1', {0, 0, Mega, Ohm}), "M*"},
        {meterFrame('+', "1234", '2', {0, 0, 0, Hertz}), "Hz"},
        {meterFrame('+', "3273", '2', {0, 0, Kilo, Hertz}), "kHz"},
        {meterFrame('+', "1202", '4', {0, 0, Kilo, Hertz}), "kHz"},
        {meterFrame('+', "1202", '1', {0, 0, Mega, Hertz}), "MHz"},
        {meterFrame('+', "0500", '4', {0, 0, Duty, 0}), "%"},
        {meterFrame('+', "0025", '0', {0, 0, 0, Celsius}), "#"},
        {meterFrame('+', "0077", '0', {0, 0, 0, Fahrenheit}), "?"},
        {meterFrame('+', "0583", '1', {0, 0, Diode, Volt}), "V"},
    };
    QByteArray capture("\n");
    QStringList units;
    for (const auto &range : ranges) {
        capture += range.frame;
        units << QString::fromLatin1(range.unit);
    }
    const QString input = m_dir.filePath(out + ".bin");
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(capture) == capture.size());
    file.close();

    const Run decoded = runCli({"decode", input});
    QCOMPARE(decoded.exitCode, 0);
    QCOMPARE(valuesOf(decoded.out, "unit"), units);

    const QString table = m_dir.filePath(out);
    QCOMPARE(runCli({"log", "--out", table, input}).exitCode, 0);
    const Run shownRows = runCli({"show", table});
    QCOMPARE(shownRows.exitCode, 0);
    QCOMPARE(valuesOf(shownRows.out, "Unit"), units);
}

void TestLogCli::oldFilesWithHertz_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << "old.xls"
                          << QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n1\t10:15:03\tFreq\t32.73\tHz\tpass\r\n");
    QTest::newRow("XML") << "old.xml"
                         << QByteArray(R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
                                       R"(<FIELD attrname="No" fieldtype="i4"/><FIELD attrname="Time" fieldtype="string" WIDTH="20"/>)"
                                       R"(<FIELD attrname="DC/AC" fieldtype="string" WIDTH="20"/><FIELD attrname="Value" fieldtype="string" WIDTH="20"/>)"
                                       R"(<FIELD attrname="Unit" fieldtype="string" WIDTH="20"/><FIELD attrname="Auto" fieldtype="string" WIDTH="20"/>)"
                                       R"(<FIELD attrname="NVal" fieldtype="i4"/></FIELDS><PARAMS CHANGE_LOG="1 0 4"/></METADATA><ROWDATA>)"
                                       R"(<ROW RowState="4" No="1" Time="10:15:03" DC/AC="Freq" Value="32.73" Unit="Hz" Auto="pass"/>)"
                                       R"(</ROWDATA></DATAPACKET>)");
}

// Files logged before frequencies carried their prefix hold "Hz" for every
// frequency; they open as they are.
void TestLogCli::oldFilesWithHertz()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    const Run shownRows = runCli({"show", path});
    QCOMPARE(shownRows.exitCode, 0);
    QCOMPARE(valuesOf(shownRows.out, "Unit"), QStringList{"Hz"});
    QCOMPARE(valuesOf(shownRows.out, "Value"), QStringList{"32.73"});
}

// Cells hold any text a file brings: show's JSON escapes what JSON must and
// writes the rest as UTF-8.
void TestLogCli::showEscapesTexts()
{
    const QString path = m_dir.filePath(QStringLiteral("escapes.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
               R"(<FIELD attrname="No" fieldtype="i4"/><FIELD attrname="Time" fieldtype="string" WIDTH="20"/>)"
               R"(<FIELD attrname="DC/AC" fieldtype="string" WIDTH="20"/><FIELD attrname="Value" fieldtype="string" WIDTH="20"/>)"
               R"(<FIELD attrname="Unit" fieldtype="string" WIDTH="20"/><FIELD attrname="Auto" fieldtype="string" WIDTH="20"/>)"
               R"(<FIELD attrname="NVal" fieldtype="i4"/></FIELDS><PARAMS CHANGE_LOG="1 0 4"/></METADATA><ROWDATA>)"
               "<ROW RowState=\"4\" No=\"1\" Time=\"10:15:03\" DC/AC=\"a&quot;b\\c\" Value=\"1&#9;2&#10;3\" "
               "Unit=\"\u00b5\u03a9\U0001F600\" Auto=\"pass\"/></ROWDATA></DATAPACKET>");
    file.close();
    const Run shownRows = runCli({"show", path});
    QCOMPARE(shownRows.exitCode, 0);
    QCOMPARE(shownRows.out, QByteArray("{\"No\":1,\"Time\":\"10:15:03\",\"DC/AC\":\"a\\\"b\\\\c\",\"Value\":\"1\\t2\\n3\","
                                       "\"Unit\":\"\u00b5\u03a9\U0001F600\",\"Auto\":\"pass\",\"NVal\":null}\n"));
}

void TestLogCli::showPrintsNothingOfAFailingFile()
{
    // Line 3 has eight cells: a value with an inner blank, and NVal. An open
    // is all or nothing: the good line before it is not shown either.
    const QString file = data("log-eightcells.txt");
    const Run show = runCli({"show", file});
    QCOMPARE(show.exitCode, 2);
    QCOMPARE(show.out, QByteArray());
    QVERIFY2(show.err.startsWith("Failed to Load File!\n"), show.err.constData());
    QVERIFY2(show.err.contains(file.toUtf8() + ": line 3: cell 8 of 7"), show.err.constData());
}

void TestLogCli::statistics_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QList<QByteArray>>("lines");   // after the summary line

    // decode-serial: 1.234 V, -04.00 mV, over range in kOhm, 230.5 V AC,
    // 50 % duty cycle.
    QTest::newRow("modes, the last row's last")
        << QStringList{} << data("decode-serial.bin")
        << QList<QByteArray>{"statistics DC mV: n 2  min -4  max 1234  mean 615  sd 875.4  Pass 2  Fail 0",
                             "statistics OHM kΩ: n 0  Pass 0  Fail 1",
                             "statistics AC V: n 1  min 230.5  max 230.5  mean 230.5  Pass 1  Fail 0",
                             "statistics DutyCycle %: n 1  min 50  max 50  mean 50  Pass 1  Fail 0"};
    QTest::newRow("of the rows logged, under a limit and judged")
        << QStringList{"--no-repeat", "--low", "1.235", "--high", "2"} << data("log-frames.bin")
        << QList<QByteArray>{"statistics OHM kΩ: n 1  min 1  max 1  mean 1  Pass 0  Fail 1",
                             "statistics DC mV: n 4  min -5  max 1240  mean 926.25  sd 620.85  Pass 2  Fail 2"};
}

void TestLogCli::statistics()
{
    QFETCH(QStringList, options);
    QFETCH(QString, input);
    QFETCH(QList<QByteArray>, lines);
    const QString out = m_dir.filePath(QStringLiteral("stats.xls"));
    const Run run = runCli(QStringList{"log", "--stats", "--out", out} + options + QStringList{input});
    QCOMPARE(run.exitCode, 0);
    QList<QByteArray> printed = run.out.split('\n');
    QCOMPARE(printed.takeLast(), QByteArray());
    QVERIFY2(printed.takeFirst().contains(" rows saved to "), run.out.constData());
    QCOMPARE(printed, lines);
}

void TestLogCli::exportCsv()
{
    // The logged rows of a capture, as CSV: each row's date and time, the
    // value as a number, the unit with its symbol.
    const QString table = m_dir.filePath(QStringLiteral("export.xml"));
    const QString csv = m_dir.filePath(QStringLiteral("export.csv"));
    QCOMPARE(runCli({"log", "--out", table, data("log-frames.bin")}).exitCode, 0);
    const Run run = runCli({"export", table, "--csv", csv});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out + run.err, QByteArray());

    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.takeFirst(), QByteArray("timestamp,seconds,value,unit,function,judgement,frame\r"));
    QCOMPARE(lines.size(), 10);
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.000[+-]\d\d:\d\d),(\d+\.\d{3}),(.*)\r$)"));
    QStringList rest;
    for (const QByteArray &line : lines) {
        const QRegularExpressionMatch match = form.match(QString::fromUtf8(line));
        QVERIFY2(match.hasMatch(), line.constData());
        rest << match.captured(3);
    }
    QCOMPARE(rest, QStringList({"1.23,V,DC,pass,1", "1.23,V,DC,pass,2", "1.23,V,DC,pass,3", "1.23,V,DC,pass,4",
                                "1.23,V,DC,pass,5", "1.23,V,DC,pass,6", "1.24,V,DC,pass,7", "1.24,V,DC,pass,8",
                                "1,kΩ,OHM,pass,9", "-5,mV,DC,pass,10"}));
}

void TestLogCli::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("log without --out") << QStringList{"log", data("log-frames.bin")} << QByteArray("--out");
    QTest::newRow("limit not a number") << QStringList{"log", "--limit", "ten", "--out", "x.txt"} << QByteArray("--limit");
    QTest::newRow("judgement limit not a number") << QStringList{"log", "--low", "abc", "--out", "x.txt"} << QByteArray("not a limit");
    QTest::newRow("missing input") << QStringList{"log", "--out", "x.txt", "/nonexistent/input.bin"}
                                   << QByteArray("cannot read /nonexistent/input.bin");
    QTest::newRow("folder missing for the output") << QStringList{"log", "--out", "/nonexistent/x.xml", data("log-frames.bin")}
                                                   << QByteArray("Could not save table to specified file: /nonexistent/x.xml");
    QTest::newRow("show without a file") << QStringList{"show"} << QByteArray("show needs a table file");
    QTest::newRow("show a missing file") << QStringList{"show", "/nonexistent/t.xml"} << QByteArray("Failed to Load File!");
    QTest::newRow("unknown option") << QStringList{"show", "--all", "t.txt"} << QByteArray("unknown option --all");
    QTest::newRow("export without --csv") << QStringList{"export", data("report-rows.txt")} << QByteArray("--csv");
    QTest::newRow("export a missing file") << QStringList{"export", "/nonexistent/t.xls", "--csv", "x.txt"}
                                           << QByteArray("Failed to Load File!");
    QTest::newRow("export into a missing folder") << QStringList{"export", data("report-rows.txt"), "--csv", "/nonexistent/x.csv"}
                                                  << QByteArray("/nonexistent/x.csv");
}

void TestLogCli::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    const Run run = runCli(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), run.err.constData());
    QVERIFY(!QFile::exists(QStringLiteral("x.txt")));
}

void TestLogCli::help_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("log") << "log";
    QTest::newRow("show") << "show";
    QTest::newRow("export") << "export";
}

void TestLogCli::help()
{
    QFETCH(QString, command);
    const Run run = runCli({command, "--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("Usage:\n  qm320-cli " + command.toUtf8()));
}

QTEST_GUILESS_MAIN(TestLogCli)
#include "tst_logcli.moc"
