#include "chart/chartpoints.h"

#include <algorithm>

void ChartPoints::append(double value, std::optional<PointColour> colour)
{
    const std::size_t block = std::size_t(m_size >> BlockBits);
    if (block == m_blocks.size()) {
        // Left uninitialised: memory becomes resident only as points arrive.
        m_blocks.push_back(std::make_unique_for_overwrite<double[]>(std::size_t(BlockSize)));
    }
    m_blocks[block][std::size_t(m_size & (BlockSize - 1))] = value;
    if (m_runs.empty() || m_runs.back().colour != colour)
        m_runs.push_back({m_size, colour});
    if (m_size == 0) {
        m_minimum = m_maximum = value;
    } else {
        m_minimum = std::min(m_minimum, value);
        m_maximum = std::max(m_maximum, value);
    }
    ++m_size;
}

void ChartPoints::clear()
{
    // Hand the memory back: after a reset at ten million points the chart
    // should not keep 80 MB it no longer draws.
    std::vector<std::unique_ptr<double[]>>().swap(m_blocks);
    std::vector<ColourRun>().swap(m_runs);
    m_size = 0;
    m_minimum = m_maximum = 0;
}

std::optional<PointColour> ChartPoints::colour(qint64 index) const
{
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), index,
                                        [](qint64 i, const ColourRun &run) { return i < run.first; });
    if (after == m_runs.begin())
        return std::nullopt;
    return std::prev(after)->colour;
}
