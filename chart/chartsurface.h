#pragma once

#include "chart/chartaxis.h"

#include <QtGlobal>

#include <optional>

// The colour a point carries of its own, red, green and blue from 0 to 255.
struct PointColour
{
    quint8 red = 0;
    quint8 green = 0;
    quint8 blue = 0;

    friend bool operator==(const PointColour &, const PointColour &) = default;
};

// What the chart pager needs of a chart: its series and their points, and the
// bottom axis it pages.
//
// The series share one list of points. The pager adds every value to every
// series, so a chart keeps each value once: addPoint adds it to all series,
// pointCount is the number of points of each series. A point's horizontal
// position is the number of points before it. Position 0 holds a placeholder
// point, which stands for no value, so the first value sits at 1.
//
// Setting an axis end past the other one is refused.
class ChartSurface
{
public:
    virtual ~ChartSurface() = default;

    virtual int seriesCount() const = 0;
    // Appends a point with an empty label; without a colour of its own it is
    // drawn in its series' colour.
    virtual void addPoint(double value, std::optional<PointColour> colour) = 0;
    virtual qint64 pointCount() const = 0;
    // Every series holds only the placeholder point, which has no colour of
    // its own.
    virtual void resetSeries() = 0;

    virtual void switchBottomAutomaticOff() = 0;
    virtual double bottomMinimum() const = 0;
    virtual double bottomMaximum() const = 0;
    // False, with the axis as it was, when the end would pass the other one.
    virtual bool setBottomMinimum(double minimum) = 0;
    virtual bool setBottomMaximum(double maximum) = 0;
};
