// qm320-cli on the test machine's own kernel drivers: the serial link through
// ftdi_sio on a USB-to-RS-232 adapter that QEMU emulates, the USB link
// through uhid, hidraw, hidapi and udev's device events. Each run is checked
// frame by frame against the frames the meter sent, and pulling a link out
// must end a run, or with --reconnect pause it, as promised.

#include "cableprocess.h"
#include "guestrun.h"
#include "hostcontrol.h"
#include "readingcheck.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

using ReadingCheck::Link;

// The program's set-up report for the cable, report ID first; the kernel
// hands the cable either all of it or the nine bytes after the ID.
const QString SetupReport = QStringLiteral("00600900000300000000");

// A lost link must end a run without --reconnect within this time.
constexpr int LostLinkDeadlineMs = 3000;

// The program starts reading the cable a moment after it sends the set-up
// report; reports without payload before the first frame cover that moment,
// since the kernel keeps a report only for a reader that has the node open.
constexpr int LeadInMs = 1000;

bool isSetupReport(const QString &hex)
{
    return hex == SetupReport || hex == SetupReport.mid(2);
}

// Waits until the cable has received `count` feature reports since it was
// plugged in.
bool waitForSetupReports(CableProcess &cable, int count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (cable.featureReports().size() < count) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class TestVmCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serialLinkOnDefaultCom1();
    void usbLinkFindsCableAndSetsItUp();
    void cablePluggedInAfterStart();
    void twoCablesTwoRuns();
    void cablePulledAndPluggedBackWithReconnect();
    void adapterPulledAndPluggedBackWithReconnect();
    void pulledLinkEndsRun_data();
    void pulledLinkEndsRun();

private:
    QString m_run;
};

void TestVmCli::initTestCase()
{
    m_run = HostControl::runFolder();
    if (m_run.isEmpty())
        QSKIP("these tests run inside the test machine: scripts/vm-tests.sh");
    QVERIFY2(GuestRun::waitForAdapter(true, 15000), "the machine has no USB-to-RS-232 adapter at /dev/ttyUSB0");
}

void TestVmCli::serialLinkOnDefaultCom1()
{
    const QString capture = GuestRun::runFile(QStringLiteral("cli-serial.bin"));
    QVERIFY(GuestRun::writeSerialCapture(capture, 220, QStringLiteral("all")));
    HostControl host(m_run);
    SerialAdapter adapter(host);

    CliRun cli({QStringLiteral("decode"), QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--frames"),
                QStringLiteral("200")});
    // Bytes that reach the adapter before the port is open and set up are
    // the kernel's to drop, so the meter starts once the program holds it.
    QVERIFY2(cli.waitUntilHolding(GuestRun::AdapterNode, true, 10000), qPrintable(cli.howItEnded()));
    QTest::qWait(300);
    QVERIFY2(adapter.send(capture, 0), qPrintable(host.errorString()));

    QVERIFY2(cli.waitForExit(60000), qPrintable(QStringLiteral("%1 readings so far").arg(cli.lineCount())));
    QVERIFY2(cli.exitedWith(0), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));
    QCOMPARE(cli.errorLines(), QStringList());
    QFile file(capture);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QJsonObject> readings = ReadingCheck::parseLines(cli.output());
    QCOMPARE(readings.size(), 200);
    const QString difference = ReadingCheck::compare(readings, ReadingCheck::framesOfCapture(file.readAll()), Link::Serial);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestVmCli::usbLinkFindsCableAndSetsItUp()
{
    CableProcess cable(GuestRun::runFile(QStringLiteral("cli-usb-frames.txt")));
    QVERIFY2(cable.start(), qPrintable(cable.errorString()));
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));

    CliRun cli({QStringLiteral("decode"), QStringLiteral("--hid-device"), QStringLiteral("--frames"), QStringLiteral("200")});
    QVERIFY2(waitForSetupReports(cable, 1, 15000), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play 220")));

    QVERIFY2(cli.waitForExit(90000), qPrintable(QStringLiteral("%1 readings so far").arg(cli.lineCount())));
    QVERIFY2(cli.exitedWith(0), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));
    QCOMPARE(cli.errorLines(), QStringList());
    const QList<QJsonObject> readings = ReadingCheck::parseLines(cli.output());
    QCOMPARE(readings.size(), 200);
    const QString difference = ReadingCheck::compare(readings, cable.sentFrames(), Link::Usb);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    // Exactly the program's set-up report, at the connection and again when
    // the link closes.
    const QStringList features = cable.featureReports();
    QVERIFY(!features.isEmpty());
    for (const QString &report : features)
        QVERIFY2(isSetupReport(report), qPrintable(features.join(u' ')));
}

