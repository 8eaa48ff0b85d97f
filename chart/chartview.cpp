#include "chart/chartview.h"

#include "shared/designfont.h"

#include <QImageWriter>
#include <QResizeEvent>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QVarLengthArray>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

// One series of the chart, drawn straight from the shared point store: a point's
// key is its index, so the visible page is found by arithmetic and drawing
// never walks the points outside it.
//
// A segment is drawn in the colour of the point it leads to; a point without a
// colour of its own takes the series colour. Line: the segments with the pen's
// width and style. Area: each segment filled down to the bottom of the plot and
// outlined with the pen. No point markers, no labels.
class ChartSeries : public QCPAbstractPlottable
{
public:
    enum class Kind { Area, Line };

    ChartSeries(QCPAxis *keyAxis, QCPAxis *valueAxis, const ChartPoints &points, Kind kind, const QColor &seriesColour,
                const QPen &pen)
        : QCPAbstractPlottable(keyAxis, valueAxis)
        , m_points(points)
        , m_kind(kind)
        , m_seriesColour(seriesColour)
    {
        setPen(pen);
        setBrush(seriesColour);
        setSelectable(QCP::stNone);
        setAntialiased(false);
        setAntialiasedFill(false);
    }

    const ChartPoints &points() const { return m_points; }

    // Draws the series as its layer does: clipped to the plot area, which
    // the layer shifts up by a pixel, and with the series' antialiasing.
    void drawInPlotArea(QCPPainter *painter)
    {
        painter->save();
        painter->setClipRect(clipRect().translated(0, -1));
        applyDefaultAntialiasingHint(painter);
        draw(painter);
        painter->restore();
    }

    double selectTest(const QPointF &, bool, QVariant *) const override { return -1; }

    QCPRange getKeyRange(bool &foundRange, QCP::SignDomain inSignDomain) const override
    {
        const qint64 n = m_points.size();
        const double first = inSignDomain == QCP::sdPositive ? 1 : 0;
        foundRange = n > 0 && inSignDomain != QCP::sdNegative && double(n - 1) >= first;
        return foundRange ? QCPRange(first, double(n - 1)) : QCPRange();
    }

    // Over all points; the axes are scaled by hand, so this only serves
    // QCustomPlot's own rescaling, which the chart does not use.
    QCPRange getValueRange(bool &foundRange, QCP::SignDomain inSignDomain, const QCPRange &) const override
    {
        foundRange = !m_points.isEmpty() && inSignDomain == QCP::sdBoth;
        return foundRange ? QCPRange(m_points.minimumValue(), m_points.maximumValue()) : QCPRange();
    }

protected:
    void draw(QCPPainter *painter) override;
    void drawLegendIcon(QCPPainter *, const QRectF &) const override { }

private:
    struct Span
    {
        qint64 from;
        qint64 to;
    };

    QColor colourOf(const ChartPoints::ColourRun &run) const
    {
        return run.colour ? QColor(run.colour->red, run.colour->green, run.colour->blue) : m_seriesColour;
    }
    QPolygonF pixelPoints(Span span, bool sampled, double xOrigin, double xStep) const;
    void drawSpan(QCPPainter *painter, const QColor &colour, Span span, bool sampled, double xOrigin, double xStep,
                  double base) const;

    const ChartPoints &m_points;
    Kind m_kind;
    QColor m_seriesColour;
};

void ChartSeries::draw(QCPPainter *painter)
{
    QCPAxis *keyAxis = mKeyAxis.data();
    QCPAxis *valueAxis = mValueAxis.data();
    const qint64 n = m_points.size();
    if (!keyAxis || !valueAxis || n < 2)
        return;
    // The visible positions and one neighbour on each side, for the segments
    // that cross the edges of the plot.
    const QCPRange keys = keyAxis->range();
    const double end = double(n - 1);
    const qint64 first = qint64(std::clamp(std::floor(keys.lower) - 1, 0.0, end));
    const qint64 last = qint64(std::clamp(std::ceil(keys.upper) + 1, 0.0, end));
    if (first >= last)
        return;

    const double xOrigin = keyAxis->coordToPixel(0);
    const double xStep = keyAxis->coordToPixel(1) - xOrigin;
    const double base = valueAxis->coordToPixel(valueAxis->range().lower);
    // More points than pixel columns: draw each column's extremes instead.
    const int columns = std::max(1, keyAxis->axisRect()->width());
    const bool sampled = last - first > 2 * qint64(columns);

    const std::vector<ChartPoints::ColourRun> &runs = m_points.colourRuns();
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const qint64 runFirst = runs[r].first;
        const qint64 runLast = r + 1 < runs.size() ? runs[r + 1].first - 1 : n - 1;
        // The segments leading to the run's points start one point earlier.
        const Span span{std::max(runFirst - 1, first), std::min(runLast, last)};
        if (span.from < span.to)
            drawSpan(painter, colourOf(runs[r]), span, sampled, xOrigin, xStep, base);
    }
}

