// The window on the test machine's own kernel drivers, with the system's
// serial ports and HID devices: readings arrive over the emulated FTDI
// adapter and the uhid cable, a pulled link returns the window to idle with
// one message and every row it logged, a cable plugged in after the start is
// found through udev, and the window goes away cleanly while a link reads.

#include "app/mainwindow.h"
#include "cableprocess.h"
#include "fakedialogs.h"
#include "fakemessages.h"
#include "guestrun.h"
#include "hostcontrol.h"
#include "meter/framedecoder.h"
#include "readingcheck.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"

#include <QtTest>
#include <QtWidgets>

namespace {

using ReadingCheck::Link;

// A lost link must be shown within this time.
constexpr int LostLinkDeadlineMs = 3000;
// The program starts reading the cable a moment after it sends the set-up
// report; reports without payload before the first frame cover that moment,
// since the kernel keeps a report only for a reader that has the node open.
constexpr int LeadInMs = 1000;
const QString CableName = QString::fromUtf16(LinkSupervisor::CableName);

// The window as the program builds it, with the system's serial ports and
// HID devices, message boxes that record what they say, and no journal.
struct GuestWindow
{
    GuestWindow()
    {
        WindowServices services;
        services.locale = createSystemLocaleInfo();
        auto recorded = std::make_unique<FakeMessages>();
        messages = recorded.get();
        services.messages = std::move(recorded);
        services.dialogs = std::make_unique<FakeDialogs>();
        services.serialBackend = createSerialBackend();
        services.hidBackend = createHidBackend();
        services.machine = QStringLiteral("x86_64");
        window = std::make_unique<MainWindow>(std::move(services));
        // Every reading the window is told of, as qm320-cli would print it.
        QObject::connect(&session(), &MeterSession::readingDecoded, window.get(), [this](const DecodeResult &result) {
            const Reading &r = result.reading;
            QJsonArray flags;
            for (int i = 0; i < AnnunciatorCount; ++i) {
                if (r.has(Annunciator(i)))
                    flags.append(QString::fromLatin1(annunciatorName(Annunciator(i))));
            }
            readings.append(QJsonObject{{QStringLiteral("frame"), session().lastFrame().toHex()},
                                        {QStringLiteral("value"), r.valueText},
                                        {QStringLiteral("unit"), unitText(r.unit)},
                                        {QStringLiteral("function"), functionText(r.function)},
                                        {QStringLiteral("flags"), flags}});
        });
        window->show();
    }

    template<class T = QWidget>
    T *find(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }
    MeterSession &session() { return window->session(); }

    // Each logged row as one text, every field in table order.
    QStringList rows()
    {
        QStringList texts;
        const LogTable &log = session().log();
        for (int row = 0; row < log.rowCount(); ++row) {
            QStringList fields;
            for (int field = 0; field < LogFieldCount; ++field) {
                if (LogTable::fieldType(field) == LogFieldType::Integer)
                    fields << QString::number(log.integer(row, field).value_or(-1));
                else
                    fields << log.text(row, field).toString();
            }
            texts << fields.join(u'|');
        }
        return texts;
    }