void TestVmCli::cablePluggedInAfterStart()
{
    CableProcess cable(GuestRun::runFile(QStringLiteral("cli-late-frames.txt")));
    QVERIFY2(cable.start(), qPrintable(cable.errorString()));

    CliRun cli({QStringLiteral("decode"), QStringLiteral("--hid-device"), QStringLiteral("--reconnect"),
                QStringLiteral("--frames"), QStringLiteral("20")});
    // The run has looked for the cable once it listens for device events;
    // a run that gives up does so at once.
    const bool listening = cli.waitUntilListening(15000);
    QTest::qWait(500);
    QVERIFY2(cli.isRunning(), qPrintable(QStringLiteral("without a cable and with --reconnect the run ended: %1; %2")
                                             .arg(cli.howItEnded(), cli.errorLines().join(u'\n'))));
    QVERIFY2(listening, "the run does not listen for device events");

    // Plugged in after the start: only udev's device events can tell.
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));
    QVERIFY2(waitForSetupReports(cable, 1, 15000), "the run did not pick up the cable plugged in after its start");
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play 25")));

    QVERIFY2(cli.waitForExit(30000), qPrintable(QStringLiteral("%1 readings so far").arg(cli.lineCount())));
    // No link was lost: there was none before the cable came.
    QVERIFY2(cli.exitedWith(0), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));
    const QList<QJsonObject> readings = ReadingCheck::parseLines(cli.output());
    QCOMPARE(readings.size(), 20);
    const QString difference = ReadingCheck::compare(readings, cable.sentFrames(), Link::Usb);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestVmCli::twoCablesTwoRuns()
{
    // Two meters, each on its own cable, each logged by its own run.
    CableProcess volts(GuestRun::runFile(QStringLiteral("cli-two-volts.txt")), QStringLiteral("dcv"));
    CableProcess ohms(GuestRun::runFile(QStringLiteral("cli-two-ohms.txt")), QStringLiteral("ohm"));
    QString nodes[2];
    CableProcess *cables[2] = {&volts, &ohms};
    for (int i = 0; i < 2; ++i) {
        QVERIFY2(cables[i]->start(), qPrintable(cables[i]->errorString()));
        QVERIFY2(cables[i]->command(QStringLiteral("create")), qPrintable(cables[i]->lastAnswer()));
        QVERIFY2(cables[i]->command(QStringLiteral("node")), qPrintable(cables[i]->lastAnswer()));
        nodes[i] = cables[i]->lastAnswer().section(u' ', 1);
    }
    QVERIFY(nodes[0] != nodes[1]);

    CliRun voltsRun({QStringLiteral("decode"), QStringLiteral("--hid-device"), nodes[0], QStringLiteral("--frames"),
                     QStringLiteral("30")});
    CliRun ohmsRun({QStringLiteral("decode"), QStringLiteral("--hid-device"), nodes[1], QStringLiteral("--frames"),
                    QStringLiteral("30")});
    for (int i = 0; i < 2; ++i)
        QVERIFY2(waitForSetupReports(*cables[i], 1, 15000), qPrintable(nodes[i]));

    // A third run for a cable that is read already is refused, names the
    // holder, and leaves the cable alone.
    CliRun intruder({QStringLiteral("decode"), QStringLiteral("--hid-device"), nodes[0], QStringLiteral("--frames"),
                     QStringLiteral("5")});
    QVERIFY2(intruder.waitForExit(15000), qPrintable(intruder.howItEnded()));
    QVERIFY2(intruder.exitedWith(2), qPrintable(intruder.howItEnded() + u' ' + intruder.errorLines().join(u'\n')));
    QCOMPARE(intruder.errorLines().size(), 1);
    const QString refusal = intruder.errorLines().first();
    QVERIFY2(refusal.contains(nodes[0]) && refusal.contains(QStringLiteral("qm320-cli (process %1) holds it").arg(voltsRun.pid())),
             qPrintable(refusal));
    QCOMPARE(volts.featureReports().size(), 1);

    for (CableProcess *cable : cables) {
        QVERIFY(cable->command(QStringLiteral("idle %1").arg(LeadInMs)));
        QVERIFY(cable->command(QStringLiteral("play 35")));
    }
    CliRun *runs[2] = {&voltsRun, &ohmsRun};
    for (int i = 0; i < 2; ++i) {
        QVERIFY2(runs[i]->waitForExit(60000), qPrintable(QStringLiteral("%1 readings so far").arg(runs[i]->lineCount())));
        QVERIFY2(runs[i]->exitedWith(0), qPrintable(runs[i]->howItEnded() + u' ' + runs[i]->errorLines().join(u'\n')));
        const QList<QJsonObject> readings = ReadingCheck::parseLines(runs[i]->output());
        QCOMPARE(readings.size(), 30);
        // Each run read its own meter's frames, and only those.
        const QString difference = ReadingCheck::compare(readings, cables[i]->sentFrames(), Link::Usb);
        QVERIFY2(difference.isEmpty(), qPrintable(nodes[i] + QStringLiteral(": ") + difference));
    }
}

