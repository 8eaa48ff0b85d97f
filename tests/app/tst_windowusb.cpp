#include "meterframes.h"
#include "windowfixture.h"


#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// The USB link through the window: the cable found before the window shows,
// "USB Connection" sending the set-up report and carrying the cable's
// reports to the panel, the message when there is no cable, the choice
// among several cables and one read elsewhere, and quitting while reports are
// on their way.
class TestWindowUsb : public QObject
{
    Q_OBJECT
private slots:
    void noCable();
    void cableReadingsReachThePanel();
    void quitWithReportsPending();
    void severalCables_data();
    void severalCables();
};

namespace {

const QString CablePath = QStringLiteral("/dev/hidraw0");

FakeHidDevice cable()
{
    FakeHidDevice d;
    d.key = QStringLiteral("cable");
    d.path = CablePath;
    return d;
}

// A frame as the cable sends it: reports of a count byte and up to seven
// payload bytes, then an empty report that closes it.
void queueFrame(FakeHidSystem &system, const QByteArray &frame, bool close = true)
{
    for (qsizetype at = 0; at < frame.size(); at += 7) {
        const QByteArray part = frame.mid(at, 7);
        QByteArray report(1, '\0');
        report.append(char(part.size())).append(part);
        report.resize(9, '\0');   // the report ID and eight data bytes
        system.queueReport(CablePath, report);
    }
    if (close)
        system.queueReport(CablePath, QByteArray(9, '\0'));
}

const QByteArray Dc1234 = meterFrame('+', "1234", '1', {MeterBits::Auto | MeterBits::Dc, 0, 0, MeterBits::Volt});

void plugInMouseAndCable(FakeHidSystem &hid)
{
    FakeHidDevice mouse = cable();
    mouse.key = QStringLiteral("mouse");
    mouse.path = QStringLiteral("/dev/hidraw1");
    mouse.product = QStringLiteral("Optical Mouse");
    hid.add(mouse);
    hid.add(cable());
}

} // namespace

void TestWindowUsb::noCable()
{
    WindowFixture f;
    auto *usb = f.find<QPushButton>("usbButton");
    QVERIFY(f.session().links().usbDeviceNames().isEmpty());
    usb->click();
    QCOMPARE(f.messages->shown,
             QStringList{"information: USB interface cable is not securely connected, please check and re-try."});
    QVERIFY(!usb->isChecked());
    QCOMPARE(usb->text(), QStringLiteral("USB Connection"));
    QVERIFY(f.shown("comButton"));
    QVERIFY(f.shown("portButton"));
}

void TestWindowUsb::cableReadingsReachThePanel()
{
    WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), plugInMouseAndCable);
    const LinkSupervisor &links = f.session().links();
    QCOMPARE(links.usbDeviceNames(), QStringList({"Optical Mouse", "USB to Serial"}));
    QCOMPARE(links.selectedUsbRow(), 1);

    auto *usb = f.find<QPushButton>("usbButton");
    usb->click();
    QVERIFY(usb->isChecked());
    QCOMPARE(usb->text(), QStringLiteral("USB Disconnect"));
    QVERIFY(!f.shown("comButton"));
    QVERIFY(!f.shown("portButton"));
    QVERIFY(f.session().historyLines().contains(QStringLiteral("60 09 00 00 03 00 00 00 00 ")));
    QCOMPARE(f.hid->features().size(), 1u);

    queueFrame(*f.hid, Dc1234);
    QTRY_COMPARE(f.find<QLineEdit>("valueDisplay")->text(), QStringLiteral("1.234"));
    QVERIFY(f.shown("dataArrivingPicture"));

    // Releasing sends the set-up report once more and brings the COM
    // controls back.
    usb->click();
    QCOMPARE(usb->text(), QStringLiteral("USB Connection"));
    QVERIFY(f.shown("comButton"));
    QCOMPARE(f.hid->features().size(), 2u);
}

void TestWindowUsb::severalCables_data()
{
    QTest::addColumn<int>("chosen");              // -1: the choice is cancelled
    QTest::addColumn<bool>("heldElsewhere");      // the chosen cable is read by another window
    QTest::addColumn<QString>("reading");         // path read afterwards; empty: none
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("the first of two") << 0 << false << "/dev/hidraw0" << QStringList();
    QTest::newRow("the second of two") << 1 << false << "/dev/hidraw2" << QStringList();
    QTest::newRow("cancelled") << -1 << false << "" << QStringList();
    QTest::newRow("read by another window")
        << 1 << true << ""
        << QStringList{"error: USB interface cable (/dev/hidraw2) cannot be read here: qm320 (process 4242) holds "
                       "it.\n\nA cable is read by one window at a time; choose another cable, or disconnect it "
                       "where it is read."};
}

void TestWindowUsb::severalCables()
{
    QFETCH(int, chosen);
    QFETCH(bool, heldElsewhere);
    QFETCH(QString, reading);
    QFETCH(QStringList, messages);
    const auto plugIn = [](FakeHidSystem &hid) {
        plugInMouseAndCable(hid);
        FakeHidDevice second = cable();
        second.key = QStringLiteral("second");
        second.path = QStringLiteral("/dev/hidraw2");
        second.serial = QStringLiteral("B7");
        hid.add(second);
    };
    WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), plugIn);
    if (heldElsewhere)
        f.hid->claimed.insert(QStringLiteral("/dev/hidraw2"));
    f.dialogs->chosenCable = chosen;
    auto *usb = f.find<QPushButton>("usbButton");
    usb->click();
    QCOMPARE(f.dialogs->offeredCables,
             QStringList({"/dev/hidraw0  USB to Serial", "/dev/hidraw2  USB to Serial (Serial=B7)"}));
    QCOMPARE(f.messages->shown, messages);
    QCOMPARE(usb->isChecked(), !reading.isEmpty());
    QCOMPARE(f.session().links().usbReading(), !reading.isEmpty());
    if (!reading.isEmpty())
        QCOMPARE(f.session().usbDevicePath(), reading);
    // Nothing is sent to a cable that is not read here.
    QCOMPARE(f.hid->features().size(), reading.isEmpty() ? 0u : 1u);
}

void TestWindowUsb::quitWithReportsPending()
{
    // The read thread has handed over the report that completes a frame and
    // waits for the main thread when the window goes; stopping the thread
    // delivers that report, which must reach neither a session nor a window
    // that is half destroyed.
    auto f = std::make_unique<WindowFixture>(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"),
                                             plugInMouseAndCable);
    f->window->show();
    f->find<QPushButton>("usbButton")->click();
    QVERIFY(f->session().links().usbReading());
    queueFrame(*f->hid, Dc1234, false);
    QTRY_COMPARE(f->session().historyLines().size(), 1 + 2);   // the set-up line and two report lines
    f->hid->queueReport(CablePath, QByteArray(9, '\0'));
    // Without running the event loop: the thread takes it and waits.
    for (int i = 0; i < 200 && f->hid->queuedReports(CablePath) > 0; ++i)
        QThread::msleep(5);
    QThread::msleep(50);
    QCOMPARE(f->hid->queuedReports(CablePath), std::size_t(0));
    f.reset();
}

QTEST_MAIN(TestWindowUsb)
#include "tst_windowusb.moc"
