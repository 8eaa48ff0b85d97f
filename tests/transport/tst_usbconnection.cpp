#include "fakes/fakehidbackend.h"
#include "meter/frameassembler.h"
#include "meter/historylist.h"
#include "meter/meterframes.h"
#include "transport/tjvhiddevicecontroller.h"
#include "transport/usbconnection.h"

#include <QtTest>

namespace {

const QString NotConnected = QStringLiteral("USB interface cable is not securely connected, please check and re-try.");
const QString Idle = QStringLiteral("USB interface cable is securely connected, please check if the meter is ready.");
const QString SetupLine2400 = QStringLiteral("60 09 00 00 03 00 00 00 00 ");
const QString CablePath = QStringLiteral("/dev/hidraw-cable");

class RecordingView : public UsbConnectionView
{
public:
    void setUsbConDown(bool down) override { calls << (down ? "USBCon down" : "USBCon up"); }
    void setUsbConCaption(const QString &caption) override { calls << "caption " + caption; }
    void setComControlsVisible(bool visible) override { calls << (visible ? "COM shown" : "COM hidden"); }
    void setReadBtnUp() override { calls << "ReadBtn up"; }
    void showInformation(const QString &text) override { calls << "Information: " + text; }
    void showError(const QString &text) override { calls << "Error: " + text; }

    QStringList takeCalls() { return std::exchange(calls, {}); }
    QStringList calls;
};

// The window's side of frame assembly: report lines go to the history.
class RecordingHost : public AssemblyHost
{
public:
    explicit RecordingHost(HistoryList &history) : m_history(history) {}
    void decodeFrame(const FrameText &frame) override { frames << frame.toHex(); }
    void addReportLine(const QString &line) override { m_history.addLine(line); }
    void showNibbleTrace(const QString &text) override { traces << text; }

    QStringList frames;
    QStringList traces;

private:
    HistoryList &m_history;
};

const QByteArray Dc1234 = meterFrame('+', "1234", '1', {MeterBits::Auto | MeterBits::Dc, 0, 0, MeterBits::Volt});

FakeHidDevice cable(const QString &key = QStringLiteral("cable"))
{
    return fakeHidDevice(key);
}

class Rig
{
public:
    explicit Rig(const std::vector<FakeHidDevice> &devices = {cable()}, const UsbModelChoice &choice = {})
    {
        for (const FakeHidDevice &d : devices)
            system->add(d);
        hidCtl = std::make_unique<TJvHidDeviceController>(system->backend());
        usb = std::make_unique<UsbConnection>(*hidCtl, assembler, history, view);
        usb->setModelChoice(choice);
        usb->bindControllerEvents();
        view.takeCalls();   // the first pass puts ReadBtn up
    }
    ~Rig() { usb.reset(); }

    // The cable's way of carrying a frame: reports of a count byte and up to
    // seven payload bytes, then one without payload.
    void sendFrame(const QByteArray &frame, const QString &path = CablePath)
    {
        for (qsizetype at = 0; at < frame.size(); at += 7) {
            const int n = int(std::min<qsizetype>(7, frame.size() - at));
            QByteArray report(9, '\0');
            report[1] = char(0xF0 | n);
            report.replace(2, n, frame.mid(at, n));
            system->queueReport(path, report);
        }
        system->queueReport(path, QByteArray::fromHex("00f0") + QByteArray(7, '\0'));
    }
    QStringList features() const
    {
        QStringList list;
        for (const FakeHidSystem::Feature &f : system->features())
            list << f.path + QLatin1Char(' ') + QString::fromLatin1(f.bytes.toHex(' '));
        return list;
    }
    bool reading() const
    {
        const TJvHidDevice *d = usb->SelectedHidDevice();
        return d && d->DataHandler() && d->ReadThread();
    }

    std::shared_ptr<FakeHidSystem> system = std::make_shared<FakeHidSystem>();
    HistoryList history;
    RecordingHost host{history};
    FrameAssembler assembler{host};
    RecordingView view;
    std::unique_ptr<TJvHidDeviceController> hidCtl;
    std::unique_ptr<UsbConnection> usb;
};

} // namespace

