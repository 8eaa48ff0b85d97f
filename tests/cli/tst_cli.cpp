#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// qm320-cli decode end to end: captured data in, JSON lines out.
class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void decodeFixtures_data();
    void decodeFixtures();
    void limitsChangeTheJudgement();
    void commaLocale();
    void failures_data();
    void failures();
    void commandLines_data();
    void commandLines();
    void help();

private:
    struct Result
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    static Result run(const QStringList &args, const QByteArray &input = {},
                      const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
};

namespace {

QString data(const char *name) { return QStringLiteral(QM320_TEST_DATA "/") + QLatin1String(name); }

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TestCli::Result TestCli::run(const QStringList &args, const QByteArray &input, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QM320_BINARY_DIR "/cli/qm320-cli"), args);
    if (!p.waitForStarted())
        return {};
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

void TestCli::decodeFixtures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("stdinData");
    QTest::addColumn<QString>("expected");

    // The serial capture holds a wrong sign, a hex letter and a short frame;
    // the HID capture the same frames as the cable's reports, where the short
    // frame is not accepted.
    QTest::newRow("serial file") << QStringList{"decode", data("decode-serial.bin")} << QByteArray()
                                 << data("decode-serial.jsonl");
    QTest::newRow("serial on stdin") << QStringList{"decode"} << readFile(data("decode-serial.bin"))
                                     << data("decode-serial.jsonl");
    QTest::newRow("HID reports") << QStringList{"decode", "--hid", data("decode-hid.txt")} << QByteArray()
                                 << data("decode-hid.jsonl");
    QTest::newRow("HID reports on stdin, dash") << QStringList{"decode", "--hid", "-"}
                                                << readFile(data("decode-hid.txt")) << data("decode-hid.jsonl");
}

void TestCli::decodeFixtures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, stdinData);
    QFETCH(QString, expected);
    const Result r = run(args, stdinData);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, readFile(expected));
}

void TestCli::limitsChangeTheJudgement()
{
    const Result r = run({"decode", "--low", "1.2", "--high", "1.234", data("decode-serial.bin")});
    QCOMPARE(r.exitCode, 0);
    QStringList judgements;
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.isEmpty())
            judgements << QJsonDocument::fromJson(line).object().value("judge").toString();
    QCOMPARE(judgements, QStringList({"pass", "Fail", "Fail", "Fail", "Fail"}));
}

void TestCli::commaLocale()
{
    QTemporaryDir dir;
    QProcess localedef;
    localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", dir.filePath("de_DE.UTF-8")});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() > 1)
        QSKIP("localedef could not build de_DE here");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LOCPATH", dir.path());
    env.insert("LC_ALL", "de_DE.UTF-8");
    // Limits typed with a point are rewritten to the locale's comma.
    const Result r = run({"decode", "--low", "1.2", "--high", "2", data("decode-serial.bin")}, {}, env);
    QCOMPARE(r.exitCode, 0);
    const QJsonObject first = QJsonDocument::fromJson(r.out.split('\n').first()).object();
    QCOMPARE(first.value("value").toString(), QStringLiteral("1,234"));
    QCOMPARE(first.value("judge").toString(), QStringLiteral("pass"));
}

void TestCli::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << QStringList{"decode", "/nonexistent/capture.bin"}
                                  << "cannot read /nonexistent/capture.bin: No such file or directory";
    QTest::newRow("a folder") << QStringList{"decode", QStringLiteral(QM320_TEST_DATA)} << "cannot read";
    QTest::newRow("malformed HID line") << QStringList{"decode", "--hid", data("decode-hid-malformed.txt")}
                                        << data("decode-hid-malformed.txt") + ":2: '0Z' is not a hex byte";
    QTest::newRow("limit not a number") << QStringList{"decode", "--low", "abc"} << "'abc' is not a limit";
    QTest::newRow("unknown option") << QStringList{"decode", "--fast"} << "unknown option --fast";
    QTest::newRow("unknown command") << QStringList{"encode"} << "unknown command 'encode'";
    // The test machines have no USB interface cable.
    QTest::newRow("no USB cable") << QStringList{"decode", "--hid-device"}
                                  << "no USB interface cable (\"USB to Serial\") is plugged in";
    QTest::newRow("no such HID device") << QStringList{"decode", "--hid-device", "/dev/hidraw-none"}
                                        << "/dev/hidraw-none is not a HID device that is plugged in";
}

