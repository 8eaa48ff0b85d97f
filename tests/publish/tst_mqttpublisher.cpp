#include "log/unitsymbols.h"
#include "meter/reading.h"
#include "mosquittobroker.h"
#include "publish/brokeraddress.h"
#include "publish/messagepublisher.h"
#include "publish/readingpublisher.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Readings to a real Mosquitto broker: every reading of a capture arrives
// as decoded, and readings published while the broker is away wait for it,
// up to the queue's size, the dropped ones counted.
class TestMqttPublisher : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void captureReachesTheBroker_data();
    void captureReachesTheBroker();
    void brokerAwayAndBack();
};

namespace {

QString data(const char *name)
{
    return QStringLiteral(QM320_TEST_DATA "/") + QLatin1String(name);
}

Reading readingNumber(int n)
{
    Reading reading;
    reading.valueText = QString::number(n);
    reading.functionText = QStringLiteral("DC");
    reading.unitText = QStringLiteral("mV");
    reading.judgeText = QStringLiteral("pass");
    return reading;
}

QSet<int> framesOf(const QList<QByteArray> &messages)
{
    QSet<int> frames;
    for (const QByteArray &message : messages)
        frames.insert(QJsonDocument::fromJson(message).object().value("frame").toInt());
    return frames;
}

QSet<int> framesFrom(int first, int last)
{
    QSet<int> frames;
    for (int n = first; n <= last; ++n)
        frames.insert(n);
    return frames;
}

} // namespace

void TestMqttPublisher::initTestCase()
{
    if (!createMessagePublisher())
        QSKIP("this build has no MQTT library (libmosquitto)");
    if (!MosquittoBroker::available())
        QSKIP("mosquitto, mosquitto_sub and mosquitto_pub are needed (Debian: mosquitto, mosquitto-clients)");
}

void TestMqttPublisher::captureReachesTheBroker_data()
{
    QTest::addColumn<QStringList>("input");   // what follows "decode"
    QTest::addColumn<int>("repeat");          // the capture played that many times over

    QTest::newRow("COM link capture") << QStringList{data("decode-serial.bin")} << 1;
    QTest::newRow("USB reports") << QStringList{"--hid", data("decode-hid.txt")} << 1;
    QTest::newRow("a long capture") << QStringList{data("decode-serial.bin")} << 20000;
}

void TestMqttPublisher::captureReachesTheBroker()
{
    QFETCH(QStringList, input);
    QFETCH(int, repeat);
    QTemporaryDir dir;
    if (repeat > 1) {
        QFile capture(input.last());
        QVERIFY(capture.open(QIODevice::ReadOnly));
        const QByteArray bytes = capture.readAll().repeated(repeat);
        QFile many(dir.filePath(QStringLiteral("many.bin")));
        QVERIFY(many.open(QIODevice::WriteOnly));
        many.write(bytes);
        input.last() = many.fileName();
    }
    MosquittoBroker broker(dir.path());
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("qm320/test/capture");
    Subscriber subscriber;
    QVERIFY(subscriber.start(broker.port(), topic, QStringLiteral("qm320-test-capture")));

    QProcess cli;
    cli.start(QStringLiteral(QM320_BINARY_DIR "/tools/qm320-cli"),
              QStringList{"decode", "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(broker.port()).arg(topic)}
                  + input);
    QVERIFY(cli.waitForFinished(GenerousMs * 5));
    const QByteArray err = cli.readAllStandardError();
    QCOMPARE(cli.exitCode(), 0);
    QList<QByteArray> decoded = cli.readAllStandardOutput().split('\n');
    decoded.removeLast();
    QVERIFY(!decoded.isEmpty());
    QVERIFY2(err.startsWith(QStringLiteral("mqtt: %1 readings published to %2 at ").arg(decoded.size()).arg(topic).toUtf8())
                 && err.contains(", 0 dropped, 0 not delivered\n"),
             err.constData());
    qInfo("%s", err.trimmed().constData());

    QTRY_VERIFY_WITH_TIMEOUT(subscriber.messages().size() >= decoded.size(), GenerousMs);
    const QList<QByteArray> messages = subscriber.messages();
    QCOMPARE(messages.size(), decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QJsonObject line = QJsonDocument::fromJson(decoded[i]).object();
        const QJsonObject message = QJsonDocument::fromJson(messages[i]).object();
        const QString display = line.value("value").toString();
        QCOMPARE(message.value("frame").toInteger(), i + 1);
        QCOMPARE(message.value("display").toString(), display);
        QCOMPARE(message.value("function").toString(), line.value("function").toString());
        QCOMPARE(message.value("judgement").toString(), line.value("judge").toString());
        QCOMPARE(message.value("unit").toString(), lcdUnitText(line.value("unit").toString()));
        // The displayed number; an over-range display ("0.L") is none.
        if (display.contains(QLatin1Char('L')))
            QVERIFY(message.value("value").isNull());
        else
            QCOMPARE(message.value("value").toDouble(), line.value("numeric").toDouble());
        QVERIFY(message.value("time").toString().contains(QLatin1Char('T')));
    }
}

void TestMqttPublisher::brokerAwayAndBack()
{
    QTemporaryDir dir;
    MosquittoBroker broker(dir.path());
    QVERIFY(broker.start());
    const QString topic = QStringLiteral("qm320/test/restart");
    Subscriber subscriber;
    QVERIFY(subscriber.start(broker.port(), topic, QStringLiteral("qm320-test-restart")));

    // A queue of 50 readings, for the test's sake.
    ReadingPublisher publisher(createMessagePublisher(50));
    QSignalSpy connection(&publisher, &ReadingPublisher::connectionChanged);
    QSignalSpy dropped(&publisher, &ReadingPublisher::droppedChanged);
    const std::optional<BrokerAddress> address
        = BrokerAddress::parse(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), nullptr);
    QVERIFY(address);
    QString why;
    QVERIFY2(publisher.start(*address, topic, &why), qPrintable(why));
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isEmpty() && connection.last().at(0).toBool(), GenerousMs);

    int frame = 0;
    for (; frame < 40; ++frame)
        publisher.publishReading(readingNumber(frame + 1), frame + 1, 1721030401000 + frame);
    QTRY_COMPARE_WITH_TIMEOUT(publisher.status().delivered, 40, GenerousMs);

    // The broker goes: the publisher notices, and keeps what it can.
    broker.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!connection.last().at(0).toBool(), GenerousMs);
    QVERIFY(!connection.last().at(1).toString().isEmpty());
    for (; frame < 240; ++frame)
        publisher.publishReading(readingNumber(frame + 1), frame + 1, 1721030401000 + frame);
    PublisherStatus away = publisher.status();
    QCOMPARE(away.waiting, 50);
    QCOMPARE(away.dropped, 150);
    QTRY_VERIFY_WITH_TIMEOUT(!dropped.isEmpty() && dropped.last().at(0).toLongLong() == 150, GenerousMs);

    // Back: the newest 50 reach it, the subscriber gets them too.
    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(publisher.status().delivered, 90, GenerousMs);
    QCOMPARE(publisher.status().waiting, 0);
    QTRY_VERIFY_WITH_TIMEOUT(connection.last().at(0).toBool(), GenerousMs);
    const QSet<int> expected = framesFrom(1, 40) + framesFrom(191, 240);
    QTRY_VERIFY_WITH_TIMEOUT(framesOf(subscriber.messages()).contains(expected), GenerousMs);
    QCOMPARE(framesOf(subscriber.messages()), expected);
}

QTEST_GUILESS_MAIN(TestMqttPublisher)
#include "tst_mqttpublisher.moc"
