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
    p.start(QStringLiteral(QM320_BINARY_DIR "/tools/qm320-cli"), args);
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

void TestCli::help()
{
    const Result main = run({"--help"});
    QCOMPARE(main.exitCode, 0);
    QVERIFY(main.out.contains("decode"));
    const Result decode = run({"decode", "--help"});
    QCOMPARE(decode.exitCode, 0);
    for (const char *key : {"frame", "value", "count", "numeric", "function", "unit", "range", "judge", "flags",
                            "axis_min", "axis_max", "--hid", "--low"})
        QVERIFY2(decode.out.contains(key), key);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
