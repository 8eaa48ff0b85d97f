#include "chart/chartview.h"
#include "chart/chartpager.h"

#include <QPaintEvent>
#include <QScreen>
#include <QtEndian>
#include <QtTest>

namespace {

bool hasColour(const QImage &image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xffffff) == (colour & 0xffffff))
                return true;
        }
    }
    return false;
}

// A wave that crosses zero, so both the curve and the fill are on the page.
void addWave(ChartPager &pager, int count)
{
    for (int i = 1; i <= count; ++i)
        pager.addPoint(3000 * std::sin(i / 15.0));
}

// The region of every paint of a widget.
class PaintRecorder : public QObject
{
public:
    QList<QRegion> paints;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            paints.append(static_cast<QPaintEvent *>(event)->region());
        return false;
    }
};

// Delivers the queued repaints.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class TestChartView : public QObject
{
    Q_OBJECT
private slots:
    void startState();
    void showSeries_data();
    void showSeries();
    void placeholderAndSharedPoints();
    void pagerOnView();
    void axisErrors_data();
    void axisErrors();
    void saveBitmap_data();
    void saveBitmap();
    void saveFailure();
    void repaints_data();
    void repaints();
    void screenAfterRepaints();
};

void TestChartView::startState()
{
    ChartView view;
    QCOMPARE(view.seriesCount(), 2);
    QCOMPARE(view.shownSeries(), int(ChartView::AreaSeries));
    QCOMPARE(view.pointCount(), 0);
    QCOMPARE(view.bottomMinimum(), 1.0);
    QCOMPARE(view.bottomMaximum(), 100.0);
    QCOMPARE(view.verticalMinimum(), -4000.0);
    QCOMPARE(view.verticalMaximum(), 4000.0);
}

void TestChartView::showSeries_data()
{
    QTest::addColumn<QList<int>>("calls");
    QTest::addColumn<int>("shown");

    QTest::newRow("fill unticked: line") << QList<int>{ChartView::LineSeries} << int(ChartView::LineSeries);
    QTest::newRow("ticked again: area")
        << QList<int>{ChartView::LineSeries, ChartView::AreaSeries} << int(ChartView::AreaSeries);
    QTest::newRow("same choice again") << QList<int>{ChartView::LineSeries, ChartView::LineSeries}
                                       << int(ChartView::LineSeries);
    QTest::newRow("index past the series changes nothing")
        << QList<int>{ChartView::LineSeries, 2} << int(ChartView::LineSeries);
    QTest::newRow("negative index changes nothing") << QList<int>{-1} << int(ChartView::AreaSeries);
}

void TestChartView::showSeries()
{
    QFETCH(QList<int>, calls);
    QFETCH(int, shown);

    ChartView view;
    for (int index : calls)
        view.showSeries(index);
    QCOMPARE(view.shownSeries(), shown);
}

void TestChartView::placeholderAndSharedPoints()
{
    ChartView view;
    ChartPager pager(view, 100);
    view.resetSeries();
    QCOMPARE(view.pointCount(), 1);
    QCOMPARE(view.seriesValue(ChartView::AreaSeries, 0), ChartView::PlaceholderValue);
    QCOMPARE(view.pointColour(0), std::nullopt);

    addWave(pager, 150);
    view.showSeries(ChartView::LineSeries);
    for (int series : {ChartView::AreaSeries, ChartView::LineSeries}) {
        QCOMPARE(view.seriesPointCount(series), qint64(151));
        for (qint64 i = 1; i <= 150; ++i)
            QCOMPARE(view.seriesValue(series, i), 3000 * std::sin(double(i) / 15.0));
    }
    QCOMPARE(view.pointColour(1), std::optional<PointColour>(PointColour{0, 0, 255}));
    QCOMPARE(view.pointColour(150), std::optional<PointColour>(PointColour{0, 0, 255}));

    // New: back to the placeholder alone; the page and the shown series stay.
    view.resetSeries();
    QCOMPARE(view.seriesPointCount(ChartView::AreaSeries), qint64(1));
    QCOMPARE(view.seriesPointCount(ChartView::LineSeries), qint64(1));
    QCOMPARE(view.pointColour(0), std::nullopt);
    QCOMPARE(view.bottomMinimum(), 101.0);
    QCOMPARE(view.shownSeries(), int(ChartView::LineSeries));
}

