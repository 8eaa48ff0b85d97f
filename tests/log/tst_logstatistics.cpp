#include "log/loggedvalue.h"
#include "log/logstatistics.h"
#include "log/logtable.h"
#include "log/runningstatistics.h"
#include "log/tablefiles.h"
#include "logfixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <functional>

// Statistics of the log: one pass at a constant cost per reading, as exact
// as two passes over the kept values, per mode of the meter.
class TestLogStatistics : public QObject
{
    Q_OBJECT
private slots:
    void onePassMatchesTwoPasses_data();
    void onePassMatchesTwoPasses();
    void loggedValue_data();
    void loggedValue();
    void modes_data();
    void modes();
    void followsTheLog();
};

namespace {

// Ten million values, made from their index so nothing is kept: the same
// sequence for the one pass and the two.
constexpr qint64 ManyValues = 10'000'000;
using ValueAt = std::function<double(qint64)>;

// A fixed scramble of the index, uniform in [0, 1).
double uniform(qint64 i)
{
    std::uint64_t x = std::uint64_t(i) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return double(x >> 11) * 0x1.0p-53;
}

// A four-digit display count, as the meter shows.
double count(qint64 i)
{
    return std::floor(uniform(i) * 8000) - 4000;
}

struct Reference
{
    double minimum;
    double maximum;
    long double mean;
    long double deviation;
};

// Two passes in extended precision with compensated sums: the mean first,
// then the squared deviations from it.
Reference twoPasses(const ValueAt &valueAt, qint64 n)
{
    Reference r{valueAt(0), valueAt(0), 0, 0};
    long double sum = 0;
    long double error = 0;
    for (qint64 i = 0; i < n; ++i) {
        const double x = valueAt(i);
        r.minimum = std::min(r.minimum, x);
        r.maximum = std::max(r.maximum, x);
        const long double y = x - error;
        const long double t = sum + y;
        error = (t - sum) - y;
        sum = t;
    }
    r.mean = sum / n;
    long double squares = 0;
    error = 0;
    for (qint64 i = 0; i < n; ++i) {
        const long double d = valueAt(i) - r.mean;
        const long double y = d * d - error;
        const long double t = squares + y;
        error = (t - squares) - y;
        squares = t;
    }
    r.deviation = n > 1 ? std::sqrt(squares / (n - 1)) : 0;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(ValueAt)

void TestLogStatistics::onePassMatchesTwoPasses_data()
{
    QTest::addColumn<ValueAt>("valueAt");
    QTest::addColumn<qint64>("n");

    QTest::newRow("one reading") << ValueAt([](qint64) { return 1.234; }) << 1LL;
    QTest::newRow("two readings") << ValueAt([](qint64 i) { return i ? 3.999 : -3.999; }) << 2LL;
    QTest::newRow("constant") << ValueAt([](qint64) { return 1.234; }) << ManyValues;
    QTest::newRow("constant, huge") << ValueAt([](qint64) { return 3.999e7; }) << ManyValues;
    QTest::newRow("display counts") << ValueAt([](qint64 i) { return count(i) / 1000; }) << ManyValues;
    QTest::newRow("a huge offset, a small spread")
        << ValueAt([](qint64 i) { return 3.9e7 + count(i) / 1000; }) << ManyValues;
    QTest::newRow("tiny values (nanofarads in farads)")
        << ValueAt([](qint64 i) { return count(i) * 1e-12; }) << ManyValues;
    QTest::newRow("mixed ranges, 1e-9 to 4e7")
        << ValueAt([](qint64 i) { return count(i) * std::pow(10.0, double(i % 13) - 9); }) << ManyValues;
    QTest::newRow("alternating signs, mean zero") << ValueAt([](qint64 i) { return i % 2 ? 3.999 : -3.999; })
                                                  << ManyValues;
    QTest::newRow("a drift, then a step")
        << ValueAt([](qint64 i) { return i < ManyValues / 2 ? 1.0 + double(i) * 1e-7 : 1000.0; }) << ManyValues;
    QTest::newRow("an outlier first") << ValueAt([](qint64 i) { return i == 0 ? 4e7 : 1.0 + count(i) * 1e-6; })
                                      << ManyValues;
}

void TestLogStatistics::onePassMatchesTwoPasses()
{
    QFETCH(ValueAt, valueAt);
    QFETCH(qint64, n);
    RunningStatistics statistics;
    for (qint64 i = 0; i < n; ++i)
        statistics.add(valueAt(i));
    const Reference reference = twoPasses(valueAt, n);

    QCOMPARE(statistics.count(), n);
    QCOMPARE(statistics.minimum(), reference.minimum);
    QCOMPARE(statistics.maximum(), reference.maximum);
    // Within a few units in the last place of the result (of the spread,
    // where the mean is near zero): no error that grows with the count.
    const double scale = std::max(std::fabs(double(reference.mean)), double(reference.deviation));
    const double meanError = std::fabs(statistics.mean() - double(reference.mean));
    QVERIFY2(meanError <= 4 * std::numeric_limits<double>::epsilon() * scale,
             qPrintable(QStringLiteral("mean %1, two passes %2").arg(statistics.mean(), 0, 'g', 17).arg(double(reference.mean), 0, 'g', 17)));
    if (n < 2) {
        QCOMPARE(statistics.standardDeviation(), std::nullopt);
        return;
    }
    const double deviation = statistics.standardDeviation().value_or(-1);
    if (reference.deviation == 0) {
        QCOMPARE(deviation, 0.0);
        return;
    }
    const double deviationError = std::fabs(deviation - double(reference.deviation)) / double(reference.deviation);
    QVERIFY2(deviationError <= 1e-12,
             qPrintable(QStringLiteral("sd %1, two passes %2").arg(deviation, 0, 'g', 17).arg(double(reference.deviation), 0, 'g', 17)));
}

void TestLogStatistics::loggedValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");   // NaN: no number
    const double none = std::nan("");

    QTest::newRow("point") << "1.234" << 1.234;
    QTest::newRow("comma") << "-0,0035" << -0.0035;
    QTest::newRow("leading zeros") << "-04.00" << -4.0;
    QTest::newRow("whole") << "3999" << 3999.0;
    QTest::newRow("blanks around") << " 1.5 " << 1.5;
    QTest::newRow("Arabic decimal separator") << QStringLiteral("1\u066B5") << 1.5;
    QTest::newRow("over range") << "0.L" << none;
    QTest::newRow("over range, point after the L") << ".0L" << none;
    QTest::newRow("a word") << "OPEn" << none;
    QTest::newRow("two separators") << "1.2.3" << none;
    QTest::newRow("a sign only") << "-" << none;
    QTest::newRow("empty") << "" << none;
}

void TestLogStatistics::loggedValue()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const std::optional<double> read = ::loggedValue(text);
    if (std::isnan(value))
        QCOMPARE(read, std::nullopt);
    else
        QCOMPARE(read.value_or(std::nan("")), value);
}

