#include "log/logtable.h"
#include "log/readinglogger.h"
#include "logfixtures.h"
#include "meter/localeinfo.h"
#include "meter/reading.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

class FakeLogHost : public ReadingLogHost
{
public:
    explicit FakeLogHost(const LogTable &table) : m_table(table) {}

    bool repeat = true;
    bool sampling = false;
    QTime now{9, 5, 3};
    QStringList calls; // with the number of rows the table held at the call
    int resets = 0;

    bool repeatChecked() const override { return repeat; }
    bool samplingChecked() const override { return sampling; }
    QTime timeOfDay() const override { return now; }
    void setBarGraphPosition(qint32 position) override
    {
        calls << QStringLiteral("bar %1 at %2 rows").arg(position).arg(m_table.rowCount());
    }
    void addChartPoint(double value) override
    {
        calls << QStringLiteral("chart %1 at %2 rows").arg(value).arg(m_table.rowCount());
    }
    void resetChart() override { ++resets; }

private:
    const LogTable &m_table;
};

// "value|function|unit|range|judge"
Reading readingOf(const QString &described, double numeric = 1.5)
{
    const QStringList parts = described.split(u'|');
    Reading r;
    r.ValueText = parts.value(0);
    r.AcDcText = parts.value(1);
    r.UnitText = parts.value(2);
    r.RangeText = parts.value(3);
    r.JudgeText = parts.value(4);
    r.NumericValue = numeric;
    return r;
}

QList<int> numbersOf(const LogTable &table)
{
    QList<int> numbers;
    for (int row = 0; row < table.rowCount(); ++row)
        numbers << table.integer(row, int(LogField::No)).value_or(-1);
    return numbers;
}

const QString A = QStringLiteral("1.000|DC|V|AUTO|pass");
const QString B = QStringLiteral("1.001|DC|V|AUTO|pass");

} // namespace

class TestReadingLogger : public QObject
{
    Q_OBJECT

private slots:
    void perFrameLogging_data();
    void perFrameLogging();
    void rowHoldsTheReading_data();
    void rowHoldsTheReading();
    void recordLimitStopsAndResumes();
    void newKeepsTheLastLoggedKey();
    void samplingTicks_data();
    void samplingTicks();
    void barGraphPosition_data();
    void barGraphPosition();
    void samplingInterval_data();
    void samplingInterval();
    void keyFilter_data();
    void keyFilter();
};

void TestReadingLogger::perFrameLogging_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<int>("frameCount");

    QTest::newRow("Repeat ticked logs every frame") << true << QStringList{A, A, A} << QList<int>{1, 2, 3} << 4;
    QTest::newRow("steady reading for six frames, then a new one")
        << false << QStringList{A, A, A, A, A, A, B} << QList<int>{1, 7} << 8;
    QTest::newRow("AUTO to MANU logs again")
        << false << QStringList{A, "1.000|DC|V|MANU|pass"} << QList<int>{1, 2} << 3;
    QTest::newRow("a judgement alone does not")
        << false << QStringList{A, "1.000|DC|V|AUTO|Fail", "1.000|DC|V|AUTO|Fail"} << QList<int>{1} << 4;
    QTest::newRow("another function logs again") << false << QStringList{A, "1.000|AC|V|AUTO|pass"} << QList<int>{1, 2} << 3;
    QTest::newRow("back to the reading before") << false << QStringList{A, B, A} << QList<int>{1, 2, 3} << 4;
}

void TestReadingLogger::perFrameLogging()
{
    QFETCH(bool, repeat);
    QFETCH(QStringList, frames);
    QFETCH(QList<int>, numbers);
    QFETCH(int, frameCount);

    LogTable table;
    FixedLocaleInfo locale;
    FakeLogHost host(table);
    host.repeat = repeat;
    ReadingLogger logger(table, locale, host);
    for (const QString &frame : frames)
        logger.INDataToTable(readingOf(frame));
    QCOMPARE(numbersOf(table), numbers);
    QCOMPARE(logger.FrameCount, frameCount);
    QCOMPARE(logger.LoggedCount, numbers.size());
    QCOMPARE(table.pendingInsertCount(), numbers.size());
    QCOMPARE(table.currentRow(), table.rowCount() - 1);

    // Sampling mode never logs from a frame, and numbers nothing.
    host.sampling = true;
    logger.INDataToTable(readingOf(B));
    QCOMPARE(logger.FrameCount, frameCount);
}

void TestReadingLogger::rowHoldsTheReading_data()
{
    QTest::addColumn<QString>("timeSeparator");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<QString>("time");
    QTest::newRow("colon") << ":" << QTime(9, 5, 3) << "09:05:03";
    QTest::newRow("point, evening") << "." << QTime(21, 7, 59) << "21.07.59";
    QTest::newRow("midnight") << ":" << QTime(0, 0, 0) << "00:00:00";
}

