#pragma once

#include "chart/chartaxis.h"
#include "chart/chartsurface.h"

#include <QString>

// A chart without pixels: it keeps the axis range and the number of points
// but not their values, so a pager can be driven to ten million points in a
// test at no memory cost. Starts like the window's chart before its pager
// takes it: two series without points, bottom axis 1..100.
class MemoryChart final : public ChartSurface
{
public:
    explicit MemoryChart(int seriesCount = 2);

    int seriesCount() const override { return m_seriesCount; }
    void addPoint(double value, std::optional<PointColour> colour) override;
    qint64 pointCount() const override { return m_pointCount; }
    void resetSeries() override;

    void switchBottomAutomaticOff() override { m_bottomAutomatic = false; }
    double bottomMinimum() const override { return m_bottom.minimum(); }
    double bottomMaximum() const override { return m_bottom.maximum(); }
    bool setBottomMinimum(double minimum) override;
    bool setBottomMaximum(double maximum) override;

    bool bottomAutomatic() const { return m_bottomAutomatic; }
    double lastValue() const { return m_lastValue; }
    std::optional<PointColour> lastColour() const { return m_lastColour; }
    // Axis ends set to a new value; each one repaints a chart on screen.
    qint64 axisChangeCount() const { return m_axisChanges; }
    // The first refusal of an axis end, as the chart would report it.
    QString axisError() const { return m_axisError; }

private:
    int m_seriesCount;
    qint64 m_pointCount = 0;
    double m_lastValue = 0;
    std::optional<PointColour> m_lastColour;
    ChartAxis m_bottom{1, 100};
    bool m_bottomAutomatic = true;
    qint64 m_axisChanges = 0;
    QString m_axisError;
};
