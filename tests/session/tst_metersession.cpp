#include "fakes/fakehidbackend.h"
#include "fakes/fakeserialbackend.h"
#include "meter/localeinfo.h"
#include "meter/meterframes.h"
#include "session/metersession.h"
#include "transport/serialsettings.h"
#include "transport/usblink.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace MeterBits;

namespace {

const QByteArray Dc1234 = meterFrame('+', "1234", '1', {Auto | Dc, 0, 0, Volt});
const QString CablePath = QStringLiteral("/dev/hidraw-cable");
const QString SetupLine = QStringLiteral("60 09 00 00 03 00 00 00 00 ");

QByteArray dcVolts(const char (&digits)[5], char point = '1', char sign = '+')
{
    return meterFrame(sign, digits, point, {Auto | Dc, 0, 0, Volt});
}

// A session on a fake serial port and a fake HID system, recording what it
// announces as short texts.
struct Rig
{
    explicit Rig(const std::vector<FakeHidDevice> &devices = {}, const QString &separator = QStringLiteral("."))
        : locale(separator)
    {
        for (const FakeHidDevice &d : devices)
            hid->add(d);
        auto fakeSerial = std::make_unique<FakeSerialBackend>();
        serial = fakeSerial.get();
        session = std::make_unique<MeterSession>(locale, std::move(fakeSerial), hid->backend());
        MeterSession *s = session.get();
        QObject::connect(s, &MeterSession::readingDecoded, s, [this](const DecodeResult &r) {
            events << QStringLiteral("reading %1 %2").arg(r.reading.valueText, r.reading.judgeText);
        });
        QObject::connect(s, &MeterSession::rowLogged, s,
                         [this](int row, double value) { events << QStringLiteral("row %1 %2").arg(row).arg(value); });
        QObject::connect(s, &MeterSession::linkStateChanged, s, [this](LinkState state) {
            static const char *const names[] = {"idle", "serial", "usb", "waiting for serial", "waiting for usb"};
            events << QStringLiteral("link %1").arg(QLatin1String(names[int(state)]));
        });
        QObject::connect(s, &MeterSession::linkFailed, s, [this](const LinkFailure &f) {
            events << QStringLiteral("failed %1 %2").arg(int(f.kind)).arg(f.device);
            lastFailure = f;
        });
        QObject::connect(s, &MeterSession::dataArrivingChanged, s,
                         [this](bool on) { events << (on ? QStringLiteral("arriving") : QStringLiteral("no data")); });
        session->start();
    }

    // One frame on the serial path; the first is preceded by the LF of a
    // frame sent before the port was read.
    void frame(const QByteArray &bytes)
    {
        session->feedSerialBytes(primed ? bytes : QByteArray("\n") + bytes);
        primed = true;
    }
    // A frame as the cable sends it: reports of a count byte and up to seven
    // payload bytes, then one without payload that closes it.
    static QByteArray closingReport() { return QByteArray::fromHex("00f0") + QByteArray(7, '\0'); }
    void queueCableFrame(const QByteArray &frame, const QString &path = CablePath, bool close = true)
    {
        for (qsizetype at = 0; at < frame.size(); at += 7) {
            const int n = int(std::min<qsizetype>(7, frame.size() - at));
            QByteArray report(9, '\0');
            report[1] = char(0xF0 | n);
            report.replace(2, n, frame.mid(at, n));
            hid->queueReport(path, report);
        }
        if (close)
            hid->queueReport(path, closingReport());
    }
    QStringList features() const
    {
        QStringList list;
        for (const FakeHidSystem::Feature &f : hid->features())
            list << f.path + QLatin1Char(' ') + QString::fromLatin1(f.bytes.toHex(' '));
        return list;
    }
    QStringList takeEvents() { return std::exchange(events, {}); }

    FixedLocaleInfo locale;
    std::shared_ptr<FakeHidSystem> hid = std::make_shared<FakeHidSystem>();
    FakeSerialBackend *serial = nullptr;
    std::unique_ptr<MeterSession> session;
    QStringList events;
    LinkFailure lastFailure;
    bool primed = false;
};

// A clock in UTC that the test moves.
class SteppedClock : public LocalClock
{
public:
    qint64 utcMilliseconds() const override { return ms; }
    QTime localTimeOfDay(qint64 utcSeconds) const override
    {
        return QTime(0, 0).addSecs(int(utcSeconds % 86400));
    }
    qint64 ms = 0;
};

QString kind(LinkFailure::Kind k)
{
    return QString::number(int(k));
}

} // namespace

