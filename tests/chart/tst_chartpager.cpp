#include "chart/memorychart.h"
#include "chart/chartpager.h"

#include <QtTest>

// Drives a pager made with page size 100 on a fresh MemoryChart through a
// script such as "add 150; prev": "add N" adds N values through the pager;
// "first", "prev", "next", "last" (each with an optional repeat count, as in
// "next 9"), "reset" and "size N" call the pager.
static void runScript(ChartPager &pager, const QString &script)
{
    const QStringList steps = script.split(u';', Qt::SkipEmptyParts);
    for (const QString &step : steps) {
        const QStringList words = step.simplified().split(u' ');
        const QString &op = words.at(0);
        const bool counted = words.size() > 1;
        const int n = counted ? words.at(1).toInt() : 1;
        if (op == u"add") {
            for (int i = 1; i <= n; ++i)
                pager.addPoint(i);
        } else if (op == u"size") {
            pager.setPageSize(n);
        } else if (op == u"reset") {
            pager.reset();
        } else {
            void (ChartPager::*move)() = op == u"first"  ? &ChartPager::showFirstPage
                                       : op == u"prev" ? &ChartPager::showPreviousPage
                                       : op == u"next" ? &ChartPager::showNextPage
                                       : op == u"last" ? &ChartPager::showLastPage
                                                       : nullptr;
            if (!move)
                qFatal("unknown step %s", qPrintable(op));
            for (int i = 0; i < n; ++i)
                (pager.*move)();
        }
    }
}

// What holds after any step: the page names the positions shown, every value
// is on a page, the newest value's page is the last one, and the chart holds
// the placeholder and one point per value.
static void checkPagerInvariants(const MemoryChart &chart, const ChartPager &pager)
{
    const qint64 size = pager.pageSize();
    const qint64 page = pager.currentPage();
    QCOMPARE(chart.bottomMinimum(), double((page - 1) * size + 1));
    QCOMPARE(chart.bottomMaximum(), double(page * size));
    QVERIFY(page >= 1 && page <= pager.pageCount());
    const qint64 values = pager.valueCount();
    QCOMPARE(qint64(pager.pageCount()), values == 0 ? 1 : (values - 1) / size + 1);
    QCOMPARE(pager.pagedBack(), page < pager.pageCount());
    QCOMPARE(chart.pointCount(), values + 1);
    QCOMPARE(chart.axisError(), QString());
}

class TestChartPager : public QObject
{
    Q_OBJECT
private slots:
    void create_data();
    void create();
    void moves_data();
    void moves();
    void walkEveryPage_data();
    void walkEveryPage();
    void pointsArePureBlue();
    void noSeries();
    void tenMillionPoints();
};

void TestChartPager::create_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("pageSize");

    QTest::newRow("the window's size") << 100 << 100;
    QTest::newRow("one") << 1 << 1;
    // No page could hold a value: the smallest page instead.
    QTest::newRow("zero is taken as 1") << 0 << 1;
    QTest::newRow("negative is taken as 1") << -5 << 1;
}

