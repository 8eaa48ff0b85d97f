#pragma once

#include <QtGlobal>

// The range of one manually scaled chart axis, with the chart's rules for
// moving its ends. Both ends may be equal; the minimum never passes the
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

    // Adds offset to both ends. With the limit check, a positive offset needs
    // a point beyond the maximum and a negative one a point before the
    // minimum; the points sit at positions 0 to pointCount - 1. Returns
    // whether the range moved; a refused scroll changes nothing.
    bool scroll(double offset, bool checkLimits, qint64 pointCount);

private:
    double m_minimum;
    double m_maximum;
};
