#include "chart/chartaxis.h"

ChartAxis::ChartAxis(double minimum, double maximum)
    : m_minimum(minimum)
    , m_maximum(maximum)
{ }

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
