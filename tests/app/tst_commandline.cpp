#include "app/commandline.h"

#include <QProcess>
#include <QtTest>

// qm320's command line: what it starts with, what it refuses, and the
// program printing its help, its version or one line of refusal before it
// makes any window.
class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void startOptions_data();
    void startOptions();
    void refusals_data();
    void refusals();
    void printed_data();
    void printed();
    void programEndsBeforeAnyWindow_data();
    void programEndsBeforeAnyWindow();
};

void TestCommandLine::startOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("serialPort");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("usbDevicePath");
    QTest::addColumn<QString>("logFile");

    QTest::newRow("nothing") << QStringList{} << "" << false << "" << "";
    QTest::newRow("COM port") << QStringList{"--port", "COM2"} << "COM2" << false << "" << "";
    QTest::newRow("COM port in any letter case, with =") << QStringList{"--port=com4"} << "COM4" << false << "" << "";
    QTest::newRow("device path") << QStringList{"--port", "/dev/ttyUSB1"} << "/dev/ttyUSB1" << false << "" << "";
    QTest::newRow("one dash") << QStringList{"-port", "COM3"} << "COM3" << false << "" << "";
    QTest::newRow("the selected cable") << QStringList{"--usb"} << "" << true << "" << "";
    QTest::newRow("the cable at a path") << QStringList{"--usb", "/dev/hidraw3"} << "" << true << "/dev/hidraw3" << "";
    QTest::newRow("the cable at a path, with =") << QStringList{"--usb=/dev/hidraw3"} << "" << true << "/dev/hidraw3" << "";
    QTest::newRow("the argument after --usb is its path") << QStringList{"--usb", "log.xls"} << "" << true << "log.xls"
                                                          << "";
    QTest::newRow("file, then the selected cable") << QStringList{"log.xls", "--usb"} << "" << true << "" << "log.xls";
    QTest::newRow("the cable, -- before the file") << QStringList{"--usb", "--", "log.xls"} << "" << true << ""
                                                   << "log.xls";
    QTest::newRow("port and file") << QStringList{"--port", "COM1", "log.xml"} << "COM1" << false << "" << "log.xml";
    QTest::newRow("a file that starts with a dash") << QStringList{"--", "-log.txt"} << "" << false << "" << "-log.txt";
    // Qt reads its own options when the application object is made.
    QTest::newRow("Qt's options pass") << QStringList{"-platform", "offscreen", "-reverse", "-style=fusion", "log.txt"}
                                       << "" << false << "" << "log.txt";
}

void TestCommandLine::startOptions()
{
    QFETCH(QStringList, arguments);
    const StartCommand command = parseStartCommand(arguments);
    QVERIFY2(command.action == StartCommand::Action::Start, qPrintable(command.text));
    QTEST(command.options.serialPort, "serialPort");
    QTEST(command.options.usb, "usb");
    QTEST(command.options.usbDevicePath, "usbDevicePath");
    QTEST(command.options.logFile, "logFile");
}

void TestCommandLine::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");

    QTest::newRow("unknown option") << QStringList{"--fast"} << "unknown option --fast (see qm320 --help)";
    QTest::newRow("unknown option with a value") << QStringList{"--speed=3"} << "unknown option --speed (see qm320 --help)";
    QTest::newRow("unknown one-dash option") << QStringList{"-x"} << "unknown option -x (see qm320 --help)";
    QTest::newRow("port without a name") << QStringList{"--port"}
                                         << "--port needs a port name (COM1..COM4) or a device path";
    QTest::newRow("no such COM port") << QStringList{"--port", "COM5"}
                                      << "'COM5' is not a port: name COM1 to COM4 or a device path";
    QTest::newRow("relative device name") << QStringList{"--port", "ttyUSB0"}
                                          << "'ttyUSB0' is not a port: name COM1 to COM4 or a device path";
    QTest::newRow("empty port") << QStringList{"--port="} << "'' is not a port: name COM1 to COM4 or a device path";
    QTest::newRow("port and cable") << QStringList{"--port", "COM1", "--usb"}
                                    << "--port and --usb connect one link each; choose one";
    QTest::newRow("two files") << QStringList{"a.xls", "b.xls"} << "one FILE opens on start; b.xls is one too many";
    QTest::newRow("a value for --version") << QStringList{"--version=2"} << "--version takes no value";
    QTest::newRow("an extra word after --version") << QStringList{"--version", "extra"}
                                                   << "--version takes no argument; extra is one too many";
    QTest::newRow("--port twice") << QStringList{"--port", "COM1", "--port", "COM2"} << "--port is given more than once";
    QTest::newRow("--usb twice") << QStringList{"--usb", "--usb=/dev/hidraw1"} << "--usb is given more than once";
    QTest::newRow("Qt's option without its value") << QStringList{"-platform"} << "-platform needs a value";
    QTest::newRow("--mqtt without an address") << QStringList{"--mqtt"}
                                               << "--mqtt needs the broker's address, mqtt://HOST[:PORT][/TOPIC]";
    QTest::newRow("--mqtt to another scheme") << QStringList{"--mqtt", "http://lab"}
                                              << "http://lab is no broker address: write it as mqtt://host:port/topic";
}

void TestCommandLine::refusals()
{
    QFETCH(QStringList, arguments);
    const StartCommand command = parseStartCommand(arguments);
    QVERIFY(command.action == StartCommand::Action::Fail);
    QTEST(command.text, "reason");
    QCOMPARE(command.exitCode, 2);
}

void TestCommandLine::printed_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("start");

    const QString version = QStringLiteral("qm320 " QM320_VERSION "\n");
    QTest::newRow("--version") << QStringList{"--version"} << version;
    QTest::newRow("-v") << QStringList{"-v"} << version;
    QTest::newRow("--help") << QStringList{"--help"} << "Usage: qm320 [--port NAME | --usb [PATH]] [--mqtt URL] [FILE]\n";
    QTest::newRow("-h") << QStringList{"-h"} << "Usage: qm320";
    QTest::newRow("help wins over a wrong option") << QStringList{"--fast", "--help"} << "Usage: qm320";
}

void TestCommandLine::printed()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, start);
    const StartCommand command = parseStartCommand(arguments);
    QVERIFY(command.action == StartCommand::Action::Print);
    QCOMPARE(command.exitCode, 0);
    QVERIFY2(command.text.startsWith(start), qPrintable(command.text));
    QVERIFY(command.text.endsWith(u'\n'));
}

void TestCommandLine::programEndsBeforeAnyWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");

    QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("qm320 " QM320_VERSION "\n") << QByteArray();
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("Usage: qm320 [--port NAME | --usb [PATH]] [--mqtt URL] [FILE]\n")
                          << QByteArray();
    QTest::newRow("unknown option") << QStringList{"--fast"} << 2 << QByteArray()
                                    << QByteArray("qm320: unknown option --fast (see qm320 --help)\n");
    QTest::newRow("too many files") << QStringList{"a.xls", "b.xls"} << 2 << QByteArray()
                                    << QByteArray("qm320: one FILE opens on start; b.xls is one too many\n");
}

void TestCommandLine::programEndsBeforeAnyWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);

    // A platform that does not exist: had the program made its application
    // object, Qt would have aborted it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QM320_BINARY_DIR "/app/qm320"), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    QVERIFY2(program.readAllStandardOutput().startsWith(out), qPrintable(arguments.join(u' ')));
    QCOMPARE(program.readAllStandardError(), err);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
