// qm320-cli's serial link as a user runs it: the simulator's streams decoded
// by `decode`, and `decode --port` reading a running simulator.

#include "fakes/simulatorprocess.h"
#include "simulator/metersimulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Cli = QStringLiteral(QM320_BINARY_DIR "/cli/qm320-cli");

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(Cli, args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (!line.isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    }
    return objects;
}

} // namespace

class TestSerialCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void simulatedStreamsDecode_data();
    void simulatedStreamsDecode();
    void decodePortReadsARunningSimulator();
    void decodePortNamesTheDeviceItCannotOpen();
    void lostPort_data();
    void lostPort();

private:
    QTemporaryDir m_dir;
};

void TestSerialCli::initTestCase()
{
    QVERIFY(QFile::exists(Cli));
    QVERIFY(m_dir.isValid());
}

void TestSerialCli::simulatedStreamsDecode_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("hid");
    for (const MeterSimulator::ScenarioInfo &s : MeterSimulator::scenarios() + QList<MeterSimulator::ScenarioInfo>{{QStringLiteral("all"), {}}}) {
        QTest::addRow("%s, COM link", qPrintable(s.name)) << s.name << false;
        QTest::addRow("%s, USB link", qPrintable(s.name)) << s.name << true;
    }
}

void TestSerialCli::simulatedStreamsDecode()
{
    QFETCH(QString, scenario);
    QFETCH(bool, hid);

    const QString file = m_dir.filePath(scenario + (hid ? QStringLiteral(".hid") : QStringLiteral(".bin")));
    const Run simulate = run({QStringLiteral("simulate"), QStringLiteral("--scenario"), scenario,
                              hid ? QStringLiteral("--hid-out") : QStringLiteral("--out"), file});
    QCOMPARE(simulate.exitCode, 0);
    QStringList decodeArgs{QStringLiteral("decode")};
    if (hid)
        decodeArgs << QStringLiteral("--hid");
    const Run decode = run(decodeArgs << file);
    QCOMPARE(decode.exitCode, 0);

    // Every frame of one pass decodes, each to what the simulator showed.
    MeterSimulator meter(scenario);
    const QList<QJsonObject> lines = jsonLines(decode.out);
    QCOMPARE(lines.size(), meter.cycleLength());
    for (const QJsonObject &line : lines) {
        const FrameBytes frame = meter.nextFrame();
        const QByteArray hex = QByteArray(reinterpret_cast<const char *>(frame.data()), hid ? 14 : 13).toHex().toUpper();
        QCOMPARE(line.value(QLatin1String("frame")).toString().toLatin1(), hex);
    }
}

void TestSerialCli::decodePortReadsARunningSimulator()
{
    QProcess simulator;
    const QString device = startSimulator(simulator, {QStringLiteral("--scenario"), QStringLiteral("ohm"),
                                                      QStringLiteral("--interval"), QStringLiteral("0")});
    QVERIFY(device.startsWith(QLatin1String("/dev/")));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QM320_COM1"), device);
    const Run decode = run({QStringLiteral("decode"), QStringLiteral("--port"), QStringLiteral("COM1"),
                            QStringLiteral("--frames"), QStringLiteral("5"), QStringLiteral("--seconds"),
                            QStringLiteral("30")},
                           env);
    simulator.terminate();
    simulator.waitForFinished();

    QCOMPARE(decode.exitCode, 0);
    const QList<QJsonObject> lines = jsonLines(decode.out);
    QCOMPARE(lines.size(), 5);
    for (const QJsonObject &line : lines)
        QCOMPARE(line.value(QLatin1String("function")).toString(), QStringLiteral("OHM"));
}

void TestSerialCli::decodePortNamesTheDeviceItCannotOpen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QM320_COM2"), QStringLiteral("/dev/qm320-missing"));
    const Run decode = run({QStringLiteral("decode"), QStringLiteral("--port"), QStringLiteral("COM2")}, env);
    QCOMPARE(decode.exitCode, 2);
    QVERIFY(decode.out.isEmpty());
    QCOMPARE(decode.err, QByteArray("qm320-cli: COM2 (/dev/qm320-missing) cannot be opened: there is no such device; "
                                    "plug in the USB-to-RS-232 adapter, or set QM320_COM2 to the device to use.\n"));
}

void TestSerialCli::lostPort_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::newRow("without --reconnect the run ends") << false;
    QTest::newRow("with --reconnect it waits and says the link was lost") << true;
}

void TestSerialCli::lostPort()
{
    QFETCH(bool, reconnect);
    QProcess simulator;
    const QString device = startSimulator(simulator, {QStringLiteral("--interval"), QStringLiteral("50")});
    QVERIFY(!device.isEmpty());

    QProcess decode;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QM320_COM1"), device);
    decode.setProcessEnvironment(env);
    QStringList args{QStringLiteral("decode"), QStringLiteral("--port"), QStringLiteral("COM1"),
                     QStringLiteral("--seconds"), reconnect ? QStringLiteral("4") : QStringLiteral("20")};
    if (reconnect)
        args << QStringLiteral("--reconnect");
    decode.start(Cli, args);
    QVERIFY(decode.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += decode.readAllStandardOutput()).count('\n') >= 2, 10000);

    // The simulator goes away: its end of the line hangs up.
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(5000));
    if (!reconnect) {
        // A lost link ends the run within a few seconds, with one line.
        QVERIFY(decode.waitForFinished(3000));
        QCOMPARE(decode.exitCode(), 2);
        const QByteArray err = decode.readAllStandardError();
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.contains("the link is lost"), err.constData());
        return;
    }
    // It waits for the port until the run's end, and the exit status says
    // that the link was lost meanwhile.
    QVERIFY(decode.waitForFinished(10000));
    QCOMPARE(decode.exitCode(), 3);
    const QByteArray err = decode.readAllStandardError();
    QVERIFY2(err.contains("waiting for COM1 to come back"), err.constData());
}

QTEST_GUILESS_MAIN(TestSerialCli)
#include "tst_serialcli.moc"