class TestMeterSession : public QObject
{
    Q_OBJECT
private slots:
    void readingFlowsForwardToTheLog();
    void judgement_data();
    void judgement();
    void limitNotANumberKeepsTheLastJudgement();
    void limitTextsRewrittenForTheSeparator();
    void dataArrivingLamp();
    void samplingLogsOnTicks();
    void rowsCarryTheClocksLocalTime();
    void heldReadingsLandAfterTheFile();
    void journalFollowsOpens();
    void serialLink();
    void serialOpenFailure();
    void lostSerialLink_data();
    void lostSerialLink();
    void usbConnectAndDisconnect();
    void usbWithoutCableOrAccess();
    void usbIdleTimeout_data();
    void usbIdleTimeout();
    void usbDeviceChangeWhileConnected();
    void lostUsbLink_data();
    void lostUsbLink();
    void unreadableCableIsLost();
    void usbSilentCable();
    void destroyedWithReportsPending();
};

void TestMeterSession::readingFlowsForwardToTheLog()
{
    Rig rig;
    rig.frame(Dc1234);
    QCOMPARE(rig.takeEvents(), QStringList({"arriving", "reading 1.234 pass", "row 0 1.234"}));
    QCOMPARE(rig.session->log().rowCount(), 1);
    QCOMPARE(rig.session->lastFrame().toHex(), QString::fromLatin1(Dc1234.left(13).toHex().toUpper()));
    QCOMPARE(rig.session->decodedFrames(), 1);

    // A frame that cannot be decoded changes nothing.
    rig.frame(meterFrame('+', "12:4", '1', {Dc, 0, 0, Volt}));
    QCOMPARE(rig.takeEvents(), QStringList());
    QCOMPARE(rig.session->decodedFrames(), 1);
}

void TestMeterSession::judgement_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("judged");

    const QString dot = QStringLiteral(".");
    QTest::newRow("inside the limits") << dot << "4000" << "-4000" << dcVolts("1234") << "pass";
    QTest::newRow("equal to the high limit") << dot << "1.234" << "0" << dcVolts("1234") << "pass";
    QTest::newRow("equal to the low limit") << dot << "5" << "1.234" << dcVolts("1234") << "pass";
    QTest::newRow("above the high limit") << dot << "1.2" << "0" << dcVolts("1234") << "Fail";
    QTest::newRow("below the low limit") << dot << "5" << "-0.5" << dcVolts("1234", '1', '-') << "Fail";
    QTest::newRow("low limit above the high limit") << dot << "1" << "2" << dcVolts("1500") << "Fail";
    QTest::newRow("6000 kilo-ohm outside the default limits, whatever the unit")
        << dot << "4000" << "-4000" << meterFrame('+', "6000", '0', {0, 0, Kilo, Ohm}) << "Fail";
    QTest::newRow("over-range is not a number and fails")
        << dot << "4000" << "-4000" << meterFrame('+', "?000", '2', {Auto, 0, Mega, Ohm}) << "Fail";
    QTest::newRow("comma separator") << QStringLiteral(",") << "2,5" << "1,2" << dcVolts("1234") << "pass";
}

void TestMeterSession::judgement()
{
    QFETCH(QString, separator);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QByteArray, frame);
    QFETCH(QString, judged);

    Rig rig({}, separator);
    rig.session->setLimitTexts(high, low);
    rig.frame(frame);
    QCOMPARE(rig.session->lastResult().reading.judgeText, judged);
    // The row carries the judgement.
    QCOMPARE(rig.session->log().text(0, int(LogField::Auto)).toString(), judged);
}