void TestReadingLogger::rowHoldsTheReading()
{
    QFETCH(QString, timeSeparator);
    QFETCH(QTime, now);
    QFETCH(QString, time);

    LogTable table;
    FixedLocaleInfo locale(QStringLiteral(","), QString(), timeSeparator, QStringLiteral("h:mm:ss AP"));
    FakeLogHost host(table);
    host.now = now;
    ReadingLogger logger(table, locale, host);
    logger.INDataToTable(readingOf("-0,0035|DC|mV|MANU|Fail", -3.5));
    logger.INDataToTable(readingOf("12345678901234567890XYZ|OHM|k*|AUTO|pass", 2.5));
    QCOMPARE(rowsOf(table), (LogRows{loggedRow(1, time, "DC", "-0,0035", "mV", "Fail"),
                                     loggedRow(2, time, "OHM", "12345678901234567890", "k*", "pass")}));
    // The bar moves before the row is posted, the chart follows after.
    QCOMPARE(host.calls, (QStringList{"bar 4 at 0 rows", "chart -3.5 at 1 rows", "bar 2 at 1 rows", "chart 2.5 at 2 rows"}));
}

void TestReadingLogger::recordLimitStopsAndResumes()
{
    LogTable table;
    // Rows opened from a file are not counted against the limit.
    for (int i = 0; i < 5; ++i)
        appendRow(table, loggedRow(100 + i, "t", "DC", "1", "V", "pass"));
    FixedLocaleInfo locale;
    FakeLogHost host(table);
    ReadingLogger logger(table, locale, host);
    QCOMPARE(logger.checkedRecordLimitItem(), 2);
    QCOMPARE(logger.RecordLimit, 10000);

    logger.selectRecordLimit(0); // "1000"
    for (int i = 0; i < 1200; ++i)
        logger.INDataToTable(readingOf(A));
    QCOMPARE(table.rowCount(), 1005);
    QCOMPARE(table.integer(5, int(LogField::No)), 1);
    QCOMPARE(table.integer(1004, int(LogField::No)), 1000);
    QCOMPARE(logger.FrameCount, 1001);
    QCOMPARE(logger.LoggedCount, 1000);

    logger.selectRecordLimit(1); // "5000"
    QCOMPARE(logger.checkedRecordLimitItem(), 1);
    logger.INDataToTable(readingOf(A));
    QCOMPARE(table.rowCount(), 1006);
    QCOMPARE(table.integer(1005, int(LogField::No)), 1001);

    // A limit below the rows logged stops logging; nothing is removed.
    logger.selectRecordLimit(0);
    logger.INDataToTable(readingOf(B));
    QCOMPARE(table.rowCount(), 1006);
    QCOMPARE(logger.FrameCount, 1002);
    logger.selectRecordLimit(5); // "limitless"
    QCOMPARE(logger.RecordLimit, 10000000);
    logger.INDataToTable(readingOf(B));
    QCOMPARE(table.integer(1006, int(LogField::No)), 1002);
}

void TestReadingLogger::newKeepsTheLastLoggedKey()
{
    LogTable table;
    FixedLocaleInfo locale;
    FakeLogHost host(table);
    host.repeat = false;
    ReadingLogger logger(table, locale, host);
    logger.selectRecordLimit(3);
    for (int i = 0; i < 3; ++i)
        logger.INDataToTable(readingOf(A));
    QCOMPARE(table.rowCount(), 1);

    logger.emptyLog();
    QCOMPARE(host.resets, 1);
    QCOMPARE(table.rowCount(), 0);
    QCOMPARE(logger.FrameCount, 1);
    QCOMPARE(logger.LoggedCount, 0);
    QCOMPARE(logger.RecordLimit, 50000);
    QCOMPARE(logger.LastLoggedKey, ReadingLogger::repeatKey(readingOf(A)));

    // The unchanged reading stays out until it changes; the frames count.
    for (int i = 0; i < 3; ++i)
        logger.INDataToTable(readingOf(A));
    QCOMPARE(table.rowCount(), 0);
    logger.INDataToTable(readingOf(B));
    QCOMPARE(numbersOf(table), QList<int>{4});
}

void TestReadingLogger::samplingTicks_data()
{
    // Events: A or B a decoded frame of that reading, T a tick of Timer3.
    QTest::addColumn<bool>("sampling");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<bool>("freshAtEnd");

    QTest::newRow("one row per tick after fresh frames") << true << true << 10 << "A A T A T T" << QList<int>{1, 2} << false;
    QTest::newRow("no frames, no rows") << true << true << 10 << "T T T" << QList<int>{} << false;
    QTest::newRow("RecordSI cleared: a tick only clears FreshReading") << false << true << 10 << "A T" << QList<int>{} << false;
    QTest::newRow("at the limit a tick keeps FreshReading") << true << true << 1 << "A T A T" << QList<int>{1} << true;
    QTest::newRow("repeats suppressed at ticks are numbered")
        << true << false << 10 << "A T A T B T" << QList<int>{1, 3} << false;
}