    FakeMessages *messages = nullptr;
    std::unique_ptr<MainWindow> window;
    QList<QJsonObject> readings;
};

// Whether this process holds any hidraw node open.
bool holdsHidraw()
{
    const QDir nodes(QStringLiteral("/dev"), QStringLiteral("hidraw*"), QDir::Name, QDir::System);
    for (const QString &node : nodes.entryList())
        if (GuestRun::holdsOpen(QCoreApplication::applicationPid(), nodes.filePath(node)))
            return true;
    return false;
}

bool waitForSetupReport(CableProcess &cable, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (cable.featureReports().isEmpty()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class TestVmWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void comLinkReadsAndReturnsToIdleWhenAdapterPulled();
    void comLinkWaitsForAdapterAndResumes();
    void usbLinkReadsAndReturnsToIdleWhenCablePulled();
    void usbLinkWaitsForCableAndResumes();
    void cablePluggedInAfterWindowStartIsFound();
    void windowGoesWhileLinkReads_data();
    void windowGoesWhileLinkReads();

private:
    QString m_run;
};

void TestVmWindow::initTestCase()
{
    m_run = HostControl::runFolder();
    if (m_run.isEmpty())
        QSKIP("these tests run inside the test machine: scripts/vm-tests.sh");
    qunsetenv("QM320_COM1");
    QVERIFY2(GuestRun::waitForAdapter(true, 15000), "the machine has no USB-to-RS-232 adapter at /dev/ttyUSB0");
}

void TestVmWindow::comLinkReadsAndReturnsToIdleWhenAdapterPulled()
{
    const QString capture = GuestRun::runFile(QStringLiteral("window-com.bin"));
    QVERIFY(GuestRun::writeSerialCapture(capture, 300, QStringLiteral("all")));
    HostControl host(m_run);
    SerialAdapter adapter(host);

    GuestWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    w.session().setReconnect(false);
    QCOMPARE(w.session().serialPort(), QStringLiteral("COM1"));
    QTest::mouseClick(w.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(w.messages->shown, QStringList());
    QCOMPARE(w.session().linkState(), LinkState::Serial);
    QVERIFY(GuestRun::holdsOpen(QCoreApplication::applicationPid(), GuestRun::AdapterNode));
    QTest::qWait(300);
    QVERIFY2(adapter.send(capture, 100), qPrintable(host.errorString()));

    QTRY_VERIFY_WITH_TIMEOUT(w.session().log().rowCount() >= 10, 30000);
    QCOMPARE(w.find<QLineEdit>("valueDisplay")->text(), w.session().lastResult().reading.valueText);

    QElapsedTimer sincePull;
    sincePull.start();
    QVERIFY2(adapter.pull(), qPrintable(host.errorString()));
    const QStringList rowsBefore = w.rows();
    QTRY_VERIFY_WITH_TIMEOUT(w.session().linkState() == LinkState::Idle, LostLinkDeadlineMs - int(sincePull.elapsed()));
    QPushButton *com = w.find<QPushButton>("comButton");
    QVERIFY(!com->isChecked());
    QCOMPARE(com->text(), QStringLiteral("COM Connection"));
    QVERIFY(w.find<QPushButton>("usbButton")->isVisible());
    QVERIFY(w.find("portButton")->isEnabled());
    // The port is closed, so the adapter can come back as ttyUSB0.
    QVERIFY(!GuestRun::holdsOpen(QCoreApplication::applicationPid(), GuestRun::AdapterNode));

    // One message, naming the port, its device and the reason, and no more
    // after it.
    QTest::qWait(1000);
    QCOMPARE(w.messages->shown.size(), 1);
    const QString message = w.messages->shown.first();
    QVERIFY2(message.startsWith(QLatin1String("error: ")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("COM1")), qPrintable(message));
    QVERIFY2(message.contains(GuestRun::AdapterNode), qPrintable(message));
    QVERIFY2(message.section(GuestRun::AdapterNode, 1).contains(QRegularExpression(QStringLiteral("\\w{4}"))),
             qPrintable(QStringLiteral("no reason after the device: ") + message));

    // Every row logged before the pull is still there as it was.
    const QStringList rowsAfter = w.rows();
    QVERIFY(rowsAfter.size() >= rowsBefore.size());
    QCOMPARE(rowsAfter.mid(0, rowsBefore.size()), rowsBefore);
    const QString difference =
        ReadingCheck::compare(w.readings, ReadingCheck::framesOfCapture([&] {
                                  QFile file(capture);
                                  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                              }()),
                              Link::Serial);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestVmWindow::comLinkWaitsForAdapterAndResumes()
{
    const QString before = GuestRun::runFile(QStringLiteral("window-resume-before.bin"));
    const QString after = GuestRun::runFile(QStringLiteral("window-resume-after.bin"));
    QVERIFY(GuestRun::writeSerialCapture(before, 300, QStringLiteral("all")));
    QVERIFY(GuestRun::writeSerialCapture(after, 300, QStringLiteral("temp")));
    HostControl host(m_run);
    SerialAdapter adapter(host);

    // The window waits for a lost adapter unless told otherwise.
    GuestWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    QVERIFY(w.session().reconnects());
    QTest::mouseClick(w.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(w.session().linkState(), LinkState::Serial);
    QTest::qWait(300);
    QVERIFY2(adapter.send(before, 100), qPrintable(host.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(w.readings.size() >= 10, 30000);

    QElapsedTimer sincePull;
    sincePull.start();
    QVERIFY2(adapter.pull(), qPrintable(host.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(w.session().linkState() == LinkState::WaitingForSerial,
                             LostLinkDeadlineMs - int(sincePull.elapsed()));
    QPushButton *com = w.find<QPushButton>("comButton");
    QVERIFY2(com->text().startsWith(QLatin1String("Waiting for")), qPrintable(com->text()));
    QVERIFY(!GuestRun::holdsOpen(QCoreApplication::applicationPid(), GuestRun::AdapterNode));
    // A wait shows on the button, not in a message box.
    QCOMPARE(w.messages->shown, QStringList());
    const int readingsBefore = int(w.readings.size());

    QVERIFY2(adapter.plug(), "the adapter did not come back as /dev/ttyUSB0");
    QTRY_VERIFY_WITH_TIMEOUT(w.session().linkState() == LinkState::Serial, 10000);
    QCOMPARE(com->text(), QStringLiteral("COM Disconnect"));
    QTest::qWait(300);
    QVERIFY2(adapter.send(after, 100), qPrintable(host.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(w.readings.size() >= readingsBefore + 10, 30000);
    QCOMPARE(w.messages->shown, QStringList());

    QFile beforeFile(before), afterFile(after);
    QVERIFY(beforeFile.open(QIODevice::ReadOnly) && afterFile.open(QIODevice::ReadOnly));
    QString difference = ReadingCheck::compare(w.readings.mid(0, readingsBefore),
                                               ReadingCheck::framesOfCapture(beforeFile.readAll()), Link::Serial);
    QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("before the pull: ") + difference));
    difference = ReadingCheck::compare(w.readings.mid(readingsBefore), ReadingCheck::framesOfCapture(afterFile.readAll()),
                                       Link::Serial);
    QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("after the plug-in: ") + difference));
    // Every reading, before and after the gap, is a row of the log.
    QCOMPARE(w.session().log().rowCount(), int(w.readings.size()));
    QTest::mouseClick(com, Qt::LeftButton);
    QCOMPARE(w.session().linkState(), LinkState::Idle);
}

void TestVmWindow::usbLinkReadsAndReturnsToIdleWhenCablePulled()
{
    CableProcess cable(GuestRun::runFile(QStringLiteral("window-usb-frames.txt")));
    QVERIFY2(cable.start(), qPrintable(cable.errorString()));
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));

    GuestWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    w.session().setReconnect(false);
    QTest::mouseClick(w.find<QPushButton>("usbButton"), Qt::LeftButton);
    QCOMPARE(w.messages->shown, QStringList());
    QCOMPARE(w.session().linkState(), LinkState::Usb);
    QVERIFY(waitForSetupReport(cable, 10000));
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play -1")));
    QTRY_VERIFY_WITH_TIMEOUT(w.session().log().rowCount() >= 10, 30000);
    const QString device = w.session().usbDevicePath();

    QElapsedTimer sincePull;
    sincePull.start();
    QVERIFY2(cable.command(QStringLiteral("destroy")), qPrintable(cable.lastAnswer()));
    const QStringList rowsBefore = w.rows();
    QTRY_VERIFY_WITH_TIMEOUT(w.session().linkState() == LinkState::Idle, LostLinkDeadlineMs - int(sincePull.elapsed()));
    QPushButton *usb = w.find<QPushButton>("usbButton");
    QVERIFY(!usb->isChecked());
    QCOMPARE(usb->text(), QStringLiteral("USB Connection"));
    QVERIFY(w.find<QPushButton>("comButton")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!holdsHidraw(), LostLinkDeadlineMs);

    QTest::qWait(1000);
    QCOMPARE(w.messages->shown.size(), 1);
    const QString message = w.messages->shown.first();
    QVERIFY2(message.startsWith(QLatin1String("error: ")), qPrintable(message));
    QVERIFY2(message.contains(CableName), qPrintable(message));
    QVERIFY2(message.contains(device), qPrintable(QStringLiteral("%1 does not name %2").arg(message, device)));
    QVERIFY2(message.section(device, 1).contains(QRegularExpression(QStringLiteral("\\w{4}"))),
             qPrintable(QStringLiteral("no reason after the device: ") + message));

    const QStringList rowsAfter = w.rows();
    QVERIFY(rowsAfter.size() >= rowsBefore.size());
    QCOMPARE(rowsAfter.mid(0, rowsBefore.size()), rowsBefore);
    const QString difference = ReadingCheck::compare(w.readings, cable.sentFrames(), Link::Usb);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestVmWindow::usbLinkWaitsForCableAndResumes()
{
    CableProcess cable(GuestRun::runFile(QStringLiteral("window-usb-resume.txt")));
    QVERIFY2(cable.start(), qPrintable(cable.errorString()));
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));

    GuestWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    QVERIFY(w.session().reconnects());
    QTest::mouseClick(w.find<QPushButton>("usbButton"), Qt::LeftButton);
    QCOMPARE(w.session().linkState(), LinkState::Usb);
    QVERIFY(waitForSetupReport(cable, 10000));
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play 30")));
    QVERIFY(cable.command(QStringLiteral("wait 30000")));
    QTRY_COMPARE_WITH_TIMEOUT(w.readings.size(), 30, 5000);

    QElapsedTimer sincePull;
    sincePull.start();
    QVERIFY2(cable.command(QStringLiteral("destroy")), qPrintable(cable.lastAnswer()));
    QTRY_VERIFY_WITH_TIMEOUT(w.session().linkState() == LinkState::WaitingForUsb,
                             LostLinkDeadlineMs - int(sincePull.elapsed()));
    QPushButton *usb = w.find<QPushButton>("usbButton");
    QVERIFY2(usb->text().startsWith(QLatin1String("Waiting for")), qPrintable(usb->text()));
    QCOMPARE(w.messages->shown, QStringList());
    const QStringList rowsBefore = w.rows();

    // The same cable again: taken up by itself, set up, and read on.
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));
    QTRY_VERIFY_WITH_TIMEOUT(w.session().linkState() == LinkState::Usb, 10000);
    QVERIFY(waitForSetupReport(cable, 10000));
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play 30")));
    QVERIFY(cable.command(QStringLiteral("wait 30000")));
    QTRY_COMPARE_WITH_TIMEOUT(w.readings.size(), 60, 5000);
    QCOMPARE(w.messages->shown, QStringList());

    // Every frame sent whole is a reading and a row, before and after the gap.
    const QString difference = ReadingCheck::compare(w.readings, cable.sentFrames(), Link::Usb);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(w.session().log().rowCount(), 60);
    QCOMPARE(w.rows().mid(0, rowsBefore.size()), rowsBefore);
    QTest::mouseClick(usb, Qt::LeftButton);
    QCOMPARE(w.session().linkState(), LinkState::Idle);
}

void TestVmWindow::cablePluggedInAfterWindowStartIsFound()
{
    CableProcess cable(GuestRun::runFile(QStringLiteral("window-late-frames.txt")));
    QVERIFY2(cable.start(), qPrintable(cable.errorString()));

    GuestWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    const LinkSupervisor &usb = w.session().links();
    QVERIFY(!usb.usbDeviceNames().contains(CableName));

    // Only udev's device events tell the window of it.
    QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));
    QTRY_VERIFY_WITH_TIMEOUT(usb.usbDeviceNames().contains(CableName), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(usb.selectedUsbRow() >= 0 && usb.usbDeviceNames().at(usb.selectedUsbRow()) == CableName, 5000);

    QTest::mouseClick(w.find<QPushButton>("usbButton"), Qt::LeftButton);
    QCOMPARE(w.messages->shown, QStringList());
    QCOMPARE(w.session().linkState(), LinkState::Usb);
    QVERIFY(waitForSetupReport(cable, 10000));
    QVERIFY(cable.command(QStringLiteral("idle %1").arg(LeadInMs)));
    QVERIFY(cable.command(QStringLiteral("play 20")));
    QVERIFY(cable.command(QStringLiteral("wait 30000")));
    QTRY_COMPARE_WITH_TIMEOUT(w.readings.size(), 20, 5000);
    const QString difference = ReadingCheck::compare(w.readings, cable.sentFrames(), Link::Usb);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    QTest::mouseClick(w.find<QPushButton>("usbButton"), Qt::LeftButton);
    QCOMPARE(w.session().linkState(), LinkState::Idle);
}

void TestVmWindow::windowGoesWhileLinkReads_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<bool>("quitFirst");
    QTest::newRow("serial link, window destroyed") << Link::Serial << false;
    QTest::newRow("serial link, quit") << Link::Serial << true;
    QTest::newRow("usb link, window destroyed") << Link::Usb << false;
    QTest::newRow("usb link, quit") << Link::Usb << true;
}

