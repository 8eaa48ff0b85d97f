#include "log/runningstatistics.h"

#include <algorithm>
#include <cmath>

void RunningStatistics::addCompensated(double &sum, double &error, double value)
{
    const double total = sum + value;
    if (std::fabs(sum) >= std::fabs(value))
        error += (sum - total) + value;
    else
        error += (value - total) + sum;
    sum = total;
}

void RunningStatistics::add(double value)
{
    if (m_count == 0) {
        *this = RunningStatistics();
        m_count = 1;
        m_minimum = m_maximum = m_mean = value;
        return;
    }
    ++m_count;
    m_minimum = std::min(m_minimum, value);
    m_maximum = std::max(m_maximum, value);
    const double delta = value - mean();
    addCompensated(m_mean, m_meanError, delta / double(m_count));
    addCompensated(m_squares, m_squaresError, delta * (value - mean()));
}

std::optional<double> RunningStatistics::standardDeviation() const
{
    if (m_count < 2)
        return std::nullopt;
    const double squares = std::max(0.0, m_squares + m_squaresError);
    return std::sqrt(squares / double(m_count - 1));
}
