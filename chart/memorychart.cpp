#include "chart/memorychart.h"

MemoryChart::MemoryChart(int seriesCount)
    : m_seriesCount(seriesCount)
{
}

void MemoryChart::addPoint(double value, std::optional<PointColour> colour)
{
    if (m_seriesCount <= 0)
        return;
    ++m_pointCount;
    m_lastValue = value;
    m_lastColour = colour;
}

void MemoryChart::clearPoints()
{
    m_pointCount = 0;
    m_lastColour.reset();
}

void MemoryChart::scrollBottom(double offset, bool checkLimits)
{
    if (!m_bottom.scroll(offset, checkLimits, m_pointCount))
        return;
    m_bottomAutomatic = false;
    ++m_repaints;
}