void TestChartPager::create()
{
    QFETCH(int, size);
    QFETCH(int, pageSize);

    // The chart as the window makes it: points left over from before the
    // pager, the bottom axis automatic.
    MemoryChart chart;
    chart.addPoint(7, std::nullopt);
    chart.addPoint(8, std::nullopt);
    QVERIFY(chart.bottomAutomatic());
    ChartPager pager(chart, size);
    QVERIFY(!chart.bottomAutomatic());
    QCOMPARE(pager.pageSize(), pageSize);
    QCOMPARE(pager.currentPage(), 1);
    QCOMPARE(pager.pageCount(), 1);
    QVERIFY(!pager.pagedBack());
    QCOMPARE(pager.valueCount(), qint64(0));
    // Only the placeholder is left, so the first value sits at 1.
    QCOMPARE(chart.pointCount(), qint64(1));
    QCOMPARE(chart.lastColour(), std::nullopt);
    checkPagerInvariants(chart, pager);
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

    // The n-th value sits at position n; page p shows (p-1)*size+1 .. p*size.
    QTest::newRow("start-up: page 1 of 1") << "" << 1.0 << 100.0 << 1 << 1 << false << 100;
    QTest::newRow("first value on page 1") << "add 1" << 1.0 << 100.0 << 1 << 1 << false << 100;
    QTest::newRow("100 values fill page 1") << "add 100" << 1.0 << 100.0 << 1 << 1 << false << 100;
    QTest::newRow("100 values: previous finds no page before 1")
        << "add 100; prev" << 1.0 << 100.0 << 1 << 1 << false << 100;
    QTest::newRow("100 values: first, next and last stay on page 1")
        << "add 100; first; next; last" << 1.0 << 100.0 << 1 << 1 << false << 100;
    QTest::newRow("value 101 opens page 2") << "add 101" << 101.0 << 200.0 << 2 << 2 << false << 100;
    QTest::newRow("150 values: page 2") << "add 150" << 101.0 << 200.0 << 2 << 2 << false << 100;
    QTest::newRow("previous from page 2") << "add 150; prev" << 1.0 << 100.0 << 1 << 2 << true << 100;
    QTest::newRow("previous on page 1 does nothing")
        << "add 150; prev; prev" << 1.0 << 100.0 << 1 << 2 << true << 100;
    QTest::newRow("first on page 1 does nothing") << "add 150; prev; first" << 1.0 << 100.0 << 1 << 2 << true << 100;
    QTest::newRow("paged back: new values leave the page")
        << "add 150; prev; add 100" << 1.0 << 100.0 << 1 << 3 << true << 100;
    QTest::newRow("last goes to the newest page")
        << "add 150; prev; add 100; last" << 201.0 << 300.0 << 3 << 3 << false << 100;
    QTest::newRow("following again after last")
        << "add 150; prev; add 100; last; add 51" << 301.0 << 400.0 << 4 << 4 << false << 100;
    QTest::newRow("first from page 3") << "add 250; first" << 1.0 << 100.0 << 1 << 3 << true << 100;
    QTest::newRow("next short of the last page stays paged back")
        << "add 250; first; next" << 101.0 << 200.0 << 2 << 3 << true << 100;
    QTest::newRow("next onto the last page follows again")
        << "add 250; first; next 2; add 60" << 301.0 << 400.0 << 4 << 4 << false << 100;
    QTest::newRow("next on the last page does nothing") << "add 250; next" << 201.0 << 300.0 << 3 << 3 << false << 100;
    QTest::newRow("one page: first, next and last do nothing")
        << "add 50; first; next; last" << 1.0 << 100.0 << 1 << 1 << false << 100;

    // The record limit is a multiple of the page size.
    QTest::newRow("record limit 1000: page 10 shows 901..1000")
        << "add 1000" << 901.0 << 1000.0 << 10 << 10 << false << 100;
    QTest::newRow("record limit 1000: previous shows 801..900 as page 9")
        << "add 1000; prev" << 801.0 << 900.0 << 9 << 10 << true << 100;
    QTest::newRow("record limit 1000: next from page 9 ends on page 10")
        << "add 1000; prev; next; next" << 901.0 << 1000.0 << 10 << 10 << false << 100;
    QTest::newRow("record limit 1000: nine nexts from page 1 reach page 10")
        << "add 1000; first; next 9" << 901.0 << 1000.0 << 10 << 10 << false << 100;

    // Reset: only the placeholder again, so the first value sits at 1.
    QTest::newRow("reset from page 3") << "add 250; reset" << 1.0 << 100.0 << 1 << 1 << false << 100;
    QTest::newRow("reset while paged back follows again")
        << "add 250; first; reset; add 150" << 101.0 << 200.0 << 2 << 2 << false << 100;
    QTest::newRow("after reset 100 values fill page 1")
        << "add 250; reset; add 100" << 1.0 << 100.0 << 1 << 1 << false << 100;
    QTest::newRow("after reset value 101 opens page 2")
        << "add 250; reset; add 101" << 101.0 << 200.0 << 2 << 2 << false << 100;
    QTest::newRow("reset then 352 values: page 4 ends with value 352")
        << "add 250; reset; add 352" << 301.0 << 400.0 << 4 << 4 << false << 100;
    QTest::newRow("reset keeps the page size")
        << "size 50; add 120; reset; add 51" << 51.0 << 100.0 << 2 << 2 << false << 50;

    QTest::newRow("same size does nothing, not even while paged back")
        << "add 150; prev; add 100; size 100" << 1.0 << 100.0 << 1 << 3 << true << 100;
    QTest::newRow("new size goes to the newest page")
        << "add 250; first; size 50" << 201.0 << 250.0 << 5 << 5 << false << 50;
    QTest::newRow("new size follows the newest page")
        << "add 250; first; size 50; add 1" << 251.0 << 300.0 << 6 << 6 << false << 50;
    QTest::newRow("new size while paged back to page 1")
        << "add 150; prev; size 50" << 101.0 << 150.0 << 3 << 3 << false << 50;
    QTest::newRow("new size on exactly 100 values")
        << "add 100; prev; size 50" << 51.0 << 100.0 << 2 << 2 << false << 50;
    QTest::newRow("new size moves the window right of the one shown")
        << "add 1000; first; size 7" << 995.0 << 1001.0 << 143 << 143 << false << 7;
    QTest::newRow("new size moves the window left of the one shown")
        << "add 1000; size 10; first; last; size 2000" << 1.0 << 2000.0 << 1 << 1 << false << 2000;
    QTest::newRow("new size with no values: page 1") << "size 50" << 1.0 << 50.0 << 1 << 1 << false << 50;
    QTest::newRow("larger size") << "add 250; size 1000" << 1.0 << 1000.0 << 1 << 1 << false << 1000;
    QTest::newRow("page size 1") << "add 5; size 1" << 5.0 << 5.0 << 5 << 5 << false << 1;
    QTest::newRow("page size 1, one value back") << "add 5; size 1; prev" << 4.0 << 4.0 << 4 << 5 << true << 1;
    QTest::newRow("size 0 is ignored") << "add 150; prev; size 0" << 1.0 << 100.0 << 1 << 2 << true << 100;
    QTest::newRow("negative size is ignored")
        << "add 150; size -5; add 100" << 201.0 << 300.0 << 3 << 3 << false << 100;
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

    MemoryChart chart;
    ChartPager pager(chart, 100);
    runScript(pager, script);
    QCOMPARE(chart.bottomMinimum(), minimum);
    QCOMPARE(chart.bottomMaximum(), maximum);
    QCOMPARE(pager.currentPage(), page);
    QCOMPARE(pager.pageCount(), pageCount);
    QCOMPARE(pager.pagedBack(), pagedBack);
    QCOMPARE(pager.pageSize(), pageSize);
    checkPagerInvariants(chart, pager);
}

