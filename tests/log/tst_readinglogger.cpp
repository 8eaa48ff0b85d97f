#include "log/logtable.h"
#include "log/readinglogger.h"
#include "logfixtures.h"
#include "meter/localeinfo.h"
#include "meter/reading.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

const QTime Now(9, 5, 3);

// "value|function|unit|range|judge"
Reading readingOf(const QString &described, double numeric = 1.5)
{
    const QStringList parts = described.split(u'|');
    Reading r;
    r.valueText = parts.value(0);
    r.functionText = parts.value(1);
    r.unitText = parts.value(2);
    r.rangeText = parts.value(3);
    r.judgeText = parts.value(4);
    r.numericValue = numeric;
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
    void clockTimeOfEachRow();
    void recordLimitStopsAndResumes();
    void newKeepsTheLastLoggedKey();
    void samplingTicks_data();
    void samplingTicks();
    void heldReadingsFollowTheFile();
    void heldReadingsAreKeptSparingly_data();
    void heldReadingsAreKeptSparingly();
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
    ReadingLogger logger(table, locale);
    logger.setRepeat(repeat);
    QList<int> rows;
    for (const QString &frame : frames) {
        if (const std::optional<LoggedRow> logged = logger.logFrame(readingOf(frame), Now))
            rows << logged->row;
    }
    QCOMPARE(numbersOf(table), numbers);
    QCOMPARE(rows.size(), numbers.size());
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i], i);
    QCOMPARE(logger.frameCount(), frameCount);
    QCOMPARE(logger.loggedCount(), numbers.size());
    QCOMPARE(table.pendingInsertCount(), numbers.size());
    QCOMPARE(table.currentRow(), table.rowCount() - 1);

    // Sampling mode never logs from a frame, and numbers nothing.
    logger.setSampling(true);
    QVERIFY(!logger.logFrame(readingOf(B), Now));
    QCOMPARE(logger.frameCount(), frameCount);
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
    ReadingLogger logger(table, locale);
    const std::optional<LoggedRow> first = logger.logFrame(readingOf("-0,0035|DC|mV|MANU|Fail", -3.5), now);
    const std::optional<LoggedRow> second
        = logger.logFrame(readingOf("12345678901234567890XYZ|OHM|k*|AUTO|pass", 2.5), now);
    QCOMPARE(rowsOf(table), (LogRows{loggedRow(1, time, "DC", "-0,0035", "mV", "Fail"),
                                     loggedRow(2, time, "OHM", "12345678901234567890", "k*", "pass")}));
    // What the chart and the bar graph are given.
    QVERIFY(first && second);
    QCOMPARE(first->numericValue, -3.5);
    QCOMPARE(second->row, 1);
    QCOMPARE(second->numericValue, 2.5);
}

// Many rows share a second; each still carries its own second's text, in
// the separator of the moment.
void TestReadingLogger::clockTimeOfEachRow()
{
    LogTable table;
    FixedLocaleInfo locale;
    ReadingLogger logger(table, locale);
    const struct
    {
        QTime time;
        const char *separator;
        const char *text;
    } rows[] = {
        {QTime(9, 5, 3, 100), ":", "09:05:03"},
        {QTime(9, 5, 3, 900), ":", "09:05:03"},
        {QTime(9, 5, 4, 0), ":", "09:05:04"},
        {QTime(9, 5, 4, 10), ".", "09.05.04"},
        {QTime(23, 59, 59, 999), ".", "23.59.59"},
        {QTime(0, 0, 0, 1), ".", "00.00.00"},
        {QTime(9, 5, 3, 500), ":", "09:05:03"},   // the clock set back
    };
    for (const auto &row : rows) {
        locale.setUserTimeSeparator(QString::fromLatin1(row.separator));
        QVERIFY(logger.logFrame(readingOf(A), row.time));
        QCOMPARE(table.text(table.rowCount() - 1, int(LogField::Time)), QString::fromLatin1(row.text));
    }
}

