#pragma once

#include "chart/chartaxis.h"
#include "chart/chartpoints.h"
#include "chart/chartsurface.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>

class ChartPlot;
class ChartSeries;

// The chart of the logged values against their record number, one page
// at a time. Two series draw the same points, an area (AreaSeries) and a line
// (LineSeries); exactly one is shown. The bottom axis belongs to the pager,
// the vertical one to the decoder. No legend, no zoom or pan by mouse.
//
// Drawing costs the visible page, not the number of points; repaints are
// queued, so a multi-page move or a burst of points repaints once. On screen
// the axes, grid and backgrounds are drawn once per page and range, and a new
// value on the page shown repaints the plot area only; a value beyond it
// repaints nothing.
class ChartView : public QWidget, public ChartSurface
{
    Q_OBJECT
public:
    static constexpr int AreaSeries = 0;
    static constexpr int LineSeries = 1;
    // Value of the placeholder point at position 0: the centre line, so the
    // first segment starts from zero rather than from a made-up reading.
    static constexpr double PlaceholderValue = 0;

    explicit ChartView(QWidget *parent = nullptr);
    ~ChartView() override;

    int seriesCount() const override { return int(m_series.size()); }
    void addPoint(double value, std::optional<PointColour> colour) override;
    qint64 pointCount() const override { return m_points.size(); }
    // The axes and the shown series stay as they are.
    void resetSeries() override;

    // The bottom axis is manual from the start.
    void switchBottomAutomaticOff() override { }
    double bottomMinimum() const override { return m_bottom.minimum(); }
    double bottomMaximum() const override { return m_bottom.maximum(); }
    bool setBottomMinimum(double minimum) override;
    bool setBottomMaximum(double maximum) override;

    // Hides every series, then shows the one at index. An index that names no
    // series changes nothing.
    void showSeries(int index);
    // The series shown, or -1.
    int shownSeries() const;

    // The vertical range for the meter's range: maximum first, then minimum,
    // each end checked as on the bottom axis. False, with errorString() set,
    // when an end is refused; the maximum stays applied when only the
    // minimum is.
    bool setVerticalAxis(double maximum, double minimum);
    double verticalMinimum() const { return m_vertical.minimum(); }
    double verticalMaximum() const { return m_vertical.maximum(); }

    // What series index draws: the same store for both.
    qint64 seriesPointCount(int series) const;
    double seriesValue(int series, qint64 index) const;
    std::optional<PointColour> pointColour(qint64 index) const { return m_points.colour(index); }

    // The whole chart drawn afresh at its present size.
    QImage renderImage();
    // renderImage written as a Windows bitmap, whatever the file's extension.
    // An existing file is replaced only once the new one is complete. On
    // failure returns false and errorString() says why (also after a refused
    // vertical range).
    bool saveBitmap(const QString &fileName);
    QString errorString() const { return m_errorString; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyMargins(QSize size);
    void applyRanges();
    bool positionInView(qint64 position) const;

    ChartPlot *m_plot = nullptr;
    ChartPoints m_points;
    std::array<ChartSeries *, 2> m_series{};
    ChartAxis m_bottom{1, 100};
    ChartAxis m_vertical{-4000, 4000};
    QString m_errorString;
};