void TestChartPager::walkEveryPage_data()
{
    QTest::addColumn<int>("values");
    QTest::addColumn<int>("pageSize");

    QTest::newRow("no values") << 0 << 100;
    QTest::newRow("one value") << 1 << 100;
    QTest::newRow("exactly one page") << 100 << 100;
    QTest::newRow("record limit 1000") << 1000 << 100;
    QTest::newRow("352 values") << 352 << 100;
    QTest::newRow("page size 1") << 5 << 1;
    QTest::newRow("odd page size") << 999 << 7;
}

void TestChartPager::walkEveryPage()
{
    // From the first page to the last with Next and back with Previous:
    // each step shows the next page's own positions, none twice, and the
    // walk ends on the newest value's page.
    QFETCH(int, values);
    QFETCH(int, pageSize);

    MemoryChart chart;
    ChartPager pager(chart, pageSize);
    for (int i = 1; i <= values; ++i)
        pager.addPoint(i);
    const int pages = values == 0 ? 1 : (values - 1) / pageSize + 1;
    QCOMPARE(pager.pageCount(), pages);
    QCOMPARE(pager.currentPage(), pages);
    if (values > 0)
        QVERIFY(chart.bottomMinimum() <= values && values <= chart.bottomMaximum());

    pager.showFirstPage();
    for (int page = 1; page <= pages; ++page) {
        QCOMPARE(pager.currentPage(), page);
        checkPagerInvariants(chart, pager);
        if (QTest::currentTestFailed())
            return;
        pager.showNextPage();
    }
    QCOMPARE(pager.currentPage(), pages);
    QVERIFY(!pager.pagedBack());
    for (int page = pages; page >= 1; --page) {
        QCOMPARE(pager.currentPage(), page);
        checkPagerInvariants(chart, pager);
        if (QTest::currentTestFailed())
            return;
        pager.showPreviousPage();
    }
    QCOMPARE(pager.currentPage(), 1);
}

