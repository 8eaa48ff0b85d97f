#include "chart/memorychart.h"
#include "chart/chartpager.h"

#include <QtTest>

// Drives a pager made with page size 100 on a fresh MemoryChart through a
// script such as "place; add 150; prev": "place" puts the start-up placeholder
// point (no colour) on the chart, "add N" adds N values through the pager, and
// "first", "prev", "next", "last", "reset", "size N" call the pager. An axis
// error is recorded and the script goes on, as the window does after showing
// it. Returns the first error's message.
static QString runScript(MemoryChart &chart, ChartPager &pager, const QString &script)
{
    QString error;
    const QStringList steps = script.split(u';', Qt::SkipEmptyParts);
    for (const QString &step : steps) {
        const QStringList words = step.simplified().split(u' ');
        const QString &op = words.at(0);
        const int n = words.size() > 1 ? words.at(1).toInt() : 0;
        if (op == u"place")
            chart.addPoint(0, std::nullopt);
        else if (op == u"add")
            for (int i = 1; i <= n; ++i)
                pager.addPoint(i);
        else if (op == u"first")
            pager.showFirstPage();
        else if (op == u"prev")
            pager.showPreviousPage();
        else if (op == u"next")
            pager.showNextPage();
        else if (op == u"last")
            pager.showLastPage();
        else if (op == u"reset")
            pager.reset();
        else if (op == u"size") {
            if (!pager.setPageSize(n) && error.isEmpty())
                error = pager.errorString();
        } else
            qFatal("unknown step %s", qPrintable(op));
    }
    return error;
}

class TestChartPager : public QObject
{
    Q_OBJECT
private slots:
    void create();
    void moves_data();
    void moves();
    void pointsArePureBlue();
    void noSeries();
    void tenMillionPoints();
};

void TestChartPager::create()
{
    MemoryChart chart;
    QVERIFY(chart.bottomAutomatic());
    ChartPager pager(chart, 100);
    QVERIFY(!chart.bottomAutomatic());
    QCOMPARE(chart.bottomMinimum(), 1.0);
    QCOMPARE(chart.bottomMaximum(), 100.0);
    QCOMPARE(pager.currentPage(), 1);
    QCOMPARE(pager.pageCount(), 1);
    QCOMPARE(pager.pageSize(), 100);
    QVERIFY(!pager.pagedBack());
    QCOMPARE(chart.pointCount(), 0);

    // A page size below 1 would leave the axis maximum below its minimum:
    // refused, and said so.
    MemoryChart other;
    ChartPager failed(other, 0);
    QCOMPARE(failed.errorString(), QStringLiteral("Axis Maximum Value must be >= Minimum"));
    QCOMPARE(other.bottomMaximum(), 100.0);
}

void TestChartPager::moves_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<bool>("pagedBack");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<QString>("error");

    // With the placeholder at 0 the n-th value sits at position n.
    QTest::newRow("start-up: placeholder off the page")
        << "place" << 1.0 << 100.0 << 1 << 1 << false << 100 << "";
    QTest::newRow("100 values fill page 1") << "place; add 99" << 1.0 << 100.0 << 1 << 1 << false << 100 << "";
    QTest::newRow("value 101 moves the view to page 2")
        << "place; add 101" << 101.0 << 200.0 << 2 << 2 << false << 100 << "";
    QTest::newRow("150 values: page 2") << "place; add 150" << 101.0 << 200.0 << 2 << 2 << false << 100 << "";
    QTest::newRow("previous from page 2")
        << "place; add 150; prev" << 1.0 << 100.0 << 1 << 2 << true << 100 << "";
    QTest::newRow("previous on page 1 does nothing")
        << "place; add 150; prev; prev" << 1.0 << 100.0 << 1 << 2 << true << 100 << "";
    QTest::newRow("first on page 1 does nothing")
        << "place; add 150; prev; first" << 1.0 << 100.0 << 1 << 2 << true << 100 << "";
    QTest::newRow("paged back: new values leave the view")
        << "place; add 150; prev; add 100" << 1.0 << 100.0 << 1 << 3 << true << 100 << "";
    QTest::newRow("last moves page by page to the newest")
        << "place; add 150; prev; add 100; last" << 201.0 << 300.0 << 3 << 3 << false << 100 << "";
    QTest::newRow("following again after last")
        << "place; add 150; prev; add 100; last; add 51" << 301.0 << 400.0 << 4 << 4 << false << 100 << "";
    QTest::newRow("first from page 3")
        << "place; add 250; first" << 1.0 << 100.0 << 1 << 3 << true << 100 << "";
    QTest::newRow("next short of the last page stays paged back")
        << "place; add 250; first; next" << 101.0 << 200.0 << 2 << 3 << true << 100 << "";
    QTest::newRow("next onto the last page follows again")
        << "place; add 250; first; next; next" << 201.0 << 300.0 << 3 << 3 << false << 100 << "";
    QTest::newRow("next on the last page does nothing")
        << "place; add 250; next" << 201.0 << 300.0 << 3 << 3 << false << 100 << "";
    QTest::newRow("one page: first, next and last do nothing")
        << "place; add 50; first; next; last" << 1.0 << 100.0 << 1 << 1 << false << 100 << "";

    // 100 values: the count already holds the next, empty page.
    QTest::newRow("refused scroll, page counter moves")
        << "place; add 100" << 1.0 << 100.0 << 2 << 2 << false << 100 << "";
    QTest::newRow("previous shows -99..0 as page 1")
        << "place; add 100; prev" << -99.0 << 0.0 << 1 << 2 << true << 100 << "";
    QTest::newRow("next returns to 1..100 as page 2")
        << "place; add 100; prev; next" << 1.0 << 100.0 << 2 << 2 << false << 100 << "";
    QTest::newRow("new size on the -99..0 page fails")
        << "place; add 100; prev; size 50" << -99.0 << 0.0 << 1 << 2 << true << 50
        << "Axis Minimum Value must be <= Maximum";
    QTest::newRow("last from -99..0 ends on the newest point")
        << "place; add 100; prev; add 100; last" << 101.0 << 200.0 << 3 << 3 << false << 100 << "";

    QTest::newRow("reset from page 3")
        << "place; add 250; reset" << 1.0 << 100.0 << 1 << 3 << false << 100 << "";
    QTest::newRow("after reset the first value sits at 0")
        << "place; add 250; reset; add 101" << 1.0 << 100.0 << 2 << 2 << false << 100 << "";
    QTest::newRow("after reset value 102 moves the view")
        << "place; add 250; reset; add 102" << 101.0 << 200.0 << 2 << 2 << false << 100 << "";
    QTest::newRow("new size after reset, no points: page 0")
        << "place; reset; size 50" << 1.0 << 50.0 << 0 << 0 << false << 50 << "";
    QTest::newRow("a reset that does not page keeps page 0")
        << "place; reset; size 50; reset" << 1.0 << 50.0 << 0 << 0 << false << 50 << "";
    QTest::newRow("then the next value makes page 1")
        << "place; reset; size 50; add 1" << 1.0 << 50.0 << 1 << 1 << false << 50 << "";

    QTest::newRow("same size does nothing, not even while paged back")
        << "place; add 150; prev; add 100; size 100" << 1.0 << 100.0 << 1 << 3 << true << 100 << "";
    QTest::newRow("new size goes to the newest page")
        << "place; add 250; first; size 50" << 201.0 << 250.0 << 6 << 6 << false << 50 << "";
    QTest::newRow("new size: scrolls refused, counters move")
        << "place; add 150; prev; size 50" << 101.0 << 150.0 << 4 << 4 << false << 50 << "";
    QTest::newRow("larger size") << "place; add 250; size 1000" << 1.0 << 1000.0 << 1 << 1 << false << 1000
                                 << "";
    QTest::newRow("page size 1") << "place; add 5; size 1" << 5.0 << 5.0 << 6 << 6 << false << 1 << "";
    QTest::newRow("size 0 is ignored") << "place; add 150; prev; size 0" << 1.0 << 100.0 << 1 << 2 << true
                                       << 100 << "";
    QTest::newRow("negative size is ignored")
        << "place; add 150; size -5; add 100" << 201.0 << 300.0 << 3 << 3 << false << 100 << "";
}