void TestVmCli::cablePulledAndPluggedBackWithReconnect()
{
    CableProcess cable(GuestRun::runFile(QStringLiteral("cli-replug-frames.txt")));
    QVERIFY2(cable.start(), qPrintable(cable.errorString()));
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));

    CliRun cli({QStringLiteral("decode"), QStringLiteral("--hid-device"), QStringLiteral("--reconnect"),
                QStringLiteral("--frames"), QStringLiteral("60")});
    QVERIFY2(waitForSetupReports(cable, 1, 15000), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play 25")));
    QVERIFY2(cli.waitForLines(25, 30000), qPrintable(QStringLiteral("%1 readings").arg(cli.lineCount())));

    const int errorsBefore = int(cli.errorLines().size());
    QVERIFY2(cable.command(QStringLiteral("destroy")), qPrintable(cable.lastAnswer()));
    QVERIFY2(cli.waitForErrorLines(errorsBefore + 1, LostLinkDeadlineMs), "no word that the run waits for the cable");
    QTest::qWait(500);
    QVERIFY2(cli.isRunning(), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));

    // The same cable again, found through udev's device events.
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));
    QVERIFY2(waitForSetupReports(cable, 1, 15000), "the run did not take the cable back");
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play 45")));

    QVERIFY2(cli.waitForExit(60000), qPrintable(QStringLiteral("%1 readings so far").arg(cli.lineCount())));
    // The link was lost during the run.
    QVERIFY2(cli.exitedWith(3), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));
    QVERIFY2(cli.errorLines().size() >= errorsBefore + 2,
             qPrintable(QStringLiteral("a wait and a resumption, said: %1").arg(cli.errorLines().join(u'\n'))));
    const QList<QJsonObject> readings = ReadingCheck::parseLines(cli.output());
    QCOMPARE(readings.size(), 60);
    const QString difference = ReadingCheck::compare(readings, cable.sentFrames(), Link::Usb);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    for (const QString &report : cable.featureReports())
        QVERIFY2(isSetupReport(report), qPrintable(report));
}

void TestVmCli::adapterPulledAndPluggedBackWithReconnect()
{
    // The frames after the plug-in come from another scenario, so a frame
    // left over from before cannot pass for one sent after.
    const QString before = GuestRun::runFile(QStringLiteral("cli-replug-before.bin"));
    const QString after = GuestRun::runFile(QStringLiteral("cli-replug-after.bin"));
    QVERIFY(GuestRun::writeSerialCapture(before, 100, QStringLiteral("all")));
    QVERIFY(GuestRun::writeSerialCapture(after, 100, QStringLiteral("ohm")));
    HostControl host(m_run);
    SerialAdapter adapter(host);

    CliRun cli({QStringLiteral("decode"), QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--reconnect"),
                QStringLiteral("--frames"), QStringLiteral("60")});
    QVERIFY2(cli.waitUntilHolding(GuestRun::AdapterNode, true, 10000), qPrintable(cli.howItEnded()));
    QTest::qWait(300);
    QVERIFY2(adapter.send(before, 100), qPrintable(host.errorString()));
    QVERIFY2(cli.waitForLines(20, 30000), qPrintable(QStringLiteral("%1 readings").arg(cli.lineCount())));

    QVERIFY2(adapter.pull(), qPrintable(host.errorString()));
    QVERIFY2(cli.waitForErrorLines(1, LostLinkDeadlineMs), "no word that the run waits for the adapter");
    // It lets go of the dead port, so the adapter comes back as ttyUSB0.
    QVERIFY2(cli.waitUntilHolding(GuestRun::AdapterNode, false, LostLinkDeadlineMs), "the run holds the pulled port");
    QVERIFY2(cli.isRunning(), qPrintable(cli.howItEnded()));
    const int readingsBefore = cli.lineCount();

    QVERIFY2(adapter.plug(), "the adapter did not come back as /dev/ttyUSB0");
    QVERIFY2(cli.waitUntilHolding(GuestRun::AdapterNode, true, 10000),
             qPrintable(QStringLiteral("the run did not open the adapter again; said: ") + cli.errorLines().join(u'\n')));
    QTest::qWait(300);
    QVERIFY2(adapter.send(after, 50), qPrintable(host.errorString()));

    QVERIFY2(cli.waitForExit(60000), qPrintable(QStringLiteral("%1 readings so far").arg(cli.lineCount())));
    QVERIFY2(cli.exitedWith(3), qPrintable(cli.howItEnded() + u' ' + cli.errorLines().join(u'\n')));
    QVERIFY2(cli.errorLines().size() >= 2,
             qPrintable(QStringLiteral("a wait and a resumption, said: %1").arg(cli.errorLines().join(u'\n'))));
    const QList<QJsonObject> readings = ReadingCheck::parseLines(cli.output());
    QCOMPARE(readings.size(), 60);
    QFile beforeFile(before), afterFile(after);
    QVERIFY(beforeFile.open(QIODevice::ReadOnly) && afterFile.open(QIODevice::ReadOnly));
    QString difference =
        ReadingCheck::compare(readings.mid(0, readingsBefore), ReadingCheck::framesOfCapture(beforeFile.readAll()), Link::Serial);
    QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("before the pull: ") + difference));
    difference = ReadingCheck::compare(readings.mid(readingsBefore), ReadingCheck::framesOfCapture(afterFile.readAll()),
                                       Link::Serial);
    QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("after the plug-in: ") + difference));
}

