#include "meterframes.h"
#include "windowfixture.h"

#include "meter/historylist.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

// The USB link through the window: the device list filled before the window
// shows, "USB Connection" sending the set-up report and carrying the cable's
// reports to the panel, and the messages when there is no cable.
class TestUsbLink : public QObject
{
    Q_OBJECT
private slots:
    void noCable();
    void cableReadingsReachThePanel();
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
// payload bytes, then an empty report.
void queueFrame(FakeHidSystem &system, const QByteArray &frame)
{
    for (qsizetype at = 0; at < frame.size(); at += 7) {
        const QByteArray part = frame.mid(at, 7);
        QByteArray report(1, '\0');
        report.append(char(part.size())).append(part);
        report.resize(9, '\0');   // the report ID and eight data bytes
        system.queueReport(CablePath, report);
    }
    system.queueReport(CablePath, QByteArray(9, '\0'));
}

} // namespace

void TestUsbLink::noCable()
{
    WindowFixture f;
    auto *usbCon = f.find<QPushButton>("USBCon");
    QCOMPARE(f.find<QListWidget>("DevListBox")->count(), 0);
    usbCon->click();
    QCOMPARE(f.messages->shown,
             QStringList{"information: USB interface cable is not securely connected, please check and re-try."});
    QVERIFY(!usbCon->isChecked());
    QCOMPARE(usbCon->text(), QStringLiteral("USB Connection"));
    QVERIFY(f.find("COMCon")->isVisibleTo(f.window.get()));
    QVERIFY(f.find("BtCOM1")->isVisibleTo(f.window.get()));
}

void TestUsbLink::cableReadingsReachThePanel()
{
    WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), [](FakeHidSystem &hid) {
        FakeHidDevice mouse = cable();
        mouse.key = QStringLiteral("mouse");
        mouse.path = QStringLiteral("/dev/hidraw1");
        mouse.product = QStringLiteral("Optical Mouse");
        hid.add(mouse);
        hid.add(cable());
    });
    auto *list = f.find<QListWidget>("DevListBox");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->currentItem()->text(), QStringLiteral("USB to Serial"));

    auto *usbCon = f.find<QPushButton>("USBCon");
    usbCon->click();
    QVERIFY(usbCon->isChecked());
    QCOMPARE(usbCon->text(), QStringLiteral("USB Disconnect"));
    QVERIFY(!f.find("COMCon")->isVisibleTo(f.window.get()));
    QVERIFY(!f.find("BtCOM1")->isVisibleTo(f.window.get()));
    QVERIFY(f.window->history().lines().contains(QStringLiteral("60 09 00 00 03 00 00 00 00 ")));
    QCOMPARE(f.hid->features().size(), 1u);

    queueFrame(*f.hid, meterFrame('+', "1234", '1', {MeterBits::Auto | MeterBits::Dc, 0, 0, MeterBits::Volt}));
    QTRY_COMPARE(f.find<QLineEdit>("T1VALUE")->text(), QStringLiteral("1.234"));
    QVERIFY(f.find("CONok")->isVisibleTo(f.window.get()));

    // Releasing sends the set-up report once more and brings the COM
    // controls back.
    usbCon->click();
    QCOMPARE(usbCon->text(), QStringLiteral("USB Connection"));
    QVERIFY(f.find("COMCon")->isVisibleTo(f.window.get()));
    QCOMPARE(f.hid->features().size(), 2u);
}

QTEST_MAIN(TestUsbLink)
#include "tst_usblink.moc"