void TestChartPager::moves()
{
    QFETCH(QString, script);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, page);
    QFETCH(int, pageCount);
    QFETCH(bool, pagedBack);
    QFETCH(int, pageSize);
    QFETCH(QString, error);

    MemoryChart chart;
    ChartPager pager(chart, 100);
    QCOMPARE(runScript(chart, pager, script), error);
    QCOMPARE(chart.bottomMinimum(), minimum);
    QCOMPARE(chart.bottomMaximum(), maximum);
    QCOMPARE(pager.currentPage(), page);
    QCOMPARE(pager.pageCount(), pageCount);
    QCOMPARE(pager.pagedBack(), pagedBack);
    QCOMPARE(pager.pageSize(), pageSize);
}

void TestChartPager::pointsArePureBlue()
{
    MemoryChart chart;
    ChartPager pager(chart, 100);
    chart.addPoint(0, std::nullopt);
    pager.addPoint(-12.5);
    QCOMPARE(chart.pointCount(), 2);
    QCOMPARE(chart.lastValue(), -12.5);
    QCOMPARE(chart.lastColour(), std::optional<PointColour>(PointColour{0, 0, 255}));

    pager.reset();
    QCOMPARE(chart.pointCount(), 0);
}

void TestChartPager::noSeries()
{
    // Nothing to add to and nothing to count: no pages, no crash.
    MemoryChart chart(0);
    ChartPager pager(chart, 100);
    pager.addPoint(1);
    QCOMPARE(chart.pointCount(), 0);
    QCOMPARE(pager.pageCount(), 0);
    QCOMPARE(pager.currentPage(), 0);
}

void TestChartPager::tenMillionPoints()
{
    // The paging arithmetic holds at the log's largest size, one scroll per
    // page crossed: ten million points with the placeholder.
    MemoryChart chart;
    ChartPager pager(chart, 100);
    chart.addPoint(0, std::nullopt);
    for (int i = 1; i < 10'000'000; ++i)
        pager.addPoint(i % 4000);
    QCOMPARE(pager.pageCount(), 100000);
    QCOMPARE(pager.currentPage(), 100000);
    QCOMPARE(chart.bottomMinimum(), 9999901.0);

    const qint64 repaints = chart.repaintCount();
    pager.showFirstPage();
    QCOMPARE(pager.currentPage(), 1);
    QCOMPARE(chart.bottomMinimum(), 1.0);
    QCOMPARE(chart.repaintCount() - repaints, qint64(99999));

    pager.showLastPage();
    QCOMPARE(pager.currentPage(), 100000);
    QCOMPARE(chart.bottomMaximum(), 10000000.0);
    QVERIFY(!pager.pagedBack());
}

QTEST_APPLESS_MAIN(TestChartPager)
#include "tst_chartpager.moc"
