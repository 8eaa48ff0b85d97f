#pragma once

#include <QtGlobal>

#include <optional>

// Count, minimum, maximum, mean and standard deviation of a stream of
// numbers at a constant cost per number and without keeping them.
//
// The mean and the sum of squared deviations are updated as Welford does
// (each number against the running mean, so a large offset with a small
// spread keeps its digits), and both sums carry a compensation term
// (Neumaier), so that ten million numbers lose no more than a few units in
// the last place: the rounding of each step does not add up.
class RunningStatistics
{
public:
    void add(double value);
    void clear() { *this = RunningStatistics(); }

    qint64 count() const { return m_count; }
    // Meaningful once count() > 0.
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    double mean() const { return m_mean + m_meanError; }
    // The sample standard deviation (divided by n - 1); nothing below two
    // numbers.
    std::optional<double> standardDeviation() const;

private:
    static void addCompensated(double &sum, double &error, double value);

    qint64 m_count = 0;
    double m_minimum = 0;
    double m_maximum = 0;
    double m_mean = 0;
    double m_meanError = 0;
    double m_squares = 0; // sum of squared deviations from the mean
    double m_squaresError = 0;
};