QPolygonF ChartSeries::pixelPoints(Span span, bool sampled, double xOrigin, double xStep) const
{
    QCPAxis *valueAxis = mValueAxis.data();
    QPolygonF polygon;
    if (!sampled) {
        polygon.reserve(span.to - span.from + 1);
        for (qint64 i = span.from; i <= span.to; ++i)
            polygon.append(QPointF(xOrigin + xStep * double(i), valueAxis->coordToPixel(m_points.value(i))));
        return polygon;
    }
    // One column at a time: its largest and smallest value as a vertical
    // stroke, the highest first so an area's outline follows the top.
    qint64 i = span.from;
    while (i <= span.to) {
        const double column = std::floor(xOrigin + xStep * double(i));
        double low = m_points.value(i);
        double high = low;
        for (++i; i <= span.to && std::floor(xOrigin + xStep * double(i)) == column; ++i) {
            low = std::min(low, m_points.value(i));
            high = std::max(high, m_points.value(i));
        }
        polygon.append(QPointF(column, valueAxis->coordToPixel(high)));
        if (m_kind == Kind::Line && low != high)
            polygon.append(QPointF(column, valueAxis->coordToPixel(low)));
    }
    return polygon;
}

void ChartSeries::drawSpan(QCPPainter *painter, const QColor &colour, Span span, bool sampled, double xOrigin,
                           double xStep, double base) const
{
    const QPolygonF line = pixelPoints(span, sampled, xOrigin, xStep);
    if (line.size() < 2)
        return;
    if (m_kind == Kind::Line) {
        QPen pen = mPen;
        pen.setColor(colour);
        painter->setPen(pen);
        painter->drawPolyline(line);
        return;
    }
    QPolygonF area = line;
    area.append(QPointF(line.last().x(), base));
    area.append(QPointF(line.first().x(), base));
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawPolygon(area);

    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    // The lines between the segments; where points are denser than pixels
    // they would cover the fill, so only the outline is drawn then.
    if (!sampled) {
        // In one call; rounded as QCPPainter rounds a line it draws without
        // antialiasing.
        QVarLengthArray<QLine, 256> dividers;
        dividers.reserve(line.size());
        for (const QPointF &p : line)
            dividers.append(QLineF(p.x(), p.y(), p.x(), base).toLine());
        painter->drawLines(dividers.constData(), int(dividers.size()));
    }
    painter->drawPolyline(line);
}

// The plot on screen. What stays the same from one value to the next (the
// backgrounds, the grid, the axes with their labels, the bevel) is drawn into
// two pictures, kept until the size, an axis range or the pixel ratio
// changes: the chart without its series, and the axes alone. A paint copies
// the first, draws the shown series over the plot area and the axes over
// them again, the order in which QCustomPlot's layers put them; so a new
// value costs the series of one page and repaints the plot area alone.
// QCustomPlot's replot, which draws every layer into buffers of its own each
// time, is not used for the screen; toPixmap still draws the whole chart.
class ChartPlot : public QCustomPlot
{
public:
    explicit ChartPlot(QWidget *parent)
        : QCustomPlot(parent)
    {
        // Nothing here replots: the replot QCustomPlot queues when it is
        // made would fill two window-sized buffers that are never shown, and
        // the window pays for it before it first shows.
        mReplotting = true;
    }

    void addSeries(ChartSeries *series) { m_series.push_back(series); }

    // Queue a repaint of what the series reach, the plot area, or of all,
    // which draws the pictures afresh after a change of an axis range. Each
    // is asked for once until the paint: a log opened at ten million rows
    // adds its values in one burst.
    void updateSeries() { updateSeriesBetween(xAxis->range().lower, xAxis->range().upper); }
    // Only the part of the series between two positions changed: a new value
    // changes the segment from the value before it, and repaints that strip.
    void updateSeriesBetween(double fromKey, double toKey)
    {
        if (m_queued == Queued::All)
            return;
        // The line's width and its smoothed edges reach a little beyond.
        constexpr int Margin = 3;
        const int left = int(std::floor(std::min(xAxis->coordToPixel(fromKey), xAxis->coordToPixel(toKey)))) - Margin;
        const int right = int(std::ceil(std::max(xAxis->coordToPixel(fromKey), xAxis->coordToPixel(toKey)))) + Margin;
        const QRect area = seriesArea();
        const QRect strip = QRect(QPoint(left, area.top()), QPoint(right, area.bottom())) & area;
        if (m_queued == Queued::Series && m_queuedArea.contains(strip))
            return;
        m_queued = Queued::Series;
        m_queuedArea |= strip;
        update(m_queuedArea);
    }
    void updateAll()
    {
        if (m_queued != Queued::All) {
            m_queued = Queued::All;
            update();
        }
    }

