#include "windowfixture.h"

#include "app/brokerpublishing.h"
#include "app/commandline.h"
#include "app/panelbutton.h"
#include "app/startwindow.h"
#include "log/logtable.h"

#include <QPushButton>
#include <QtTest>

// What the window does on start when its command line asks: the serial
// port picked and connected as the port button and "COM Connection" would,
// the USB cable connected, a log file opened before any reading arrives, and
// failures shown as the clicks show them.
class TestStartWindow : public QObject
{
    Q_OBJECT
private slots:
    void startOptions_data();
    void startOptions();
    void brokerFromCommandLine();
};

namespace {

const QString CablePath = QStringLiteral("/dev/hidraw0");

void plugInCable(FakeHidSystem &hid)
{
    FakeHidDevice cable;
    cable.key = QStringLiteral("cable");
    cable.path = CablePath;
    hid.add(cable);
}

} // namespace

void TestStartWindow::startOptions_data()
{
    QTest::addColumn<QString>("serialPort");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("usbDevicePath");
    QTest::addColumn<QString>("logFile");
    QTest::addColumn<bool>("portFails");
    QTest::addColumn<QString>("opened");       // what the serial backend was asked to open
    QTest::addColumn<QString>("portButton");
    QTest::addColumn<LinkState>("linkState");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("messages");

    const QString rows = QStringLiteral(QM320_TEST_DATA "/report-rows.txt");
    QTest::newRow("nothing") << "" << false << "" << "" << false << "" << "COM 1" << LinkState::Idle << 0
                             << QStringList();
    QTest::newRow("COM3 through the port button") << "COM3" << false << "" << "" << false << "open COM3" << "COM 3"
                                                  << LinkState::Serial << 0 << QStringList();
    QTest::newRow("COM1 as the window starts") << "COM1" << false << "" << "" << false << "open COM1" << "COM 1"
                                               << LinkState::Serial << 0 << QStringList();
    QTest::newRow("a device path") << "/dev/ttyUSB1" << false << "" << "" << false << "open /dev/ttyUSB1" << "ttyUSB1"
                                   << LinkState::Serial << 0 << QStringList();
    QTest::newRow("a port that cannot be opened")
        << "COM2" << false << "" << "" << true << "open COM2" << "COM 2" << LinkState::Idle << 0
        << QStringList{"error: COM1 (/dev/ttyS0) cannot be opened: there is no such device."};
    QTest::newRow("the selected cable") << "" << true << "" << "" << false << "" << "COM 1" << LinkState::Usb << 0
                                        << QStringList();
    QTest::newRow("the cable at its path") << "" << true << CablePath << "" << false << "" << "COM 1" << LinkState::Usb
                                           << 0 << QStringList();
    QTest::newRow("no device at the path")
        << "" << true << "/dev/hidraw9" << "" << false << "" << "COM 1" << LinkState::Idle << 0
        << QStringList{"information: USB interface cable is not securely connected, please check and re-try.\n\n"
                       "/dev/hidraw9: No such file or directory"};
    QTest::newRow("a log file, then the port") << "COM2" << false << "" << rows << false << "open COM2" << "COM 2"
                                               << LinkState::Serial << 4 << QStringList();
    QTest::newRow("a log file that is not there")
        << "" << false << "" << QStringLiteral("/nonexistent/log.xls") << false << "" << "COM 1" << LinkState::Idle
        << 0 << QStringList{"error: Failed to Load File!\n\n/nonexistent/log.xls: No such file or directory"};
}

void TestStartWindow::startOptions()
{
    QFETCH(QString, serialPort);
    QFETCH(bool, usb);
    QFETCH(QString, usbDevicePath);
    QFETCH(QString, logFile);
    QFETCH(bool, portFails);
    QFETCH(QString, opened);

    WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), plugInCable);
    f.serial->failOpen = portFails;
    StartOptions options;
    options.serialPort = serialPort;
    options.usb = usb;
    options.usbDevicePath = usbDevicePath;
    options.logFile = logFile;
    applyStartOptions(*f.window, options);

    QCOMPARE(f.serial->calls.filter(QStringLiteral("open ")), opened.isEmpty() ? QStringList() : QStringList{opened});
    QTEST(f.find<PanelButton>("portButton")->text(), "portButton");
    QTEST(f.session().linkState(), "linkState");
    QTEST(f.session().log().rowCount(), "rows");
    QTEST(f.messages->shown, "messages");
    QCOMPARE(f.find<QPushButton>("comButton")->isChecked(), f.session().linkState() == LinkState::Serial);
    QCOMPARE(f.find<QPushButton>("usbButton")->isChecked(), f.session().linkState() == LinkState::Usb);
}

void TestStartWindow::brokerFromCommandLine()
{
    // Read and applied as the menu's choice: published there from the start.
    const StartCommand command = parseStartCommand({QStringLiteral("--mqtt"), QStringLiteral("mqtt://lab:1884/bench/3")});
    QVERIFY2(command.action == StartCommand::Action::Start, qPrintable(command.text));
    WindowFixture f;
    applyStartOptions(*f.window, command.options);
    QCOMPARE(f.window->publishing().address(), QStringLiteral("mqtt://lab:1884/bench/3"));
    QCOMPARE(f.broker->topic, QStringLiteral("bench/3"));
    QVERIFY(f.messages->shown.isEmpty());
}

QTEST_MAIN(TestStartWindow)
#include "tst_startwindow.moc"