void TestCli::failures()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    if (args.endsWith(QStringLiteral("--hid-device")) && !QDir(QStringLiteral("/dev")).entryList({"hidraw*"}, QDir::System).isEmpty())
        QSKIP("this machine has HID devices; one of them may be the cable");
    const Result r = run(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
    QCOMPARE(r.err.count('\n'), 1);
}

void TestCli::commandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");   // how standard output starts
    QTest::addColumn<QByteArray>("err");   // all of standard error

    const QByteArray version = "qm320-cli " QM320_VERSION "\n";
    const QByteArray mainHelp = "qm320-cli: the meter core of qm320 on the command line.\n";
    const QString serial = data("decode-serial.bin");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << version << QByteArray();
    QTest::newRow("-v") << QStringList{"-v"} << 0 << version << QByteArray();
    QTest::newRow("--help") << QStringList{"--help"} << 0 << mainHelp << QByteArray();
    QTest::newRow("help command") << QStringList{"help"} << 0 << mainHelp << QByteArray();
    QTest::newRow("no command: one line of usage") << QStringList{} << 2 << QByteArray()
                                                   << QByteArray("qm320-cli: usage: qm320-cli COMMAND [OPTIONS] (see qm320-cli --help)\n");
    QTest::newRow("an extra word after --version") << QStringList{"--version", "extra"} << 2 << QByteArray()
                                                   << QByteArray("qm320-cli: --version takes no argument; extra is one too many\n");
    QTest::newRow("unknown option before the command")
        << QStringList{"--fast", "decode"} << 2 << QByteArray()
        << QByteArray("qm320-cli: unknown option --fast (see qm320-cli --help)\n");
    QTest::newRow("the command's options are its own") << QStringList{"decode", "--version"} << 2 << QByteArray()

        << QByteArray("qm320-cli: unknown option --version (see qm320-cli decode --help)\n");
    QTest::newRow("decode: values after =") << QStringList{"decode", "--low=1.2", "--high=1.234", serial} << 0
                                            << QByteArray("{\"frame\":") << QByteArray();
    QTest::newRow("decode: options after the file, one dash") << QStringList{"decode", serial, "-low", "1"} << 0
                                                              << QByteArray("{\"frame\":") << QByteArray();
    QTest::newRow("decode: -- before a file named like an option")
        << QStringList{"decode", "--", "--capture.bin"} << 2 << QByteArray()
        << QByteArray("qm320-cli: cannot read --capture.bin: No such file or directory\n");
    QTest::newRow("decode: --port without a name") << QStringList{"decode", "--port"} << 2 << QByteArray()

        << QByteArray("qm320-cli: --port needs a port name (COM1..COM4) or a device path\n");
    QTest::newRow("decode: --low without a value") << QStringList{"decode", serial, "--low"} << 2 << QByteArray()
                                                   << QByteArray("qm320-cli: --low needs a value\n");
    QTest::newRow("decode: --hid with a value") << QStringList{"decode", "--hid=yes"} << 2 << QByteArray()
                                                << QByteArray("qm320-cli: --hid takes no value\n");
    QTest::newRow("decode: --frames not a number") << QStringList{"decode", "--port", "COM1", "--frames", "ten"} << 2
                                                   << QByteArray()

        << QByteArray("qm320-cli: --frames needs a whole number of frames\n");
    QTest::newRow("decode: --reconnect is an option of decode")
        << QStringList{"decode", "--port", "COM1", "--reconnect", "--seconds", "soon"} << 2 << QByteArray()
        << QByteArray("qm320-cli: --seconds needs a number of seconds\n");
    QTest::newRow("decode: --reconnect without a live link") << QStringList{"decode", "--reconnect", serial} << 2
                                                             << QByteArray()

        << QByteArray("qm320-cli: --reconnect needs a live link: --port NAME or --hid-device [PATH]\n");
    QTest::newRow("decode: two links") << QStringList{"decode", "--port", "COM1", "--hid-device"} << 2 << QByteArray()

        << QByteArray("qm320-cli: --port and --hid-device read one link each; choose one\n");
    QTest::newRow("decode: a live link and a file") << QStringList{"decode", "--port", "COM1", serial} << 2 << QByteArray()
                                                    << "qm320-cli: decode reads a live link or a file; " + serial.toUtf8()
                                                           + " is one too many\n";
    QTest::newRow("decode: --port twice") << QStringList{"decode", "--port", "COM1", "--port", "COM2"} << 2 << QByteArray()
                                          << QByteArray("qm320-cli: --port is given more than once\n");
    QTest::newRow("decode: --low twice, one with =") << QStringList{"decode", "--low=1", serial, "-low", "2"} << 2
                                                     << QByteArray() << QByteArray("qm320-cli: --low is given more than once\n");
    QTest::newRow("decode: --hid-device twice") << QStringList{"decode", "--hid-device", "--hid-device=/dev/hidraw1"} << 2
                                                << QByteArray()
                                                << QByteArray("qm320-cli: --hid-device is given more than once\n");
    QTest::newRow("decode: a flag twice is harmless") << QStringList{"decode", "--hid", "--hid", data("decode-hid.txt")}
                                                      << 0 << QByteArray("{\"frame\":") << QByteArray();
    QTest::newRow("decode: limits the wrong way round are taken, and said so")
        << QStringList{"decode", "--low", "5", "--high", "1", serial} << 0 << QByteArray("{\"frame\":")
        << QByteArray("qm320-cli: --low 5 is above --high 1: every reading will be judged Fail\n");
    QTest::newRow("decode: two files") << QStringList{"decode", serial, "b.bin"} << 2 << QByteArray()
                                       << QByteArray("qm320-cli: decode reads one file; b.bin is one too many\n");
    QTest::newRow("log: --out without a name") << QStringList{"log", serial, "--out"} << 2 << QByteArray()
                                               << QByteArray("qm320-cli: --out needs a file name\n");
    QTest::newRow("log: --limit below zero") << QStringList{"log", "--limit=-1", "--out", "x.txt"} << 2 << QByteArray()
                                             << QByteArray("qm320-cli: --limit needs a whole number of rows\n");
    QTest::newRow("log: --out twice") << QStringList{"log", "--out", "x.txt", "--out", "y.txt", serial} << 2
                                      << QByteArray() << QByteArray("qm320-cli: --out is given more than once\n");
    QTest::newRow("log: two inputs") << QStringList{"log", "--out", "x.txt", "a.bin", "b.bin"} << 2 << QByteArray()
                                     << QByteArray("qm320-cli: log reads one input; b.bin is one too many\n");
    QTest::newRow("show: two files") << QStringList{"show", "a.txt", "b.txt"} << 2 << QByteArray()
                                     << QByteArray("qm320-cli: show reads one file; b.txt is one too many\n");
    QTest::newRow("report: --pdf without a name") << QStringList{"report", "a.txt", "--pdf"} << 2 << QByteArray()

        << QByteArray("qm320-cli: --pdf needs the name of the PDF file to write\n");
    QTest::newRow("report: unknown option") << QStringList{"report", "-x", "a.txt"} << 2 << QByteArray()

        << QByteArray("qm320-cli: unknown option -x (see qm320-cli report --help)\n");
    QTest::newRow("simulate: --list") << QStringList{"simulate", "--list"} << 0 << QByteArray("all ") << QByteArray();
    QTest::newRow("simulate: --interval not a number") << QStringList{"simulate", "--interval=fast"} << 2 << QByteArray()

        << QByteArray("qm320-cli: --interval needs a whole number of milliseconds\n");
    QTest::newRow("simulate: --scenario twice") << QStringList{"simulate", "--scenario", "ohm", "--scenario=dcv"} << 2
                                                << QByteArray()
                                                << QByteArray("qm320-cli: --scenario is given more than once\n");
    QTest::newRow("simulate: an argument") << QStringList{"simulate", "ohm"} << 2 << QByteArray()

        << QByteArray("qm320-cli: simulate takes only options; ohm is not one (see qm320-cli simulate --help)\n");
}

void TestCli::commandLines()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const Result r = run(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.out.startsWith(out), r.out.left(200).constData());
    QCOMPARE(r.err, err);
    QVERIFY(!QFile::exists(QStringLiteral("x.txt")));
}

void TestCli::help()
{
    const Result main = run({"--help"});
    QCOMPARE(main.exitCode, 0);
    QVERIFY(main.out.contains("decode"));
    const Result decode = run({"decode", "--help"});
    QCOMPARE(decode.exitCode, 0);
    for (const char *key : {"frame", "value", "count", "numeric", "function", "unit", "range", "judge", "flags",
                            "axis_min", "axis_max", "--hid", "--low", "--reconnect"})
        QVERIFY2(decode.out.contains(key), key);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
