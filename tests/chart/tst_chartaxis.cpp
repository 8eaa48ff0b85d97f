#include "chart/chartaxis.h"

#include <QtTest>

class TestChartAxis : public QObject
{
    Q_OBJECT
private slots:
    void setEnds_data();
    void setEnds();
    void scroll_data();
    void scroll();
};

void TestChartAxis::setEnds_data()
{
    QTest::addColumn<bool>("setsMinimum");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("error");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");

    // The axis starts at 1..100.
    QTest::newRow("minimum below maximum") << true << 50.0 << "" << 50.0 << 100.0;
    QTest::newRow("minimum equal to maximum") << true << 100.0 << "" << 100.0 << 100.0;
    QTest::newRow("minimum above maximum")
        << true << 101.0 << "Axis Minimum Value must be <= Maximum" << 1.0 << 100.0;
    QTest::newRow("maximum equal to minimum") << false << 1.0 << "" << 1.0 << 1.0;
    QTest::newRow("maximum below minimum")
        << false << 0.0 << "Axis Maximum Value must be >= Minimum" << 1.0 << 100.0;
    QTest::newRow("negative maximum") << false << -5.0 << "Axis Maximum Value must be >= Minimum" << 1.0
                                      << 100.0;
}

void TestChartAxis::setEnds()
{
    QFETCH(bool, setsMinimum);
    QFETCH(double, value);
    QFETCH(QString, error);
    QFETCH(double, minimum);
    QFETCH(double, maximum);

    ChartAxis axis(1, 100);
    const bool taken = setsMinimum ? axis.setMinimum(value) : axis.setMaximum(value);
    QCOMPARE(taken, error.isEmpty());
    if (!taken)
        QCOMPARE(QString::fromLatin1(setsMinimum ? ChartAxis::MinimumAboveMaximum : ChartAxis::MaximumBelowMinimum), error);
    QCOMPARE(axis.minimum(), minimum);
    QCOMPARE(axis.maximum(), maximum);
}

void TestChartAxis::scroll_data()
{
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("checkLimits");
    QTest::addColumn<qint64>("pointCount");
    QTest::addColumn<bool>("applied");

    // Points sit at 0 .. pointCount - 1.
    QTest::newRow("forward: a point beyond the maximum") << 1.0 << 100.0 << 100.0 << true << qint64(102) << true;
    QTest::newRow("forward: last point on the maximum") << 1.0 << 100.0 << 100.0 << true << qint64(101) << false;
    QTest::newRow("forward: no points") << 1.0 << 100.0 << 100.0 << true << qint64(0) << false;
    QTest::newRow("back: placeholder before the minimum") << 1.0 << 100.0 << -100.0 << true << qint64(1) << true;
    QTest::newRow("back: first point on the minimum") << 0.0 << 99.0 << -100.0 << true << qint64(500) << false;
    QTest::newRow("back: no points") << 101.0 << 200.0 << -100.0 << true << qint64(0) << false;
    QTest::newRow("zero offset is never applied") << 1.0 << 100.0 << 0.0 << true << qint64(500) << false;
    QTest::newRow("zero offset without the check") << 1.0 << 100.0 << 0.0 << false << qint64(500) << false;
    QTest::newRow("without the check: past the points") << 1.0 << 100.0 << 100.0 << false << qint64(0) << true;
    QTest::newRow("ten million points, last page") << 9999901.0 << 10000000.0 << 100.0 << true
                                                    << qint64(10000001) << false;
}

void TestChartAxis::scroll()
{
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, offset);
    QFETCH(bool, checkLimits);
    QFETCH(qint64, pointCount);
    QFETCH(bool, applied);

    ChartAxis axis(minimum, maximum);
    QCOMPARE(axis.scroll(offset, checkLimits, pointCount), applied);
    QCOMPARE(axis.minimum(), applied ? minimum + offset : minimum);
    QCOMPARE(axis.maximum(), applied ? maximum + offset : maximum);
}

QTEST_APPLESS_MAIN(TestChartAxis)
#include "tst_chartaxis.moc"
