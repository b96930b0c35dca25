#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace draftwell::analysis {

// A two-sided confidence interval.
struct Interval {
    double low = 0.0;
    double high = 0.0;

    bool contains(double value) const { return low <= value && value <= high; }
};

// n, mean, sample SD (n − 1), standard error and the Student-t confidence
// interval of the mean. SD, SE and the interval need two or more values; with
// fewer they are empty rather than a made-up 0.
struct SampleStatistics {
    std::size_t n = 0;
    double mean = 0.0;
    std::optional<double> sd;
    std::optional<double> standardError;
    std::optional<Interval> confidence;
};

SampleStatistics describe(std::span<const double> values, double level = 0.95);

// Quantile p of Student's t distribution with `degreesOfFreedom` (> 0, may be
// fractional, as Welch–Satterthwaite gives).
double studentTQuantile(double p, double degreesOfFreedom);

// Half width of the two-sided interval at `level` for an estimate with this
// standard error and degrees of freedom.
double tHalfWidth(double standardError, double degreesOfFreedom, double level = 0.95);

double median(std::span<const double> values); // 0 for no values

} // namespace draftwell::analysis