void TestMeterSession::limitNotANumberKeepsTheLastJudgement()
{
    Rig rig;
    rig.frame(dcVolts("1234"));
    QCOMPARE(rig.session->lastResult().reading.judgeText, QStringLiteral("pass"));
    // Pasted text that the edit has not put back yet: the frames are shown
    // but not judged.
    rig.session->setLimitTexts(QStringLiteral("1'0"), QStringLiteral("-4000"));
    rig.frame(dcVolts("3000"));
    QCOMPARE(rig.session->lastResult().reading.valueText, QStringLiteral("3.000"));
    QCOMPARE(rig.session->lastResult().reading.judgeText, QStringLiteral("pass"));
}

void TestMeterSession::limitTextsRewrittenForTheSeparator()
{
    Rig rig({}, QStringLiteral(","));
    QSignalSpy rewritten(rig.session.get(), &MeterSession::limitTextsRewritten);
    rig.session->setLimitTexts(QStringLiteral("1.5.5"), QStringLiteral("-2,25"));
    rig.frame(meterFrame('+', "1234", '1', {Dc, 0, 0, Volt}));
    QCOMPARE(rewritten.size(), 1);
    QCOMPARE(rewritten.at(0).at(0).toString(), QStringLiteral("1,5.5"));   // only the first point
    QCOMPARE(rewritten.at(0).at(1).toString(), QStringLiteral("-2,25"));
    QCOMPARE(rig.session->highLimitText(), QStringLiteral("1,5.5"));
    // One rewrite a frame, until nothing is left to rewrite.
    rig.frame(meterFrame('+', "1234", '1', {Dc, 0, 0, Volt}));
    QCOMPARE(rewritten.size(), 2);
    QCOMPARE(rig.session->highLimitText(), QStringLiteral("1,5,5"));
    rig.frame(meterFrame('+', "1234", '1', {Dc, 0, 0, Volt}));
    QCOMPARE(rewritten.size(), 2);
}

void TestMeterSession::dataArrivingLamp()
{
    Rig rig;
    QVERIFY(!rig.session->dataArriving());
    rig.frame(dcVolts("1234"));
    QVERIFY(rig.session->dataArriving());
    // A frame every other tick keeps it lit; three ticks without one put it out.
    for (int i = 0; i < 6; ++i) {
        rig.session->tickConnection();
        rig.session->tickConnection();
        rig.frame(dcVolts("1234"));
        QVERIFY(rig.session->dataArriving());
    }
    rig.session->tickConnection();
    rig.session->tickConnection();
    QVERIFY(rig.session->dataArriving());
    rig.takeEvents();
    rig.session->tickConnection();
    QCOMPARE(rig.takeEvents(), QStringList{"no data"});
}

void TestMeterSession::samplingLogsOnTicks()
{
    Rig rig;
    rig.session->setSampling(true);
    rig.session->setSamplingInterval(5000);
    rig.frame(dcVolts("1234"));
    rig.frame(dcVolts("1235"));
    QCOMPARE(rig.session->log().rowCount(), 0);
    rig.session->tickSampling();
    QCOMPARE(rig.session->log().rowCount(), 1);
    QCOMPARE(rig.session->log().text(0, int(LogField::Value)).toString(), QStringLiteral("1.235"));
    // No new frame since the tick: nothing to log.
    rig.session->tickSampling();
    QCOMPARE(rig.session->log().rowCount(), 1);
    QCOMPARE(rig.session->samplingInterval(), 5000);

    // Per-frame logging again from the next frame on.
    rig.session->setSampling(false);
    rig.frame(dcVolts("1236"));
    QCOMPARE(rig.session->log().rowCount(), 2);
}

void TestMeterSession::rowsCarryTheClocksLocalTime()
{
    Rig rig;
    auto stepped = std::make_unique<SteppedClock>();
    SteppedClock *clock = stepped.get();
    rig.session->setClock(std::move(stepped));
    const qint64 day = 20000LL * 86400 * 1000;
    clock->ms = day - 200;   // 23:59:59.800
    rig.frame(Dc1234);
    clock->ms = day + 300;
    rig.frame(Dc1234);
    rig.session->setSampling(true);
    rig.frame(Dc1234);
    clock->ms = day + 1300;
    rig.session->tickSampling();
    QStringList times;
    QList<qint64> moments;
    for (int row = 0; row < rig.session->log().rowCount(); ++row) {
        times << rig.session->log().text(row, int(LogField::Time)).toString();
        moments << rig.session->log().loggedAt(row).value_or(-1);
    }
    QCOMPARE(times, QStringList({"23:59:59", "00:00:00", "00:00:01"}));
    // And the moment itself, which gives the row its date.
    QCOMPARE(moments, QList<qint64>({day - 200, day + 300, day + 1300}));
}

