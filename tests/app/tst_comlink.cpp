#include "app/mainwindow.h"
#include "fakemessages.h"
#include "meter/lcdpanel.h"
#include "tools/metersimulator.h"

#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// The master side of a pseudo-terminal; the window opens the other side as
// its COM port.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        if (const char *name = ptsname(m_master))
            m_slave = QString::fromLocal8Bit(name);
    }
    ~PseudoTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return !m_slave.isEmpty(); }
    QString slavePath() const { return m_slave; }
    bool write(const MeterFrame &frame) { return ::write(m_master, frame.data(), frame.size()) == qint64(frame.size()); }

private:
    int m_master = -1;
    QString m_slave;
};

// The window as the program builds it, with the system's serial ports and
// message boxes that return at once.
struct LiveWindow
{
    LiveWindow()
    {
        WindowServices services;
        services.locale = std::make_unique<FixedLocaleInfo>();
        auto fake = std::make_unique<FakeMessages>();
        messages = fake.get();
        services.messages = std::move(fake);
        services.serialBackend = createSerialBackend();
        services.machine = QStringLiteral("x86_64");
        window = std::make_unique<TFCOMM>(std::move(services));
        window->show();
    }
    template<class T = QWidget>
    T *find(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }
    bool shown(const char *name) const { return find(name)->isVisibleTo(window.get()); }

    FakeMessages *messages = nullptr;
    std::unique_ptr<TFCOMM> window;
};

} // namespace

class TestComLink : public QObject
{
    Q_OBJECT

private slots:
    void meterOnComPortShowsOnPanel();
    void unopenablePortIsReportedAndLinkStaysIdle();
};

void TestComLink::meterOnComPortShowsOnPanel()
{
    PseudoTerminal pty;
    if (!pty.isOpen())
        QSKIP("no pseudo-terminal available");
    qputenv("QM320_COM1", pty.slavePath().toLocal8Bit());

    LiveWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    QTest::mouseClick(w.find<QPushButton>("COMCon"), Qt::LeftButton);
    QCOMPARE(w.messages->shown, QStringList());
    QVERIFY(w.window->COMM2().IsOpen());
    QCOMPARE(w.find<QPushButton>("COMCon")->text(), QStringLiteral("COM Disconnect"));
    QVERIFY(!w.shown("CONok"));

    // The meter sends a frame every 100 ms.
    MeterSimulator meter;
    QTimer sender;
    connect(&sender, &QTimer::timeout, &sender, [&] { QVERIFY(pty.write(meter.nextFrame())); });
    QSignalSpy values(w.find<QLineEdit>("T1VALUE"), &QLineEdit::textChanged);
    sender.start(100);

    QTRY_VERIFY(w.shown("CONok") && !w.shown("CONokN"));
    QTRY_VERIFY(values.count() >= 3);
    const Reading &reading = w.window->decoder().reading;
    QCOMPARE(w.find<QLineEdit>("T1VALUE")->text(), reading.ValueText);
    QCOMPARE(w.find<LcdPanel>("Panel1")->shownState(), lcdStateFor(reading));
    QVERIFY(!w.find<QLabel>("judge")->text().isEmpty());

    // Three ticks of silence turn the picture dark again.
    sender.stop();
    QTRY_VERIFY(!w.shown("CONok") && w.shown("CONokN"));
    QVERIFY(w.shown("LCDsend"));

    QTest::mouseClick(w.find<QPushButton>("COMCon"), Qt::LeftButton);
    QVERIFY(!w.window->COMM2().IsOpen());
    QCOMPARE(w.find<QPushButton>("COMCon")->text(), QStringLiteral("COM Connection"));
}

void TestComLink::unopenablePortIsReportedAndLinkStaysIdle()
{
    const QByteArray device = QByteArrayLiteral("/nonexistent/qm320-tty");
    qputenv("QM320_COM2", device);

    LiveWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    QTest::mouseClick(w.find<QLabel>("BtCOM1"), Qt::LeftButton);
    QCOMPARE(w.window->COMM2().ComPort(), pnCOM2);
    QTest::mouseClick(w.find<QPushButton>("COMCon"), Qt::LeftButton);

    QCOMPARE(w.messages->shown.size(), 1);
    const QString message = w.messages->shown.first();
    QVERIFY2(message.startsWith(QLatin1String("error: ")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("COM2")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String(device)), qPrintable(message));

    QVERIFY(!w.window->COMM2().IsOpen());
    QVERIFY(!w.find<QPushButton>("COMCon")->isChecked());
    QCOMPARE(w.find<QPushButton>("COMCon")->text(), QStringLiteral("COM Connection"));
    QVERIFY(w.shown("USBCon"));
    QVERIFY(w.shown("BtCOM2") && w.find("BtCOM2")->isEnabled());
    QVERIFY(w.shown("BTCon") && !w.shown("BtDiscon"));
}

QTEST_MAIN(TestComLink)
#include "tst_comlink.moc"