void TestChartPager::pointsArePureBlue()
{
    MemoryChart chart;
    ChartPager pager(chart, 100);
    pager.addPoint(-12.5);
    QCOMPARE(chart.pointCount(), 2);
    QCOMPARE(chart.lastValue(), -12.5);
    QCOMPARE(chart.lastColour(), std::optional<PointColour>(PointColour{0, 0, 255}));

    // Back to the placeholder alone, which has no colour of its own.
    pager.reset();
    QCOMPARE(chart.pointCount(), 1);
    QCOMPARE(chart.lastColour(), std::nullopt);
}

void TestChartPager::noSeries()
{
    // Nothing to add to: no value is taken or counted, and page 1 stays.
    MemoryChart chart(0);
    ChartPager pager(chart, 100);
    pager.addPoint(1);
    pager.showNextPage();
    pager.showLastPage();
    pager.reset();
    pager.addPoint(2);
    QCOMPARE(chart.pointCount(), 0);
    QCOMPARE(pager.valueCount(), qint64(0));
    QCOMPARE(pager.pageCount(), 1);
    QCOMPARE(pager.currentPage(), 1);
    QCOMPARE(chart.bottomMinimum(), 1.0);
    QCOMPARE(chart.bottomMaximum(), 100.0);
}

void TestChartPager::tenMillionPoints()
{
    // The paging arithmetic holds at the log's largest size, and a move
    // across 99 999 pages sets each axis end once, however far it goes.
    MemoryChart chart;
    ChartPager pager(chart, 100);
    for (int i = 1; i <= 10'000'000; ++i)
        pager.addPoint(i % 4000);
    QCOMPARE(chart.pointCount(), qint64(10'000'001));
    QCOMPARE(pager.pageCount(), 100000);
    QCOMPARE(pager.currentPage(), 100000);
    QCOMPARE(chart.bottomMinimum(), 9999901.0);
    QCOMPARE(chart.bottomMaximum(), 10000000.0);

    qint64 changes = chart.axisChangeCount();
    pager.showFirstPage();
    QCOMPARE(pager.currentPage(), 1);
    QCOMPARE(chart.bottomMinimum(), 1.0);
    QCOMPARE(chart.bottomMaximum(), 100.0);
    QCOMPARE(chart.axisChangeCount() - changes, qint64(2));

    changes = chart.axisChangeCount();
    pager.showLastPage();
    QCOMPARE(pager.currentPage(), 100000);
    QCOMPARE(chart.bottomMinimum(), 9999901.0);
    QCOMPARE(chart.bottomMaximum(), 10000000.0);
    QCOMPARE(chart.axisChangeCount() - changes, qint64(2));
    QVERIFY(!pager.pagedBack());
    checkPagerInvariants(chart, pager);
}

QTEST_APPLESS_MAIN(TestChartPager)
#include "tst_chartpager.moc"