void TestChartView::pagerOnView()
{
    // The pager on the real chart: the placeholder at 0, the n-th value at
    // n, and every move shows its page's positions.
    ChartView view;
    ChartPager pager(view, 100);
    QCOMPARE(view.pointCount(), qint64(1));
    QCOMPARE(view.seriesValue(ChartView::AreaSeries, 0), ChartView::PlaceholderValue);
    addWave(pager, 100);
    QCOMPARE(view.bottomMinimum(), 1.0);
    QCOMPARE(view.bottomMaximum(), 100.0);
    pager.showPreviousPage();
    QCOMPARE(view.bottomMinimum(), 1.0);
    QCOMPARE(view.bottomMaximum(), 100.0);
    pager.setPageSize(50);
    QCOMPARE(view.bottomMinimum(), 51.0);
    QCOMPARE(view.bottomMaximum(), 100.0);
    pager.showFirstPage();
    pager.setPageSize(7);
    QCOMPARE(view.bottomMinimum(), 99.0);
    QCOMPARE(view.bottomMaximum(), 105.0);

    // Emptied: the first value after it sits at 1 again.
    pager.reset();
    QCOMPARE(view.pointCount(), qint64(1));
    QCOMPARE(view.pointColour(0), std::nullopt);
    QCOMPARE(view.bottomMinimum(), 1.0);
    QCOMPARE(view.bottomMaximum(), 7.0);
    addWave(pager, 1);
    QCOMPARE(view.pointCount(), qint64(2));
    QCOMPARE(view.seriesValue(ChartView::LineSeries, 1), 3000 * std::sin(1 / 15.0));
}

void TestChartView::axisErrors_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<QString>("error");
    QTest::addColumn<double>("shownMinimum");
    QTest::addColumn<double>("shownMaximum");

    // Bottom axis at 1..100, vertical axis at -4000..4000.
    QTest::newRow("bottom minimum above maximum")
        << "bottomMinimum" << 0.0 << 101.0 << "Axis Minimum Value must be <= Maximum" << 1.0 << 100.0;
    QTest::newRow("bottom maximum below minimum")
        << "bottomMaximum" << 0.0 << 0.0 << "Axis Maximum Value must be >= Minimum" << 1.0 << 100.0;
    QTest::newRow("vertical: a meter range") << "vertical" << 400.0 << -400.0 << "" << -400.0 << 400.0;
    QTest::newRow("vertical: a larger range") << "vertical" << 40000.0 << -40000.0 << "" << -40000.0 << 40000.0;
    QTest::newRow("vertical maximum below minimum")
        << "vertical" << -5000.0 << -6000.0 << "Axis Maximum Value must be >= Minimum" << -4000.0 << 4000.0;
    QTest::newRow("vertical minimum above the new maximum")
        << "vertical" << 100.0 << 200.0 << "Axis Minimum Value must be <= Maximum" << -4000.0 << 100.0;
}

void TestChartView::axisErrors()
{
    QFETCH(QString, call);
    QFETCH(double, maximum);
    QFETCH(double, minimum);
    QFETCH(QString, error);
    QFETCH(double, shownMinimum);
    QFETCH(double, shownMaximum);

    ChartView view;
    QString raised;
    if (call == u"bottomMinimum") {
        if (!view.setBottomMinimum(minimum))
            raised = QString::fromLatin1(ChartAxis::MinimumAboveMaximum);
    } else if (call == u"bottomMaximum") {
        if (!view.setBottomMaximum(maximum))
            raised = QString::fromLatin1(ChartAxis::MaximumBelowMinimum);
    } else if (!view.setVerticalAxis(maximum, minimum)) {
        raised = view.errorString();
    }
    QCOMPARE(raised, error);
    const bool vertical = call == u"vertical";
    QCOMPARE(vertical ? view.verticalMinimum() : view.bottomMinimum(), shownMinimum);
    QCOMPARE(vertical ? view.verticalMaximum() : view.bottomMaximum(), shownMaximum);
}

void TestChartView::saveBitmap_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("series");

    QTest::newRow("design size, area") << QSize(350, 316) << "chart.bmp" << int(ChartView::AreaSeries);
    QTest::newRow("design size, line") << QSize(350, 316) << "chart.bmp" << int(ChartView::LineSeries);
    QTest::newRow("enlarged") << QSize(653, 502) << "enlarged.bmp" << int(ChartView::AreaSeries);
    QTest::newRow("another extension is still a bitmap")
        << QSize(350, 316) << "chart.png" << int(ChartView::LineSeries);
}

void TestChartView::saveBitmap()
{
    QFETCH(QSize, size);
    QFETCH(QString, fileName);
    QFETCH(int, series);

    ChartView view;
    ChartPager pager(view, 100);
    view.resetSeries();
    view.showSeries(series);
    addWave(pager, 130);
    view.resize(350, 316);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.resize(size);

    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QVERIFY2(view.saveBitmap(path), qPrintable(view.errorString()));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(26);
    QCOMPARE(header.left(2), QByteArray("BM"));
    QCOMPARE(qFromLittleEndian<qint32>(header.constData() + 18), size.width());
    QCOMPARE(qAbs(qFromLittleEndian<qint32>(header.constData() + 22)), size.height());
    file.close();

    const QImage image(path, "BMP");
    QCOMPARE(image.size(), size);
    // The logged curve is pure blue in both modes; the area's outline and the
    // dashed left axis have their own colours.
    QVERIFY(hasColour(image, qRgb(0, 0, 255)));
    QCOMPARE(hasColour(image, qRgb(0, 128, 255)), series == ChartView::AreaSeries);
    QVERIFY(hasColour(image, qRgb(0, 64, 128)));
}