class TestUsbConnection : public QObject
{
    Q_OBJECT
private slots:
    void deviceList_data();
    void deviceList();
    void noDevice();
    void noReadWriteAccess();
    void connectAndDisconnect();
    void modelChoice_data();
    void modelChoice();
    void idleTimeout_data();
    void idleTimeout();
    void deviceChangeWhileConnected();
    void readButton();
    void readErrors();
    void information();
    void silentCable_data();
    void silentCable();
};

void TestUsbConnection::deviceList_data()
{
    QTest::addColumn<QStringList>("devices");   // "product|serial", no serial without "|"
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("selected");

    QTest::newRow("the cable is selected")
        << QStringList({"Optical Mouse", "USB to Serial"}) << QStringList({"Optical Mouse", "USB to Serial"}) << 1;
    QTest::newRow("a device with a serial number is not the cable")
        << QStringList({"USB to Serial|0042"}) << QStringList({"USB to Serial (Serial=0042)"}) << -1;
    QTest::newRow("no product string: vendor and product id")
        << QStringList({""}) << QStringList({"Device VID=04D9 PID=A0CD"}) << -1;
    QTest::newRow("of two cables the later one")
        << QStringList({"USB to Serial", "Keyboard", "USB to Serial"})
        << QStringList({"USB to Serial", "Keyboard", "USB to Serial"}) << 2;
    QTest::newRow("nothing listed") << QStringList() << QStringList() << -1;
}

void TestUsbConnection::deviceList()
{
    QFETCH(QStringList, devices);
    QFETCH(QStringList, texts);
    QFETCH(int, selected);

    std::vector<FakeHidDevice> fakes;
    for (const QString &entry : devices) {
        FakeHidDevice d = fakeHidDevice(QString::number(fakes.size()), entry.section(QLatin1Char('|'), 0, 0));
        if (entry.contains(QLatin1Char('|')))
            d.serial = entry.section(QLatin1Char('|'), 1);
        d.attributes.VendorID = 0x04d9;
        d.attributes.ProductID = 0xa0cd;
        fakes.push_back(d);
    }
    Rig rig(fakes);
    QCOMPARE(rig.usb->deviceTexts(), texts);
    QCOMPARE(rig.usb->selectedRow(), selected);
    for (int row = 0; row < rig.usb->deviceCount(); ++row)
        QVERIFY(rig.usb->device(row)->Claimed());
    QVERIFY(rig.history.lines().isEmpty());
}

void TestUsbConnection::noDevice()
{
    Rig rig(std::vector<FakeHidDevice>{});
    rig.assembler.EmptyReportCount = 7;
    rig.usb->USBConClick(true);
    QCOMPARE(rig.view.takeCalls(), QStringList({"Information: " + NotConnected, "USBCon up"}));
    QVERIFY(!rig.usb->usbConDown());
    QVERIFY(rig.features().isEmpty());
    QVERIFY(rig.history.lines().isEmpty());
    QCOMPARE(rig.assembler.EmptyReportCount, 0);
}

void TestUsbConnection::noReadWriteAccess()
{
    FakeHidDevice d = cable();
    d.readWrite = false;
    Rig rig({d});
    QCOMPARE(rig.usb->selectedRow(), 0);

    rig.usb->USBConClick(true);
    const QStringList calls = rig.view.takeCalls();
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[0], QStringLiteral("ReadBtn up"));   // the Read action finds no access either
    QCOMPARE(calls[1], QStringLiteral("USBCon up"));
    // Not silently: the user learns why and what to do.
    QVERIFY(calls[2].startsWith(QLatin1String("Error: ")));
    QVERIFY(calls[2].contains(CablePath));
    QVERIFY(calls[2].contains(QLatin1String("Permission denied")));
    QVERIFY(calls[2].contains(QLatin1String("70-qm320.rules")));
    QVERIFY(!rig.usb->usbConDown());
    QVERIFY(!rig.usb->SelectedHidDevice()->ReadThread());
    QCOMPARE(rig.history.lines(), QStringList({SetupLine2400}));   // the set-up line is written all the same
    QVERIFY(rig.features().isEmpty());

    rig.usb->ReadBtnClick(true);
    QCOMPARE(rig.view.takeCalls(), QStringList({"ReadBtn up"}));
    QVERIFY(!rig.usb->readBtnDown());
}