void TestReadingLogger::recordLimitStopsAndResumes()
{
    LogTable table;
    // Rows opened from a file are not counted against the limit.
    for (int i = 0; i < 5; ++i)
        appendRow(table, loggedRow(100 + i, "t", "DC", "1", "V", "pass"));
    FixedLocaleInfo locale;
    ReadingLogger logger(table, locale);
    QCOMPARE(logger.recordLimit(), 10000);

    logger.setRecordLimit(1000);
    for (int i = 0; i < 1200; ++i)
        logger.logFrame(readingOf(A), Now);
    QCOMPARE(table.rowCount(), 1005);
    QCOMPARE(table.integer(5, int(LogField::No)), 1);
    QCOMPARE(table.integer(1004, int(LogField::No)), 1000);
    QCOMPARE(logger.frameCount(), 1001);
    QCOMPARE(logger.loggedCount(), 1000);
    QVERIFY(logger.isFull());

    logger.setRecordLimit(5000);
    logger.logFrame(readingOf(A), Now);
    QCOMPARE(table.rowCount(), 1006);
    QCOMPARE(table.integer(1005, int(LogField::No)), 1001);

    // A limit below the rows logged stops logging; nothing is removed.
    logger.setRecordLimit(1000);
    logger.logFrame(readingOf(B), Now);
    QCOMPARE(table.rowCount(), 1006);
    QCOMPARE(logger.frameCount(), 1002);
    logger.setRecordLimit(RecordLimitChoices.back().limit);
    QCOMPARE(logger.recordLimit(), 10000000);
    logger.logFrame(readingOf(B), Now);
    QCOMPARE(table.integer(1006, int(LogField::No)), 1002);
}

void TestReadingLogger::newKeepsTheLastLoggedKey()
{
    LogTable table;
    FixedLocaleInfo locale;
    ReadingLogger logger(table, locale);
    logger.setRepeat(false);
    logger.setRecordLimit(50000);
    for (int i = 0; i < 3; ++i)
        logger.logFrame(readingOf(A), Now);
    QCOMPARE(table.rowCount(), 1);

    logger.emptyLog();
    QCOMPARE(table.rowCount(), 0);
    QCOMPARE(logger.frameCount(), 1);
    QCOMPARE(logger.loggedCount(), 0);
    QCOMPARE(logger.recordLimit(), 50000);
    QCOMPARE(logger.lastLoggedKey(), ReadingLogger::repeatKey(readingOf(A)));

    // The unchanged reading stays out until it changes; the frames count.
    for (int i = 0; i < 3; ++i)
        logger.logFrame(readingOf(A), Now);
    QCOMPARE(table.rowCount(), 0);
    logger.logFrame(readingOf(B), Now);
    QCOMPARE(numbersOf(table), QList<int>{4});
}

void TestReadingLogger::samplingTicks_data()
{
    // Events: A or B a decoded frame of that reading, T a tick of the sampling timer.
    QTest::addColumn<bool>("sampling");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<bool>("freshAtEnd");

    QTest::newRow("one row per tick after fresh frames") << true << true << 10 << "A A T A T T" << QList<int>{1, 2} << false;
    QTest::newRow("no frames, no rows") << true << true << 10 << "T T T" << QList<int>{} << false;
    QTest::newRow("sampling off: a tick only uses up the freshness") << false << true << 10 << "A T" << QList<int>{} << false;
    QTest::newRow("at the limit a tick keeps the freshness") << true << true << 1 << "A T A T" << QList<int>{1} << true;
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
    ReadingLogger logger(table, locale);
    logger.setSampling(sampling);
    logger.setRepeat(repeat);
    logger.setRecordLimit(limit);
    const QTime now(22, 15, 3);
    Reading reading;
    for (const QString &event : events.split(u' ')) {
        if (event == u"T") {
            logger.logSample(reading, now);
            continue;
        }
        // What the program does with a decoded frame.
        reading = readingOf(event == u"A" ? A : B);
        logger.markFresh();
        logger.logFrame(reading, now);
    }
    if (!sampling)
        QCOMPARE(table.rowCount(), 1); // the one frame was logged per frame
    else
        QCOMPARE(numbersOf(table), numbers);
    QCOMPARE(logger.hasFreshReading(), freshAtEnd);
    for (int row = 0; sampling && row < table.rowCount(); ++row)
        QCOMPARE(table.text(row, int(LogField::Time)).toString(), QString("10:15:03 PM"));
}