    // The whole chart at the given size, drawn afresh.
    QImage renderImage(QSize size)
    {
        const QImage image = toPixmap(size.width(), size.height()).toImage();
        // Drawing at another size laid the plot out for that size; the
        // series on screen are placed by the layout of the widget's own.
        updateLayout();
        return image;
    }

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override
    {
        // QCustomPlot would replot everything; the next paint notices the
        // new size.
        setViewport(rect());
    }
    void changeEvent(QEvent *event) override
    {
        // The bevel takes its colours from the palette.
        if (event->type() == QEvent::PaletteChange) {
            m_pictures.reset();
            updateAll();
        }
        QCustomPlot::changeEvent(event);
    }

private:
    // What the pictures depend on, besides the palette.
    struct PictureKey
    {
        QSize size;
        qreal pixelRatio = 1;
        QCPRange keys;
        QCPRange values;

        bool operator==(const PictureKey &) const = default;
    };

    // The series are clipped to the axis rectangle, which their layer
    // shifts up by a pixel.
    QRect seriesArea() const { return axisRect()->rect().translated(0, -1); }
    void drawPictures(qreal pixelRatio);
    void drawPicture(QPixmap &picture, const QRect &area, qreal pixelRatio, const QBrush &background);

    enum class Queued { Nothing, Series, All };

    std::vector<ChartSeries *> m_series;
    Queued m_queued = Queued::Nothing;
    QRect m_queuedArea;                   // of the series, while Queued::Series
    std::optional<PictureKey> m_pictures; // of the pictures held, if any
    QPixmap m_chart;                      // everything but the series
    QPixmap m_axes;                       // the axes over the series' area, transparent elsewhere
};

void ChartPlot::paintEvent(QPaintEvent *)
{
    // This paint covers whatever was queued.
    m_queued = Queued::Nothing;
    m_queuedArea = QRect();
    if (size().isEmpty())
        return;
    const PictureKey key{size(), devicePixelRatioF(), xAxis->range(), yAxis->range()};
    if (m_pictures != key) {
        drawPictures(key.pixelRatio);
        m_pictures = key;
    }
    // Only the region to repaint reaches the screen: after a new value, no
    // more than the plot area is copied and drawn.
    QCPPainter painter(this);
    painter.drawPixmap(0, 0, m_chart);
    for (ChartSeries *series : m_series) {
        if (series->realVisibility())
            series->drawInPlotArea(&painter);
    }
    // Where the axes cross the plot area (base lines, inner ticks) they lie
    // above the series.
    painter.drawPixmap(seriesArea().topLeft(), m_axes);
}

void ChartPlot::drawPictures(qreal pixelRatio)
{
    setBufferDevicePixelRatio(pixelRatio);
    // Hidden one by one rather than by layer: a hidden layer hides the
    // children of what it holds too, and the grid is the axes' child.
    std::vector<bool> shown;
    for (ChartSeries *series : m_series) {
        shown.push_back(series->visible());
        series->setVisible(false);
    }
    drawPicture(m_chart, rect(), pixelRatio, mBackgroundBrush);

    const QBrush plotBackground = axisRect()->backgroundBrush();
    axisRect()->setBackground(QBrush(Qt::NoBrush));
    layer(QStringLiteral("grid"))->setVisible(false);
    layer(QStringLiteral("overlay"))->setVisible(false);
    drawPicture(m_axes, seriesArea(), pixelRatio, QBrush(Qt::NoBrush));
    layer(QStringLiteral("overlay"))->setVisible(true);
    layer(QStringLiteral("grid"))->setVisible(true);
    axisRect()->setBackground(plotBackground);

    for (std::size_t i = 0; i < m_series.size(); ++i)
        m_series[i]->setVisible(shown[i]);
}