void TestChartView::saveFailure()
{
    ChartView view;
    view.resize(350, 316);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/chart.bmp"));
    QVERIFY(!view.saveBitmap(path));
    QVERIFY(view.errorString().contains(path));
    QVERIFY(!QFile::exists(path));
}

void TestChartView::repaints_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("repainted"); // nothing, strip, plot area, everything

    // 130 values shown, page 2 followed.
    QTest::newRow("a value on the page shown: its segment") << "value" << "strip";
    QTest::newRow("a burst of values repaints once") << "values" << "plot area";
    QTest::newRow("a value beyond the page shown") << "paged back, value" << "nothing";
    QTest::newRow("a value opening a new page") << "value 201" << "everything";
    QTest::newRow("a page move") << "previous" << "everything";
    QTest::newRow("the other series") << "fill" << "plot area";
    QTest::newRow("a new vertical range") << "vertical" << "everything";
    QTest::newRow("the placeholder alone") << "reset series" << "plot area";
}

void TestChartView::repaints()
{
    // The axes, grid and backgrounds are drawn afresh only when they change.
    QFETCH(QString, change);
    QFETCH(QString, repainted);

    ChartView view;
    ChartPager pager(view, 100);
    addWave(pager, 130);
    view.resize(350, 316);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    if (change == u"paged back, value") {
        pager.showPreviousPage();
        change = QStringLiteral("value");
    }
    settle();
    auto *plot = view.findChild<QWidget *>();
    PaintRecorder recorder;
    plot->installEventFilter(&recorder);

    if (change == u"value") {
        pager.addPoint(1500);
    } else if (change == u"values") {
        for (int i = 0; i < 20; ++i)
            pager.addPoint(100 * i);
    } else if (change == u"value 201") {
        addWave(pager, 71);
        QCOMPARE(pager.currentPage(), 3);
    } else if (change == u"previous") {
        pager.showPreviousPage();
    } else if (change == u"fill") {
        view.showSeries(ChartView::LineSeries);
    } else if (change == u"vertical") {
        QVERIFY(view.setVerticalAxis(400, -400));
    } else if (change == u"reset series") {
        view.resetSeries();
    }
    settle();

    const QRegion whole(plot->rect());
    if (repainted == u"nothing") {
        QCOMPARE(recorder.paints.size(), 0);
    } else if (repainted == u"everything") {
        QCOMPARE(recorder.paints.size(), 1);
        QCOMPARE(recorder.paints.at(0), whole);
    } else {
        // Inside the frame of axes and labels around the plot area.
        QCOMPARE(recorder.paints.size(), 1);
        const QRect area = recorder.paints.at(0).boundingRect();
        QVERIFY(!area.isEmpty());
        QVERIFY2(whole.boundingRect().adjusted(20, 20, -5, -20).contains(area),
                 qPrintable(QStringLiteral("repainted %1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height())));
        // One new segment (about 3 px at 100 values a page) and its edges,
        // the plot area's full height.
        if (repainted == u"strip")
            QVERIFY2(area.width() <= 12 && area.height() > whole.boundingRect().height() / 2,
                     qPrintable(QStringLiteral("repainted %1x%2").arg(area.width()).arg(area.height())));
    }
}

void TestChartView::screenAfterRepaints()
{
    // What the repaints leave on the screen, from values on a page, across
    // pages, paged back and forward and with the other series for a while,
    // is what a chart shown afresh in the same state draws.
    auto value = [](int i) { return 3000 * std::sin(i / 15.0) + (i % 7) * 50; };
    ChartView view;
    ChartPager pager(view, 100);
    view.resize(350, 316);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    for (int i = 1; i <= 250; ++i) {
        pager.addPoint(value(i));
        settle();
        if (i == 120)
            view.showSeries(ChartView::LineSeries);
        if (i == 160)
            view.showSeries(ChartView::AreaSeries);
        if (i == 180)
            pager.showPreviousPage();
        if (i == 200)
            pager.showLastPage();
        settle();
    }
    const QImage screen = view.screen()->grabWindow(view.winId()).toImage();
    if (screen.isNull())
        QSKIP("this platform cannot read back the screen");

    ChartView fresh;
    ChartPager freshPager(fresh, 100);
    for (int i = 1; i <= 250; ++i)
        freshPager.addPoint(value(i));
    fresh.resize(350, 316);
    fresh.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fresh));
    settle();
    QCOMPARE(screen.convertToFormat(QImage::Format_RGB32), fresh.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TestChartView)
#include "tst_chartview.moc"