void TestMeterSession::heldReadingsLandAfterTheFile()
{
    Rig rig;
    rig.session->holdReadings();
    rig.frame(dcVolts("1234"));
    QCOMPARE(rig.session->log().rowCount(), 0);
    LogTable &log = rig.session->log();
    QVERIFY(log.append());
    log.setInteger(int(LogField::No), 77);
    log.post();
    rig.takeEvents();
    rig.session->releaseReadings();
    QCOMPARE(rig.takeEvents(), QStringList{"row 1 1.234"});
    QCOMPARE(log.integer(1, int(LogField::No)), 1);
    // Logged like any reading: not saved yet.
    QCOMPARE(rig.session->unsavedRows(), 1);
}

void TestMeterSession::journalFollowsOpens()
{
    QTemporaryDir dir;
    Rig rig;
    QVERIFY(rig.session->startJournal(dir.path()));
    const QString first = rig.session->journalFile();
    const auto journalLines = [&rig] {
        QFile file(rig.session->journalFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
    };
    rig.frame(dcVolts("1000"));
    // A reading held while a file opens reaches the journal when it is logged.
    rig.session->holdReadings();
    rig.frame(dcVolts("2000"));
    rig.session->releaseReadings();
    // The journal reaches the system within a second.
    QTRY_COMPARE_WITH_TIMEOUT(journalLines(), 3, 5000);   // the header and two rows
    QCOMPARE(rig.session->unsavedRows(), 2);

    // An open that added to the log keeps the journal; one that replaced the
    // log starts a new one, so a crash does not offer the rows it replaced.
    rig.session->noteLogOpened(false);
    QCOMPARE(rig.session->journalFile(), first);
    QCOMPARE(rig.session->unsavedRows(), 2);
    rig.session->noteLogOpened(true);
    QCOMPARE(rig.session->unsavedRows(), 0);
    QVERIFY(rig.session->journalFile() != first);
    QVERIFY(!QFile::exists(first));
    rig.frame(dcVolts("3000"));
    QCOMPARE(rig.session->unsavedRows(), 1);
}

void TestMeterSession::serialLink()
{
    Rig rig;
    QCOMPARE(rig.session->serialPort(), QStringLiteral("COM1"));
    QVERIFY(rig.session->connectSerial());
    QCOMPARE(rig.takeEvents(), QStringList{"link serial"});
    QCOMPARE(rig.serial->calls, QStringList({"open COM1", "flush"}));
    QCOMPARE(rig.serial->openedWith, QList<SerialSettings>{MeterLineSettings});

    // The port cannot change while it is open.
    rig.session->setSerialPort(QStringLiteral("COM3"));
    QCOMPARE(rig.session->serialPort(), QStringLiteral("COM1"));

    // The driver polls every 100 ms and the bytes flow to the log.
    rig.serial->input = QByteArray("\n") + Dc1234;
    QTRY_COMPARE(rig.session->log().rowCount(), 1);

    rig.session->disconnectSerial();
    QVERIFY(!rig.serial->isOpen);
    QCOMPARE(rig.session->linkState(), LinkState::Idle);
    rig.session->setSerialPort(QStringLiteral("COM3"));
    QCOMPARE(rig.session->serialPort(), QStringLiteral("COM3"));
}

void TestMeterSession::serialOpenFailure()
{
    Rig rig;
    rig.serial->failOpen = true;
    QVERIFY(!rig.session->connectSerial());
    QCOMPARE(rig.session->linkState(), LinkState::Idle);
    QCOMPARE(rig.lastFailure.kind, LinkFailure::Kind::PortNotOpened);
    QCOMPARE(rig.lastFailure.detail, rig.serial->openErrorText);

    rig.serial->failOpen = false;
    QVERIFY(rig.session->connectSerial());
    QCOMPARE(rig.session->linkState(), LinkState::Serial);
}

void TestMeterSession::lostSerialLink_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::newRow("the link ends") << false;
    QTest::newRow("the link waits for the adapter") << true;
}