void TestVmCli::pulledLinkEndsRun_data()
{
    QTest::addColumn<Link>("link");
    QTest::newRow("serial adapter pulled") << Link::Serial;
    QTest::newRow("usb cable pulled") << Link::Usb;
}

void TestVmCli::pulledLinkEndsRun()
{
    QFETCH(Link, link);
    HostControl host(m_run);
    SerialAdapter adapter(host);
    CableProcess cable(GuestRun::runFile(QStringLiteral("cli-pull-frames.txt")));
    const QString capture = GuestRun::runFile(QStringLiteral("cli-pull.bin"));
    QStringList sent;

    std::unique_ptr<CliRun> cli;
    if (link == Link::Serial) {
        QVERIFY(GuestRun::writeSerialCapture(capture, 200, QStringLiteral("all")));
        cli = std::make_unique<CliRun>(QStringList{QStringLiteral("decode"), QStringLiteral("--port"), QStringLiteral("COM1")});
        QVERIFY2(cli->waitUntilHolding(GuestRun::AdapterNode, true, 10000), qPrintable(cli->howItEnded()));
        QTest::qWait(300);
        QVERIFY2(adapter.send(capture, 100), qPrintable(host.errorString()));
    } else {
        QVERIFY2(cable.start(), qPrintable(cable.errorString()));
        QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));
        cli = std::make_unique<CliRun>(QStringList{QStringLiteral("decode"), QStringLiteral("--hid-device")});
        QVERIFY2(waitForSetupReports(cable, 1, 15000), qPrintable(cli->howItEnded()));
        QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
        // The meter goes on until the cable is pulled.
        QVERIFY(cable.command(QStringLiteral("play -1")));
    }
    QVERIFY2(cli->waitForLines(5, 30000), qPrintable(QStringLiteral("%1 readings").arg(cli->lineCount())));

    QElapsedTimer sincePull;
    sincePull.start();
    if (link == Link::Serial)
        QVERIFY2(adapter.pull(), qPrintable(host.errorString()));
    else
        QVERIFY2(cable.command(QStringLiteral("destroy")), qPrintable(cable.lastAnswer()));
    const bool ended = cli->waitForExit(LostLinkDeadlineMs - int(sincePull.elapsed()));
    QVERIFY2(ended, qPrintable(QStringLiteral("still running %1 ms after the pull; said: %2")
                                   .arg(sincePull.elapsed())
                                   .arg(cli->errorLines().join(u'\n'))));
    QVERIFY2(cli->exitedWith(2), qPrintable(cli->howItEnded() + u' ' + cli->errorLines().join(u'\n')));
    QCOMPARE(cli->errorLines().size(), 1);

    // What it printed before is the meter's frames, in order.
    if (link == Link::Serial) {
        QFile file(capture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        sent = ReadingCheck::framesOfCapture(file.readAll());
    } else {
        sent = cable.sentFrames();
    }
    const QList<QJsonObject> readings = ReadingCheck::parseLines(cli->output());
    QVERIFY(readings.size() >= 5);
    const QString difference = ReadingCheck::compare(readings, sent, link);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QTEST_GUILESS_MAIN(TestVmCli)
#include "tst_vmcli.moc"
