#include "analysis/sample_statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include <boost/math/distributions/students_t.hpp>

namespace draftwell::analysis {

double studentTQuantile(double p, double degreesOfFreedom) {
    const boost::math::students_t distribution(degreesOfFreedom);
    return boost::math::quantile(distribution, p);
}

double tHalfWidth(double standardError, double degreesOfFreedom, double level) {
    return studentTQuantile(0.5 + level / 2.0, degreesOfFreedom) * standardError;
}

SampleStatistics describe(std::span<const double> values, double level) {
    SampleStatistics result;
    result.n = values.size();
    if (values.empty()) {
        return result;
    }
    const double n = static_cast<double>(values.size());
    result.mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    if (values.size() < 2) {
        return result;
    }
    // Two passes: the squared deviations from the mean, not sum(x²) − n·mean²,
    // which loses every digit for CdA-sized values close together.
    double squares = 0.0;
    for (const double value : values) {
        squares += (value - result.mean) * (value - result.mean);
    }
    const double sd = std::sqrt(squares / (n - 1.0));
    const double se = sd / std::sqrt(n);
    const double half = tHalfWidth(se, n - 1.0, level);
    result.sd = sd;
    result.standardError = se;
    result.confidence = Interval{result.mean - half, result.mean + half};
    return result;
}

double median(std::span<const double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::vector<double> sorted(values.begin(), values.end());
    const std::size_t middle = sorted.size() / 2;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle), sorted.end());
    const double upper = sorted[middle];
    if (sorted.size() % 2 == 1) {
        return upper;
    }
    const double lower =
        *std::max_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2.0;
}

} // namespace draftwell::analysis
