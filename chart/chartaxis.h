#pragma once

#include <QtGlobal>

#include <stdexcept>

// Raised when an axis end would pass the other one. The application's default
// error display shows what().
class EChartAxisError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The range of one manually scaled chart axis, with the chart's rules for
// moving its ends. Both ends may be equal; the minimum never passes the
// maximum.
class ChartAxis
{
public:
    ChartAxis(double minimum, double maximum);

    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }

    // Throw EChartAxisError and leave the range as it was when the new end
    // would pass the other one.
    void setMinimum(double minimum);
    void setMaximum(double maximum);

    // Adds offset to both ends. With the limit check, a positive offset needs
    // a point beyond the maximum and a negative one a point before the
    // minimum; the points sit at positions 0 to pointCount - 1. Returns
    // whether the range moved; a refused scroll changes nothing.
    bool scroll(double offset, bool checkLimits, qint64 pointCount);

private:
    double m_minimum;
    double m_maximum;
};
