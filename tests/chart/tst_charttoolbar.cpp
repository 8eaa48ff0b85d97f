#include "chart/charttoolbar.h"

#include <QtTest>

class TestChartToolbar : public QObject
{
    Q_OBJECT
private slots:
    void pageSize_data();
    void pageSize();
    void enlargeAndRestore_data();
    void enlargeAndRestore();
};

void TestChartToolbar::pageSize_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("size");

    const int apply = int(PageSizeChange::Action::Apply);
    const int ignore = int(PageSizeChange::Action::Ignore);
    QTest::newRow("design text") << "100" << apply << 100;
    QTest::newRow("fifty") << "50" << apply << 50;
    QTest::newRow("leading zeros") << "007" << apply << 7;
    QTest::newRow("one") << "1" << apply << 1;
    QTest::newRow("ten million") << "10000000" << apply << 10000000;
    QTest::newRow("beyond ten million") << "10000001" << ignore << 0;
    QTest::newRow("largest 32-bit") << "2147483647" << ignore << 0;
    QTest::newRow("leading blank") << " 20" << apply << 20;
    QTest::newRow("zero is ignored") << "0" << ignore << 0;
    QTest::newRow("negative is ignored") << "-5" << ignore << 0;
    // Not applied, and nothing said, until the text is a number.
    QTest::newRow("empty while typing") << "" << ignore << 0;
    QTest::newRow("too large for 32 bits") << "2147483648" << ignore << 0;
    QTest::newRow("pasted letters") << "abc" << ignore << 0;
    QTest::newRow("trailing blank") << "20 " << ignore << 0;
    QTest::newRow("decimal") << "1.5" << ignore << 0;
}

void TestChartToolbar::pageSize()
{
    QFETCH(QString, text);
    QFETCH(int, action);
    QFETCH(int, size);

    const PageSizeChange change = pageSizeChangeFor(text);
    QCOMPARE(int(change.action), action);
    QCOMPARE(change.size, size);
}

void TestChartToolbar::enlargeAndRestore_data()
{
    QTest::addColumn<QSize>("windowFrame");
    QTest::addColumn<QRect>("enlargedChart");

    // Client area 663 x 509 under a frame, title bar and menu bar.
    QTest::newRow("design window") << QSize(665, 557) << QRect(2, 28, 653, 502);
    QTest::newRow("thick frame") << QSize(679, 577) << QRect(2, 28, 667, 522);
}

void TestChartToolbar::enlargeAndRestore()
{
    QFETCH(QSize, windowFrame);
    QFETCH(QRect, enlargedChart);

    const QRect designChart(309, 189, 350, 316);
    const ChartPlacement enlarged = enlargedChartPlacement(windowFrame);
    QCOMPARE(enlarged.chart, enlargedChart);
    QCOMPARE(enlarged.toolbar, QPoint(2, 0));

    // Chart and toolbar come back where they were.
    const ChartPlacement restored = restoredChartPlacement(designChart, QPoint(306, 149));
    QCOMPARE(restored.chart, designChart);
    QCOMPARE(restored.toolbar, QPoint(306, 149));
}

QTEST_APPLESS_MAIN(TestChartToolbar)
#include "tst_charttoolbar.moc"