void TestVmWindow::windowGoesWhileLinkReads()
{
    QFETCH(Link, link);
    QFETCH(bool, quitFirst);
    HostControl host(m_run);
    SerialAdapter adapter(host);
    CableProcess cable(GuestRun::runFile(QStringLiteral("window-going-frames.txt")));
    const QString capture = GuestRun::runFile(QStringLiteral("window-going.bin"));

    auto w = std::make_unique<GuestWindow>();
    QVERIFY(QTest::qWaitForWindowExposed(w->window.get()));
    if (link == Link::Serial) {
        QVERIFY(GuestRun::writeSerialCapture(capture, 1000, QStringLiteral("all")));
        QTest::mouseClick(w->find<QPushButton>("comButton"), Qt::LeftButton);
        QCOMPARE(w->session().linkState(), LinkState::Serial);
        QTest::qWait(300);
        QVERIFY2(adapter.send(capture, 20), qPrintable(host.errorString()));
    } else {
        QVERIFY2(cable.start(), qPrintable(cable.errorString()));
        QVERIFY2(cable.command(QStringLiteral("create")), qPrintable(cable.lastAnswer()));
        QTRY_VERIFY_WITH_TIMEOUT(w->session().links().usbDeviceNames().contains(CableName), 10000);
        QTest::mouseClick(w->find<QPushButton>("usbButton"), Qt::LeftButton);
        QCOMPARE(w->session().linkState(), LinkState::Usb);
        QVERIFY(waitForSetupReport(cable, 10000));
        // Reports as fast as the cable can take them, so that some are on
        // their way while the window goes.
        QVERIFY(cable.command(QStringLiteral("play -1 0 1")));
    }
    QTRY_VERIFY_WITH_TIMEOUT(w->readings.size() >= 10, 30000);

    if (quitFirst) {
        w->messages->answerYes = true;
        w->messages->saveChoice = UserMessages::SaveChoice::Discard;
        w->window->quit();
    }
    w.reset();
    // Whatever was on its way to the window finds it gone.
    QTest::qWait(500);
    QVERIFY(!GuestRun::holdsOpen(QCoreApplication::applicationPid(), GuestRun::AdapterNode));
    QTRY_VERIFY_WITH_TIMEOUT(!holdsHidraw(), 3000);
    if (link == Link::Usb) {
        QVERIFY(cable.command(QStringLiteral("opened")));
        QTRY_VERIFY_WITH_TIMEOUT((cable.command(QStringLiteral("opened")), cable.lastAnswer() == QLatin1String("ok no")),
                                 3000);
    }
}

QTEST_MAIN(TestVmWindow)
#include "tst_vmwindow.moc"