void TestReadingLogger::samplingTicks()
{
    QFETCH(bool, sampling);
    QFETCH(bool, repeat);
    QFETCH(int, limit);
    QFETCH(QString, events);
    QFETCH(QList<int>, numbers);
    QFETCH(bool, freshAtEnd);

    LogTable table;
    FixedLocaleInfo locale(QStringLiteral("."), QString(), QStringLiteral(":"), QStringLiteral("h:mm:ss AP"));
    FakeLogHost host(table);
    host.sampling = sampling;
    host.repeat = repeat;
    host.now = QTime(22, 15, 3);
    ReadingLogger logger(table, locale, host);
    logger.RecordLimit = limit;
    Reading reading;
    for (const QString &event : events.split(u' ')) {
        if (event == u"T") {
            logger.Timer3Timer(reading);
            continue;
        }
        // What the decoder does with a frame.
        reading = readingOf(event == u"A" ? A : B);
        reading.FreshReading = true;
        if (!host.sampling)
            logger.INDataToTable(reading);
    }
    if (!sampling)
        QCOMPARE(table.rowCount(), 1); // the one frame was logged per frame
    else
        QCOMPARE(numbersOf(table), numbers);
    QCOMPARE(reading.FreshReading, freshAtEnd);
    for (int row = 0; sampling && row < table.rowCount(); ++row)
        QCOMPARE(table.text(row, int(LogField::Time)).toString(), QString("10:15:03 PM"));
}

void TestReadingLogger::barGraphPosition_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint32>("position");
    QTest::newRow("negative, half up to even") << -3.5 << 4;
    QTest::newRow("half down to even") << 2.5 << 2;
    QTest::newRow("below half") << 0.4999 << 0;
    QTest::newRow("minus half") << -0.5 << 0;
    QTest::newRow("above half") << 6000.6 << 6001;
    QTest::newRow("beyond 32 bits") << 1e12 << std::numeric_limits<qint32>::max();
    QTest::newRow("not a number") << std::nan("") << 0;
}

void TestReadingLogger::barGraphPosition()
{
    QFETCH(double, value);
    QFETCH(qint32, position);
    QCOMPARE(ReadingLogger::barGraphPosition(value), position);
}

void TestReadingLogger::samplingInterval_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("applies");
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<bool>("becomesOne");
    QTest::newRow("1") << "1" << true << 1000 << false;
    QTest::newRow("5") << "5" << true << 5000 << false;
    QTest::newRow("0 becomes 1") << "0" << true << 1000 << true;
    QTest::newRow("largest for the timer") << "2147483" << true << 2147483000 << false;
    QTest::newRow("emptied while editing") << "" << false << 0 << false;
    QTest::newRow("pasted letters") << "5s" << false << 0 << false;
    QTest::newRow("pasted negative") << "-5" << false << 0 << false;
    QTest::newRow("too large for the timer") << "2147484" << false << 0 << false;
    QTest::newRow("beyond 32 bits") << "99999999999" << false << 0 << false;
}

void TestReadingLogger::samplingInterval()
{
    QFETCH(QString, text);
    QFETCH(bool, applies);
    QFETCH(int, milliseconds);
    QFETCH(bool, becomesOne);
    const std::optional<SamplingInterval> interval = ReadingLogger::RecordSITimeChange(text);
    QCOMPARE(interval.has_value(), applies);
    if (interval) {
        QCOMPARE(interval->milliseconds, milliseconds);
        QCOMPARE(interval->textBecomesOne, becomesOne);
    }
}

void TestReadingLogger::keyFilter_data()
{
    QTest::addColumn<QChar>("key");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0") << QChar(u'0') << true;
    QTest::newRow("9") << QChar(u'9') << true;
    QTest::newRow("Backspace") << QChar(8) << true;
    QTest::newRow("minus") << QChar(u'-') << false;
    QTest::newRow("blank") << QChar(u' ') << false;
    QTest::newRow("paste key (Ctrl+V)") << QChar(0x16) << false;
    QTest::newRow("Arabic-Indic digit") << QChar(0x0663) << false;
}

void TestReadingLogger::keyFilter()
{
    QFETCH(QChar, key);
    QFETCH(bool, accepted);
    QCOMPARE(ReadingLogger::RecordSITimeKeyPress(key), accepted);
}

QTEST_GUILESS_MAIN(TestReadingLogger)
#include "tst_readinglogger.moc"