void TestUsbConnection::connectAndDisconnect()
{
    Rig rig;
    rig.assembler.EmptyReportCount = 500;
    rig.usb->USBConClick(true);
    QCOMPARE(rig.view.takeCalls(), QStringList({"COM hidden", "caption USB Disconnect"}));
    QCOMPARE(rig.features(), QStringList({CablePath + " 00 60 09 00 00 03 00 00 00 00"}));
    QCOMPARE(rig.history.lines(), QStringList({SetupLine2400}));
    QCOMPARE(rig.assembler.EmptyReportCount, 0);
    QVERIFY(rig.usb->usbConDown());
    QVERIFY(rig.reading());

    rig.sendFrame(Dc1234);
    QTRY_COMPARE(rig.host.frames, QStringList({QString::fromLatin1(Dc1234.toHex().toUpper())}));
    QCOMPARE(rig.history.lines().size(), 1 + 2);   // the set-up line, then one line per data-carrying report
    QCOMPARE(rig.history.lines().at(1), QStringLiteral("R 00  F7 2B 31 32 33 34 20 31 "));

    rig.usb->USBConClick(false);
    QCOMPARE(rig.view.takeCalls(), QStringList({"COM shown", "caption USB Connection"}));
    QCOMPARE(rig.features().size(), 2);
    QCOMPARE(rig.history.lines().last(), SetupLine2400);
    QVERIFY(!rig.usb->SelectedHidDevice()->DataHandler());
    QVERIFY(!rig.usb->SelectedHidDevice()->ReadThread());

    rig.usb->ClearBtnClick();
    QVERIFY(rig.history.lines().isEmpty());
}

void TestUsbConnection::modelChoice_data()
{
    QTest::addColumn<bool>("qm330");
    QTest::addColumn<bool>("qm610");
    QTest::addColumn<bool>("qm520");
    QTest::addColumn<bool>("qm880");
    QTest::addColumn<QString>("setupLine");
    QTest::addColumn<QString>("handler");   // decode, trace14, trace11 or none

    QTest::newRow("the form's check boxes") << true << false << false << false << SetupLine2400 << "decode";
    QTest::newRow("IFQM880 alone: 19200 bit/s, no handler")
        << false << false << false << true << "00 4B 00 00 03 00 00 00 00 " << "none";
    QTest::newRow("IFQM880 with IFQM330: 2400 bit/s") << true << false << false << true << SetupLine2400 << "decode";
    QTest::newRow("IFQM520: the 11-digit trace") << false << false << true << false << SetupLine2400 << "trace11";
    QTest::newRow("IFQM610 wins over IFQM520") << false << true << true << false << SetupLine2400 << "trace14";
    QTest::newRow("IFQM330 wins over both") << true << true << true << false << SetupLine2400 << "decode";
}

void TestUsbConnection::modelChoice()
{
    QFETCH(bool, qm330);
    QFETCH(bool, qm610);
    QFETCH(bool, qm520);
    QFETCH(bool, qm880);
    QFETCH(QString, setupLine);
    QFETCH(QString, handler);

    UsbModelChoice choice;
    choice.IFQM330 = qm330;
    choice.IFQM610 = qm610;
    choice.IFQM520 = qm520;
    choice.IFQM880 = qm880;
    Rig rig({cable()}, choice);
    rig.usb->USBConClick(true);
    QCOMPARE(rig.history.lines(), QStringList({setupLine}));
    QCOMPARE(rig.features(), QStringList({CablePath + " 00 " + setupLine.trimmed().toLower()}));

    if (handler == QLatin1String("none")) {
        QVERIFY(!rig.reading());
        return;
    }
    rig.sendFrame(Dc1234);
    if (handler == QLatin1String("decode")) {
        QTRY_COMPARE(rig.host.frames.size(), 1);
        QVERIFY(rig.host.traces.isEmpty());
    } else {
        QTRY_COMPARE(rig.host.traces.size(), 1);
        QCOMPARE(rig.host.traces[0].size(), handler == QLatin1String("trace14") ? 14 : 11);
        QVERIFY(rig.host.frames.isEmpty());
    }
}

