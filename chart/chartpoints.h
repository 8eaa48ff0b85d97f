#pragma once

#include "chart/chartsurface.h"

#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

// The points that every series of the chart shows, kept once. A point's
// horizontal position is its index, so only values are stored: 8 bytes a
// point, in fixed blocks, so appending never copies what is already there and
// a long run costs no pause when the store grows. Point colours are kept as
// runs, since almost every point carries the same one.
class ChartPoints
{
public:
    struct ColourRun
    {
        qint64 first = 0; // index of the run's first point
        std::optional<PointColour> colour;
    };

    void append(double value, std::optional<PointColour> colour);
    void clear();

    qint64 size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    double value(qint64 index) const
    {
        return m_blocks[std::size_t(index >> BlockBits)][std::size_t(index & (BlockSize - 1))];
    }
    std::optional<PointColour> colour(qint64 index) const;
    // Ascending by first; each run ends where the next one begins.
    const std::vector<ColourRun> &colourRuns() const { return m_runs; }

    // Smallest and largest value; meaningful only when not empty.
    double minimumValue() const { return m_minimum; }
    double maximumValue() const { return m_maximum; }

private:
    static constexpr int BlockBits = 16;
    static constexpr qint64 BlockSize = qint64(1) << BlockBits;

    std::vector<std::unique_ptr<double[]>> m_blocks;
    qint64 m_size = 0;
    std::vector<ColourRun> m_runs;
    double m_minimum = 0;
    double m_maximum = 0;
};