void TestMeterSession::lostSerialLink()
{
    QFETCH(bool, reconnect);
    Rig rig;
    rig.session->setReconnect(reconnect);
    QVERIFY(rig.session->connectSerial());
    rig.frame(Dc1234);
    QVERIFY(rig.session->dataArriving());
    rig.takeEvents();

    // The adapter is pulled in the middle of a frame: the reads fail.
    rig.session->feedSerialBytes(QByteArray("\n") + Dc1234.left(6));
    rig.serial->failReads = true;
    QTRY_COMPARE(rig.lastFailure.kind, LinkFailure::Kind::PortLost);
    QCOMPARE(rig.lastFailure.reconnecting, reconnect);
    QCOMPARE(rig.lastFailure.port, QStringLiteral("COM1"));
    QVERIFY(rig.lastFailure.detail.contains(QLatin1String("hung up")));
    QVERIFY(!rig.serial->isOpen);
    QVERIFY(!rig.session->dataArriving());
    QCOMPARE(rig.session->log().rowCount(), 1);   // what was logged stays
    const QStringList lost = rig.takeEvents();
    QCOMPARE(lost.filter(QStringLiteral("failed")).size(), 1);
    QVERIFY(lost.contains(reconnect ? QStringLiteral("link waiting for serial") : QStringLiteral("link idle")));
    if (!reconnect)
        return;

    // While the adapter is away the port does not open; once it is back
    // the link goes on by itself.
    QCOMPARE(rig.session->awaitedDevice(), QStringLiteral("COM1"));
    rig.serial->failReads = false;
    rig.serial->failOpen = true;
    rig.session->tryReconnect();
    QCOMPARE(rig.session->linkState(), LinkState::WaitingForSerial);
    rig.serial->failOpen = false;
    QTRY_COMPARE(rig.session->linkState(), LinkState::Serial);
    // The half frame from before the pull is not part of the new stream.
    rig.serial->input = QByteArray("\n") + Dc1234;
    QTRY_COMPARE(rig.session->log().rowCount(), 2);

    // Pressing the button while it waits ends the wait.
    rig.serial->failReads = true;
    QTRY_COMPARE(rig.session->linkState(), LinkState::WaitingForSerial);
    rig.session->disconnectSerial();
    QCOMPARE(rig.session->linkState(), LinkState::Idle);
}

void TestMeterSession::usbConnectAndDisconnect()
{
    Rig rig({fakeHidDevice(QStringLiteral("mouse"), QStringLiteral("Optical Mouse")), fakeHidDevice(QStringLiteral("cable"))});
    QCOMPARE(rig.session->usbLink().deviceNames(), QStringList({"Optical Mouse", "USB to Serial"}));
    QCOMPARE(rig.session->usbLink().selectedRow(), 1);
    rig.session->feedReport(0, QByteArray(8, '\0'));   // counted towards the idle time-out
    QCOMPARE(rig.session->emptyReportCount(), 1);

    QVERIFY(rig.session->connectUsb());
    QCOMPARE(rig.session->emptyReportCount(), 0);
    QCOMPARE(rig.takeEvents(), QStringList{"link usb"});
    QCOMPARE(rig.features(), QStringList({CablePath + " 00 60 09 00 00 03 00 00 00 00"}));
    QCOMPARE(rig.session->history().lines(), QStringList{SetupLine});

    rig.queueCableFrame(Dc1234);
    QTRY_COMPARE(rig.session->log().rowCount(), 1);
    QCOMPARE(rig.session->lastResult().reading.valueText, QStringLiteral("1.234"));
    // The set-up line, then one line per report that carried meter bytes.
    QCOMPARE(rig.session->history().lines().size(), 1 + 2);
    QCOMPARE(rig.session->history().lines().at(1), QStringLiteral("R 00  F7 2B 31 32 33 34 20 31 "));

    // Releasing sends the set-up report once more.
    rig.session->disconnectUsb();
    QCOMPARE(rig.takeEvents().last(), QStringLiteral("link idle"));
    QCOMPARE(rig.features().size(), 2);
    QCOMPARE(rig.session->history().lines().last(), SetupLine);
    QVERIFY(!rig.session->usbLink().isReading());
}