void TestLogStatistics::modes_data()
{
    QTest::addColumn<LogRows>("rows");
    QTest::addColumn<QStringList>("modes");   // summaryText() of each, in the order first met
    QTest::addColumn<QString>("current");

    const auto row = [](const char *dcAc, const char *value, const char *unit, const char *judge) {
        return loggedRow(1, "10:00:00", dcAc, value, unit, judge);
    };
    QTest::newRow("one mode")
        << LogRows{row("DC", "1.000", "V", "pass"), row("DC", "2.000", "V", "pass"), row("DC", "3.000", "V", "Fail")}
        << QStringList{"DC V  n 3  min 1  max 3  mean 2  sd 1  Pass 2  Fail 1"} << "DC V";
    QTest::newRow("ranges of one mode count together, in the latest unit")
        << LogRows{row("DC", "390.0", "mV", "pass"), row("DC", "0.410", "V", "pass")}
        << QStringList{"DC V  n 2  min 0.39  max 0.41  mean 0.4  sd 0.014142  Pass 2  Fail 0"} << "DC V";
    QTest::newRow("a mode left and taken up again keeps its statistics")
        << LogRows{row("DC", "1.000", "V", "pass"), row("OHM", "1.000", "k*", "Fail"), row("DC", "3.000", "V", "pass")}
        << QStringList{"DC V  n 2  min 1  max 3  mean 2  sd 1.4142  Pass 2  Fail 0",
                       "OHM kΩ  n 1  min 1  max 1  mean 1  Pass 0  Fail 1"}
        << "DC V";
    QTest::newRow("AC and DC volts are two modes")
        << LogRows{row("DC", "1.000", "V", "pass"), row("AC", "230.0", "V", "pass")}
        << QStringList{"DC V  n 1  min 1  max 1  mean 1  Pass 1  Fail 0",
                       "AC V  n 1  min 230  max 230  mean 230  Pass 1  Fail 0"}
        << "AC V";
    QTest::newRow("over range counts as a row, not as a number")
        << LogRows{row("OHM", "0.L", "M*", "Fail"), row("OHM", "1.500", "M*", "pass")}
        << QStringList{"OHM MΩ  n 1  min 1.5  max 1.5  mean 1.5  Pass 1  Fail 1"} << "OHM MΩ";
    QTest::newRow("only over range") << LogRows{row("OHM", "0.L", "M*", "Fail")}
                                     << QStringList{"OHM MΩ  n 0  Pass 0  Fail 1"} << "OHM MΩ";
    QTest::newRow("temperatures and microamperes with their symbols")
        << LogRows{row("TMP", "25", "#", "pass"), row("DC", "-1.5", "uA", "")}
        << QStringList{"TMP °C  n 1  min 25  max 25  mean 25  Pass 1  Fail 0",
                       "DC µA  n 1  min -1.5  max -1.5  mean -1.5  Pass 0  Fail 0"}
        << "DC µA";
}

