#include "meter/reading.h"
#include "publish/readingmessage.h"

#include <QTest>

#include <ctime>

// A reading as the broker receives it: one JSON object.
class TestReadingMessage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void message_data();
    void message();
};

void TestReadingMessage::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestReadingMessage::message_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("judge");
    QTest::addColumn<QByteArray>("message");

    const QByteArray time = R"({"time":"2024-07-15T10:00:01.250+02:00","frame":42,)";
    QTest::newRow("a number in its unit")
        << "-1.234" << "DC" << "mV" << "pass"
        << time + R"("value":-1.234,"unit":"mV","function":"DC","judgement":"pass","display":"-1.234"})";
    QTest::newRow("a comma for the decimal point, symbols for the unit")
        << "0,567" << "OHM" << "k*" << "Fail"
        << time + R"("value":0.567,"unit":"kΩ","function":"OHM","judgement":"Fail","display":"0,567"})";
    QTest::newRow("over range: no number")
        << "0.L" << "TMP" << "#" << "Fail"
        << time + R"("value":null,"unit":"°C","function":"TMP","judgement":"Fail","display":"0.L"})";
    QTest::newRow("not judged yet, texts escaped")
        << QStringLiteral("1\"2\\\x01") << "" << "uA" << ""
        << time + R"("value":null,"unit":"µA","function":"","judgement":"","display":"1\"2\\\u0001"})";
}

void TestReadingMessage::message()
{
    QFETCH(QString, value);
    QFETCH(QString, function);
    QFETCH(QString, unit);
    QFETCH(QString, judge);
    QFETCH(QByteArray, message);
    Reading reading;
    reading.valueText = value;
    reading.functionText = function;
    reading.unitText = unit;
    reading.judgeText = judge;
    ReadingMessage writer;
    QCOMPARE(writer.messageFor(reading, 42, 1721030401250), message);
}

QTEST_GUILESS_MAIN(TestReadingMessage)
#include "tst_readingmessage.moc"