void TestMeterSession::usbWithoutCableOrAccess()
{
    {
        Rig rig;
        QVERIFY(!rig.session->connectUsb());
        QCOMPARE(rig.takeEvents(), QStringList{"failed " + kind(LinkFailure::Kind::CableNotFound) + " "});
        QCOMPARE(rig.session->linkState(), LinkState::Idle);
        QVERIFY(rig.session->history().lines().isEmpty());
    }
    FakeHidDevice cable = fakeHidDevice(QStringLiteral("cable"));
    cable.readWrite = false;
    Rig rig({cable});
    QVERIFY(!rig.session->connectUsb());
    QCOMPARE(rig.lastFailure.kind, LinkFailure::Kind::CableNotReadable);
    QCOMPARE(rig.lastFailure.device, CablePath);
    QVERIFY(rig.lastFailure.detail.contains(QLatin1String("Permission denied")));
    QCOMPARE(rig.session->linkState(), LinkState::Idle);
    // The set-up line is written all the same; the cable refused the report.
    QCOMPARE(rig.session->history().lines(), QStringList{SetupLine});
    QVERIFY(rig.features().isEmpty());
}

void TestMeterSession::usbIdleTimeout_data()
{
    QTest::addColumn<int>("emptyReports");
    QTest::addColumn<bool>("timedOut");
    QTest::newRow("1899 reports without meter bytes") << 1899 << false;
    QTest::newRow("1900 reports without meter bytes") << 1900 << true;
}

void TestMeterSession::usbIdleTimeout()
{
    QFETCH(int, emptyReports);
    QFETCH(bool, timedOut);
    Rig rig({fakeHidDevice(QStringLiteral("cable"))});
    QVERIFY(rig.session->connectUsb());
    for (int i = 0; i < emptyReports; ++i)
        rig.session->feedReport(0, QByteArray::fromHex("00"));
    rig.takeEvents();
    for (int i = 0; i < 3; ++i)
        rig.session->tickConnection();
    QCOMPARE(rig.session->emptyReportCount(), timedOut ? 0 : emptyReports);
    // The link ends honestly: the controls return to idle.
    QCOMPARE(rig.session->linkState(), timedOut ? LinkState::Idle : LinkState::Usb);
    QCOMPARE(rig.session->usbLink().isReading(), !timedOut);
    if (timedOut)
        QCOMPARE(rig.takeEvents(), QStringList({"link idle", "failed " + kind(LinkFailure::Kind::CableIdle) + " " + CablePath}));

    // The next press connects again.
    if (timedOut) {
        QVERIFY(rig.session->connectUsb());
        QVERIFY(rig.session->usbLink().isReading());
    }
}

void TestMeterSession::usbDeviceChangeWhileConnected()
{
    Rig rig({fakeHidDevice(QStringLiteral("cable"))});
    QVERIFY(rig.session->connectUsb());

    // Another device comes: the link stays with its cable.
    rig.hid->add(fakeHidDevice(QStringLiteral("mouse"), QStringLiteral("Optical Mouse")));
    rig.hid->notify();
    QCOMPARE(rig.session->history().lines().last(), QStringLiteral("Arrival of Optical Mouse"));
    QVERIFY(rig.session->usbLink().isReading());
    rig.queueCableFrame(Dc1234);
    QTRY_COMPARE(rig.session->log().rowCount(), 1);

    // The cable goes: the link ends.
    rig.hid->remove(QStringLiteral("cable"));
    rig.hid->notify();
    QVERIFY(rig.session->history().lines().contains(QStringLiteral("Removal of USB to Serial")));
    QCOMPARE(rig.session->usbLink().selectedRow(), -1);
    QVERIFY(!rig.session->usbLink().isReading());
    QCOMPARE(rig.session->linkState(), LinkState::Idle);
    QCOMPARE(rig.lastFailure.kind, LinkFailure::Kind::CableLost);
    QCOMPARE(rig.session->log().rowCount(), 1);
}

void TestMeterSession::lostUsbLink_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::addColumn<bool>("samePath");
    QTest::newRow("the link ends") << false << false;
    QTest::newRow("the cable comes back at its path") << true << true;
    QTest::newRow("the cable comes back at another path") << true << false;
}