void TestUsbConnection::idleTimeout_data()
{
    QTest::addColumn<int>("emptyReports");
    QTest::addColumn<bool>("timedOut");
    QTest::newRow("1899 empty reports") << 1899 << false;
    QTest::newRow("1900 empty reports") << 1900 << true;
}

void TestUsbConnection::idleTimeout()
{
    QFETCH(int, emptyReports);
    QFETCH(bool, timedOut);
    Rig rig;
    rig.usb->USBConClick(true);
    rig.view.takeCalls();

    rig.assembler.EmptyReportCount = emptyReports;
    QCOMPARE(rig.usb->ConTimerIdleTest(), timedOut);
    if (!timedOut) {
        QVERIFY(rig.view.calls.isEmpty());
        QCOMPARE(rig.assembler.EmptyReportCount, emptyReports);
        QVERIFY(rig.reading());
        return;
    }
    // USBCon goes up, but the caption and the hidden COM controls stay.
    QCOMPARE(rig.view.takeCalls(), QStringList({"USBCon up", "Information: " + Idle}));
    QCOMPARE(rig.assembler.EmptyReportCount, 0);
    QVERIFY(!rig.usb->usbConDown());
    QVERIFY(!rig.usb->SelectedHidDevice()->DataHandler());

    // The next press connects again.
    rig.usb->USBConClick(true);
    QCOMPARE(rig.view.takeCalls(), QStringList({"COM hidden", "caption USB Disconnect"}));
    QVERIFY(rig.reading());
}

void TestUsbConnection::deviceChangeWhileConnected()
{
    Rig rig;
    rig.usb->USBConClick(true);
    rig.view.takeCalls();

    // Another device comes: the link stays with its cable.
    rig.system->add(fakeHidDevice("mouse", "Optical Mouse"));
    rig.system->notify();
    QCOMPARE(rig.history.lines().last(), QStringLiteral("Arrival of Optical Mouse"));
    QCOMPARE(rig.usb->deviceTexts(), QStringList({"USB to Serial", "Optical Mouse"}));
    QCOMPARE(rig.usb->selectedRow(), 0);
    QCOMPARE(rig.view.takeCalls(), QStringList({"ReadBtn up"}));
    QVERIFY(rig.usb->usbConDown());
    QVERIFY(rig.reading());
    rig.sendFrame(Dc1234);
    QTRY_COMPARE(rig.host.frames.size(), 1);

    // The cable goes: nothing is read, the button stays down.
    rig.system->remove("cable");
    rig.system->notify();
    // A read error may follow: the read thread found its device gone first.
    QVERIFY(rig.history.lines().contains(QStringLiteral("Removal of USB to Serial")));
    QCOMPARE(rig.usb->deviceTexts(), QStringList({"Optical Mouse"}));
    QCOMPARE(rig.usb->selectedRow(), -1);
    QVERIFY(!rig.usb->SelectedHidDevice());
    QVERIFY(rig.usb->usbConDown());
    rig.view.takeCalls();

    // Releasing it says so and gives the COM controls back.
    rig.usb->USBConClick(false);
    QCOMPARE(rig.view.takeCalls(),
             QStringList({"Information: " + NotConnected, "USBCon up", "COM shown", "caption USB Connection"}));
}

void TestUsbConnection::readButton()
{
    Rig rig;
    rig.usb->ReadBtnClick(true);
    QVERIFY(rig.reading());
    rig.sendFrame(Dc1234);
    QTRY_COMPARE(rig.host.traces.size(), 1);
    QCOMPARE(rig.host.traces[0].size(), 14);

    rig.system->add(fakeHidDevice("mouse", "Optical Mouse"));
    rig.system->notify();
    QCOMPARE(rig.view.takeCalls(), QStringList({"ReadBtn up"}));
    QVERIFY(!rig.usb->readBtnDown());
    QVERIFY(!rig.usb->device(0)->DataHandler());
}

