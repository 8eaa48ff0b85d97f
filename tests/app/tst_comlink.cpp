#include "app/mainwindow.h"
#include "fakemessages.h"
#include "meter/lcdpanel.h"
#include "session/metersession.h"
#include "simulator/metersimulator.h"

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
    bool write(const FrameBytes &frame) { return ::write(m_master, frame.data(), frame.size()) == qint64(frame.size()); }

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
        window = std::make_unique<MainWindow>(std::move(services));
        window->show();
    }
    template<class T = QWidget>
    T *find(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }
    bool shown(const char *name) const { return find(name)->isVisibleTo(window.get()); }

    FakeMessages *messages = nullptr;
    std::unique_ptr<MainWindow> window;
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
    QTest::mouseClick(w.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(w.messages->shown, QStringList());
    QCOMPARE(w.window->session().linkState(), LinkState::Serial);
    QCOMPARE(w.find<QPushButton>("comButton")->text(), QStringLiteral("COM Disconnect"));
    QVERIFY(!w.shown("dataArrivingPicture"));

    // The meter sends a frame every 100 ms.
    MeterSimulator meter;
    QTimer sender;
    connect(&sender, &QTimer::timeout, &sender, [&] { QVERIFY(pty.write(meter.nextFrame())); });
    QSignalSpy values(w.find<QLineEdit>("valueDisplay"), &QLineEdit::textChanged);
    sender.start(100);

    QTRY_VERIFY(w.shown("dataArrivingPicture") && !w.shown("noDataPicture"));
    QTRY_VERIFY(values.count() >= 3);
    const Reading &reading = w.window->session().lastResult().reading;
    QCOMPARE(w.find<QLineEdit>("valueDisplay")->text(), reading.valueText);
    QCOMPARE(w.find<LcdPanel>("lcdPanel")->shownState(), lcdStateFor(reading));
    QVERIFY(!w.find<QLabel>("judgementLabel")->text().isEmpty());
    QVERIFY(w.window->session().log().rowCount() >= 3);

    // Three ticks of silence turn the picture dark again.
    sender.stop();
    QTRY_VERIFY(!w.shown("dataArrivingPicture") && w.shown("noDataPicture"));
    QVERIFY(w.shown("linkSymbol"));

    QTest::mouseClick(w.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(w.window->session().linkState(), LinkState::Idle);
    QCOMPARE(w.find<QPushButton>("comButton")->text(), QStringLiteral("COM Connection"));
}

void TestComLink::unopenablePortIsReportedAndLinkStaysIdle()
{
    const QByteArray device = QByteArrayLiteral("/nonexistent/qm320-tty");
    qputenv("QM320_COM2", device);

    LiveWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    QTest::mouseClick(w.find<QLabel>("portButton"), Qt::LeftButton);
    QCOMPARE(w.window->session().serialPort(), QStringLiteral("COM2"));
    QTest::mouseClick(w.find<QPushButton>("comButton"), Qt::LeftButton);

    QCOMPARE(w.messages->shown.size(), 1);
    const QString message = w.messages->shown.first();
    QVERIFY2(message.startsWith(QLatin1String("error: ")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("COM2")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String(device)), qPrintable(message));

    QCOMPARE(w.window->session().linkState(), LinkState::Idle);
    QVERIFY(!w.find<QPushButton>("comButton")->isChecked());
    QCOMPARE(w.find<QPushButton>("comButton")->text(), QStringLiteral("COM Connection"));
    QVERIFY(w.shown("usbButton"));
    QVERIFY(w.shown("portButton") && w.find("portButton")->isEnabled());
    QCOMPARE(w.find<QLabel>("portButton")->text(), QStringLiteral("COM 2"));
}

QTEST_MAIN(TestComLink)
#include "tst_comlink.moc"