void TestReadingLogger::heldReadingsFollowTheFile()
{
    // While a file is being opened, readings wait; afterwards they land
    // behind the file's rows with the times they arrived, and the moments.
    LogTable table;
    FixedLocaleInfo locale(QStringLiteral("."), QString(), QStringLiteral(":"), QStringLiteral("h:mm:ss AP"));
    ReadingLogger logger(table, locale);
    logger.holdReadings();
    QVERIFY(!logger.logFrame(readingOf(A), LogTime{QTime(10, 0, 1), 1001}));
    QVERIFY(!logger.logFrame(readingOf(B), LogTime{QTime(10, 0, 2), 2002}));
    appendRow(table, loggedRow(77, "t", "DC", "9", "V", "pass"));   // the file's row
    QCOMPARE(table.rowCount(), 1);

    // A sampling tick while held keeps its reading if it was fresh.
    logger.setSampling(true);
    logger.markFresh();
    QVERIFY(!logger.logSample(readingOf(B), QTime(10, 0, 3)));
    QVERIFY(!logger.hasFreshReading());
    QVERIFY(!logger.logSample(readingOf(B), QTime(10, 0, 4)));   // not fresh: nothing held
    logger.setSampling(false);
    logger.markFresh();

    const std::vector<LoggedRow> rows = logger.releaseReadings();
    QVERIFY(!logger.isHolding());
    QCOMPARE(int(rows.size()), 2);
    QCOMPARE(rows[0].row, 1);
    QCOMPARE(rows[1].row, 2);
    // Each held reading is judged by the settings at release: sampling is
    // off now, so the held sample is not logged.
    QCOMPARE(numbersOf(table), (QList<int>{77, 1, 2}));
    QCOMPARE(table.text(1, int(LogField::Time)).toString(), QStringLiteral("10:00:01"));
    QCOMPARE(table.text(2, int(LogField::Time)).toString(), QStringLiteral("10:00:02"));
    QCOMPARE(table.loggedAt(0), std::nullopt);
    QCOMPARE(table.loggedAt(1), std::optional<qint64>(1001));
    QCOMPARE(table.loggedAt(2), std::optional<qint64>(2002));
    // The reading that is fresh now stays fresh for the next tick.
    QVERIFY(logger.hasFreshReading());

    // With sampling on at release, the held sample is logged at its time.
    logger.holdReadings();
    logger.setSampling(true);
    logger.markFresh();
    logger.logSample(readingOf(A), LogTime{QTime(22, 0, 5), 3003});
    QCOMPARE(int(logger.releaseReadings().size()), 1);
    QCOMPARE(table.text(3, int(LogField::Time)).toString(), QStringLiteral("10:00:05 PM"));
    QCOMPARE(table.loggedAt(3), std::optional<qint64>(3003));
    QVERIFY(!logger.hasFreshReading());
}

void TestReadingLogger::heldReadingsAreKeptSparingly_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("before");   // logged before the hold
    QTest::addColumn<QStringList>("held");
    QTest::addColumn<int>("mostKept");

    const auto times = [](int n, const QString &reading) { return QStringList(n, reading); };
    QStringList alternating;
    for (int i = 0; i < 20; ++i)
        alternating << B << A;
    QTest::newRow("Repeat off: a steady reading is kept once")
        << false << 10000 << QStringList{A} << times(1000, A) + times(500, B) + QStringList{A} << 3;
    QTest::newRow("Repeat on: no more than the limit takes")
        << true << 10 << times(5, A) << times(100, B) << 6;
    QTest::newRow("Repeat off: no more than the limit takes")
        << false << 10 << QStringList{A, B, A, B, A} << alternating << 6;
    QTest::newRow("Repeat off: the first held repeats the last logged")
        << false << 4 << QStringList{A, B, A} << QStringList{A, B, A, B} << 2;
    QTest::newRow("the limit reached before the hold") << true << 3 << times(3, A) << times(50, B) << 1;
}

void TestReadingLogger::heldReadingsAreKeptSparingly()
{
    // A question may wait for hours while frames arrive: what is kept stays
    // small, and the log after the release is the one logging the same
    // frames at once would have made.
    QFETCH(bool, repeat);
    QFETCH(int, limit);
    QFETCH(QStringList, before);
    QFETCH(QStringList, held);
    QFETCH(int, mostKept);

    FixedLocaleInfo locale;
    LogTable atOnce, afterHold;
    ReadingLogger direct(atOnce, locale), holding(afterHold, locale);
    for (ReadingLogger *logger : {&direct, &holding}) {
        logger->setRepeat(repeat);
        logger->setRecordLimit(limit);
        for (const QString &r : before)
            logger->logFrame(readingOf(r), Now);
    }
    const int rowsBeforeHold = afterHold.rowCount();
    holding.holdReadings();
    for (const QString &r : held) {
        direct.logFrame(readingOf(r), Now);
        QVERIFY(!holding.logFrame(readingOf(r), Now));
    }
    QVERIFY(int(holding.heldCount()) <= mostKept);
    const std::vector<LoggedRow> rows = holding.releaseReadings();
    QCOMPARE(int(rows.size()), afterHold.rowCount() - rowsBeforeHold);
    QCOMPARE(numbersOf(afterHold), numbersOf(atOnce));
    QCOMPARE(holding.frameCount(), direct.frameCount());
    QCOMPARE(holding.loggedCount(), direct.loggedCount());
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
    const std::optional<SamplingInterval> interval = ReadingLogger::samplingIntervalFor(text);
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
    QCOMPARE(ReadingLogger::wholeNumberKeyAccepted(key), accepted);
}

QTEST_GUILESS_MAIN(TestReadingLogger)
#include "tst_readinglogger.moc"
