#include "chart/chartaxis.h"

ChartAxis::ChartAxis(double minimum, double maximum)
    : m_minimum(minimum), m_maximum(maximum)
{
}

bool ChartAxis::setMinimum(double minimum)
{
    if (minimum > m_maximum)
        return false;
    m_minimum = minimum;
    return true;
}

bool ChartAxis::setMaximum(double maximum)
{
    if (maximum < m_minimum)
        return false;
    m_maximum = maximum;
    return true;
}

bool ChartAxis::scroll(double offset, bool checkLimits, qint64 pointCount)
{
    if (offset == 0)
        return false;
    if (checkLimits) {
        // Points sit at 0 .. pointCount - 1 in every series, so the first and
        // last positions are known without looking at the points: a page
        // move at ten million points stays a constant-time step.
        if (pointCount <= 0)
            return false;
        const double first = 0;
        const double last = double(pointCount - 1);
        if (offset > 0 && !(last > m_maximum))
            return false;
        if (offset < 0 && !(first < m_minimum))
            return false;
    }
    m_minimum += offset;
    m_maximum += offset;
    return true;
}