void TestMeterSession::lostUsbLink()
{
    QFETCH(bool, reconnect);
    QFETCH(bool, samePath);
    Rig rig({fakeHidDevice(QStringLiteral("cable"))});
    rig.session->setReconnect(reconnect);
    QVERIFY(rig.session->connectUsb());
    rig.queueCableFrame(Dc1234);
    QTRY_COMPARE(rig.session->log().rowCount(), 1);
    rig.takeEvents();

    rig.hid->remove(QStringLiteral("cable"));
    rig.hid->notify();
    QTRY_COMPARE(rig.lastFailure.kind, LinkFailure::Kind::CableLost);
    QCOMPARE(rig.lastFailure.device, CablePath);
    QCOMPARE(rig.lastFailure.port, QStringLiteral("USB to Serial"));
    QCOMPARE(rig.lastFailure.reconnecting, reconnect);
    QCOMPARE(rig.session->linkState(), reconnect ? LinkState::WaitingForUsb : LinkState::Idle);
    if (!reconnect)
        return;

    // Plugged in again: the link takes it up, sets it up and reads on.
    FakeHidDevice back = fakeHidDevice(QStringLiteral("cable-again"));
    if (samePath)
        back.path = CablePath;
    rig.hid->add(back);
    rig.hid->notify();
    QCOMPARE(rig.session->linkState(), LinkState::Usb);
    QCOMPARE(rig.features().size(), 2);
    rig.queueCableFrame(Dc1234, back.path);
    QTRY_COMPARE(rig.session->log().rowCount(), 2);
}

void TestMeterSession::unreadableCableIsLost()
{
    // Listed, but every read fails: after a few the link ends all the same.
    Rig rig({fakeHidDevice(QStringLiteral("cable"))});
    QVERIFY(rig.session->connectUsb());
    rig.hid->edit(QStringLiteral("cable"), [](FakeHidDevice &d) { d.readOpenError = HidError::Io; });
    rig.hid->failNextRead(CablePath, HidError::Io);
    QTRY_COMPARE(rig.lastFailure.kind, LinkFailure::Kind::CableLost);
    QCOMPARE(rig.session->linkState(), LinkState::Idle);
}

void TestMeterSession::usbSilentCable()
{
    Rig rig({fakeHidDevice(QStringLiteral("cable"))});
    rig.hid->resetError = HidError::None;
    QVERIFY(rig.session->connectUsb());
    // Nothing at all came: the cable is reset once and set up again.
    rig.session->usbLink().checkSilentCable();
    QCOMPARE(rig.session->history().lines(), QStringList({SetupLine, "Reset of USB to Serial", SetupLine}));
    QVERIFY(rig.events.filter(QStringLiteral("failed")).isEmpty());
    // Still nothing: now it is reported.
    rig.session->usbLink().checkSilentCable();
    QCOMPARE(rig.lastFailure.kind, LinkFailure::Kind::CableSilent);
    QCOMPARE(rig.hid->resets.size(), 1);
}

void TestMeterSession::destroyedWithReportsPending()
{
    // The read thread has handed a report over and waits for the main
    // thread when the session goes: stopping the thread delivers that
    // report, and it must land nowhere rather than in a decoder on its way
    // out. The report is the one that completes a frame, so a delivery
    // would decode it.
    Rig rig({fakeHidDevice(QStringLiteral("cable"))});
    QVERIFY(rig.session->connectUsb());
    rig.queueCableFrame(Dc1234, CablePath, false);
    QTRY_COMPARE(rig.session->history().lines().size(), 1 + 2);   // the set-up line and two report lines

    int decoded = 0;
    QObject::connect(rig.session.get(), &MeterSession::readingDecoded, rig.session.get(), [&] { ++decoded; });
    rig.hid->queueReport(CablePath, Rig::closingReport());
    // Without running the event loop: the thread takes the report, hands it
    // over and waits.
    for (int i = 0; i < 200 && rig.hid->queuedReports(CablePath) > 0; ++i)
        QThread::msleep(5);
    QThread::msleep(50);
    QCOMPARE(rig.hid->queuedReports(CablePath), std::size_t(0));
    rig.session.reset();
    QCOMPARE(decoded, 0);
}

QTEST_GUILESS_MAIN(TestMeterSession)
#include "tst_metersession.moc"
