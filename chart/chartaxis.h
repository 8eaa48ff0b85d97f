#pragma once

#include <QtGlobal>

// The range of one manually scaled chart axis, with the chart's rule for
// setting its ends. Both ends may be equal; the minimum never passes the
// maximum.
class ChartAxis
{
public:
    // What the user is told when an end would pass the other one.
    static constexpr const char *MinimumAboveMaximum = "Axis Minimum Value must be <= Maximum";
    static constexpr const char *MaximumBelowMinimum = "Axis Maximum Value must be >= Minimum";

    ChartAxis(double minimum, double maximum);

    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }

    // False, with the range as it was, when the new end would pass the
    // other one.
    bool setMinimum(double minimum);
    bool setMaximum(double maximum);

private:
    double m_minimum;
    double m_maximum;
};