void TestUsbConnection::readErrors()
{
    FakeHidDevice d = cable();
    d.readOpenError = EACCES;
    Rig rig({d});
    rig.usb->USBConClick(true);
    QTRY_VERIFY(rig.history.lines().contains(QStringLiteral("READ ERROR: Permission denied (D)")));

    rig.usb->HidCtlDeviceDataError(rig.usb->SelectedHidDevice(), 0x1A);
    QCOMPARE(rig.history.lines().last(), QStringLiteral("READ ERROR: %1 (1A)").arg(qt_error_string(0x1A)));
}

void TestUsbConnection::information()
{
    {
        Rig empty(std::vector<FakeHidDevice>{});
        QCOMPARE(empty.usb->InfoBtnClick(), QString());
        QVERIFY(empty.view.calls.isEmpty());
    }
    FakeHidDevice d = cable();
    d.serial = QStringLiteral("S-77");
    Rig rig({d});
    rig.usb->selectRow(0);
    const QString text = rig.usb->InfoBtnClick();
    for (const char *line : {"USB to Serial (Serial=S-77)", "Vendor ID: 1234", "Product ID: 5678", "Product: USB to Serial",
                             "Serial number: S-77", "Input report length: 9 bytes", "Device: /dev/hidraw-cable",
                             "Access: read and write"}) {
        QVERIFY2(text.contains(QLatin1String(line)), line);
    }
    QCOMPARE(rig.view.takeCalls(), QStringList({"Information: " + text}));
}

void TestUsbConnection::silentCable_data()
{
    QTest::addColumn<bool>("reportFirst");
    QTest::addColumn<int>("reset");   // HidBackend::ResetResult
    QTest::addColumn<QStringList>("historyAfterFirstCheck");
    QTest::addColumn<bool>("toldAtFirstCheck");

    const QStringList setupOnly{SetupLine2400};
    QTest::newRow("a report arrived: nothing to do")
        << true << int(HidBackend::ResetResult::Done) << setupOnly << false;
    QTest::newRow("reset permitted: reset and set up again")
        << false << int(HidBackend::ResetResult::Done)
        << QStringList({SetupLine2400, "Reset of USB to Serial", SetupLine2400}) << false;
    QTest::newRow("reset not permitted: the user is told") << false << int(HidBackend::ResetResult::NotPermitted)
                                                            << setupOnly << true;
}

void TestUsbConnection::silentCable()
{
    QFETCH(bool, reportFirst);
    QFETCH(int, reset);
    QFETCH(QStringList, historyAfterFirstCheck);
    QFETCH(bool, toldAtFirstCheck);
    const QString silent = QStringLiteral("Information: USB interface cable sends no data. "
                                          "Please unplug it, plug it in again and re-try.");

    Rig rig;
    rig.system->resetResult = HidBackend::ResetResult(reset);
    rig.usb->USBConClick(true);
    rig.view.takeCalls();
    if (reportFirst) {
        rig.system->queueReport(CablePath, QByteArray::fromHex("00f0"));
        QTRY_COMPARE(rig.assembler.EmptyReportCount, 1);
    }

    rig.usb->checkSilentCable();
    QCOMPARE(rig.history.lines(), historyAfterFirstCheck);
    QCOMPARE(rig.view.takeCalls(), toldAtFirstCheck ? QStringList({silent}) : QStringList());
    QCOMPARE(rig.system->resets.size(), reportFirst ? 0 : 1);
    if (reportFirst || toldAtFirstCheck)
        return;

    // Still silent after the reset: now the user is told.
    rig.usb->checkSilentCable();
    QCOMPARE(rig.view.takeCalls(), QStringList({silent}));
    QCOMPARE(rig.system->resets.size(), 1);
    QCOMPARE(rig.features().size(), 2);
}

QTEST_GUILESS_MAIN(TestUsbConnection)
#include "tst_usbconnection.moc"
