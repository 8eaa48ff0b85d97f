#include "chart/chartaxis.h"

#include <QtTest>

class TestChartAxis : public QObject
{
    Q_OBJECT
private slots:
    void setEnds_data();
    void setEnds();
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

QTEST_APPLESS_MAIN(TestChartAxis)
#include "tst_chartaxis.moc"
