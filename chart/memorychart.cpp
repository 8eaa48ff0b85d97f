#include "chart/memorychart.h"

MemoryChart::MemoryChart(int seriesCount)
    : m_seriesCount(seriesCount)
{ }

void MemoryChart::addPoint(double value, std::optional<PointColour> colour)
{
    if (m_seriesCount <= 0)
        return;
    ++m_pointCount;
    m_lastValue = value;
    m_lastColour = colour;
}

void MemoryChart::resetSeries()
{
    m_pointCount = m_seriesCount > 0 ? 1 : 0;
    m_lastValue = 0;
    m_lastColour.reset();
}

bool MemoryChart::setBottomMinimum(double minimum)
{
    const double before = m_bottom.minimum();
    if (!m_bottom.setMinimum(minimum)) {
        if (m_axisError.isEmpty())
            m_axisError = QString::fromLatin1(ChartAxis::MinimumAboveMaximum);
        return false;
    }
    m_axisChanges += minimum != before;
    return true;
}

bool MemoryChart::setBottomMaximum(double maximum)
{
    const double before = m_bottom.maximum();
    if (!m_bottom.setMaximum(maximum)) {
        if (m_axisError.isEmpty())
            m_axisError = QString::fromLatin1(ChartAxis::MaximumBelowMinimum);
        return false;
    }
    m_axisChanges += maximum != before;
    return true;
}