void ChartPlot::drawPicture(QPixmap &picture, const QRect &area, qreal pixelRatio, const QBrush &background)
{
    // A new page draws into the pictures of the last one.
    const QSize pixels = area.size() * pixelRatio;
    if (picture.size() != pixels)
        picture = QPixmap(pixels);
    picture.setDevicePixelRatio(pixelRatio);
    // Filled with a solid colour, the picture has no alpha channel and is
    // copied to the screen rather than blended.
    const bool solid = background.style() == Qt::SolidPattern && background.isOpaque();
    picture.fill(solid ? background.color() : QColor(Qt::transparent));
    QCPPainter painter(&picture);
    painter.translate(-area.topLeft());
    if (!solid && background.style() != Qt::NoBrush)
        painter.fillRect(mViewport, background);
    // Lays the plot out, then draws what is visible.
    draw(&painter);
}

namespace {

// Four minor ticks between major ticks, whatever the step.
class FourSubTicks : public QCPAxisTicker
{
protected:
    int getSubTickCount(double) override { return 4; }
};

// Record numbers are whole: never a step below one.
class WholeNumberTicks : public QCPAxisTicker
{
protected:
    double getTickStep(const QCPRange &range) override { return std::max(1.0, QCPAxisTicker::getTickStep(range)); }
};

// The control's single border and lowered bevel, drawn as part of the plot so
// a saved picture has them too.
class ChartBevel : public QCPLayerable
{
public:
    explicit ChartBevel(QCustomPlot *plot)
        : QCPLayerable(plot, QStringLiteral("overlay"))
    { }

protected:
    // The layer shifts every clip rectangle up by a pixel; undo it so the
    // bottom edge is drawn.
    QRect clipRect() const override { return mParentPlot->viewport().adjusted(0, 0, 0, 1); }
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override { painter->setAntialiasing(false); }
    void draw(QCPPainter *painter) override
    {
        const QRect outer = mParentPlot->viewport().adjusted(0, 0, -1, -1);
        const QRect inner = outer.adjusted(1, 1, -1, -1);
        const QPalette palette = mParentPlot->palette();
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(palette.color(QPalette::Shadow), 0));
        painter->drawRect(outer);
        painter->setPen(QPen(palette.color(QPalette::Dark), 0));
        painter->drawLine(inner.topLeft(), inner.topRight());
        painter->drawLine(inner.topLeft(), inner.bottomLeft());
        painter->setPen(QPen(palette.color(QPalette::Light), 0));
        painter->drawLine(inner.bottomLeft(), inner.bottomRight());
        painter->drawLine(inner.topRight(), inner.bottomRight());
    }
};

// The axis QCustomPlot draws: a range of width 0 (a page of one position)
// is widened around it, which QCustomPlot would otherwise refuse.
QCPRange shownRange(const ChartAxis &axis)
{
    if (axis.minimum() == axis.maximum())
        return QCPRange(axis.minimum() - 0.5, axis.maximum() + 0.5);
    return QCPRange(axis.minimum(), axis.maximum());
}

} // namespace

ChartView::ChartView(QWidget *parent)
    : QWidget(parent)
    , m_plot(new ChartPlot(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_plot);

    m_plot->setInteractions(QCP::Interactions());
    m_plot->setAutoAddPlottableToLegend(false);
    m_plot->legend->setVisible(false);
    m_plot->setBackground(palette().color(QPalette::Base));
    m_plot->axisRect()->setBackground(Qt::white);

    // The title shows two blanks: no text, but it keeps its band at the top.
    m_plot->plotLayout()->insertRow(0);
    auto *title = new QCPTextElement(m_plot, QStringLiteral("  "), designFont("Arial", 13));
    title->setTextColor(Qt::blue);
    m_plot->plotLayout()->addElement(0, 0, title);
    m_plot->plotLayout()->setAutoMargins(QCP::msNone);

    const QFont axisFont = designFont("Arial", 11);
    QCPAxis *bottom = m_plot->xAxis;
    bottom->setLabel(QStringLiteral("Record Number"));
    bottom->setTicker(QSharedPointer<QCPAxisTicker>(new WholeNumberTicks));
    bottom->setNumberFormat(QStringLiteral("f"));
    bottom->setNumberPrecision(0);
    QCPAxis *left = m_plot->yAxis;
    left->setLabel(QStringLiteral("Value"));
    left->setBasePen(QPen(QColor(0, 64, 128), 1, Qt::DashLine));
    left->setTicker(QSharedPointer<QCPAxisTicker>(new FourSubTicks));
    left->setTickLength(0, 3);
    left->setSubTickLength(0, 3);
    for (QCPAxis *axis : {bottom, left}) {
        axis->setLabelFont(axisFont);
        axis->setTickLabelFont(axisFont);
    }

    m_series[AreaSeries] = new ChartSeries(bottom, left, m_points, ChartSeries::Kind::Area, QColor(255, 255, 128),
                                           QPen(QColor(0, 128, 255), 1));
    m_series[LineSeries] = new ChartSeries(bottom, left, m_points, ChartSeries::Kind::Line, QColor(255, 0, 0),
                                           QPen(QColor(128, 255, 0), 1));
    for (ChartSeries *series : m_series)
        m_plot->addSeries(series);
    new ChartBevel(m_plot);

    showSeries(AreaSeries);
    applyRanges();
}

