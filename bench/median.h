#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// The middle of the samples; the mean of the two middle ones for an even
// count.
inline double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}