void TestLogStatistics::modes()
{
    QFETCH(LogRows, rows);
    QFETCH(QStringList, modes);
    QFETCH(QString, current);
    LogTable table;
    const LogStatistics statistics(table);
    fillTable(table, rows);
    QStringList texts;
    for (const ModeStatistics &mode : statistics.modes())
        texts << mode.summaryText(QStringLiteral("."));
    QCOMPARE(texts, modes);
    QVERIFY(statistics.current());
    QCOMPARE(statistics.current()->modeText(), current);
}

void TestLogStatistics::followsTheLog()
{
    // Rows there before, rows a file adds in one piece, a Clear, and an XML
    // file replacing the log.
    LogTable table;
    fillTable(table, {loggedRow(1, "10:00:00", "DC", "1.000", "V", "pass")});
    LogStatistics statistics(table);
    QCOMPARE(statistics.current()->values.count(), 1);

    QTemporaryDir dir;
    LogTable other;
    fillTable(other, {loggedRow(1, "10:00:00", "DC", "3.000", "V", "Fail"),
                      loggedRow(2, "10:00:01", "DC", "5.000", "V", "Fail")});
    QVERIFY(saveTableFile(other, dir.filePath("more.xls")));
    QVERIFY(saveTableFile(other, dir.filePath("other.xml")));

    QVERIFY(loadTableFile(dir.filePath("more.xls"), table));
    QCOMPARE(statistics.current()->summaryText(QStringLiteral(",")),
             QStringLiteral("DC V  n 3  min 1  max 5  mean 3  sd 2  Pass 1  Fail 2"));
    QCOMPARE(statistics.failCount(), 2);

    table.clear();
    QCOMPARE(statistics.current(), nullptr);
    QVERIFY(statistics.modes().empty());
    QCOMPARE(statistics.passCount() + statistics.failCount(), 0);

    fillTable(table, {loggedRow(1, "10:00:00", "OHM", "1.000", "k*", "pass")});
    QVERIFY(loadTableFile(dir.filePath("other.xml"), table));
    QCOMPARE(statistics.modes().size(), std::size_t(1));
    QCOMPARE(statistics.current()->summaryText(QStringLiteral(",")),
             QStringLiteral("DC V  n 2  min 3  max 5  mean 4  sd 1,4142  Pass 0  Fail 2"));
}

QTEST_GUILESS_MAIN(TestLogStatistics)
#include "tst_logstatistics.moc"