// The series and the bevel belong to the plot, a child widget.
ChartView::~ChartView() = default;

void ChartView::addPoint(double value, std::optional<PointColour> colour)
{
    m_points.append(value, colour);
    // A point beyond the page changes nothing on screen; while the user has
    // paged back that is every new point.
    const qint64 position = m_points.size() - 1;
    if (positionInView(position))
        m_plot->updateSeriesBetween(double(position - 1), double(position));
}

bool ChartView::setBottomMinimum(double minimum)
{
    if (minimum == m_bottom.minimum())
        return true;
    if (!m_bottom.setMinimum(minimum))
        return false;
    applyRanges();
    m_plot->updateAll();
    return true;
}

bool ChartView::setBottomMaximum(double maximum)
{
    if (maximum == m_bottom.maximum())
        return true;
    if (!m_bottom.setMaximum(maximum))
        return false;
    applyRanges();
    m_plot->updateAll();
    return true;
}

void ChartView::showSeries(int index)
{
    if (index < 0 || index >= seriesCount())
        return;
    for (ChartSeries *series : m_series)
        series->setVisible(false);
    m_series[std::size_t(index)]->setVisible(true);
    m_plot->updateSeries();
}

int ChartView::shownSeries() const
{
    for (int i = 0; i < seriesCount(); ++i) {
        if (m_series[std::size_t(i)]->visible())
            return i;
    }
    return -1;
}

void ChartView::resetSeries()
{
    m_points.clear();
    m_points.append(PlaceholderValue, std::nullopt);
    m_plot->updateSeries();
}

bool ChartView::setVerticalAxis(double maximum, double minimum)
{
    // The maximum stays applied when the minimum is refused, as on a chart
    // whose ends are set one after the other.
    bool taken = m_vertical.setMaximum(maximum);
    if (!taken)
        m_errorString = QString::fromLatin1(ChartAxis::MaximumBelowMinimum);
    else if (!(taken = m_vertical.setMinimum(minimum)))
        m_errorString = QString::fromLatin1(ChartAxis::MinimumAboveMaximum);
    applyRanges();
    m_plot->updateAll();
    return taken;
}

qint64 ChartView::seriesPointCount(int series) const
{
    return m_series.at(std::size_t(series))->points().size();
}

double ChartView::seriesValue(int series, qint64 index) const
{
    return m_series.at(std::size_t(series))->points().value(index);
}

QImage ChartView::renderImage()
{
    applyMargins(size());
    return m_plot->renderImage(size());
}

bool ChartView::saveBitmap(const QString &fileName)
{
    const QImage image = renderImage();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        m_errorString = QStringLiteral("Cannot create file \"%1\": %2").arg(fileName, file.errorString());
        return false;
    }
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image)) {
        m_errorString = QStringLiteral("Cannot write \"%1\": %2").arg(fileName, writer.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_errorString = QStringLiteral("Cannot write \"%1\": %2").arg(fileName, file.errorString());
        return false;
    }
    m_errorString.clear();
    return true;
}

void ChartView::resizeEvent(QResizeEvent *event)
{
    applyMargins(event->size());
    QWidget::resizeEvent(event);
}

void ChartView::applyMargins(QSize size)
{
    // 1, 4, 3 and 1 per cent of the chart's width or height.
    m_plot->plotLayout()->setMargins(QMargins(qRound(size.width() * 0.01), qRound(size.height() * 0.04),
                                              qRound(size.width() * 0.03), qRound(size.height() * 0.01)));
}

void ChartView::applyRanges()
{
    m_plot->xAxis->setRange(shownRange(m_bottom));
    m_plot->yAxis->setRange(shownRange(m_vertical));
}

bool ChartView::positionInView(qint64 position) const
{
    // The segment leading to a point shows when either end is on the page.
    const QCPRange shown = m_plot->xAxis->range();
    return double(position) >= shown.lower && double(position - 1) <= shown.upper;
}
